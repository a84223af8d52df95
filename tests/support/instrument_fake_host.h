// Test support for the simulated instrument. A host for it: a virtual clock that runs scheduled functions in
// time order (equal times in the order they were scheduled), and a record of every delivery and
// every change of presence with the time it happened.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "instrument/sim_instrument.h"
#include "instrument/sysex_fields.h"

namespace velda::test {

class CFakeHost : public CInstrumentHost {
 public:
  struct CDelivery {
    std::uint64_t nAtMs = 0;
    std::vector<std::uint8_t> aBytes;
  };
  struct CPresence {
    std::uint64_t nAtMs = 0;
    bool bPresent = false;
  };

  void Deliver(std::vector<std::uint8_t> aBytes) override { m_aDeliveries.push_back({m_nNowMs, std::move(aBytes)}); }
  void Schedule(std::uint32_t nDelayMs, std::function<void()> fn) override {
    m_aQueue.emplace(std::make_pair(m_nNowMs + nDelayMs, m_nSeq++), std::move(fn));
  }
  void SetPresent(bool bPresent) override { m_aPresence.push_back({m_nNowMs, bPresent}); }

  // Runs everything due up to nUntilMs and leaves the clock there.
  void RunUntil(std::uint64_t nUntilMs) {
    while (!m_aQueue.empty() && m_aQueue.begin()->first.first <= nUntilMs) RunFirst();
    if (m_nNowMs < nUntilMs) m_nNowMs = nUntilMs;
  }
  // Runs until nothing is scheduled any more.
  void RunAll() {
    while (!m_aQueue.empty()) RunFirst();
  }
  void Advance(std::uint64_t nMs) { RunUntil(m_nNowMs + nMs); }

  std::uint64_t Now() const { return m_nNowMs; }
  std::size_t Pending() const { return m_aQueue.size(); }
  const std::vector<CDelivery>& Deliveries() const { return m_aDeliveries; }
  const std::vector<CPresence>& Presence() const { return m_aPresence; }
  std::vector<CDelivery> TakeDeliveries() { return std::exchange(m_aDeliveries, {}); }

 private:
  void RunFirst() {
    auto it = m_aQueue.begin();
    m_nNowMs = it->first.first;
    std::function<void()> fn = std::move(it->second);
    m_aQueue.erase(it);
    fn();
  }

  std::uint64_t m_nNowMs = 0;
  std::uint64_t m_nSeq = 0;
  std::multimap<std::pair<std::uint64_t, std::uint64_t>, std::function<void()>> m_aQueue;
  std::vector<CDelivery> m_aDeliveries;
  std::vector<CPresence> m_aPresence;
};

// "F0 43 50 ..." as bytes (spaces optional).
inline std::vector<std::uint8_t> Bytes(std::string_view strHex) {
  std::vector<std::uint8_t> a;
  std::string strDigits;
  for (const char c : strHex) {
    if (c != ' ') strDigits.push_back(c);
  }
  for (std::size_t i = 0; i + 1 < strDigits.size(); i += 2) {
    a.push_back(static_cast<std::uint8_t>(std::stoul(strDigits.substr(i, 2), nullptr, 16)));
  }
  return a;
}

// Upper-case hex pairs separated by spaces, for readable failure messages.
inline std::string Hex(const std::vector<std::uint8_t>& a) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string str;
  for (const std::uint8_t b : a) {
    if (!str.empty()) str.push_back(' ');
    str.push_back(kDigits[b >> 4]);
    str.push_back(kDigits[b & 0xF]);
  }
  return str;
}

// A message from header bytes, ASCII text (hex digit fields, a keyword) and trailing bytes.
inline std::vector<std::uint8_t> Msg(std::string_view strHead, std::string_view strAscii, std::string_view strTail) {
  std::vector<std::uint8_t> a = Bytes(strHead);
  for (const char c : strAscii) a.push_back(static_cast<std::uint8_t>(c));
  const std::vector<std::uint8_t> aTail = Bytes(strTail);
  a.insert(a.end(), aTail.begin(), aTail.end());
  return a;
}

