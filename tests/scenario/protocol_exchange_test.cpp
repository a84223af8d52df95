// Whole exchanges with the simulated instrument in virtual time: uploads, resends, refusals,
// time-outs, and replies that come split, doubled, late or too early.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "instrument/sim_instrument.h"
#include "midi/driver/midi_driver.h"
#include "midi/driver/virtual/instrument/instrument_link.h"
#include "midi/driver/virtual/virtual_midi_driver.h"
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

// The program, the virtual driver and the instrument on its devices. The driver is set up on the
// rig's loop and must go before it, but only after the program has closed its ports.
class ProtocolExchange : public ::testing::Test {
 protected:
  void Start(const std::string& strScript, const std::vector<std::pair<std::string, V>>& aEntries,
             CInstrumentConfig config = {}, bool bDefaultAnswers = true) {
    m_pRig = std::make_unique<CTestRig>(CRigOptions{.bInstrument = false, .instrument = {}});
    m_pDriver = std::make_unique<CVirtualMidiDriver>(m_pRig->Loop());
    SetMidiDriver(m_pDriver.get());
    m_pLink = std::make_unique<CVirtualInstrumentLink>(*m_pDriver);
    config.bRestartOnModeOn = false;
    m_pInstrument = std::make_unique<CSimInstrument>(config, *m_pLink);
    m_pLink->SetReceiver([this](V msg) { m_pInstrument->OnMessage(msg.data(), msg.size()); });
    m_pRig->SetPackage(MakePackage(strScript, aEntries));
    if (bDefaultAnswers) m_pRig->View().SetDefaultAnswer(fw::IDOK);
  }

