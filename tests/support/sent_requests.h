// The requests the program sent, read by kind. A message the instrument cannot read fails the
// test. Header only: every source in this folder is also linked into the Qt tests, which have no
// GoogleTest.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "instrument/request_kind.h"
#include "support/rig.h"

namespace velda::test {

// The messages of one request kind, in order.
inline std::vector<std::vector<std::uint8_t>> MessagesOf(const std::vector<std::vector<std::uint8_t>>& aMessages,
                                                         EInstrumentRequest eKind) {
  std::vector<std::vector<std::uint8_t>> a;
  for (const std::vector<std::uint8_t>& msg : aMessages) {
    if (sim::ClassifyRequest(msg.data(), msg.size()) == eKind) a.push_back(msg);
  }
  return a;
}

// A request that reached the wire, as the rig's trace saw it.
struct CSentRequest {
  std::uint64_t nAt = 0;  // virtual time
  EInstrumentRequest eKind = EInstrumentRequest::Inquiry;
  std::vector<std::uint8_t> aBytes;
};

// The request kind of each message.
inline std::vector<EInstrumentRequest> KindsOf(const std::vector<std::vector<std::uint8_t>>& aMessages) {
  std::vector<EInstrumentRequest> a;
  for (const std::vector<std::uint8_t>& msg : aMessages) {
    const auto e = sim::ClassifyRequest(msg.data(), msg.size());
    EXPECT_TRUE(e.has_value()) << "a message the instrument cannot read";
    if (e) a.push_back(*e);
  }
  return a;
}

// Every request the program sent, in order.
inline std::vector<CSentRequest> SentRequests(const CTestRig& rig) {
  std::vector<CSentRequest> a;
  for (auto& [t, msg] : rig.Trace().Timed('>')) {
    const auto e = sim::ClassifyRequest(msg.data(), msg.size());
    EXPECT_TRUE(e.has_value()) << "a message the instrument cannot read";
    if (e) a.push_back({t, *e, std::move(msg)});
  }
  return a;
}

inline std::vector<CSentRequest> SentOf(const CTestRig& rig, EInstrumentRequest eKind) {
  std::vector<CSentRequest> a;
  for (CSentRequest& s : SentRequests(rig)) {
    if (s.eKind == eKind) a.push_back(std::move(s));
  }
  return a;
}

inline std::vector<EInstrumentRequest> SentKinds(const CTestRig& rig) {
  std::vector<EInstrumentRequest> a;
  for (const CSentRequest& s : SentRequests(rig)) a.push_back(s.eKind);
  return a;
}

}  // namespace velda::test