// The requests without fields, and the mode on.
inline const std::vector<std::uint8_t> kInquiry = Bytes("F0 43 50 03 00 00 02 F7");
inline const std::vector<std::uint8_t> kModeOff = Bytes("F0 43 50 03 00 00 01 F7");
inline const std::vector<std::uint8_t> kWriteBlock = Bytes("F0 43 50 03 00 04 01 F7");
inline const std::vector<std::uint8_t> kBaudUp = Bytes("F0 43 50 03 00 05 00 F7");
inline const std::vector<std::uint8_t> kBaudReset = Bytes("F0 43 50 03 00 05 01 F7");
inline std::vector<std::uint8_t> ModeOn(std::string_view strKeyword) {
  return Msg("F0 43 50 03 00 00 00", strKeyword, "F7");
}
inline const std::string kDefaultKeyword = "#5168_1994KESTRA";

// A data packet built with the instrument's own encoders (themselves checked against the worked
// examples), for tests whose subject is not the packet bytes.
inline std::vector<std::uint8_t> Packet(std::uint32_t nPlanned, std::uint32_t nOffset,
                                        const std::vector<std::uint8_t>& aData) {
  std::vector<std::uint8_t> a = Bytes("F0 43 50 03 00 03 00");
  sim::AppendHexDigits(nPlanned, 4, a);
  sim::AppendHexDigits(nOffset, 8, a);
  sim::AppendPacked(aData.data(), aData.size(), a);
  a.push_back(sim::Checksum7(a.data() + 7, a.size() - 7));
  a.push_back(0xF7);
  return a;
}

// A configured instrument on a fake host: create it with Instrument() after adjusting m_config.
class CInstrumentRig {
 public:
  CInstrumentConfig m_config;
  CFakeHost m_host;

  CSimInstrument& Instrument() {
    if (!m_pInstrument) m_pInstrument = std::make_unique<CSimInstrument>(m_config, m_host);
    return *m_pInstrument;
  }
  void Destroy() { m_pInstrument.reset(); }

  void Send(const std::vector<std::uint8_t>& a) { Instrument().OnMessage(a.data(), a.size()); }
  // Sends a message, runs the clock until nothing is left to do, and returns the deliveries.
  std::vector<std::string> Exchange(const std::vector<std::uint8_t>& a) {
    Send(a);
    m_host.RunAll();
    std::vector<std::string> aOut;
    for (const CFakeHost::CDelivery& d : m_host.TakeDeliveries()) aOut.push_back(Hex(d.aBytes));
    return aOut;
  }
  // The one reply to a message ("" and a test failure when there is not exactly one).
  std::string Ask(const std::vector<std::uint8_t>& a) {
    const std::vector<std::string> aReplies = Exchange(a);
    if (aReplies.size() != 1) {
      ADD_FAILURE() << "expected one reply to " << Hex(a) << ", got " << aReplies.size();
      return "";
    }
    return aReplies.front();
  }
  // Update mode the way the installer gets there: mode on, restart, devices back.
  void EnterUpdateMode() {
    const std::vector<std::string> aReplies = Exchange(ModeOn(m_config.strKeyword));
    if (!Instrument().InUpdateMode()) ADD_FAILURE() << "not in update mode";
    if (!m_config.bRestartOnModeOn && aReplies.size() != 1) ADD_FAILURE() << "mode on not answered";
  }
  std::string Reply(std::string_view strGroupCommand, std::string_view strStatus) const {
    return "F0 43 50 03 00 " + std::string(strGroupCommand) + " " + std::string(strStatus) + " F7";
  }

 private:
  std::unique_ptr<CSimInstrument> m_pInstrument;
};

}  // namespace velda::test
