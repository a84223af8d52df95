// Whole installations as a user runs them: start-up, the four questions, the instrument
// restarting into update mode and the ports recovered, several entries on two devices, blocks,
// offsets, conditional blocks, the endings; checked against the instrument's memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "instrument/instrument_memory.h"
#include "instrument/request_kind.h"
#include "shell/texts.h"
#include "support/rig.h"
#include "support/scenario_util.h"
#include "support/sent_requests.h"

namespace velda::test {
namespace {

using V = std::vector<std::uint8_t>;

V Slice(const V& a, std::size_t nFrom, std::size_t n) {
  return V(a.begin() + static_cast<long>(nFrom), a.begin() + static_cast<long>(nFrom + n));
}

struct CPackage {
  V main = Pattern(10000, 1);
  V sub = Pattern(0x900, 2);
  V area = Pattern(0x1800, 3);
  std::string strScript =
      "; VELDA system update\r\n"
      "KEYWORD,\"#5168_1994KESTRA\"\r\n"
      "MODEL_NAME,\"VELDA\"\r\n"
      "SET_UPDATE_MODE_ON\r\n"
      "UP_BAUDRATE\r\n"
      "SET_UPDATE_DEVICE,1,MAIN\r\n"
      "OPEN_DATA_FILE,0,main.bin\r\n"
      "OPEN_DATA_FILE,1,SUB.BIN\r\n"
      "OPEN_DATA_FILE,2,area.bin\r\n"
      "UPDATE_DEVICE,200000,1000,0\r\n"
      "UPDATE_DEVICE,300000,800,1,100\r\n"
      "UPDATE_BLOCK,400000,200,1,0\r\n"
      "# already there: passed over\r\n"
      "IF\r\n"
      "AREA_CHECK,2,0,500000,40\r\n"
      "UPDATE_DEVICE,500000,1000,2\r\n"
      "ENDIF\r\n"
      "SET_UPDATE_DEVICE,2,SUB\r\n"
      "IF\r\n"
      "AREA_CHECK,2,0,600000,40\r\n"
      "UPDATE_DEVICE,600000,1000,2\r\n"
      "ENDIF\r\n"
      "UPDATE_AREA,700000,400,5,10,800\r\n"
      "SET_UPDATE_MODE_OFF\r\n"
      "RESET_BAUDRATE\r\n";
  V Bytes() const { return MakePackage(strScript, {{"MAIN.BIN", main}, {"sub.bin", sub}, {"area.bin", area}}); }
};

TEST(Installation, ACompleteInstallationWithTheInstrumentRestartingIntoUpdateMode) {
  CPackage pkg;
  // Device 1 already holds the area of the first conditional block; device 2 does not.
  auto preset = std::make_shared<CInstrumentMemory>();
  preset->Device(1).Write(0x500000, pkg.area.data(), 0x40);
  CRigOptions opt;
  opt.instrument.pPresetMemory = preset;
  CTestRig rig(opt);
  rig.SetPackage(pkg.Bytes());
  rig.View().SetDefaultAnswer(fw::IDOK);
  ASSERT_TRUE(rig.RunToEnd());

  // What the user saw: the questions, then the completion box only.
  const auto boxes = rig.View().Boxes();
  ASSERT_EQ(boxes.size(), 5u);
  EXPECT_EQ(boxes[4].strText, TXT_COMPLETED);
  EXPECT_EQ(boxes[4].uType, fw::MB_OK | fw::MB_ICONINFORMATION);
  EXPECT_EQ(boxes[4].strCaption, TXT_APP_TITLE);
  const auto status = rig.View().StatusHistory();
  ASSERT_GE(status.size(), 4u);
  EXPECT_EQ(status[0], TXT_STATUS_CHANGE_MODE);
  EXPECT_EQ(status[1], TXT_STATUS_START);
  EXPECT_EQ(status[2], TXT_STATUS_OPEN_DATA);
  EXPECT_EQ(status.back(), TXT_STATUS_BLOCK_SUM_OK);
  EXPECT_FALSE(rig.View().IsEnabled(IDC_MIDI_PORT));
  EXPECT_FALSE(rig.View().IsEnabled(fw::IDOK));
  EXPECT_EQ(rig.App().GetMainHwnd(), 0u);

  // The recovery: the first mode-on makes the instrument restart; 10 s after the device change
  // the ports are closed, 7.5 s later reopened, 7.5 s later mode-on again, 5 s later once more.
  const auto modeOn = SentOf(rig, EInstrumentRequest::ModeOn);
  ASSERT_EQ(modeOn.size(), 3u);
  const V wantModeOn{0xF0, 0x43, 0x50, 0x03, 0x00, 0x00, 0x00, '#', '5', '1', '6', '8',
                     '_',  '1',  '9',  '9',  '4',  'K',  'E',  'S', 'T', 'R', 'A', 0xF7};
  for (const CSentRequest& m : modeOn) EXPECT_EQ(m.aBytes, wantModeOn);
  std::uint64_t tChange = 0;
  for (const auto& [t, id] : rig.Commands()) {
    if (id == ID_STEP_DEVICE_SETTLED && tChange == 0) tChange = t - DEVICE_SETTLE_MS;
  }
  ASSERT_GE(tChange, modeOn[0].nAt);
  EXPECT_LE(tChange - modeOn[0].nAt, 10u);  // the devices vanish as the instrument restarts
  // 10 s settle, the two closes with their 100 ms pauses, 7.5 s, the reopens, 7.5 s. The input's
  // old handle died with the restart, so its close skips the three stops.
  EXPECT_EQ(modeOn[1].nAt - tChange, 10000u + 200u + 15000u);
  EXPECT_EQ(modeOn[2].nAt - modeOn[1].nAt, 5000u);
  EXPECT_EQ(rig.Instrument().Stats().Received(EInstrumentRequest::ModeOn), 3u);

  // What the instrument holds.
  const CSimInstrument& inst = rig.Instrument();
  EXPECT_EQ(inst.ReadRange(1, 0x200000, pkg.main.size()), pkg.main);
  EXPECT_EQ(inst.ReadRange(1, 0x300000, 0x800), Slice(pkg.sub, 0x100, 0x800));  // from offset 100
  EXPECT_EQ(inst.ReadRange(1, 0x400000, 0x200), Slice(pkg.sub, 0, 0x200));
  EXPECT_EQ(inst.ReadRange(1, 0x500000, 0x40), Slice(pkg.area, 0, 0x40));  // skipped block
  EXPECT_FALSE(inst.WasWritten(1, 0x500040));
  EXPECT_EQ(inst.ReadRange(2, 0x600000, pkg.area.size()), pkg.area);            // written block
  EXPECT_EQ(inst.ReadRange(2, 0x700000, 0x800), Slice(pkg.main, 0x10, 0x800));  // UPDATE_AREA
  EXPECT_FALSE(inst.WasWritten(1, 0x200000 + 10000));
  EXPECT_FALSE(inst.InUpdateMode());

  // The 10000-byte entry in blocks of 1000 hex: 4096, 4096, 1808 at A, A+1000, A+2000.
  const auto starts = SentOf(rig, EInstrumentRequest::BlockStart);
  ASSERT_GE(starts.size(), 3u);
  auto Digits = [](const CSentRequest& m) { return std::string(m.aBytes.begin() + 7, m.aBytes.begin() + 23); };
  EXPECT_EQ(Digits(starts[0]), "0020000000001000");
  EXPECT_EQ(Digits(starts[1]), "0020100000001000");
  EXPECT_EQ(Digits(starts[2]), "0020200000000710");
  // The final baud reset closes the run, once after RESET_BAUDRATE's own.
  EXPECT_EQ(SentOf(rig, EInstrumentRequest::BaudReset).size(), 2u);
}

TEST(Installation, CompletesThroughABridgeThatSplitsRepliesAndLetsRealTimeBytesIn) {
  // Between the instrument and the installer, a bridge passes every reply on in parts, with active
  // sensing inside each part and a clock between the parts. Real bridges split at 256 bytes; the
  // parts here are shorter so that the area replies are split too.
  static constexpr std::size_t kPart = 32;
  CPackage pkg;
  CTestRig rig;
  std::size_t nSplit = 0;
  rig.InstrumentLink().SetDeliveryShape([&nSplit](const V& a) {
    std::vector<V> aParts;
    for (std::size_t n = 0; n < a.size(); n += kPart) {
      if (n != 0) aParts.push_back({0xF8});
      V part = Slice(a, n, std::min(kPart, a.size() - n));
      part.insert(part.begin() + 1, 0xFE);
      aParts.push_back(part);
    }
    nSplit += aParts.size() > 1 ? 1 : 0;
    return aParts;
  });
  rig.SetPackage(pkg.Bytes());
  rig.View().SetDefaultAnswer(fw::IDOK);
  ASSERT_TRUE(rig.RunToEnd());
  EXPECT_GT(nSplit, 0u);
  EXPECT_EQ(rig.View().Boxes().back().strText, TXT_COMPLETED);
  EXPECT_EQ(rig.Instrument().ReadRange(1, 0x200000, pkg.main.size()), pkg.main);
  EXPECT_EQ(rig.Instrument().ReadRange(2, 0x600000, pkg.area.size()), pkg.area);
  EXPECT_EQ(rig.Instrument().ReadRange(2, 0x700000, 0x800), Slice(pkg.main, 0x10, 0x800));
  // Every reply was taken as the instrument gave it: the same requests as without the bridge.
  CTestRig plain;
  plain.SetPackage(pkg.Bytes());
  plain.View().SetDefaultAnswer(fw::IDOK);
  ASSERT_TRUE(plain.RunToEnd());
  EXPECT_EQ(rig.Sent(), plain.Sent());
}

TEST(Installation, SixteenMegabytesInVirtualTimeMatchTheMemoryDump) {
  CRigOptions opt;
  opt.instrument.bRestartOnModeOn = false;
  opt.instrument.nLatencyMs = 0;
  CTestRig rig(opt);
  const V big = Pattern(16u << 20, 9);
  rig.SetPackage(
      MakePackage("SET_UPDATE_MODE_ON\r\nSET_UPDATE_DEVICE,3,BIG\r\nOPEN_DATA_FILE,7,big\r\n"
                  "UPDATE_DEVICE,1000000,100000,7\r\n",
                  {{"big", big}}));
  rig.View().SetDefaultAnswer(fw::IDOK);
  ASSERT_TRUE(rig.RunToEnd());
  EXPECT_EQ(rig.View().Boxes().back().strText, TXT_COMPLETED);
  EXPECT_EQ(rig.Instrument().Stats().Received(EInstrumentRequest::DataPacket), (big.size() + 2449) / 2450);

  // The dump, read back as any firmware tool would, holds exactly the entry at its address.
  const std::string strDump = (rig.Folder() / "dump").string();
  std::string strError;
  ASSERT_TRUE(rig.Instrument().DumpHexFolder(strDump, strError)) << strError;
  CInstrumentMemory readBack;
  ASSERT_TRUE(LoadHexFolder(strDump, readBack, strError)) << strError;
  ASSERT_NE(readBack.FindDevice(3), nullptr);
  EXPECT_EQ(readBack.Devices().size(), 1u);
  EXPECT_EQ(readBack.FindDevice(3)->WrittenCount(), big.size());
  V got(big.size());
  readBack.FindDevice(3)->Read(0x1000000, got.data(), got.size());
  EXPECT_TRUE(got == big);
}

}  // namespace
}  // namespace velda::test