  void TearDown() override {
    if (m_pRig != nullptr && !m_pRig->Ended()) {
      m_pRig->View().SetDefaultAnswer(fw::IDOK);
      m_pRig->CloseBox();
      m_pRig->RunToEnd(600'000);
    }
    if (m_pLink != nullptr) m_pLink->SetReceiver(nullptr);
    m_pInstrument.reset();
    m_pLink.reset();
    SetMidiDriver(nullptr);
    m_pDriver.reset();
    m_pRig.reset();
  }

  CTestRig& Rig() { return *m_pRig; }
  CSimInstrument& Instrument() { return *m_pInstrument; }

  // Every request the installer handed to the instrument's output device, in order.
  std::vector<V> Sent() const { return m_pDriver->OutMessages(m_pLink->OutDeviceId()); }
  std::vector<R> SentKinds() const { return KindsOf(Sent()); }
  std::vector<V> SentOf(R eKind) const { return MessagesOf(Sent(), eKind); }
  void InjectReply(const V& aBytes, std::uint32_t nDelayMs) {
    m_pDriver->InjectBytes(m_pLink->InDeviceId(), aBytes, nDelayMs);
  }
  std::size_t ReceivedTraced(const std::string& strPrefix) const {
    std::size_t n = 0;
    for (const std::string& s : m_pRig->Trace().Of('<')) n += s.rfind(strPrefix, 0) == 0 ? 1 : 0;
    return n;
  }

  std::unique_ptr<CTestRig> m_pRig;
  std::unique_ptr<CVirtualMidiDriver> m_pDriver;
  std::unique_ptr<CVirtualInstrumentLink> m_pLink;
  std::unique_ptr<CSimInstrument> m_pInstrument;
};

CInstrumentConfig WithFaults(std::vector<CFaultRule> aRules) {
  CInstrumentConfig config;
  config.faultPlan.aRules = std::move(aRules);
  return config;
}

const std::string kUploadScript = Script({
    "SET_UPDATE_MODE_ON",
    "SET_UPDATE_DEVICE,1,main",
    "OPEN_DATA_FILE,0,firm",
    "UPDATE_DEVICE,200000,1000,0",
    "SET_UPDATE_MODE_OFF",
});

// ---------------------------------------------------------------------------------------------
// Uploads

TEST_F(ProtocolExchange, UploadWritesTheEntryBlockByBlock) {
  const V aData = Pattern(10000);
  Start(kUploadScript, {{"firm", aData}});
  ASSERT_TRUE(Rig().RunToEnd());

  ASSERT_EQ(BoxesWith(Rig(), TXT_COMPLETED).size(), 1u);
  EXPECT_EQ(Instrument().ReadRange(kDevice, kBase, aData.size()), aData);
  EXPECT_EQ(Instrument().Stats().nChecksumsMatched, 3u);
  EXPECT_EQ(Instrument().Stats().nMalformed, 0u);
  EXPECT_EQ(Instrument().Stats().nOutOfSequence, 0u);

  const std::vector<R> want{R::Inquiry,    R::ModeOn,        R::SetDevice,     R::BlockStart, R::DataPacket,
                            R::DataPacket, R::WriteBlock,    R::BlockChecksum, R::BlockStart, R::DataPacket,
                            R::DataPacket, R::WriteBlock,    R::BlockChecksum, R::BlockStart, R::DataPacket,
                            R::WriteBlock, R::BlockChecksum, R::ModeOff,       R::BaudReset};
  EXPECT_EQ(SentKinds(), want);

  // Blocks of 4096, 4096 and 1808 bytes at A, A + 1000 and A + 2000.
  const std::vector<V> aStarts = SentOf(R::BlockStart);
  ASSERT_EQ(aStarts.size(), 3u);
  EXPECT_EQ(std::string(aStarts[0].begin() + 7, aStarts[0].end() - 1), "0020000000001000");
  EXPECT_EQ(std::string(aStarts[1].begin() + 7, aStarts[1].end() - 1), "0020100000001000");
  EXPECT_EQ(std::string(aStarts[2].begin() + 7, aStarts[2].end() - 1), "0020200000000710");
  const std::vector<V> aPackets = SentOf(R::DataPacket);
  ASSERT_EQ(aPackets.size(), 5u);
  EXPECT_EQ(aPackets[0].size(), 2821u);
  EXPECT_EQ(std::string(aPackets[1].begin() + 7, aPackets[1].begin() + 19), "066E00000992");
  EXPECT_EQ(std::string(aPackets[4].begin() + 7, aPackets[4].begin() + 19), "071000000000");

  // The Data bar spans the whole entry plus one.
  const auto events = Rig().View().Events();
  EXPECT_NE(std::find(events.begin(), events.end(), "progress 1005 0 10001 0"), events.end());
  EXPECT_EQ(Rig().CountCommand(ID_STEP_ADVANCE_DATA_PROGRESS), 5u);
}

TEST_F(ProtocolExchange, UploadBlockBeyondTheEntryAnnouncesOnlyTheBytesThatRemain) {
  const V aData = Pattern(0x50);
  Start(Script({"SET_UPDATE_MODE_ON", "SET_UPDATE_DEVICE,1,main", "OPEN_DATA_FILE,0,firm", "UPDATE_BLOCK,100,40,0,20",
                "SET_UPDATE_MODE_OFF"}),
        {{"firm", aData}});
  ASSERT_TRUE(Rig().RunToEnd());
  ASSERT_EQ(BoxesWith(Rig(), TXT_COMPLETED).size(), 1u);
  const std::vector<V> aStarts = SentOf(R::BlockStart);
  ASSERT_EQ(aStarts.size(), 1u);
  EXPECT_EQ(std::string(aStarts[0].begin() + 7, aStarts[0].end() - 1), "0000010000000030");
  EXPECT_EQ(Instrument().ReadRange(kDevice, 0x100, 0x30), V(aData.begin() + 0x20, aData.end()));
  EXPECT_FALSE(Instrument().WasWritten(kDevice, 0x130));
  EXPECT_EQ(Instrument().Stats().nChecksumsMatched, 1u);
  EXPECT_EQ(Instrument().Stats().nOutOfSequence, 0u);
}

TEST_F(ProtocolExchange, UploadsWithNothingLeftGoOnWithTheNextStatement) {
  const V aData = Pattern(0x50);
  Start(Script({"SET_UPDATE_MODE_ON", "SET_UPDATE_DEVICE,1,main", "OPEN_DATA_FILE,0,firm",
                "UPDATE_DEVICE,100,10,0,50",  // offset at the entry's end
                "UPDATE_AREA,100,0,0,0,0",    // length 0, block size 0
                "UPDATE_BLOCK,100,0,0,0",     // length 0
                "SET_UPDATE_MODE_OFF"}),
        {{"firm", aData}});
  ASSERT_TRUE(Rig().RunToEnd());
  ASSERT_EQ(BoxesWith(Rig(), TXT_COMPLETED).size(), 1u);
  EXPECT_TRUE(BoxesWith(Rig(), TXT_SCRIPT_ERROR).empty());
  EXPECT_TRUE(SentOf(R::BlockStart).empty());
  EXPECT_EQ(SentOf(R::ModeOff).size(), 1u);
}

TEST_F(ProtocolExchange, UpdateAreaUploadsFromEntryZeroWhateverItsThirdArgumentSays) {
  const V aData = Pattern(0x300);
  Start(Script({"SET_UPDATE_MODE_ON", "SET_UPDATE_DEVICE,1,main", "OPEN_DATA_FILE,0,firm",
                "UPDATE_AREA,4000,100,7,10,250", "SET_UPDATE_MODE_OFF"}),
        {{"firm", aData}});
  ASSERT_TRUE(Rig().RunToEnd());
  ASSERT_EQ(BoxesWith(Rig(), TXT_COMPLETED).size(), 1u);
  EXPECT_EQ(SentOf(R::BlockStart).size(), 3u);
  EXPECT_EQ(Instrument().ReadRange(kDevice, 0x4000, 0x250), V(aData.begin() + 0x10, aData.begin() + 0x260));
  EXPECT_EQ(Instrument().Stats().nChecksumsMatched, 3u);
}

// Statements whose arguments cannot be sent as written: " Script Error ", nothing goes out,
// no wait is armed, and the run halts for good.
class ProtocolScriptError : public ProtocolExchange, public ::testing::WithParamInterface<const char*> {};

TEST_P(ProtocolScriptError, HaltsWithoutSendingOrWaiting) {
  Start(Script({"SET_UPDATE_MODE_ON", "SET_UPDATE_DEVICE,1,main", "OPEN_DATA_FILE,0,firm", GetParam(),
                "SET_UPDATE_MODE_OFF"}),
        {{"firm", Pattern(0x50)}});
  Rig().RunFor(600'000);
  ASSERT_EQ(BoxesWith(Rig(), TXT_SCRIPT_ERROR).size(), 1u);
  EXPECT_TRUE(BoxesWith(Rig(), TXT_TIME_OUT).empty());
  const std::vector<R> want{R::Inquiry, R::ModeOn, R::SetDevice};
  EXPECT_EQ(SentKinds(), want);
  ASSERT_NE(Rig().Dlg(), nullptr);
  EXPECT_EQ(Rig().Dlg()->m_nWaitKind, WAIT_NONE);
  EXPECT_FALSE(Rig().Ended());
}

INSTANTIATE_TEST_SUITE_P(Statements, ProtocolScriptError,
                         ::testing::Values("UPDATE_DEVICE,0,0,0",           // block size 0
                                           "UPDATE_DEVICE,0,10,32",         // entry 50
                                           "UPDATE_BLOCK,0,10,FFFFFFFF,0",  // entry far outside
                                           "UPDATE_DEVICE,0,10,0,51",       // offset beyond
                                           "UPDATE_BLOCK,0,10,0,51",        // offset beyond
                                           "UPDATE_AREA,0,10,0,48,9",       // beyond entry 0
                                           "UPDATE_AREA,0,0,0,0,10",        // block size 0
                                           "SET_UPDATE_DEVICE,80,x",        // device of 80
                                           "KEYWORD,0123456789012345678901234567890123456789ABCDE\r\n"  // 45 characters
                                           "SET_UPDATE_MODE_ON",
                                           "KEYWORD,key\xE9\r\nSET_UPDATE_MODE_ON"));  // a byte of 80 or more

TEST_F(ProtocolExchange, TheLongestKeywordIsSent) {
  const std::string strKey(44, 'k');
  CInstrumentConfig config;
  config.strKeyword = strKey;
  Start(Script({"KEYWORD," + strKey, "SET_UPDATE_MODE_ON", "SET_UPDATE_MODE_OFF"}), {}, config);
  ASSERT_TRUE(Rig().RunToEnd());
  ASSERT_EQ(BoxesWith(Rig(), TXT_COMPLETED).size(), 1u);
  const std::vector<V> aModeOn = SentOf(R::ModeOn);
  ASSERT_EQ(aModeOn.size(), 1u);
  EXPECT_EQ(aModeOn[0].size(), 52u);
  EXPECT_EQ(std::string(aModeOn[0].begin() + 7, aModeOn[0].end() - 1), strKey);
  EXPECT_EQ(Instrument().Stats().nWrongKeywords, 0u);
}

// ---------------------------------------------------------------------------------------------
// Resends and refusals

TEST_F(ProtocolExchange, APacketAnswered02IsResentUnchangedUpToThreeTimes) {
  const V aData = Pattern(3000);
  Start(kUploadScript, {{"firm", aData}}, WithFaults({Fault(EInstrumentFault::Status02, R::DataPacket, 1, 3)}));
  ASSERT_TRUE(Rig().RunToEnd());
  ASSERT_EQ(BoxesWith(Rig(), TXT_COMPLETED).size(), 1u);
  const std::vector<V> aPackets = SentOf(R::DataPacket);
  ASSERT_EQ(aPackets.size(), 5u);  // the first packet four times, then the second
  for (int i = 1; i < 4; ++i) EXPECT_EQ(aPackets[i], aPackets[0]);
  EXPECT_NE(aPackets[4], aPackets[0]);
  EXPECT_EQ(Rig().CountCommand(ID_MARK_RESENT), 3u);
  EXPECT_EQ(Instrument().ReadRange(kDevice, kBase, aData.size()), aData);
  // The block sum and the Data bar counted the packet once.
  EXPECT_EQ(Instrument().Stats().nChecksumsMatched, 1u);
  EXPECT_EQ(Rig().CountCommand(ID_STEP_ADVANCE_DATA_PROGRESS), 2u);
}

TEST_F(ProtocolExchange, AFourth02AskingForAFifthSendIsARefusal) {
  Start(kUploadScript, {{"firm", Pattern(3000)}}, WithFaults({Fault(EInstrumentFault::Status02, R::DataPacket, 1, 4)}));
  ASSERT_TRUE(Rig().RunToEnd());
  const auto boxes = BoxesWith(Rig(), TXT_REFUSED);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].uType, fw::MB_OK | fw::MB_ICONSTOP);
  EXPECT_EQ(boxes[0].strCaption, TXT_APP_TITLE);
  EXPECT_EQ(SentOf(R::DataPacket).size(), 4u);
  EXPECT_EQ(SentKinds().back(), R::DataPacket);  // neither mode off nor a baud reset follows
  EXPECT_EQ(Rig().CountCommand(ID_MARK_UPLOAD_FAILED), 1u);
  EXPECT_TRUE(BoxesWith(Rig(), TXT_COMPLETED).empty());
}

