// The ends of an installation and the recovery of the ports while the instrument restarts into
// update mode, in virtual time: which device changes count, the settle timer, the close-reopen-
// resend sequence with its pauses, ports that never come back, a new run after a time-out, and
// the completion box left open.
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "instrument/request_kind.h"
#include "midi/driver/virtual/instrument/hosted_instrument.h"
#include "midi/midi_ctrl.h"
#include "midi/midi_in_port.h"
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
// ClosePorts with both ports pauses 100 ms after each close (an input whose device has gone is
// not stopped first, so nothing more).
constexpr std::uint64_t kClosePauses = 200;
constexpr std::uint64_t kSettleMs = 10'000;
constexpr std::uint64_t kTimeOutMs = 240 * 500;

V ModeOn(const std::string& strKeyword) {
  V a{0xF0, 0x43, 0x50, 0x03, 0x00, 0x00, 0x00};
  for (char c : strKeyword) a.push_back(static_cast<std::uint8_t>(c));
  a.push_back(0xF7);
  return a;
}

void PostDeviceChange(CTestRig& rig, fw::WPARAM nType, fw::LPARAM nData) {
  rig.Loop().Post(rig.App().GetMainHwnd(), fw::WM_DEVICECHANGE, nType, nData);
}

const std::string kUploadScript = Script({
    "SET_UPDATE_MODE_ON",
    "SET_UPDATE_DEVICE,1,main",
    "OPEN_DATA_FILE,0,firm",
    "UPDATE_DEVICE,200000,1000,0",
    "SET_UPDATE_MODE_OFF",
});

// ---------------------------------------------------------------------------------------------
// Which device changes count

