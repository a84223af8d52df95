// The simulated VELDA instrument: the other side of the update protocol, written from the
// message layouts on its own (it shares no code with the installer), so that it catches the
// installer's encoding faults instead of repeating them.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "instrument/fault_plan.h"
#include "instrument/instrument_memory.h"
#include "instrument/instrument_stats.h"
#include "instrument/replay_script.h"
#include "instrument/sparse_memory.h"

namespace velda {

// What the instrument needs from whatever hosts it (the virtual MIDI driver).
class CInstrumentHost {
 public:
  virtual ~CInstrumentHost() = default;
  // Bytes that arrive at the installer's input as one delivery.
  virtual void Deliver(std::vector<std::uint8_t> aBytes) = 0;
  // Runs fn after nDelayMs on the host's clock.
  virtual void Schedule(std::uint32_t nDelayMs, std::function<void()> fn) = 0;
  // The instrument's USB-MIDI devices vanish (false) or come back (true).
  virtual void SetPresent(bool bPresent) = 0;
};

// Settings of the simulated instrument; ParseInstrumentSetting (instrument_settings.h) fills
// them from text.
struct CInstrumentConfig {
  std::string strKeyword = "#5168_1994KESTRA";  // update mode only with this keyword
  std::string strInquiryText = "VELDA";         // text of the inquiry reply
  bool bRestartOnModeOn = true;                 // restarts (devices vanish) entering update mode
  std::uint32_t nRestartMs = 3000;              // how long the devices are gone
  std::uint32_t nLatencyMs = 2;                 // reply latency
  std::uint32_t nRateBytesPerMs = 0;            // link speed; 0: bytes take no time
  std::uint32_t nSysExLimit = 0;                // longest message the MIDI driver hands over (a refusing stack); 0: any
  std::uint32_t nPacketSize = 2450;             // data bytes of every packet but a block's last
  CFaultPlan faultPlan;                         // misbehaviour on purpose
  std::shared_ptr<const CInstrumentMemory> pPresetMemory;  // memory at power-on; none: all FF
  std::string strDumpFolder;  // where the host program dumps the memory when it ends; "" none
  // Answer from a recorded session instead: each request must be the next recorded one, byte for
  // byte; the first that differs is reported (stderr, ReplayMismatch) and nothing more is answered.
  std::shared_ptr<const CReplayScript> pReplay;
};

// The instrument itself. It answers one complete message at a time through the host, never
// from inside OnMessage: every reply goes through host.Schedule. It is not thread-safe: the host
// calls OnMessage and runs the scheduled functions on one thread (or under one lock).
class CSimInstrument {
 public:
  CSimInstrument(const CInstrumentConfig& config, CInstrumentHost& host);
  ~CSimInstrument();
  CSimInstrument(const CSimInstrument&) = delete;
  CSimInstrument& operator=(const CSimInstrument&) = delete;

  // One complete message from the installer, F0 .. F7.
  void OnMessage(const std::uint8_t* p, std::size_t n);

  bool IsPresent() const { return m_bPresent; }
  bool InUpdateMode() const { return m_bUpdateMode; }
  bool FastBaud() const { return m_bFastBaud; }
  std::uint8_t SelectedDevice() const { return m_nDevice; }
  bool HasOpenBlock() const { return m_block.bOpen; }
  const CInstrumentStats& Stats() const { return m_stats; }
  const CInstrumentConfig& Config() const { return m_config; }
  // Where a replayed session first went another way than its recording; "" while it follows it.
  const std::string& ReplayMismatch() const { return m_strReplayMismatch; }

  CInstrumentMemory& Memory() { return m_memory; }
  const CInstrumentMemory& Memory() const { return m_memory; }
  std::uint8_t ReadByte(std::uint8_t nDevice, std::uint32_t nAddress) const;
  std::vector<std::uint8_t> ReadRange(std::uint8_t nDevice, std::uint32_t nAddress, std::size_t n) const;
  bool WasWritten(std::uint8_t nDevice, std::uint32_t nAddress) const;

  bool LoadHexFolder(const std::string& strDir, std::string& strError);
  bool DumpHexFolder(const std::string& strDir, std::string& strError) const;

 private:
  // The block between block start and write block: its bytes by offset within the block.
  struct CPendingBlock {
    bool bOpen = false;
    std::uint32_t nAddress = 0;
    std::uint32_t nLength = 0;
    std::uint64_t nNextOffset = 0;  // where the next packet must begin
    std::uint64_t nReceived = 0;    // data bytes received (fewer than planned where data ended early)
    std::uint64_t nSum = 0;         // their arithmetic sum
    CSparseMemory data;
  };
  // The block last written, the only one a block checksum may name.
  struct CWrittenBlock {
    bool bValid = false;
    std::uint32_t nAddress = 0;
    std::uint32_t nLength = 0;
    bool bWhole = false;  // every byte of the block was received
    std::uint64_t nSum = 0;
  };

  // Acting on a request; each returns the reply, or an empty vector for none.
  std::vector<std::uint8_t> Act(EInstrumentRequest eRequest, const std::uint8_t* p, std::size_t n);
  void OnReplay(const std::uint8_t* p, std::size_t n);
  std::vector<std::uint8_t> OnModeOn(const std::uint8_t* p, std::size_t n);
  std::vector<std::uint8_t> OnSetDevice(const std::uint8_t* p, std::size_t n);
  std::vector<std::uint8_t> OnBlockStart(const std::uint8_t* p, std::size_t n);
  std::vector<std::uint8_t> OnDataPacket(const std::uint8_t* p, std::size_t n);
  std::vector<std::uint8_t> OnWriteBlock(std::size_t n);
  std::vector<std::uint8_t> OnBlockChecksum(const std::uint8_t* p, std::size_t n);
  std::vector<std::uint8_t> OnAreaCheck(const std::uint8_t* p, std::size_t n);
  std::vector<std::uint8_t> Malformed(EInstrumentRequest eRequest);
  std::vector<std::uint8_t> OutOfSequence(EInstrumentRequest eRequest);
  std::vector<std::uint8_t> Refused(EInstrumentRequest eRequest, std::uint32_t& nCounter);

  void Send(std::vector<std::uint8_t> aReply, EInstrumentFault eFault);
  // How long a request and its reply of nBytes together take on the link, in whole ms; the
  // fractions are carried over to the next exchange so that long runs keep the rate.
  std::uint32_t LinkMs(std::size_t nBytes);
  // The silent fault: one byte of the block just checked changes.
  void SpoilBlock(const std::uint8_t* p, std::size_t n);
  void DeliverAfter(std::uint32_t nDelayMs, std::vector<std::uint8_t> aBytes);
  // The devices vanish; with bReturn they come back after nRestartMs in update mode.
  void Restart(bool bReturn);

  CInstrumentConfig m_config;
  CInstrumentHost& m_host;
  CInstrumentMemory m_memory;
  CInstrumentStats m_stats;
  CPendingBlock m_block;
  CWrittenBlock m_written;
  bool m_bPresent = true;
  bool m_bUpdateMode = false;
  bool m_bFastBaud = false;
  bool m_bResendAsked = false;  // the last data packet was answered 02
  std::uint8_t m_nDevice = 0;
  std::size_t m_nRequestBytes = 0;  // length of the request being answered
  double m_dLinkCarry = 0;          // link time not yet spent, in ms
  std::size_t m_nReplayPos = 0;     // the next recorded exchange
  std::string m_strReplayMismatch;
  // Scheduled functions hold a weak reference: they do nothing once the instrument is gone.
  std::shared_ptr<int> m_pAlive = std::make_shared<int>(0);
};

}  // namespace velda