class ProtocolRefusal : public ProtocolExchange, public ::testing::WithParamInterface<R> {};

TEST_P(ProtocolRefusal, ShowsTheErrorAndClosesWithoutSendingMore) {
  Start(Script({"SET_UPDATE_MODE_ON", "UP_BAUDRATE", "SET_UPDATE_DEVICE,1,main", "OPEN_DATA_FILE,0,firm",
                "UPDATE_DEVICE,200000,1000,0", "RESET_BAUDRATE", "SET_UPDATE_MODE_OFF"}),
        {{"firm", Pattern(5000)}}, WithFaults({Fault(EInstrumentFault::Refuse, GetParam())}));
  ASSERT_TRUE(Rig().RunToEnd());
  const auto boxes = BoxesWith(Rig(), TXT_REFUSED);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].uType, fw::MB_OK | fw::MB_ICONSTOP);
  EXPECT_TRUE(BoxesWith(Rig(), TXT_COMPLETED).empty());
  EXPECT_TRUE(BoxesWith(Rig(), TXT_TIME_OUT).empty());
  EXPECT_EQ(SentKinds().back(), GetParam());
  EXPECT_EQ(SentOf(R::ModeOff).size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Requests, ProtocolRefusal,
                         ::testing::Values(R::BaudUp, R::SetDevice, R::BlockStart, R::DataPacket, R::WriteBlock,
                                           R::BlockChecksum, R::BaudReset));

