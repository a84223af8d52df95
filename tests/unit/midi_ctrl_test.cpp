// The transport object: opening by name and by number, the device numbers, closing with its
// pauses, replacing ports, destruction order, and a round trip with the simulated instrument.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "midi/driver/virtual/instrument/hosted_instrument.h"
#include "midi/midi_ctrl.h"
#include "midi/midi_in_port.h"
#include "midi/midi_out_port.h"
#include "support/midi_test_harness.h"

namespace velda::test {
namespace {

constexpr UINT kData = 33006;
constexpr UINT kStatus = 33007;
const char* const kIn = "HALVEN USB IN 0-1";
const char* const kOut = "HALVEN USB OUT 0-1";

std::size_t IndexOf(const std::vector<std::string>& a, const std::string& s, std::size_t nFrom = 0) {
  const auto it = std::find(a.begin() + static_cast<std::ptrdiff_t>(nFrom), a.end(), s);
  return static_cast<std::size_t>(it - a.begin());
}

// ------------------------------------------------------------------------------------------
// A new object

TEST(MidiCtrl, ANewObjectHasDeviceNumbersOneAndUnopenedPorts) {
  CMidiHarness h;
  CMidiCtrl ctrl;
  EXPECT_EQ(ctrl.GetInDevice(), 1);
  EXPECT_EQ(ctrl.GetOutDevice(), 1);
  ASSERT_NE(ctrl.InPort(), nullptr);
  ASSERT_NE(ctrl.OutPort(), nullptr);
  EXPECT_EQ(ctrl.InPort()->State(), MIDI_IN_NEW);
  EXPECT_EQ(ctrl.OutPort()->Handle(), nullptr);
  EXPECT_EQ(ctrl.GetInByte(), -1);
  const std::vector<BYTE> aMsg = SysEx(8);
  EXPECT_EQ(ctrl.SendLongMsg(aMsg.data(), 8), 0);
  EXPECT_TRUE(h.m_log.Calls().empty());
}

// ------------------------------------------------------------------------------------------
// Opening by name

TEST(MidiCtrlByName, OnlyTheLowerOfTwoDevicesWithTheSameNameIsTried) {
  CMidiHarness h;
  h.m_driver.AddInDevice("Other");
  const int nFirst = h.m_driver.AddInDevice(kIn);
  h.m_driver.AddInDevice(kIn);
  h.m_driver.AddOutDevice(kOut);
  h.m_driver.AddOutDevice(kOut);
  CMidiCtrl ctrl;
  EXPECT_TRUE(ctrl.OpenInByName(kIn, kData, kStatus));
  EXPECT_EQ(ctrl.GetInDevice(), 1);
  EXPECT_TRUE(h.m_driver.IsInOpen(nFirst));
  EXPECT_TRUE(ctrl.OpenOutByName(kOut));
  EXPECT_EQ(ctrl.GetOutDevice(), 0);
}

TEST(MidiCtrlByName, WhenTheFirstOfTwoSameNamedDevicesFailsTheOtherIsNotTried) {
  CMidiHarness h;
  h.m_driver.AddInDevice(kIn, CVirtualInOptions{.bHeldElsewhere = true});
  const int nSecond = h.m_driver.AddInDevice(kIn);
  h.m_driver.AddOutDevice(kOut, CVirtualOutOptions{.bHeldElsewhere = true});
  h.m_driver.AddOutDevice(kOut);
  CMidiCtrl ctrl;
  EXPECT_FALSE(ctrl.OpenInByName(kIn, kData, kStatus));
  EXPECT_EQ(ctrl.GetInDevice(), -1);
  EXPECT_FALSE(h.m_driver.IsInOpen(nSecond));
  EXPECT_EQ(h.m_log.Count("midiInOpen"), 1u);
  EXPECT_EQ(h.m_frontEnd.Boxes().size(), 1u);  // the input's "already allocated" box
  EXPECT_FALSE(ctrl.OpenOutByName(kOut));
  EXPECT_EQ(ctrl.GetOutDevice(), -1);
  EXPECT_EQ(h.m_log.Count("midiOutOpen"), 1u);
  EXPECT_EQ(h.m_frontEnd.Boxes().size(), 1u);
}

TEST(MidiCtrlByName, ANameThatDiffersInAnyWayIsNotFound) {
  CMidiHarness h;
  h.m_driver.AddInDevice("halven usb in 0-1");
  h.m_driver.AddInDevice("HALVEN USB IN 0-1 ");
  h.m_driver.AddOutDevice("HALVEN USB OUT 0-");
  CMidiCtrl ctrl;
  EXPECT_FALSE(ctrl.OpenInByName(kIn, kData, kStatus));
  EXPECT_EQ(ctrl.GetInDevice(), -1);
  EXPECT_FALSE(ctrl.OpenOutByName(kOut));
  EXPECT_EQ(ctrl.GetOutDevice(), -1);
  EXPECT_EQ(h.m_log.Count("midiInOpen") + h.m_log.Count("midiOutOpen"), 0u);
}

TEST(MidiCtrlByName, WithNoDevicesAtAllTheOpensFail) {
  CMidiHarness h;
  CMidiCtrl ctrl;
  EXPECT_FALSE(ctrl.OpenInByName(kIn, kData, kStatus));
  EXPECT_EQ(ctrl.GetInDevice(), -1);
  EXPECT_FALSE(ctrl.OpenOutByName(kOut));
  EXPECT_EQ(ctrl.GetOutDevice(), -1);
  EXPECT_FALSE(ctrl.OpenInByNumber(0, kData, kStatus));
  EXPECT_EQ(ctrl.GetInDevice(), -1);
  EXPECT_FALSE(ctrl.OpenOutByNumber(0));
  EXPECT_EQ(ctrl.GetOutDevice(), -1);
  EXPECT_TRUE(h.m_log.Calls().empty());
  // The port objects were replaced all the same.
  EXPECT_NE(ctrl.InPort(), nullptr);
  EXPECT_NE(ctrl.OutPort(), nullptr);
}

// ------------------------------------------------------------------------------------------
// Opening by number

TEST(MidiCtrlByNumber, ANumberBeyondTheDevicesFailsWithoutABox) {
  CMidiHarness h;
  h.m_driver.AddInDevice(kIn);
  h.m_driver.AddOutDevice(kOut);
  CMidiCtrl ctrl;
  EXPECT_FALSE(ctrl.OpenOutByNumber(255));
  EXPECT_EQ(ctrl.GetOutDevice(), -1);
  EXPECT_FALSE(ctrl.OpenInByNumber(255, kData, kStatus));
  EXPECT_EQ(ctrl.GetInDevice(), -1);
  EXPECT_TRUE(h.m_frontEnd.Boxes().empty());
  EXPECT_TRUE(ctrl.OpenInByNumber(0, kData, kStatus));
  EXPECT_EQ(ctrl.GetInDevice(), 0);
  EXPECT_TRUE(ctrl.OpenOutByNumber(0));
  EXPECT_EQ(ctrl.GetOutDevice(), 0);
}

// The number asked for is recorded, and -1 reads as a failed open even though the port fell
// back to device 0; no caller asks for the mapper by number.
TEST(MidiCtrlByNumber, TheMapperNumberOpensDeviceZeroButRecordsMinusOne) {
  CMidiHarness h;
  const int nFirst = h.m_driver.AddOutDevice("First");
  CMidiCtrl ctrl;
  EXPECT_FALSE(ctrl.OpenOutByNumber(-1));
  EXPECT_EQ(ctrl.GetOutDevice(), -1);
  EXPECT_TRUE(h.m_driver.IsOutOpen(nFirst));
}

// ------------------------------------------------------------------------------------------
// Closing and replacing

TEST(MidiCtrlClose, ClosedPortsKeepTheirDeviceNumbersAndEachClosePauses) {
  CMidiHarness h;
  h.m_driver.AddInDevice("Decoy");
  const int nIn = h.m_driver.AddInDevice(kIn);
  h.m_driver.AddOutDevice("Decoy");
  const int nOut = h.m_driver.AddOutDevice(kOut);
  CMidiCtrl ctrl;
  ASSERT_TRUE(ctrl.OpenInByName(kIn, kData, kStatus));
  ASSERT_TRUE(ctrl.OpenOutByName(kOut));
  std::uint64_t nStart = h.Now();
  ctrl.ClosePorts(3);
  // Three stops of 100 ms each in the input's close, then 100 ms after each port.
  EXPECT_EQ(h.Now() - nStart, 500u);
  EXPECT_EQ(ctrl.GetInDevice(), 1);
  EXPECT_EQ(ctrl.GetOutDevice(), 1);
  EXPECT_FALSE(h.m_driver.IsInOpen(nIn));
  EXPECT_FALSE(h.m_driver.IsOutOpen(nOut));
  ASSERT_NE(ctrl.InPort(), nullptr);  // the objects stay, closed
  EXPECT_EQ(ctrl.InPort()->State(), MIDI_IN_CLOSED);

  nStart = h.Now();
  ctrl.ClosePorts(3);  // closed already: only the pauses
  EXPECT_EQ(h.Now() - nStart, 200u);
  nStart = h.Now();
  ctrl.ClosePorts(0);
  EXPECT_EQ(h.Now(), nStart);
}

TEST(MidiCtrlClose, EachBitClosesItsOwnDirection) {
  CMidiHarness h;
  const int nIn = h.m_driver.AddInDevice(kIn);
  const int nOut = h.m_driver.AddOutDevice(kOut);
  CMidiCtrl ctrl;
  ASSERT_TRUE(ctrl.OpenInByName(kIn, kData, kStatus));
  ASSERT_TRUE(ctrl.OpenOutByName(kOut));
  ctrl.ClosePorts(2);
  EXPECT_TRUE(h.m_driver.IsInOpen(nIn));
  EXPECT_FALSE(h.m_driver.IsOutOpen(nOut));
  ctrl.ClosePorts(1);
  EXPECT_FALSE(h.m_driver.IsInOpen(nIn));
}

TEST(MidiCtrlClose, OpeningTheInputAgainClosesTheOldDeviceFirstWithItsStatus) {
  CMidiHarness h;
  h.m_driver.AddInDevice(kIn);
  CMidiCtrl ctrl;
  ASSERT_TRUE(ctrl.OpenInByName(kIn, kData, kStatus));
  h.Drain();
  h.m_trace.Clear();
  h.m_log.Clear();
  h.m_wnd.m_aCommands.clear();
  const std::uint64_t nStart = h.Now();
  ASSERT_TRUE(ctrl.OpenInByName(kIn, kData, kStatus));
  h.Drain();
  EXPECT_GE(h.Now() - nStart, 300u);
  EXPECT_EQ(h.m_trace.Of('#'),
            (std::vector<std::string>{"Close MIDI In Driver : HALVEN USB IN 0-1",
                                      "Close MIDI In Driver : ", "Open MIDI In Driver : HALVEN USB IN 0-1",
                                      "Change MIDI In Buffer Size : 106496"}));
  EXPECT_EQ(h.m_wnd.m_aCommands, (std::vector<UINT>(4, kStatus)));
  const std::vector<std::string> aNames = h.m_log.Names();
  EXPECT_LT(IndexOf(aNames, "midiInClose"), IndexOf(aNames, "midiInOpen"));
  EXPECT_EQ(ctrl.GetInDevice(), 0);
}

TEST(MidiCtrlClose, DestructionClosesTheOutputFirstThenTheInput) {
  CMidiHarness h;
  h.m_driver.AddInDevice(kIn);
  h.m_driver.AddOutDevice(kOut);
  {
    CMidiCtrl ctrl;
    ASSERT_TRUE(ctrl.OpenInByName(kIn, kData, kStatus));
    ASSERT_TRUE(ctrl.OpenOutByName(kOut));
    h.Drain();
    h.m_log.Clear();
    h.m_trace.Clear();
    h.m_wnd.m_aCommands.clear();
  }
  EXPECT_EQ(h.m_log.Names(),
            (std::vector<std::string>{"midiOutReset", "midiOutUnprepareHeader", "midiOutClose", "midiInStop",
                                      "midiInStop", "midiInStop", "midiInReset", "midiInUnprepareHeader",
                                      "midiInUnprepareHeader", "midiInUnprepareHeader", "midiInClose"}));
  h.Drain();
  EXPECT_EQ(h.m_trace.Of('#'), std::vector<std::string>{"Close MIDI In Driver : HALVEN USB IN 0-1"});
  EXPECT_EQ(h.m_wnd.m_aCommands, std::vector<UINT>{kStatus});
  EXPECT_EQ(h.m_driver.OpenInHandles() + h.m_driver.OpenOutHandles(), 0u);
}

// ------------------------------------------------------------------------------------------
// With the simulated instrument

TEST(MidiCtrlWithInstrument, AnInquiryGoesOutAndItsReplyComesBackThroughTheQueue) {
  CMidiHarness h;
  CHostedInstrument instrument(h.m_driver);
  CMidiCtrl ctrl;
  ASSERT_TRUE(ctrl.OpenInByName(kIn, kData, kStatus));
  ASSERT_TRUE(ctrl.OpenOutByName(kOut));
  h.Drain();
  h.m_wnd.m_aCommands.clear();
  const std::vector<BYTE> aInquiry = Bytes({0xF0, 0x43, 0x50, 0x03, 0x00, 0x00, 0x02, 0xF7});
  EXPECT_EQ(ctrl.SendLongMsg(aInquiry.data(), 8), 0);
  h.Advance(50);
  EXPECT_EQ(h.m_wnd.Count(kData), 1u);
  std::vector<int> aReply;
  for (int n = ctrl.GetInByte(); n != -1; n = ctrl.GetInByte()) aReply.push_back(n);
  ASSERT_GE(aReply.size(), 8u);
  EXPECT_EQ(aReply.front(), 0xF0);
  EXPECT_EQ(aReply.back(), 0xF7);
  EXPECT_EQ(h.m_trace.Of('>'), std::vector<std::string>{"F0 43 50 03 00 00 02 F7"});
}

TEST(MidiCtrlWithInstrument, ThePortsAreUsableAgainAfterTheDevicesVanishAndReturn) {
  CMidiHarness h;
  CHostedInstrument instrument(h.m_driver);
  CMidiCtrl ctrl;
  ASSERT_TRUE(ctrl.OpenInByName(kIn, kData, kStatus));
  ASSERT_TRUE(ctrl.OpenOutByName(kOut));
  h.m_log.Clear();
  instrument.Link().SetPresent(false);
  h.Settle();
  ctrl.ClosePorts(3);
  // The unplugged input goes straight to its close.
  EXPECT_EQ(h.m_log.Count("midiInStop"), 0u);
  EXPECT_EQ(h.m_log.Count("midiInReset"), 0u);
  EXPECT_FALSE(ctrl.OpenInByName(kIn, kData, kStatus));
  instrument.Link().SetPresent(true);
  h.Settle();
  ASSERT_TRUE(ctrl.OpenInByName(kIn, kData, kStatus));
  ASSERT_TRUE(ctrl.OpenOutByName(kOut));
  h.Drain();
  h.m_wnd.m_aCommands.clear();
  const std::vector<BYTE> aInquiry = Bytes({0xF0, 0x43, 0x50, 0x03, 0x00, 0x00, 0x02, 0xF7});
  ctrl.SendLongMsg(aInquiry.data(), 8);
  h.Advance(50);
  EXPECT_EQ(h.m_wnd.Count(kData), 1u);
  EXPECT_EQ(ctrl.GetInByte(), 0xF0);
}

}  // namespace
}  // namespace velda::test
