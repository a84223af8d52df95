// The instrument as Linux's USB-MIDI driver names it (one port "HALVEN USB MIDI 1" for both
// directions, none of the default names): nothing is sent until the user chooses, the one port that
// is plausibly the instrument is offered, and a hand choice survives the instrument's restart.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "midi/driver/virtual/instrument/hosted_instrument.h"
#include "midi/midi_ctrl.h"
#include "shell/resource.h"
#include "shell/texts.h"
#include "support/rig.h"
#include "support/scenario_util.h"

namespace velda::test {
namespace {

using V = std::vector<std::uint8_t>;

constexpr std::uint8_t kDevice = 1;
constexpr std::uint32_t kBase = 0x200000;
const char* const kUsbPort = "HALVEN USB MIDI 1";

const std::string kUploadScript = Script({
    "KEYWORD,#5168_1994KESTRA",
    "SET_UPDATE_MODE_ON",
    "SET_UPDATE_DEVICE,1,main",
    "OPEN_DATA_FILE,0,firm",
    "UPDATE_DEVICE,200000,1000,0",
    "SET_UPDATE_MODE_OFF",
});

bool HasNote(const CTestRig& rig, const std::string& strNote) {
  const auto notes = rig.Trace().Of('#');
  return std::find(notes.begin(), notes.end(), strNote) != notes.end();
}

// Started with the questions answered, run until the window waits after "Can't open".
fw::HWND StartAndOpenPortDialog(CTestRig& rig) {
  rig.View().SetDefaultAnswer(fw::IDOK);
  rig.RunUntil([] { return false; }, 600'000);
  EXPECT_EQ(BoxesWith(rig, TXT_CANT_OPEN_DEFAULT).size(), 1u);
  EXPECT_EQ(rig.View().Status(), TXT_STATUS_MIDI_ERROR);
  rig.Click(IDC_MIDI_PORT);
  rig.RunUntil([&] { return rig.View().WindowOf(IDD_PORT_SELECT) != 0; }, 60'000);
  return rig.View().WindowOf(IDD_PORT_SELECT);
}

// The user confirms what is offered; the instrument switches into update mode by restarting (its
// port goes and comes back), and the recovery finds the chosen port again by its name.
TEST(LinuxNames, TheOfferedPortChosenByHandIsInstalledThroughTheRestart) {
  CTestRig rig(CRigOptions{.eNaming = EPortNaming::LinuxUsb});
  rig.Driver().AddInDevice("Midi Through Port-0");  // the sequencer's own port comes first on Linux
  const V aData = Pattern(3000, 5);
  rig.SetPackage(MakePackage(kUploadScript, {{"firm", aData}}));

  const fw::HWND hDlg = StartAndOpenPortDialog(rig);
  ASSERT_NE(hDlg, 0);
  EXPECT_TRUE(rig.Sent().empty());  // nothing went to a port the installer only guessed
  EXPECT_EQ(rig.View().ComboItems(hDlg, IDC_IN_PORT), (std::vector<std::string>{kUsbPort, "Midi Through Port-0"}));
  EXPECT_EQ(rig.View().ComboSel(hDlg, IDC_IN_PORT), 0);
  EXPECT_EQ(rig.View().ComboSel(hDlg, IDC_OUT_PORT), 0);
  EXPECT_TRUE(HasNote(rig, "MIDI In device 0 \"HALVEN USB MIDI 1\" is offered as the instrument's port"));
  rig.Loop().PostInput(fw::CInputEvent::Click(hDlg, fw::IDOK));
  rig.View().SetDefaultAnswer(std::nullopt);  // the completion box stays for the checks

  ASSERT_TRUE(rig.RunUntil([&] { return !BoxesWith(rig, TXT_COMPLETED).empty(); }, 900'000));
  EXPECT_TRUE(BoxesWith(rig, TXT_TIME_OUT).empty());
  EXPECT_GE(rig.CountCommand(ID_STEP_DEVICE_SETTLED), 1u);
  EXPECT_EQ(rig.Instrument().ReadRange(kDevice, kBase, aData.size()), aData);
  // The trace tells which port of the system each open reached.
  EXPECT_TRUE(
      HasNote(rig, "MIDI In number 0 opened device 0 \"HALVEN USB MIDI 1\" (HALVEN USB:HALVEN USB MIDI 1 20:0)"));
  EXPECT_TRUE(HasNote(rig,
                      "MIDI Out \"HALVEN USB MIDI 1\" opened device 0 \"HALVEN USB MIDI 1\" "
                      "(HALVEN USB:HALVEN USB MIDI 1 20:0)"));
  rig.AnswerBox(fw::IDOK);
  EXPECT_TRUE(rig.RunToEnd(60'000));
}

// Two ports that could each be the instrument: none is offered; the user's own choice of the
// second still comes back after the restart.
TEST(LinuxNames, TwoPlausiblePortsOfferNoneAndTheChoiceIsKept) {
  CTestRig rig(CRigOptions{.eNaming = EPortNaming::LinuxUsb});
  CInstrumentConfig quiet;
  quiet.bRestartOnModeOn = false;
  auto pOther = std::make_unique<CHostedInstrument>(rig.Driver(), quiet, "HALVEN USB MIDI 2", "HALVEN USB MIDI 2");
  const V aData = Pattern(2000, 9);
  rig.SetPackage(MakePackage(kUploadScript, {{"firm", aData}}));

  const fw::HWND hDlg = StartAndOpenPortDialog(rig);
  ASSERT_NE(hDlg, 0);
  EXPECT_EQ(rig.View().ComboSel(hDlg, IDC_IN_PORT), -1);
  EXPECT_EQ(rig.View().ComboSel(hDlg, IDC_OUT_PORT), -1);
  rig.Loop().PostInput(fw::CInputEvent::ComboSel(hDlg, IDC_IN_PORT, 0));
  rig.Loop().PostInput(fw::CInputEvent::ComboSel(hDlg, IDC_OUT_PORT, 0));
  rig.Loop().PostInput(fw::CInputEvent::Click(hDlg, fw::IDOK));
  rig.View().SetDefaultAnswer(std::nullopt);

  ASSERT_TRUE(rig.RunUntil([&] { return !BoxesWith(rig, TXT_COMPLETED).empty(); }, 900'000));
  EXPECT_EQ(rig.Instrument().ReadRange(kDevice, kBase, aData.size()), aData);
  EXPECT_TRUE(rig.Driver().OutMessages(pOther->Link().OutDeviceId()).empty());
  rig.AnswerBox(fw::IDOK);
  EXPECT_TRUE(rig.RunToEnd(60'000));
}

}  // namespace
}  // namespace velda::test