TEST_F(ProtocolExchange, ModeRepliesCountAsAcceptedWhateverTheirStatus) {
  Start(Script({"SET_UPDATE_MODE_ON", "SET_UPDATE_MODE_OFF"}), {},
        WithFaults({Fault(EInstrumentFault::Refuse, R::ModeOn), Fault(EInstrumentFault::Refuse, R::ModeOff)}));
  ASSERT_TRUE(Rig().RunToEnd());
  EXPECT_EQ(BoxesWith(Rig(), TXT_COMPLETED).size(), 1u);
  EXPECT_TRUE(BoxesWith(Rig(), TXT_REFUSED).empty());
  EXPECT_EQ(Instrument().Stats().nFaultsApplied, 2u);
  const std::vector<R> want{R::Inquiry, R::ModeOn, R::ModeOff, R::BaudReset};
  EXPECT_EQ(SentKinds(), want);
}

// ---------------------------------------------------------------------------------------------
// Time-outs

TEST_F(ProtocolExchange, WithoutAnAnswerTheInquiryGoesOut31TimesAndTimesOutAfter15s) {
  Start(kUploadScript, {}, WithFaults({Fault(EInstrumentFault::NoReply, R::Inquiry, 1, 1000)}));
  ASSERT_TRUE(Rig().RunUntil([&] { return !BoxesWith(Rig(), TXT_TIME_OUT).empty(); }));
  const auto boxes = BoxesWith(Rig(), TXT_TIME_OUT);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].uType, fw::MB_OK | fw::MB_ICONEXCLAMATION);
  std::uint64_t tFirst = 0;
  for (const auto& [t, id] : Rig().Commands()) {
    if (id == ID_STEP_SEND_INQUIRY) {
      tFirst = t;
      break;
    }
  }
  EXPECT_EQ(boxes[0].nShownAt - tFirst, 15'000u);
  EXPECT_EQ(SentOf(R::Inquiry).size(), 31u);

  // The final reset follows; its wait never times out and the window is the user's again.
  Rig().RunFor(600'000);
  EXPECT_EQ(BoxesWith(Rig(), TXT_TIME_OUT).size(), 1u);
  EXPECT_EQ(SentOf(R::Inquiry).size(), 31u);
  EXPECT_EQ(SentKinds().back(), R::BaudReset);
  EXPECT_TRUE(Rig().View().IsEnabled(IDC_MIDI_PORT));
  EXPECT_TRUE(Rig().View().IsEnabled(fw::IDOK));
  EXPECT_FALSE(Rig().Ended());
}

TEST_F(ProtocolExchange, AWriteBlockTimesOutAfter63AndAHalfSeconds) {
  Start(kUploadScript, {{"firm", Pattern(100)}}, WithFaults({Fault(EInstrumentFault::NoReply, R::WriteBlock)}));
  ASSERT_TRUE(Rig().RunUntil([&] { return !BoxesWith(Rig(), TXT_TIME_OUT).empty(); }));
  std::uint64_t tSent = 0;
  for (const auto& [t, id] : Rig().Commands()) {
    if (id == ID_STEP_WRITE_BLOCK) tSent = t;
  }
  EXPECT_EQ(BoxesWith(Rig(), TXT_TIME_OUT)[0].nShownAt - tSent, 63'500u);
}

TEST_F(ProtocolExchange, AReplyThatComesWhileTheTimeOutBoxIsOpenIsLate) {
  Start(kUploadScript, {{"firm", Pattern(100)}}, WithFaults({Fault(EInstrumentFault::NoReply, R::BlockStart)}), false);
  for (int i = 0; i < 4; ++i) Rig().View().QueueAnswer(fw::IDOK);
  Rig().View().QueueAnswer(fw::IDOK, 5000);  // the user reads the time-out box for 5 s
  ASSERT_TRUE(Rig().RunUntil([&] { return !BoxesWith(Rig(), TXT_TIME_OUT).empty(); }));
  InjectReply({0xF0, 0x43, 0x50, 0x03, 0x00, 0x01, 0x42, 0x01, 0xF7}, 1000);
  Rig().RunFor(60'000);
  EXPECT_EQ(Rig().CountCommand(ID_REPLY_BLOCK_START), 1u);
  EXPECT_EQ(Rig().CountCommand(ID_STEP_BEGIN_BLOCK_DATA), 0u);
  EXPECT_TRUE(SentOf(R::DataPacket).empty());
  EXPECT_EQ(BoxesWith(Rig(), TXT_TIME_OUT).size(), 1u);
}

TEST_F(ProtocolExchange, AForeignReplyIsNoReply) {
  Start(kUploadScript, {{"firm", Pattern(100)}}, WithFaults({Fault(EInstrumentFault::ForeignReply, R::SetDevice)}));
  ASSERT_TRUE(Rig().RunUntil([&] { return !BoxesWith(Rig(), TXT_TIME_OUT).empty(); }));
  EXPECT_EQ(Rig().CountCommand(ID_REPLY_SET_DEVICE), 0u);
  EXPECT_TRUE(SentOf(R::BlockStart).empty());
}

// ---------------------------------------------------------------------------------------------
// How replies arrive

TEST_F(ProtocolExchange, SplitAndDoubledRepliesAreEachHandledOnce) {
  const V aData = Pattern(9000);
  Start(kUploadScript, {{"firm", aData}},
        WithFaults({Fault(EInstrumentFault::SplitReply, R::BlockStart, 1, 100),
                    Fault(EInstrumentFault::DoubleReply, R::DataPacket, 1, 100),
                    Fault(EInstrumentFault::SplitReply, R::BlockChecksum, 1, 100)}));
  ASSERT_TRUE(Rig().RunToEnd());
  ASSERT_EQ(BoxesWith(Rig(), TXT_COMPLETED).size(), 1u);
  EXPECT_EQ(Instrument().ReadRange(kDevice, kBase, aData.size()), aData);
  const std::size_t nPackets = SentOf(R::DataPacket).size();
  EXPECT_EQ(nPackets, 5u);  // 4096 + 4096 + 808: two, two and one, none skipped or repeated
  EXPECT_EQ(Instrument().Stats().nPacketsResent, 0u);
  // Each copy of a doubled reply is received and announced; the second finds nothing awaited.
  EXPECT_EQ(ReceivedTraced("F0 43 50 03 00 03 40"), 2 * nPackets);
  EXPECT_EQ(Rig().CountCommand(ID_REPLY_DATA_PACKET), 2 * nPackets);
  EXPECT_EQ(ReceivedTraced("F0 43 50 03 00 01 42"), 3u);
  EXPECT_EQ(Rig().CountCommand(ID_REPLY_BLOCK_START), 3u);
}

TEST_F(ProtocolExchange, RepliesBeforeTheInstallationStartsHaveNoEffect) {
  CInstrumentConfig config;
  config.faultPlan.aUnsolicited.push_back({1000, {0xF0, 0x43, 0x50, 0x03, 0x00, 0x00, 0x42, 0x41, 0xF7}});
  config.faultPlan.aUnsolicited.push_back({1500, {0xF0, 0x43, 0x50, 0x03, 0x00, 0x00, 0x40, 0x01, 0xF7}});
  Start(kUploadScript, {{"firm", Pattern(100)}}, config);
  ASSERT_TRUE(Rig().RunToEnd());
  ASSERT_EQ(BoxesWith(Rig(), TXT_COMPLETED).size(), 1u);
  // The early inquiry reply was received but not announced: only the real one was.
  EXPECT_EQ(ReceivedTraced("F0 43 50 03 00 00 42"), 2u);
  EXPECT_EQ(Rig().CountCommand(ID_REPLY_INQUIRY), 1u);
  EXPECT_EQ(Rig().CountCommand(ID_REPLY_MODE_ON), 1u);
}

TEST_F(ProtocolExchange, ALateReplyIsIgnored) {
  Start(kUploadScript, {{"firm", Pattern(100)}});
  ASSERT_TRUE(Rig().RunUntil([&] { return Rig().SawCommand(ID_REPLY_SET_DEVICE); }));
  // A second set-device answer, while the installer waits for something else.
  InjectReply({0xF0, 0x43, 0x50, 0x03, 0x00, 0x01, 0x41, 0x00, 0xF7}, 0);
  ASSERT_TRUE(Rig().RunToEnd());
  EXPECT_EQ(BoxesWith(Rig(), TXT_COMPLETED).size(), 1u);
  EXPECT_TRUE(BoxesWith(Rig(), TXT_REFUSED).empty());
  EXPECT_EQ(Rig().CountCommand(ID_REPLY_SET_DEVICE), 2u);
}

TEST_F(ProtocolExchange, AGroup05Command43ReplyIsAnnouncedAndLeavesTheNextReplyAlone) {
  Start(kUploadScript, {{"firm", Pattern(100)}});
  ASSERT_TRUE(Rig().RunUntil([&] { return Rig().SawCommand(ID_REPLY_SET_DEVICE); }));
  // Status 00 in it: were its bytes taken for the next reply, that one would read as refused.
  InjectReply({0xF0, 0x43, 0x50, 0x03, 0x00, 0x05, 0x43, 0x00, 0xF7}, 0);
  ASSERT_TRUE(Rig().RunToEnd());
  EXPECT_EQ(Rig().CountCommand(ID_MARK_REPLY_05C), 1u);
  EXPECT_EQ(BoxesWith(Rig(), TXT_COMPLETED).size(), 1u);
  EXPECT_TRUE(BoxesWith(Rig(), TXT_REFUSED).empty());
}

// ---------------------------------------------------------------------------------------------
// Area checks

const std::string kAreaScript = Script({
    "SET_UPDATE_MODE_ON",
    "SET_UPDATE_DEVICE,1,main",
    "OPEN_DATA_FILE,0,firm",
    "IF",
    "AREA_CHECK,0,0,200000,40",
    "UPDATE_DEVICE,200000,1000,0",
    "ENDIF",
    "SET_UPDATE_MODE_OFF",
});

CInstrumentConfig WithMemory(const V& aData) {
  auto pMemory = std::make_shared<CInstrumentMemory>();
  pMemory->Device(kDevice).Write(kBase, aData.data(), aData.size());
  CInstrumentConfig config;
  config.pPresetMemory = pMemory;
  return config;
}

TEST_F(ProtocolExchange, AnEqualAreaSkipsTheUpload) {
  const V aData = Pattern(0x40);
  Start(kAreaScript, {{"firm", aData}}, WithMemory(aData));
  ASSERT_TRUE(Rig().RunToEnd());
  ASSERT_EQ(BoxesWith(Rig(), TXT_COMPLETED).size(), 1u);
  EXPECT_TRUE(SentOf(R::BlockStart).empty());
  EXPECT_EQ(Rig().CountCommand(ID_AREA_MATCH), 1u);
  const std::vector<V> aChecks = SentOf(R::AreaCheck);
  ASSERT_EQ(aChecks.size(), 1u);
  EXPECT_EQ(std::string(aChecks[0].begin() + 7, aChecks[0].end() - 1), "004000200000");
}

TEST_F(ProtocolExchange, ADamagedAreaReplyCountsAsDifferent) {
  const V aData = Pattern(0x40);
  CInstrumentConfig config = WithMemory(aData);
  config.faultPlan.aRules.push_back(Fault(EInstrumentFault::CorruptReply, R::AreaCheck));
  Start(kAreaScript, {{"firm", aData}}, config);
  ASSERT_TRUE(Rig().RunToEnd());
  ASSERT_EQ(BoxesWith(Rig(), TXT_COMPLETED).size(), 1u);
  EXPECT_EQ(Rig().CountCommand(ID_AREA_MISMATCH), 1u);
  EXPECT_EQ(SentOf(R::BlockStart).size(), 1u);
}

TEST_F(ProtocolExchange, ADoubledAreaReplyIsComparedOnce) {
  const V aData = Pattern(0x40);
  Start(kAreaScript, {{"firm", aData}}, WithFaults({Fault(EInstrumentFault::DoubleReply, R::AreaCheck)}));
  ASSERT_TRUE(Rig().RunToEnd());
  ASSERT_EQ(BoxesWith(Rig(), TXT_COMPLETED).size(), 1u);
  EXPECT_EQ(Rig().CountCommand(ID_REPLY_AREA_CHECK), 2u);
  EXPECT_EQ(Rig().CountCommand(ID_MARK_AREA_CHECK_REPLY), 2u);
  EXPECT_EQ(Rig().CountCommand(ID_STEP_COMPARE_AREA), 1u);
  EXPECT_EQ(SentOf(R::BlockStart).size(), 1u);
  EXPECT_EQ(SentOf(R::ModeOff).size(), 1u);
  EXPECT_EQ(Instrument().ReadRange(kDevice, kBase, aData.size()), aData);
}

}  // namespace
}  // namespace velda::test