// While the installer waits for a set-device reply, a device change starts the settle timer and
// its step, 10 s later, leaves everything as it was; a later change is watched again.
TEST(Recovery, AChangeWhileNoModeOnReplyIsAwaitedOnlyRunsTheSettleTimer) {
  CRigOptions opt;
  opt.instrument.bRestartOnModeOn = false;
  opt.instrument.faultPlan.aRules.push_back(Fault(EInstrumentFault::NoReply, R::SetDevice));
  CTestRig rig(opt);
  rig.SetPackage(MakePackage(kUploadScript, {{"firm", Pattern(100)}}));
  rig.View().SetDefaultAnswer(fw::IDOK);
  ASSERT_TRUE(rig.RunUntil([&] { return rig.Dlg()->m_nWaitKind == WAIT_SET_DEVICE; }, 120'000));
  const CMidiInPort* pInPort = rig.Dlg()->m_pMidi->InPort();
  const std::size_t nSentBefore = rig.Sent().size();
  const std::size_t nNotesBefore = rig.Trace().Of('#').size();

  const std::uint64_t t1 = rig.Now();
  PostDeviceChange(rig, fw::DBT_DEVNODES_CHANGED, 0);
  rig.RunFor(1000);
  EXPECT_TRUE(rig.Dlg()->m_bDevChangePending);
  EXPECT_TRUE(rig.Loop().IsTimerRunning(rig.View().MainWindow(), IDT_DEVICE_SETTLE));
  rig.RunFor(kSettleMs - 1000);
  EXPECT_EQ(rig.CommandTimes(ID_STEP_DEVICE_SETTLED), std::vector<std::uint64_t>{t1 + kSettleMs});
  EXPECT_FALSE(rig.Dlg()->m_bDevChangePending);
  EXPECT_FALSE(rig.Loop().IsTimerRunning(rig.View().MainWindow(), IDT_DEVICE_SETTLE));
  // Nothing was closed, reopened or sent again, and the wait goes on.
  EXPECT_EQ(rig.CountCommand(ID_MARK_PORTS_CHANGED), 0u);
  EXPECT_EQ(rig.Dlg()->m_pMidi->InPort(), pInPort);
  EXPECT_EQ(rig.Trace().Of('#').size(), nNotesBefore);  // no input closed or opened
  EXPECT_TRUE(rig.Driver().IsInOpen(rig.InstrumentInDevice()));
  EXPECT_TRUE(rig.Driver().IsOutOpen(rig.InstrumentOutDevice()));
  EXPECT_EQ(rig.Sent().size(), nSentBefore);
  EXPECT_EQ(rig.Dlg()->m_nWaitKind, WAIT_SET_DEVICE);
  EXPECT_EQ(rig.Dlg()->m_nSavedWaitKind, WAIT_NONE);

  const std::uint64_t t2 = rig.Now();
  PostDeviceChange(rig, fw::DBT_DEVNODES_CHANGED, 0);
  rig.RunFor(kSettleMs);
  EXPECT_EQ(rig.CommandTimes(ID_STEP_DEVICE_SETTLED), (std::vector<std::uint64_t>{t1 + kSettleMs, t2 + kSettleMs}));
  EXPECT_EQ(rig.CountCommand(ID_MARK_PORTS_CHANGED), 0u);

  // The set-device wait runs out on its own schedule, untouched by the two settle steps.
  ASSERT_TRUE(rig.RunUntil([&] { return !BoxesWith(rig, TXT_TIME_OUT).empty(); }, 600'000));
  const auto setDevice = SentOf(rig, R::SetDevice);
  ASSERT_EQ(setDevice.size(), 1u);
  EXPECT_EQ(BoxesWith(rig, TXT_TIME_OUT)[0].nShownAt, setDevice[0].nAt + kTimeOutMs);
  EXPECT_EQ(SentOf(rig, R::ModeOn).size(), 1u);
}

// Changes at 0, 3 and 9 s: one settle step, 10 s after the first.
TEST(Recovery, ABurstOfChangesGivesOneSettleStepTenSecondsAfterTheFirst) {
  CTestRig rig(CRigOptions{.bInstrument = false, .instrument = {}});
  rig.View().SetDefaultAnswer(fw::IDOK);
  rig.RunUntil([] { return false; }, 600'000);  // the port error: waiting for the user
  ASSERT_EQ(rig.View().Status(), TXT_STATUS_MIDI_ERROR);

  const std::uint64_t t1 = rig.Now();
  PostDeviceChange(rig, fw::DBT_DEVNODES_CHANGED, 0);
  rig.RunFor(3000);
  PostDeviceChange(rig, fw::DBT_DEVNODES_CHANGED, 0);
  rig.RunFor(6000);
  PostDeviceChange(rig, fw::DBT_DEVNODES_CHANGED, 0);
  rig.RunFor(60'000);

  const auto changes = rig.DeviceChanges();
  ASSERT_EQ(changes.size(), 3u);
  EXPECT_EQ(changes[0].nAt, t1);
  EXPECT_EQ(changes[1].nAt, t1 + 3000);
  EXPECT_EQ(changes[2].nAt, t1 + 9000);
  EXPECT_EQ(rig.CommandTimes(ID_STEP_DEVICE_SETTLED), std::vector<std::uint64_t>{t1 + kSettleMs});
  EXPECT_FALSE(rig.Loop().IsTimerRunning(rig.View().MainWindow(), IDT_DEVICE_SETTLE));
  EXPECT_FALSE(rig.Dlg()->m_bDevChangePending);
  EXPECT_EQ(rig.View().Status(), TXT_STATUS_MIDI_ERROR);
}

struct CForeignChange {
  const char* pszName;
  fw::WPARAM nType;
  fw::LPARAM nData;
};

class RecoveryForeignChange : public ::testing::TestWithParam<CForeignChange> {};

TEST_P(RecoveryForeignChange, ChangesNothing) {
  CTestRig rig(CRigOptions{.bInstrument = false, .instrument = {}});
  rig.View().SetDefaultAnswer(fw::IDOK);
  rig.RunUntil([] { return false; }, 600'000);
  ASSERT_EQ(rig.View().Status(), TXT_STATUS_MIDI_ERROR);

  PostDeviceChange(rig, GetParam().nType, GetParam().nData);
  rig.RunFor(60'000);
  ASSERT_EQ(rig.DeviceChanges().size(), 1u);     // received ...
  EXPECT_FALSE(rig.Dlg()->m_bDevChangePending);  // ... and passed over
  EXPECT_FALSE(rig.Loop().IsTimerRunning(rig.View().MainWindow(), IDT_DEVICE_SETTLE));
  EXPECT_EQ(rig.CountCommand(ID_STEP_DEVICE_SETTLED), 0u);

  // A device-node change proper is still watched.
  const std::uint64_t t = rig.Now();
  PostDeviceChange(rig, fw::DBT_DEVNODES_CHANGED, 0);
  rig.RunFor(60'000);
  EXPECT_EQ(rig.CommandTimes(ID_STEP_DEVICE_SETTLED), std::vector<std::uint64_t>{t + kSettleMs});
}

INSTANTIATE_TEST_SUITE_P(Events, RecoveryForeignChange,
                         ::testing::Values(CForeignChange{"Arrival", 0x8000, 0},
                                           CForeignChange{"RemoveComplete", 0x8004, 0},
                                           CForeignChange{"NodesChangedWithData", fw::DBT_DEVNODES_CHANGED, 1}),
                         [](const ::testing::TestParamInfo<CForeignChange>& tpi) {
                           return std::string(tpi.param.pszName);
                         });

// ---------------------------------------------------------------------------------------------
// The recovery

// What the ports and the wait look like at a moment inside the settle step's pauses.
struct CProbe {
  std::uint64_t nAt = 0;
  std::size_t nInHandles = 0;
  std::size_t nOutHandles = 0;
  bool bInOpen = false;
  bool bOutOpen = false;
  int nWaitKind = 0;
  int nSavedWaitKind = 0;
};

// Schedules probes at absolute virtual times; they run on the installer thread inside Sleep.
// Made before the rig, so that it outlives every probe the rig may still run.
class CProbes {
 public:
  void At(CTestRig& rig, std::uint64_t nAt) {
    CTestRig* pRig = &rig;
    rig.Loop().ScheduleAt(nAt, [this, pRig, nAt] {
      CProbe p;
      p.nAt = nAt;
      p.nInHandles = pRig->Driver().OpenInHandles();
      p.nOutHandles = pRig->Driver().OpenOutHandles();
      p.bInOpen = pRig->Driver().IsInOpen(pRig->InstrumentInDevice());
      p.bOutOpen = pRig->Driver().IsOutOpen(pRig->InstrumentOutDevice());
      if (const CInstallerDlg* pDlg = pRig->Dlg()) {
        p.nWaitKind = pDlg->m_nWaitKind;
        p.nSavedWaitKind = pDlg->m_nSavedWaitKind;
      }
      std::lock_guard<std::mutex> lock(m_mx);
      m_a.push_back(p);
    });
  }
  std::optional<CProbe> Get(std::uint64_t nAt) const {
    std::lock_guard<std::mutex> lock(m_mx);
    for (const CProbe& p : m_a) {
      if (p.nAt == nAt) return p;
    }
    return std::nullopt;
  }

 private:
  mutable std::mutex m_mx;
  std::vector<CProbe> m_a;
};

// The instrument restarts on the first mode on (its devices go for 3 s): 10 s after the change
// the ports are closed, 7.5 s later reopened by their default names, 7.5 s later mode on goes out
// again and 5 s after that once more; the instrument's answer lets the installation finish.
TEST(Recovery, TheInstrumentRestartingIntoUpdateModeIsFollowedToCompletion) {
  const V aData = Pattern(5000);
  CProbes probes;
  CTestRig rig;  // the instrument restarts entering update mode
  rig.SetPackage(MakePackage(kUploadScript, {{"firm", aData}}));
  rig.View().SetDefaultAnswer(fw::IDOK);
  ASSERT_TRUE(rig.RunUntil([&] { return !rig.DeviceChanges().empty(); }, 120'000));
  const std::uint64_t tChange = rig.DeviceChanges()[0].nAt;
  const std::uint64_t tSettled = tChange + kSettleMs;
  const std::uint64_t tReopen = tSettled + kClosePauses + 7500;
  const std::uint64_t tResend = tReopen + 7500;

  probes.At(rig, tSettled - 1);     // the dead handles are still held
  probes.At(rig, tSettled + 1000);  // closed
  probes.At(rig, tReopen - 1);
  probes.At(rig, tReopen + 1);  // reopened, the mode-on wait parked
  probes.At(rig, tResend + 1);  // mode on sent again: its wait armed

  ASSERT_TRUE(rig.RunUntil([&] { return !BoxesWith(rig, TXT_COMPLETED).empty(); }, 600'000));

  // The instrument went at the first mode on and came back 3 s later: one settle step.
  const auto changes = rig.DeviceChanges();
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(changes[1].nAt, tChange + 3000);
  for (const auto& c : changes) {
    EXPECT_EQ(c.nType, fw::DBT_DEVNODES_CHANGED);
    EXPECT_EQ(c.nData, 0);
  }
  EXPECT_EQ(rig.CommandTimes(ID_STEP_DEVICE_SETTLED), std::vector<std::uint64_t>{tSettled});

  const auto modeOn = SentOf(rig, R::ModeOn);
  ASSERT_EQ(modeOn.size(), 3u);
  EXPECT_EQ(modeOn[0].nAt, tChange);
  EXPECT_EQ(modeOn[1].nAt, tResend);
  EXPECT_EQ(modeOn[2].nAt, tResend + 5000);
  for (const CSentRequest& s : modeOn) EXPECT_EQ(s.aBytes, ModeOn(DEFAULT_KEYWORD));

  const auto pBefore = probes.Get(tSettled - 1);
  const auto pClosed = probes.Get(tSettled + 1000);
  const auto pStillClosed = probes.Get(tReopen - 1);
  const auto pReopened = probes.Get(tReopen + 1);
  const auto pResent = probes.Get(tResend + 1);
  ASSERT_TRUE(pBefore && pClosed && pStillClosed && pReopened && pResent);
  EXPECT_EQ(pBefore->nInHandles, 1u);  // the handles of the vanished devices
  EXPECT_EQ(pBefore->nOutHandles, 1u);
  EXPECT_EQ(pBefore->nWaitKind, WAIT_MODE_ON);
  for (const auto& p : {pClosed, pStillClosed}) {
    EXPECT_EQ(p->nInHandles, 0u);
    EXPECT_EQ(p->nOutHandles, 0u);
    EXPECT_FALSE(p->bInOpen);
    EXPECT_FALSE(p->bOutOpen);
    EXPECT_EQ(p->nWaitKind, WAIT_MODE_ON);
  }
  EXPECT_TRUE(pReopened->bInOpen);
  EXPECT_TRUE(pReopened->bOutOpen);
  EXPECT_EQ(pReopened->nInHandles, 1u);
  EXPECT_EQ(pReopened->nOutHandles, 1u);
  EXPECT_EQ(pReopened->nWaitKind, WAIT_NONE);
  EXPECT_EQ(pReopened->nSavedWaitKind, WAIT_MODE_ON);
  EXPECT_EQ(pResent->nWaitKind, WAIT_MODE_ON);

  // Close, then reopen: each marked.
  EXPECT_EQ(rig.CountCommand(ID_MARK_PORTS_CHANGED), 2u);
  // The answer to the first resend moves the installation on; the second answer finds nothing
  // awaited.
  EXPECT_EQ(rig.CountCommand(ID_MARK_MODE_ON_OK), 1u);
  const std::vector<R> want{R::Inquiry,    R::ModeOn,        R::ModeOn,     R::ModeOn,
                            R::SetDevice,  R::BlockStart,    R::DataPacket, R::DataPacket,
                            R::WriteBlock, R::BlockChecksum, R::BlockStart, R::DataPacket,
                            R::WriteBlock, R::BlockChecksum, R::ModeOff,    R::BaudReset};
  EXPECT_EQ(SentKinds(rig), want);
  EXPECT_EQ(rig.Instrument().ReadRange(kDevice, kBase, aData.size()), aData);
  EXPECT_EQ(rig.Instrument().Stats().nRestarts, 1u);
  EXPECT_TRUE(BoxesWith(rig, TXT_TIME_OUT).empty());

  rig.AnswerBox(fw::IDOK);
  EXPECT_TRUE(rig.RunToEnd(60'000));
}

// The instrument vanishes at mode on and never returns: the reopen finds nothing, the resends go
// nowhere, and the last one's wait times out 120 s later; the window is the user's again.
TEST(Recovery, PortsThatNeverComeBackEndInATimeOutAfterTheLastModeOn) {
  CRigOptions opt;
  opt.instrument.faultPlan.aRules.push_back(Fault(EInstrumentFault::NeverReturn, R::ModeOn));
  CTestRig rig(opt);
  rig.SetPackage(MakePackage(kUploadScript, {{"firm", Pattern(100)}}));
  rig.View().SetDefaultAnswer(fw::IDOK);
  ASSERT_TRUE(rig.RunUntil([&] { return !BoxesWith(rig, TXT_TIME_OUT).empty(); }, 600'000));

  const auto changes = rig.DeviceChanges();
  ASSERT_EQ(changes.size(), 1u);
  const std::uint64_t tSettled = changes[0].nAt + kSettleMs;
  const std::uint64_t tLastModeOn = tSettled + kClosePauses + 7500 + 7500 + 5000;
  EXPECT_EQ(rig.CommandTimes(ID_STEP_DEVICE_SETTLED), std::vector<std::uint64_t>{tSettled});
  // Three mode-on attempts; only the first reached a device.
  const auto marks = rig.CommandTimes(ID_MARK_MODE_ON_SENT);
  ASSERT_EQ(marks.size(), 3u);
  EXPECT_EQ(marks[2], tLastModeOn);
  EXPECT_EQ(SentOf(rig, R::ModeOn).size(), 1u);

  const auto boxes = BoxesWith(rig, TXT_TIME_OUT);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].nShownAt, tLastModeOn + kTimeOutMs);
  EXPECT_EQ(boxes[0].uType, fw::MB_OK | fw::MB_ICONEXCLAMATION);
  EXPECT_EQ(boxes[0].strCaption, TXT_APP_TITLE);

  rig.RunFor(600'000);  // the final reset's wait never times out
  EXPECT_EQ(BoxesWith(rig, TXT_TIME_OUT).size(), 1u);
  EXPECT_EQ(rig.CountCommand(ID_STEP_TIMEOUT_END), 1u);
  EXPECT_TRUE(rig.View().IsEnabled(IDC_MIDI_PORT));
  EXPECT_TRUE(rig.View().IsEnabled(fw::IDOK));
  EXPECT_EQ(rig.View().Status(), TXT_STATUS_OPEN_DATA);  // as the last step left it
  EXPECT_EQ(rig.Dlg()->m_pMidi->GetInDevice(), -1);
  EXPECT_EQ(rig.Dlg()->m_pMidi->GetOutDevice(), -1);
  EXPECT_FALSE(rig.Ended());
}

// The user had chosen other ports by hand (a second instrument that never answers mode on); the
// recovery goes back to the default names, where the instrument answers and is installed.
TEST(Recovery, TheRecoveryReopensTheDefaultNamesEvenAfterAChoiceByHand) {
  CRigOptions opt;
  opt.instrument.bRestartOnModeOn = false;
  opt.instrument.faultPlan.aRules.push_back(Fault(EInstrumentFault::NoReply, R::Inquiry, 1, 31));
  CTestRig rig(opt);
  CInstrumentConfig other;
  other.bRestartOnModeOn = false;
  other.faultPlan.aRules.push_back(Fault(EInstrumentFault::NoReply, R::ModeOn, 1, 100));
  auto pOther = std::make_unique<CHostedInstrument>(rig.Driver(), other, "VELDA Keys In", "VELDA Keys Out");
  ASSERT_EQ(pOther->Link().InDeviceId(), 1);
  ASSERT_EQ(pOther->Link().OutDeviceId(), 1);
  const V aData = Pattern(3000);
  rig.SetPackage(MakePackage("KEYWORD,#5168_1994KESTRA\r\n" + kUploadScript, {{"firm", aData}}));
  rig.View().SetDefaultAnswer(fw::IDOK);

  // The first run, on the default ports, gets no answer to its inquiry.
  ASSERT_TRUE(rig.RunUntil([&] { return rig.View().IsEnabled(IDC_MIDI_PORT); }, 600'000));
  ASSERT_EQ(BoxesWith(rig, TXT_TIME_OUT).size(), 1u);
  rig.Click(IDC_MIDI_PORT);
  ASSERT_TRUE(rig.RunUntil([&] { return rig.View().WindowOf(IDD_PORT_SELECT) != 0; }, 60'000));
  const fw::HWND hDlg = rig.View().WindowOf(IDD_PORT_SELECT);
  EXPECT_EQ(rig.View().ComboItems(hDlg, IDC_IN_PORT), (std::vector<std::string>{DEFAULT_IN_PORT, "VELDA Keys In"}));
  rig.Loop().PostInput(fw::CInputEvent::ComboSel(hDlg, IDC_IN_PORT, 1));
  rig.Loop().PostInput(fw::CInputEvent::ComboSel(hDlg, IDC_OUT_PORT, 1));
  rig.Loop().PostInput(fw::CInputEvent::Click(hDlg, fw::IDOK));
  rig.View().SetDefaultAnswer(std::nullopt);  // the completion box stays for the checks
  ASSERT_TRUE(rig.RunUntil([&] { return rig.Dlg() != nullptr && rig.Dlg()->m_nWaitKind == WAIT_MODE_ON; }, 600'000));
  EXPECT_EQ(rig.Dlg()->m_pMidi->GetInDevice(), 1);
  EXPECT_EQ(rig.Dlg()->m_pMidi->GetOutDevice(), 1);

  // Some device comes or goes while mode on is unanswered.
  const std::uint64_t tChange = rig.Now();
  PostDeviceChange(rig, fw::DBT_DEVNODES_CHANGED, 0);
  ASSERT_TRUE(rig.RunUntil([&] { return !BoxesWith(rig, TXT_COMPLETED).empty(); }, 600'000));

  EXPECT_EQ(rig.CommandTimes(ID_STEP_DEVICE_SETTLED), std::vector<std::uint64_t>{tChange + kSettleMs});
  EXPECT_EQ(rig.Dlg()->m_pMidi->GetInDevice(), 0);
  EXPECT_EQ(rig.Dlg()->m_pMidi->GetOutDevice(), 0);
  EXPECT_FALSE(rig.Driver().IsInOpen(1));
  EXPECT_FALSE(rig.Driver().IsOutOpen(1));
  EXPECT_EQ(rig.Instrument().ReadRange(kDevice, kBase, aData.size()), aData);
  EXPECT_FALSE(pOther->Instrument().WasWritten(kDevice, kBase));
  EXPECT_EQ(KindsOf(rig.Driver().OutMessages(1)), (std::vector<R>{R::Inquiry, R::ModeOn}));
  const std::vector<R> want{R::BaudReset,  R::ModeOn,     R::ModeOn,        R::SetDevice, R::BlockStart, R::DataPacket,
                            R::DataPacket, R::WriteBlock, R::BlockChecksum, R::ModeOff,   R::BaudReset};
  std::vector<R> afterInquiries = KindsOf(rig.Sent());
  ASSERT_GE(afterInquiries.size(), 31u);
  afterInquiries.erase(afterInquiries.begin(), afterInquiries.begin() + 31);
  EXPECT_EQ(afterInquiries, want);

  rig.AnswerBox(fw::IDOK);
  EXPECT_TRUE(rig.RunToEnd(60'000));
}

// Step 10175, which nothing in the program posts, closes both ports as the recovery does, and
// marks the change.
TEST(Recovery, StepClosePortsClosesBothPorts) {
  CRigOptions opt;
  opt.instrument.faultPlan.aRules.push_back(Fault(EInstrumentFault::NoReply, R::Inquiry, 1, 1000));
  CTestRig rig(opt);
  rig.View().SetDefaultAnswer(fw::IDOK);
  ASSERT_TRUE(rig.RunUntil([&] { return rig.SawCommand(ID_STEP_SEND_INQUIRY); }, 60'000));
  ASSERT_TRUE(rig.Driver().IsInOpen(rig.InstrumentInDevice()));
  const std::uint64_t t = rig.Now();
  rig.Loop().Post(rig.App().GetMainHwnd(), fw::WM_COMMAND, ID_STEP_CLOSE_PORTS, 0);
  rig.RunFor(100);
  EXPECT_EQ(rig.CommandTimes(ID_STEP_CLOSE_PORTS), std::vector<std::uint64_t>{t});
  EXPECT_FALSE(rig.Driver().IsInOpen(rig.InstrumentInDevice()));
  EXPECT_FALSE(rig.Driver().IsOutOpen(rig.InstrumentOutDevice()));
  EXPECT_EQ(rig.Driver().OpenInHandles(), 0u);
  EXPECT_EQ(rig.Driver().OpenOutHandles(), 0u);
  // Closing does not forget which devices were reached.
  EXPECT_EQ(rig.Dlg()->m_pMidi->GetInDevice(), 0);
  EXPECT_EQ(rig.Dlg()->m_pMidi->GetOutDevice(), 0);
  // A present input is stopped three times, 100 ms after each, before it closes; then the two
  // pauses of the close.
  EXPECT_EQ(rig.CommandTimes(ID_MARK_PORTS_CHANGED), std::vector<std::uint64_t>{t + 300 + kClosePauses});
}

// ---------------------------------------------------------------------------------------------
// A new run after a time-out

// The first run times out waiting for the set-device reply; MIDI Port with the same (working)
// ports starts the installation again from the inquiry.
void TimeOutThenStartAgain(CTestRig& rig) {
  ASSERT_TRUE(rig.RunUntil([&] { return rig.View().IsEnabled(IDC_MIDI_PORT); }, 600'000));
  ASSERT_EQ(BoxesWith(rig, TXT_TIME_OUT).size(), 1u);
  // The final reset emptied the keyword.
  EXPECT_TRUE(rig.Dlg()->m_strKeyword.IsEmpty());
  rig.Click(IDC_MIDI_PORT);
  ASSERT_TRUE(rig.RunUntil([&] { return rig.View().WindowOf(IDD_PORT_SELECT) != 0; }, 60'000));
  rig.Loop().PostInput(fw::CInputEvent::Click(rig.View().WindowOf(IDD_PORT_SELECT), fw::IDOK));
  ASSERT_TRUE(rig.RunUntil([&] { return !BoxesWith(rig, TXT_COMPLETED).empty(); }, 600'000));
  const std::vector<R> want{R::Inquiry, R::ModeOn,    R::SetDevice, R::BaudReset, R::Inquiry,
                            R::ModeOn,  R::SetDevice, R::ModeOff,   R::BaudReset};
  EXPECT_EQ(SentKinds(rig), want);
  EXPECT_EQ(rig.CountCommand(ID_STEP_LOAD_PACKAGE), 2u);
}

CRigOptions SetDeviceUnansweredOnce(const std::string& strKeyword) {
  CRigOptions opt;
  opt.instrument.bRestartOnModeOn = false;
  opt.instrument.strKeyword = strKeyword;
  opt.instrument.faultPlan.aRules.push_back(Fault(EInstrumentFault::NoReply, R::SetDevice));
  return opt;
}

TEST(Recovery, AfterATimeOutANewRunSendsAnEmptyKeywordWhenTheScriptSetsNone) {
  CTestRig rig(SetDeviceUnansweredOnce(DEFAULT_KEYWORD));
  rig.SetPackage(MakePackage(Script({"SET_UPDATE_MODE_ON", "SET_UPDATE_DEVICE,1,main", "SET_UPDATE_MODE_OFF"}), {}));
  rig.View().SetDefaultAnswer(fw::IDOK);
  TimeOutThenStartAgain(rig);
  const auto modeOn = SentOf(rig, R::ModeOn);
  ASSERT_EQ(modeOn.size(), 2u);
  EXPECT_EQ(modeOn[0].aBytes, ModeOn(DEFAULT_KEYWORD));
  EXPECT_EQ(modeOn[1].aBytes, (V{0xF0, 0x43, 0x50, 0x03, 0x00, 0x00, 0x00, 0xF7}));
  EXPECT_EQ(rig.Instrument().Stats().nWrongKeywords, 1u);
}

TEST(Recovery, AfterATimeOutANewRunSendsTheKeywordTheScriptSets) {
  const std::string strKey = "VELDA-KEY-7";
  CTestRig rig(SetDeviceUnansweredOnce(strKey));
  rig.SetPackage(MakePackage(
      Script({"KEYWORD," + strKey, "SET_UPDATE_MODE_ON", "SET_UPDATE_DEVICE,1,main", "SET_UPDATE_MODE_OFF"}), {}));
  rig.View().SetDefaultAnswer(fw::IDOK);
  TimeOutThenStartAgain(rig);
  const auto modeOn = SentOf(rig, R::ModeOn);
  ASSERT_EQ(modeOn.size(), 2u);
  EXPECT_EQ(modeOn[0].aBytes, ModeOn(strKey));
  EXPECT_EQ(modeOn[1].aBytes, ModeOn(strKey));
  EXPECT_EQ(rig.Instrument().Stats().nWrongKeywords, 0u);
}

// ---------------------------------------------------------------------------------------------
// Completion

// The completion box left open for 10 minutes: the reply-wait tick runs on all that time, and no
// time-out is ever shown.
TEST(Recovery, AfterCompletionNoTimeOutIsShownHoweverLongTheBoxStaysOpen) {
  CRigOptions opt;
  opt.instrument.bRestartOnModeOn = false;
  CTestRig rig(opt);
  const V aData = Pattern(3000);
  rig.SetPackage(MakePackage(kUploadScript, {{"firm", aData}}));
  for (int i = 0; i < 4; ++i) rig.View().QueueAnswer(fw::IDOK);
  rig.View().QueueAnswer(fw::IDOK, 600'000);  // the completion box, read for 10 minutes
  ASSERT_TRUE(rig.RunToEnd());

  const auto boxes = rig.View().Boxes();
  ASSERT_EQ(boxes.size(), 5u);
  const CBoxRecord& done = boxes[4];
  EXPECT_EQ(done.strText, TXT_COMPLETED);
  EXPECT_EQ(done.uType, fw::MB_OK | fw::MB_ICONINFORMATION);
  EXPECT_EQ(done.strCaption, TXT_APP_TITLE);
  EXPECT_EQ(done.nClosedAt - done.nShownAt, 600'000u);
  EXPECT_TRUE(BoxesWith(rig, TXT_TIME_OUT).empty());
  std::size_t nTicksWhileOpen = 0;
  for (const std::uint64_t t : rig.CommandTimes(ID_STEP_WAIT_TICK)) {
    nTicksWhileOpen += (t > done.nShownAt && t <= done.nClosedAt) ? 1 : 0;
  }
  // A tick every 500 ms while it is open (the answer, as input, beats the tick due with it):
  // far beyond the 240 that a counted wait would allow.
  EXPECT_GE(nTicksWhileOpen, 1199u);
  EXPECT_LE(nTicksWhileOpen, 1200u);
  EXPECT_EQ(rig.CountCommand(ID_STEP_TIMEOUT_END), 0u);
  EXPECT_EQ(SentKinds(rig).back(), R::BaudReset);
  EXPECT_EQ(rig.Instrument().ReadRange(kDevice, kBase, aData.size()), aData);
}

}  // namespace
}  // namespace velda::test
