// The MIDI Port button and the MIDI Port Select dialog as the user meets them: what the boxes
// list and preselect, Cancel, choices that do not open, the missing transport object, a new run
// after a time-out; and the Data bar of a short last packet.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "instrument/request_kind.h"
#include "midi/driver/virtual/instrument/hosted_instrument.h"
#include "midi/midi_ctrl.h"
#include "midi/midi_in_port.h"
#include "midi/port_select_dlg.h"
#include "shell/texts.h"
#include "support/rig.h"
#include "support/scenario_util.h"
#include "support/sent_requests.h"

namespace velda::test {
namespace {

using V = std::vector<std::uint8_t>;
using R = EInstrumentRequest;

constexpr std::uint32_t kBase = 0x200000;
constexpr std::uint8_t kDevice = 1;
const V kInquiry{0xF0, 0x43, 0x50, 0x03, 0x00, 0x00, 0x02, 0xF7};

const std::string kUploadScript = Script({
    "KEYWORD,#5168_1994KESTRA",
    "SET_UPDATE_MODE_ON",
    "SET_UPDATE_DEVICE,1,main",
    "OPEN_DATA_FILE,0,firm",
    "UPDATE_DEVICE,200000,1000,0",
    "SET_UPDATE_MODE_OFF",
});

std::size_t CountNotes(const CTestRig& rig, const std::string& strNote) {
  const auto notes = rig.Trace().Of('#');
  return static_cast<std::size_t>(std::count(notes.begin(), notes.end(), strNote));
}

// The program started with questions answered OK, run until it waits for the user.
void StartToPortError(CTestRig& rig) {
  rig.View().SetDefaultAnswer(fw::IDOK);
  rig.RunUntil([] { return false; }, 600'000);
  ASSERT_FALSE(rig.Ended());
  ASSERT_EQ(rig.View().Status(), TXT_STATUS_MIDI_ERROR);
  ASSERT_TRUE(rig.View().IsEnabled(IDC_MIDI_PORT));
}

// Presses MIDI Port and runs until the port dialog shows; returns its window.
fw::HWND OpenPortDialog(CTestRig& rig) {
  rig.Click(IDC_MIDI_PORT);
  rig.RunUntil([&] { return rig.View().WindowOf(IDD_PORT_SELECT) != 0; }, 60'000);
  return rig.View().WindowOf(IDD_PORT_SELECT);
}

void Choose(CTestRig& rig, fw::HWND hDlg, int nBox, int nPos) {
  rig.Loop().PostInput(fw::CInputEvent::ComboSel(hDlg, nBox, nPos));
}

void Press(CTestRig& rig, fw::HWND hDlg, int nButton) { rig.Loop().PostInput(fw::CInputEvent::Click(hDlg, nButton)); }

// ---------------------------------------------------------------------------------------------

TEST(PortSelect, CancelLeavesThePortsAndTheWindowAsTheyWere) {
  CTestRig rig(CRigOptions{.bInstrument = false, .instrument = {}});
  const int nIn = rig.Driver().AddInDevice(DEFAULT_IN_PORT);
  rig.Driver().AddOutDevice("Other Out");
  StartToPortError(rig);
  const CMidiInPort* pInPort = rig.Dlg()->m_pMidi->InPort();
  const std::size_t nBoxes = rig.View().Boxes().size();
  const std::size_t nStatusNotes = rig.CountCommand(ID_MIDI_IN_STATUS);
  const std::size_t nOpenNotes = CountNotes(rig, std::string(TXT_MIDI_IN_OPENED) + DEFAULT_IN_PORT);
  ASSERT_EQ(nOpenNotes, 1u);

  const fw::HWND hDlg = OpenPortDialog(rig);
  ASSERT_NE(hDlg, 0);
  // The devices opened last are offered: input 0, and no output (its open failed: 255).
  EXPECT_EQ(rig.View().ComboSel(hDlg, IDC_IN_PORT), 0);
  EXPECT_EQ(rig.View().ComboSel(hDlg, IDC_OUT_PORT), -1);
  Choose(rig, hDlg, IDC_OUT_PORT, 0);
  Press(rig, hDlg, fw::IDCANCEL);
  rig.RunUntil([] { return false; }, 60'000);

  EXPECT_EQ(rig.View().WindowOf(IDD_PORT_SELECT), 0);
  EXPECT_EQ(rig.View().Boxes().size(), nBoxes);
  EXPECT_EQ(rig.View().StatusHistory(), std::vector<std::string>{TXT_STATUS_MIDI_ERROR});
  EXPECT_TRUE(rig.View().IsEnabled(IDC_MIDI_PORT));
  EXPECT_TRUE(rig.View().IsEnabled(fw::IDOK));
  EXPECT_EQ(rig.Dlg()->m_pMidi->InPort(), pInPort);
  EXPECT_EQ(rig.Dlg()->m_pMidi->GetInDevice(), 0);
  EXPECT_EQ(rig.Dlg()->m_pMidi->GetOutDevice(), -1);
  EXPECT_TRUE(rig.Driver().IsInOpen(nIn));
  EXPECT_EQ(rig.Driver().OpenOutHandles(), 0u);  // the output chosen before Cancel was not opened
  EXPECT_EQ(CountNotes(rig, std::string(TXT_MIDI_IN_OPENED) + DEFAULT_IN_PORT), nOpenNotes);
  EXPECT_EQ(rig.CountCommand(ID_MIDI_IN_STATUS), nStatusNotes);
  EXPECT_EQ(rig.CountCommand(ID_MARK_PORTS_CHANGED), 0u);
  EXPECT_EQ(rig.CountCommand(ID_STEP_START_INSTALL), 0u);
}

// A choice whose output will not open is reported and changes nothing the user sees; the user
// chooses again, only the output this time, and the installation runs on the chosen ports.
TEST(PortSelect, AChoiceThatWillNotOpenIsReportedAndTheUserMayChooseAgain) {
  CTestRig rig(CRigOptions{.bInstrument = false, .instrument = {}});
  CVirtualOutOptions held;
  held.bHeldElsewhere = true;
  const int nBusyOut = rig.Driver().AddOutDevice("Busy Out", held);
  CInstrumentConfig config;
  config.bRestartOnModeOn = false;
  auto pInstrument = std::make_unique<CHostedInstrument>(rig.Driver(), config, "VELDA Keys In", "VELDA Keys Out");
  const int nIn = pInstrument->Link().InDeviceId();
  const int nOut = pInstrument->Link().OutDeviceId();
  ASSERT_EQ(nOut, 1);
  const V aData = Pattern(5000, 3);
  rig.SetPackage(MakePackage(kUploadScript, {{"firm", aData}}));
  StartToPortError(rig);
  ASSERT_EQ(rig.View().Boxes().size(), 5u);

  fw::HWND hDlg = OpenPortDialog(rig);
  ASSERT_NE(hDlg, 0);
  EXPECT_EQ(rig.View().ComboItems(hDlg, IDC_IN_PORT), std::vector<std::string>{"VELDA Keys In"});
  EXPECT_EQ(rig.View().ComboItems(hDlg, IDC_OUT_PORT), (std::vector<std::string>{"Busy Out", "VELDA Keys Out"}));
  EXPECT_EQ(rig.View().ComboSel(hDlg, IDC_IN_PORT), -1);  // both default opens failed
  EXPECT_EQ(rig.View().ComboSel(hDlg, IDC_OUT_PORT), -1);
  Choose(rig, hDlg, IDC_IN_PORT, 0);
  Choose(rig, hDlg, IDC_OUT_PORT, 0);
  Press(rig, hDlg, fw::IDOK);
  rig.RunUntil([] { return false; }, 60'000);

  auto boxes = rig.View().Boxes();
  ASSERT_EQ(boxes.size(), 6u);
  EXPECT_EQ(boxes[5].strText, TXT_CANT_OPEN_CHOSEN);
  EXPECT_EQ(boxes[5].uType, fw::MB_OK | fw::MB_ICONEXCLAMATION);
  EXPECT_EQ(boxes[5].strCaption, TXT_APP_TITLE);
  EXPECT_TRUE(rig.View().IsEnabled(IDC_MIDI_PORT));
  EXPECT_TRUE(rig.View().IsEnabled(fw::IDOK));
  EXPECT_EQ(rig.View().StatusHistory(), std::vector<std::string>{TXT_STATUS_MIDI_ERROR});
  EXPECT_EQ(rig.CountCommand(ID_STEP_START_INSTALL), 0u);
  EXPECT_EQ(rig.Dlg()->m_pMidi->GetInDevice(), 0);
  EXPECT_EQ(rig.Dlg()->m_pMidi->GetOutDevice(), -1);
  EXPECT_FALSE(rig.Driver().IsOutOpen(nBusyOut));
  const std::string strInOpened = std::string(TXT_MIDI_IN_OPENED) + "VELDA Keys In";
  EXPECT_EQ(CountNotes(rig, strInOpened), 1u);

  // Again: the input that opened last is offered; only the output is chosen.
  hDlg = OpenPortDialog(rig);
  ASSERT_NE(hDlg, 0);
  EXPECT_EQ(rig.View().ComboSel(hDlg, IDC_IN_PORT), 0);
  EXPECT_EQ(rig.View().ComboSel(hDlg, IDC_OUT_PORT), -1);
  Choose(rig, hDlg, IDC_OUT_PORT, 1);
  Press(rig, hDlg, fw::IDOK);
  ASSERT_TRUE(rig.RunUntil([&] { return rig.SawCommand(ID_STEP_SEND_INQUIRY); }, 60'000));
  // The preset input was opened again, on a new port object; the chosen output opened.
  EXPECT_EQ(CountNotes(rig, strInOpened), 2u);
  EXPECT_EQ(CountNotes(rig, std::string(TXT_MIDI_IN_CLOSED) + "VELDA Keys In"), 1u);
  EXPECT_EQ(rig.Dlg()->m_pMidi->GetInDevice(), 0);
  EXPECT_EQ(rig.Dlg()->m_pMidi->GetOutDevice(), 1);
  EXPECT_TRUE(rig.Driver().IsInOpen(nIn));
  EXPECT_TRUE(rig.Driver().IsOutOpen(nOut));
  EXPECT_EQ(rig.View().Status(), TXT_STATUS_START);
  EXPECT_FALSE(rig.View().IsEnabled(IDC_MIDI_PORT));
  EXPECT_FALSE(rig.View().IsEnabled(fw::IDOK));
  EXPECT_EQ(rig.CountCommand(ID_MARK_PORTS_CHANGED), 1u);
  EXPECT_EQ(rig.CountCommand(ID_STEP_BEGIN), 0u);  // the begin routine runs directly

  ASSERT_TRUE(rig.RunUntil([&] { return !BoxesWith(rig, TXT_COMPLETED).empty(); }, 600'000));
  EXPECT_EQ(pInstrument->Instrument().ReadRange(kDevice, kBase, aData.size()), aData);
  EXPECT_TRUE(rig.Driver().OutMessages(nBusyOut).empty());
  const auto sent = rig.Driver().OutMessages(nOut);
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent[0], kInquiry);
  EXPECT_EQ(KindsOf(sent).back(), R::BaudReset);
  rig.AnswerBox(fw::IDOK);
  EXPECT_TRUE(rig.RunToEnd(60'000));
}

// Nothing in the window's life leaves it without its transport object while MIDI Port can be
// pressed; were it gone, the button and command 32771 only say the driver cannot be opened.
TEST(PortSelect, WithoutATransportObjectMidiPortOnlyReportsTheDriver) {
  CTestRig rig(CRigOptions{.bInstrument = false, .instrument = {}});
  rig.Driver().AddInDevice(DEFAULT_IN_PORT);
  StartToPortError(rig);
  const std::size_t nBoxes = rig.View().Boxes().size();
  rig.RunOnInstallerThread([&rig] {
    rig.Dlg()->m_pMidi.reset();
    rig.Loop().Post(rig.App().GetMainHwnd(), fw::WM_COMMAND, ID_MIDI_PORT, 0);
  });
  rig.RunUntil([] { return false; }, 60'000);
  rig.Click(IDC_MIDI_PORT);
  rig.RunUntil([] { return false; }, 60'000);

  const auto boxes = rig.View().Boxes();
  ASSERT_EQ(boxes.size(), nBoxes + 2);
  for (std::size_t i = nBoxes; i < boxes.size(); ++i) {
    EXPECT_EQ(boxes[i].strText, TXT_CANT_OPEN_DEFAULT);
    EXPECT_EQ(boxes[i].uType, fw::MB_OK | fw::MB_ICONEXCLAMATION);
  }
  const auto events = rig.View().Events();
  EXPECT_EQ(std::find(events.begin(), events.end(), "window 129 created"), events.end());
  EXPECT_EQ(rig.Dlg()->m_pMidi, nullptr);
  EXPECT_EQ(rig.View().StatusHistory(), std::vector<std::string>{TXT_STATUS_MIDI_ERROR});
  EXPECT_TRUE(rig.View().IsEnabled(IDC_MIDI_PORT));
  EXPECT_TRUE(rig.View().IsEnabled(fw::IDOK));
  EXPECT_EQ(rig.CountCommand(ID_STEP_START_INSTALL), 0u);
  EXPECT_EQ(rig.CountCommand(ID_MARK_PORTS_CHANGED), 0u);

  rig.Click(fw::IDOK);  // Close still works
  EXPECT_TRUE(rig.RunToEnd(60'000));
}

// The last input open failed (-1): the input box has no entry selected, and OK without a choice
// returns 255, which names no device.
TEST(PortSelect, AfterAFailedInputOpenOkWithoutAChoiceAsksForDevice255) {
  CTestRig rig(CRigOptions{.bInstrument = false, .instrument = {}});
  const int nIn = rig.Driver().AddInDevice("Some In");
  const int nOut = rig.Driver().AddOutDevice(DEFAULT_OUT_PORT);
  StartToPortError(rig);
  ASSERT_EQ(rig.Dlg()->m_pMidi->GetInDevice(), -1);
  ASSERT_EQ(rig.Dlg()->m_pMidi->GetOutDevice(), 0);

  const fw::HWND hDlg = OpenPortDialog(rig);
  ASSERT_NE(hDlg, 0);
  EXPECT_EQ(rig.View().ComboItems(hDlg, IDC_IN_PORT), std::vector<std::string>{"Some In"});
  EXPECT_EQ(rig.View().ComboSel(hDlg, IDC_IN_PORT), -1);
  EXPECT_EQ(rig.View().ComboSel(hDlg, IDC_OUT_PORT), 0);
  Press(rig, hDlg, fw::IDOK);
  rig.RunUntil([] { return false; }, 60'000);

  const auto boxes = rig.View().Boxes();
  ASSERT_EQ(boxes.size(), 6u);
  EXPECT_EQ(boxes[5].strText, TXT_CANT_OPEN_CHOSEN);
  EXPECT_EQ(rig.Dlg()->m_pMidi->GetInDevice(), -1);
  EXPECT_EQ(rig.Dlg()->m_pMidi->GetOutDevice(), 0);  // the preset output, opened again
  EXPECT_FALSE(rig.Driver().IsInOpen(nIn));          // not device 0
  EXPECT_TRUE(rig.Driver().IsOutOpen(nOut));
  EXPECT_EQ(CountNotes(rig, std::string(TXT_MIDI_IN_OPENED) + "Some In"), 0u);
  EXPECT_TRUE(rig.View().IsEnabled(IDC_MIDI_PORT));
  EXPECT_EQ(rig.View().Status(), TXT_STATUS_MIDI_ERROR);
}

// With 256 input devices the 255 of a failed open names the last of them: it is preselected and
// OK opens it, which shows the exact number the dialog hands back.
TEST(PortSelect, TheFailedInputPresetIsExactly255) {
  CTestRig rig(CRigOptions{.bInstrument = false, .instrument = {}});
  for (int i = 0; i < 256; ++i) rig.Driver().AddInDevice("In " + std::to_string(i));
  rig.Driver().AddOutDevice(DEFAULT_OUT_PORT);
  StartToPortError(rig);
  ASSERT_EQ(rig.Dlg()->m_pMidi->GetInDevice(), -1);

  const fw::HWND hDlg = OpenPortDialog(rig);
  ASSERT_NE(hDlg, 0);
  EXPECT_EQ(rig.View().ComboItems(hDlg, IDC_IN_PORT).size(), 256u);
  EXPECT_EQ(rig.View().ComboSel(hDlg, IDC_IN_PORT), 255);
  Press(rig, hDlg, fw::IDOK);
  ASSERT_TRUE(rig.RunUntil([&] { return rig.SawCommand(ID_STEP_SEND_INQUIRY); }, 60'000));
  EXPECT_EQ(rig.Dlg()->m_pMidi->GetInDevice(), 255);
  EXPECT_TRUE(rig.Driver().IsInOpen(255));
  EXPECT_EQ(CountNotes(rig, std::string(TXT_MIDI_IN_OPENED) + "In 255"), 1u);
  EXPECT_EQ(rig.View().Status(), TXT_STATUS_START);
}

TEST(PortSelect, TheDeviceTypeBoxIsDisabledAndAlwaysShowsMidi) {
  const fw::CDialogTemplate& tmpl = PortSelectTemplate();
  const auto it = std::find_if(tmpl.aControls.begin(), tmpl.aControls.end(),
                               [](const fw::CControlTemplate& c) { return c.nId == IDC_DEVICE; });
  ASSERT_NE(it, tmpl.aControls.end());
  EXPECT_FALSE(it->bEnabled);

  CTestRig rig(CRigOptions{.bInstrument = false, .instrument = {}});
  rig.Driver().AddInDevice("Some In");
  rig.Driver().AddOutDevice("Some Out");
  StartToPortError(rig);
  const fw::HWND hDlg = OpenPortDialog(rig);
  ASSERT_NE(hDlg, 0);
  EXPECT_EQ(rig.View().ComboItems(hDlg, IDC_DEVICE), (std::vector<std::string>{"MIDI", "Serial"}));
  EXPECT_EQ(rig.View().ComboSel(hDlg, IDC_DEVICE), 0);
  // The user cannot pick "Serial" in a disabled box.
  Choose(rig, hDlg, IDC_DEVICE, 1);
  rig.RunUntil([] { return false; }, 60'000);
  EXPECT_EQ(rig.View().ComboSel(hDlg, IDC_DEVICE), 0);
  Press(rig, hDlg, fw::IDCANCEL);
  rig.RunUntil([] { return false; }, 60'000);
  EXPECT_EQ(rig.View().WindowOf(IDD_PORT_SELECT), 0);
}

// The lists follow the enumeration, unsorted: the third entry is device 2.
TEST(PortSelect, DevicesAreListedInEnumerationOrderSoTheThirdEntryOpensDevice2) {
  CTestRig rig(CRigOptions{.bInstrument = false, .instrument = {}});
  for (const char* psz : {"Zulu In", "Mike In", "Alpha In"}) rig.Driver().AddInDevice(psz);
  for (const char* psz : {"Zulu Out", "Mike Out", "Alpha Out"}) rig.Driver().AddOutDevice(psz);
  StartToPortError(rig);

  const fw::HWND hDlg = OpenPortDialog(rig);
  ASSERT_NE(hDlg, 0);
  EXPECT_EQ(rig.View().ComboItems(hDlg, IDC_IN_PORT), (std::vector<std::string>{"Zulu In", "Mike In", "Alpha In"}));
  EXPECT_EQ(rig.View().ComboItems(hDlg, IDC_OUT_PORT), (std::vector<std::string>{"Zulu Out", "Mike Out", "Alpha Out"}));
  Choose(rig, hDlg, IDC_IN_PORT, 2);
  Choose(rig, hDlg, IDC_OUT_PORT, 2);
  Press(rig, hDlg, fw::IDOK);
  ASSERT_TRUE(rig.RunUntil([&] { return rig.SawCommand(ID_STEP_SEND_INQUIRY); }, 60'000));

  EXPECT_EQ(rig.Dlg()->m_pMidi->GetInDevice(), 2);
  EXPECT_EQ(rig.Dlg()->m_pMidi->GetOutDevice(), 2);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(rig.Driver().IsInOpen(i), i == 2) << i;
    EXPECT_EQ(rig.Driver().IsOutOpen(i), i == 2) << i;
  }
  EXPECT_EQ(CountNotes(rig, std::string(TXT_MIDI_IN_OPENED) + "Alpha In"), 1u);
  const auto sent = rig.Driver().OutMessages(2);
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent[0], kInquiry);
  EXPECT_TRUE(rig.Driver().OutMessages(0).empty());
  EXPECT_EQ(rig.View().Status(), TXT_STATUS_START);
}

// A device whose capabilities cannot be read keeps its place under a placeholder: the entry after
// it is still the device of that number.
TEST(PortSelect, AnUnreadableDeviceKeepsItsPlaceUnderAPlaceholder) {
  CTestRig rig(CRigOptions{.bInstrument = false, .instrument = {}});
  CVirtualInOptions unreadableIn;
  unreadableIn.bCapsFail = true;
  CVirtualOutOptions unreadableOut;
  unreadableOut.bCapsFail = true;
  rig.Driver().AddInDevice("Zulu In");
  rig.Driver().AddInDevice("Mike In", unreadableIn);
  rig.Driver().AddInDevice("Alpha In");
  rig.Driver().AddOutDevice("Zulu Out", unreadableOut);
  rig.Driver().AddOutDevice("Mike Out");
  rig.Driver().AddOutDevice("Alpha Out");
  StartToPortError(rig);

  const fw::HWND hDlg = OpenPortDialog(rig);
  ASSERT_NE(hDlg, 0);
  EXPECT_EQ(rig.View().ComboItems(hDlg, IDC_IN_PORT),
            (std::vector<std::string>{"Zulu In", "(unavailable device 1)", "Alpha In"}));
  EXPECT_EQ(rig.View().ComboItems(hDlg, IDC_OUT_PORT),
            (std::vector<std::string>{"(unavailable device 0)", "Mike Out", "Alpha Out"}));
  Choose(rig, hDlg, IDC_IN_PORT, 2);
  Choose(rig, hDlg, IDC_OUT_PORT, 2);
  Press(rig, hDlg, fw::IDOK);
  ASSERT_TRUE(rig.RunUntil([&] { return rig.SawCommand(ID_STEP_SEND_INQUIRY); }, 60'000));
  EXPECT_EQ(rig.Dlg()->m_pMidi->GetInDevice(), 2);
  EXPECT_EQ(rig.Dlg()->m_pMidi->GetOutDevice(), 2);
  EXPECT_EQ(CountNotes(rig, std::string(TXT_MIDI_IN_OPENED) + "Alpha In"), 1u);
}

// The first run loads the package and times out waiting for the set-device reply. Meanwhile a new
// package is put in place; MIDI Port starts again from the inquiry, reads it and installs it.
TEST(PortSelect, AfterATimeOutMidiPortRunsAgainFromTheInquiryReloadingThePackage) {
  CRigOptions opt;
  opt.instrument.bRestartOnModeOn = false;
  CFaultRule rule;
  rule.eFault = EInstrumentFault::NoReply;
  rule.eRequest = R::SetDevice;
  opt.instrument.faultPlan.aRules.push_back(rule);
  CTestRig rig(opt);
  const V aFirst = Pattern(5000, 1);
  const V aSecond = Pattern(5000, 99);
  ASSERT_NE(aFirst, aSecond);
  rig.SetPackage(MakePackage(kUploadScript, {{"firm", aFirst}}));
  rig.View().SetDefaultAnswer(fw::IDOK);
  ASSERT_TRUE(rig.RunUntil([&] { return rig.View().IsEnabled(IDC_MIDI_PORT); }, 600'000));
  ASSERT_EQ(BoxesWith(rig, TXT_TIME_OUT).size(), 1u);
  const std::size_t nSentFirstRun = rig.Sent().size();
  rig.SetPackage(MakePackage(kUploadScript, {{"firm", aSecond}}));

  const fw::HWND hDlg = OpenPortDialog(rig);
  ASSERT_NE(hDlg, 0);
  EXPECT_EQ(rig.View().ComboSel(hDlg, IDC_IN_PORT), 0);
  EXPECT_EQ(rig.View().ComboSel(hDlg, IDC_OUT_PORT), 0);
  Press(rig, hDlg, fw::IDOK);
  ASSERT_TRUE(rig.RunUntil([&] { return rig.CountCommand(ID_STEP_LOAD_PACKAGE) == 2; }, 600'000));
  EXPECT_FALSE(rig.View().IsEnabled(IDC_MIDI_PORT));
  EXPECT_FALSE(rig.View().IsEnabled(fw::IDOK));
  ASSERT_TRUE(rig.RunUntil([&] { return !BoxesWith(rig, TXT_COMPLETED).empty(); }, 600'000));

  const auto sent = rig.Sent();
  ASSERT_GT(sent.size(), nSentFirstRun);
  EXPECT_EQ(KindsOf({sent.begin(), sent.begin() + static_cast<std::ptrdiff_t>(nSentFirstRun)}),
            (std::vector<R>{R::Inquiry, R::ModeOn, R::SetDevice, R::BaudReset}));
  EXPECT_EQ(sent[nSentFirstRun], kInquiry);
  EXPECT_EQ(rig.Instrument().ReadRange(kDevice, kBase, aSecond.size()), aSecond);
  const std::vector<std::string> status{TXT_STATUS_CHANGE_MODE, TXT_STATUS_START,        TXT_STATUS_OPEN_DATA,
                                        TXT_STATUS_START,       TXT_STATUS_OPEN_DATA,    TXT_STATUS_UPLOAD,
                                        TXT_STATUS_WRITE_BLOCK, TXT_STATUS_BLOCK_SUM_OK, TXT_STATUS_UPLOAD,
                                        TXT_STATUS_WRITE_BLOCK, TXT_STATUS_BLOCK_SUM_OK};
  EXPECT_EQ(rig.View().StatusHistory(), status);
  EXPECT_EQ(rig.CountCommand(ID_STEP_BEGIN), 1u);  // only the start delay's
  EXPECT_EQ(rig.CountCommand(ID_STEP_START_INSTALL), 2u);
  rig.AnswerBox(fw::IDOK);
  EXPECT_TRUE(rig.RunToEnd(60'000));
}

// ---------------------------------------------------------------------------------------------
// The Data bar: every packet, the last and short one included, advances it by 2450 within the
// range 0 .. upload length + 1.

struct CDataBarCase {
  const char* pszName;
  std::size_t nBytes;
  std::vector<std::string> aEvents;  // "<lower> <upper> <pos>" in order
};

class PortSelectDataBar : public ::testing::TestWithParam<CDataBarCase> {};

TEST_P(PortSelectDataBar, TheLastShortPacketStillAdvancesByAFullPacket) {
  const CDataBarCase& c = GetParam();
  CRigOptions opt;
  opt.instrument.bRestartOnModeOn = false;
  CTestRig rig(opt);
  const V aData = Pattern(c.nBytes, 5);
  rig.SetPackage(MakePackage(kUploadScript, {{"firm", aData}}));
  rig.View().SetDefaultAnswer(fw::IDOK);
  // Paused while the write of the block is awaited: every packet has been counted.
  ASSERT_TRUE(rig.RunUntil([&] { return rig.SawCommand(ID_STEP_WRITE_BLOCK); }, 600'000));
  const int nUpper = static_cast<int>(c.nBytes) + 1;
  const fw::CProgressState bar = rig.View().Progress(IDC_PROGRESS_DATA);
  EXPECT_EQ(bar.nLower, 0);
  EXPECT_EQ(bar.nUpper, nUpper);
  EXPECT_EQ(bar.nPos, nUpper);

  ASSERT_TRUE(rig.RunUntil([&] { return !BoxesWith(rig, TXT_COMPLETED).empty(); }, 600'000));
  EXPECT_EQ(BarEvents(rig, IDC_PROGRESS_DATA), c.aEvents);
  EXPECT_EQ(rig.Instrument().ReadRange(kDevice, kBase, aData.size()), aData);
}

INSTANTIATE_TEST_SUITE_P(Uploads, PortSelectDataBar,
                         ::testing::Values(
                             // 2450 + 550: the second packet takes the bar to its top, not to 3000.
                             CDataBarCase{"TwoPackets", 3000, {"0 3001 0", "0 3001 2450", "0 3001 3001", "0 3001 0"}},
                             // One packet of 100: clamped at 101.
                             CDataBarCase{"OnePacket", 100, {"0 101 0", "0 101 101", "0 101 0"}}),
                         [](const ::testing::TestParamInfo<CDataBarCase>& tpi) {
                           return std::string(tpi.param.pszName);
                         });

}  // namespace
}  // namespace velda::test
