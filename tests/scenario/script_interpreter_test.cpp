// The package load and the statement interpreter as the installer runs them, in virtual time.
// The rig starts the program without an instrument, so it waits with its ports missing; each test
// then gives it the load step that the inquiry reply would give, and answers area requests by
// writing the area bytes and posting the comparison step as the reply handling would.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "script/conditional.h"
#include "shell/texts.h"
#include "support/rig.h"

namespace velda::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Entries = std::vector<std::pair<std::string, Bytes>>;

constexpr std::uint64_t kLimitMs = 600'000;

// One run of the program with a package, driven from the test.
class CScriptRun {
 public:
  // Starts the program and lets it settle; then posts the load step.
  void Start(const Bytes& aPackage) {
    m_rig.SetPackage(aPackage);
    StartWithoutPackage();
  }
  void Start(const std::string& strScript, const Entries& aEntries = {}) { Start(MakePackage(strScript, aEntries)); }
  void StartWithoutPackage() {
    m_rig.View().SetDefaultAnswer(fw::IDOK);
    m_rig.RunFor(60'000);
    ASSERT_NE(m_rig.Dlg(), nullptr);
    ASSERT_EQ(m_rig.View().Status(), TXT_STATUS_MIDI_ERROR)
        << "these tests drive the script by hand: the program must wait with its ports missing";
    m_nBoxesBefore = m_rig.View().Boxes().size();
    m_nCommandsBefore = m_rig.Commands().size();
    m_rig.View().SetDefaultAnswer(std::nullopt);  // boxes stay open for the test to look at
    Post(ID_STEP_LOAD_PACKAGE);
  }

  void Post(fw::UINT nId) { m_rig.Loop().Post(m_rig.Dlg()->GetSafeHwnd(), fw::WM_COMMAND, nId, 0); }

  // Runs until a message box is open; false when none opened.
  bool RunToBox() {
    return m_rig.RunUntil([this] { return m_rig.View().OpenBox() != 0; }, kLimitMs);
  }
  // Runs until the n-th area request (counted from 1) has been sent.
  bool RunToAreaRequest(std::size_t n) {
    return m_rig.RunUntil([this, n] { return Count(ID_STEP_SEND_AREA_CHECK) >= n; }, kLimitMs);
  }
  // The reply to the pending area request carried these bytes.
  void AnswerArea(const Bytes& aBytes) {
    CInstallerDlg& dlg = *m_rig.Dlg();
    std::copy(aBytes.begin(), aBytes.end(), dlg.m_pAreaBuf.get());
    dlg.m_nAreaBytes = static_cast<fw::UINT>(aBytes.size());
    Post(ID_STEP_COMPARE_AREA);
  }

  // The boxes and commands since the load step was posted.
  std::vector<CBoxRecord> Boxes() const {
    const auto all = m_rig.View().Boxes();
    return {all.begin() + static_cast<std::ptrdiff_t>(m_nBoxesBefore), all.end()};
  }
  std::vector<fw::UINT> Ids() const {
    std::vector<fw::UINT> ids;
    const auto all = m_rig.Commands();
    for (std::size_t i = m_nCommandsBefore; i < all.size(); ++i) ids.push_back(all[i].second);
    return ids;
  }
  std::size_t Count(fw::UINT nId) const {
    const auto ids = Ids();
    return static_cast<std::size_t>(std::count(ids.begin(), ids.end(), nId));
  }
  std::vector<fw::UINT> Only(const std::vector<fw::UINT>& aWanted) const {
    std::vector<fw::UINT> out;
    for (const fw::UINT id : Ids()) {
      if (std::find(aWanted.begin(), aWanted.end(), id) != aWanted.end()) out.push_back(id);
    }
    return out;
  }
  std::string OpenBoxText() const {
    const auto boxes = Boxes();
    return boxes.empty() || boxes.back().nAnswer != -1 ? std::string() : boxes.back().strText;
  }
  CDataEntry& Slot(int n) { return m_rig.Dlg()->m_aEntry[n]; }
  std::string SlotName(int n) { return Slot(n).strName.Str(); }

  mutable CTestRig m_rig{
      CRigOptions{.bInstrument = false, .instrument = {}}};  // its view and records are safe to read at any pause
  std::size_t m_nBoxesBefore = 0;
  std::size_t m_nCommandsBefore = 0;
};

// ---------------------------------------------------------------------------------------------
// Loading

TEST(ScriptRun, LoadingShowsTheStatusPostsItsStepsInOrderAndStartsTheScript) {
  CScriptRun run;
  ASSERT_NO_FATAL_FAILURE(run.Start("MODEL_NAME,VELDA\r\n", {{"A", {1}}}));
  ASSERT_TRUE(run.RunToBox());
  EXPECT_EQ(run.OpenBoxText(), TXT_COMPLETED);
  const auto status = run.m_rig.View().StatusHistory();
  EXPECT_NE(std::find(status.begin(), status.end(), TXT_STATUS_OPEN_DATA), status.end());
  const std::vector<fw::UINT> want{ID_STEP_LOAD_PACKAGE, ID_MARK_LOAD_PACKAGE,      ID_MARK_PACKAGE_LOADED,
                                   ID_STEP_START_SCRIPT, ID_STEP_INIT_ALL_PROGRESS, ID_STEP_NEXT_STATEMENT,
                                   ID_MARK_LINE_READ,    ID_STEP_SHOW_ALL_PROGRESS, ID_STEP_SHOW_ALL_PROGRESS,
                                   ID_MARK_MODEL_NAME,   ID_STEP_NEXT_STATEMENT,    ID_STEP_INSTALL_COMPLETE};
  auto ids = run.Ids();
  ASSERT_GE(ids.size(), want.size());
  ids.resize(want.size());
  EXPECT_EQ(ids, want);
  const CInstallerDlg& dlg = *run.m_rig.Dlg();
  EXPECT_EQ(dlg.m_nScriptLen, 18u);
  EXPECT_EQ(dlg.m_strScript.Str(), "MODEL_NAME,VELDA\r\n");
  EXPECT_EQ(dlg.m_nEntriesStart, 22u);
  EXPECT_EQ(dlg.m_nPackageSize, 22u + 4 + 1 + 4 + 1);
  EXPECT_EQ(dlg.Outcome(), EOutcome::Completed);
}

TEST(ScriptRun, AnEmptyScriptCompletesAtTheFirstStatementStep) {
  CScriptRun run;
  // Its entries start at offset 4 and are never opened.
  ASSERT_NO_FATAL_FAILURE(run.Start("", {{"main", {1, 2, 3}}}));
  ASSERT_TRUE(run.RunToBox());
  EXPECT_EQ(run.OpenBoxText(), TXT_COMPLETED);
  const std::vector<fw::UINT> want{ID_STEP_NEXT_STATEMENT, ID_STEP_INSTALL_COMPLETE};
  EXPECT_EQ(run.Only({ID_STEP_NEXT_STATEMENT, ID_STEP_INSTALL_COMPLETE, ID_MARK_LINE_READ}), want);
  EXPECT_EQ(run.m_rig.Dlg()->m_nScriptLen, 0u);
  EXPECT_TRUE(run.SlotName(0).empty());
}

TEST(ScriptRun, AMissingPackageIsReportedAndStopsTheRun) {
  CScriptRun run;
  ASSERT_NO_FATAL_FAILURE(run.StartWithoutPackage());
  ASSERT_TRUE(run.RunToBox());
  const auto boxes = run.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  const std::string strPrefix = "Package file " + run.m_rig.PackagePath().string() + " cannot be opened:\r\n";
  EXPECT_EQ(boxes[0].strText.substr(0, strPrefix.size()), strPrefix);
  EXPECT_GT(boxes[0].strText.size(), strPrefix.size());  // the system's reason follows
  EXPECT_EQ(boxes[0].uType, fw::MB_OK | fw::MB_ICONEXCLAMATION);
  EXPECT_EQ(boxes[0].strCaption, TXT_APP_TITLE);
  EXPECT_EQ(run.m_rig.View().Status(), TXT_STATUS_OPEN_DATA);
  EXPECT_EQ(run.m_rig.Dlg()->Outcome(), EOutcome::PackageError);
  const auto notes = run.m_rig.Trace().Of('#');
  EXPECT_TRUE(std::any_of(notes.begin(), notes.end(), [](const std::string& s) {
    return s.rfind("Package file ", 0) == 0 && s.find("cannot be opened: ") != std::string::npos &&
           s.find('\r') == std::string::npos && s.find('\n') == std::string::npos;
  }));

  // Once the box is confirmed nothing further happens: the window stays open and idle.
  run.m_rig.AnswerBox(fw::IDOK);
  run.m_rig.RunFor(60'000);
  EXPECT_FALSE(run.m_rig.Ended());
  const std::vector<fw::UINT> want{ID_STEP_LOAD_PACKAGE};
  EXPECT_EQ(run.Ids(), want);
}

TEST(ScriptRun, AnUnreadablePackageIsReportedAndStopsTheRun) {
  CScriptRun run;
  std::filesystem::create_directory(run.m_rig.PackagePath());  // opens, but cannot be read as a file
  ASSERT_NO_FATAL_FAILURE(run.StartWithoutPackage());
  ASSERT_TRUE(run.RunToBox());
  const std::string strPrefix = "Package file " + run.m_rig.PackagePath().string() + " cannot be read:\r\n";
  EXPECT_EQ(run.OpenBoxText().substr(0, strPrefix.size()), strPrefix);
  run.m_rig.AnswerBox(fw::IDOK);
  run.m_rig.RunFor(60'000);
  EXPECT_EQ(run.Count(ID_STEP_START_SCRIPT), 0u);
}

TEST(ScriptRun, RunningOutOfMemoryReadingThePackageIsAPackageErrorNotACrash) {
  CScriptRun run;
  ASSERT_NO_FATAL_FAILURE(run.Start("SET_UPDATE_MODE_ON\r\n", {}));
  // The load step is posted, not run yet: the package is "too large" for the memory left.
  run.m_rig.Dlg()->m_fnReadPackage = [](const std::string&) -> fw::CFileResult { throw std::bad_alloc(); };
  ASSERT_TRUE(run.RunToBox());
  EXPECT_EQ(run.OpenBoxText(), "Package file " + run.m_rig.PackagePath().string() +
                                   " cannot be read:\r\nthere is not enough memory to hold it");
  EXPECT_EQ(run.m_rig.Dlg()->Outcome(), EOutcome::PackageError);
  run.m_rig.AnswerBox(fw::IDOK);
  run.m_rig.RunFor(60'000);
  EXPECT_EQ(run.Count(ID_STEP_START_SCRIPT), 0u);
}

TEST(ScriptRun, AScriptLengthPastTheEndIsReportedInsteadOfCompleting) {
  CScriptRun run;
  Bytes a = MakePackage("SET_UPDATE_MODE_ON\r\n", {});
  a[3] = static_cast<std::uint8_t>(a[3] + 1);
  ASSERT_NO_FATAL_FAILURE(run.Start(a));
  ASSERT_TRUE(run.RunToBox());
  const std::string strText = run.OpenBoxText();
  const std::string strPrefix = "Package file " + run.m_rig.PackagePath().string() + " is malformed:\r\n";
  EXPECT_EQ(strText.substr(0, strPrefix.size()), strPrefix);
  EXPECT_NE(strText.find("script length 21"), std::string::npos) << strText;
  EXPECT_EQ(run.m_rig.Dlg()->Outcome(), EOutcome::PackageError);
  run.m_rig.AnswerBox(fw::IDOK);
  run.m_rig.RunFor(60'000);
  for (const fw::UINT id : {ID_MARK_LOAD_PACKAGE, ID_STEP_START_SCRIPT, ID_STEP_INSTALL_COMPLETE}) {
    EXPECT_EQ(run.Count(id), 0u) << id;
  }
}

TEST(ScriptRun, AnEntryPastTheEndIsReportedBeforeAnyStatement) {
  CScriptRun run;
  Bytes a = MakePackage("OPEN_DATA_FILE,0,a\r\n", {{"a", {1, 2}}, {"b", {3, 4}}});
  a.pop_back();  // entry 1's data is one byte short
  ASSERT_NO_FATAL_FAILURE(run.Start(a));
  ASSERT_TRUE(run.RunToBox());
  EXPECT_NE(run.OpenBoxText().find("entry 1 at offset"), std::string::npos) << run.OpenBoxText();
  EXPECT_EQ(run.Count(ID_STEP_NEXT_STATEMENT), 0u);
}

// ---------------------------------------------------------------------------------------------
// Lines, tokens and keywords

TEST(ScriptRun, EveryLineReadAndTokenReadIsShown) {
  CScriptRun run;
  ASSERT_NO_FATAL_FAILURE(run.Start("#c\r\n\r\nIF\r\nUP_BAUDRATE ,ENDIF\r\n"));
  ASSERT_TRUE(run.RunToBox());
  // Lines looked at: the comment, the empty line, IF, "UP_BAUDRATE ,ENDIF", "ENDIF".
  EXPECT_EQ(run.Count(ID_MARK_LINE_READ), 5u);
  // Tokens: IF, "UP_BAUDRATE " (no keyword), ENDIF.
  EXPECT_EQ(run.Count(ID_STEP_SHOW_ALL_PROGRESS), 3u);
  EXPECT_EQ(run.m_rig.Dlg()->m_nScriptPos, run.m_rig.Dlg()->m_nScriptLen);
  EXPECT_EQ(run.OpenBoxText(), TXT_COMPLETED);
}

TEST(ScriptRun, AKeywordWithBlanksBeforeItsCommaIsPassedOverAndItsArgumentsAreTried) {
  CScriptRun run;
  ASSERT_NO_FATAL_FAILURE(
      run.Start("OPEN_DATA_FILE ,OPEN_DATA_FILE,1,b\r\n"
                "  #no comment,OPEN_DATA_FILE,2,b\r\n"
                "open_data_file,3,B\r\n"
                "   \r\n"
                "BOGUS,x,y\r\n",
                {{"b", {7}}}));
  ASSERT_TRUE(run.RunToBox());
  EXPECT_EQ(run.OpenBoxText(), TXT_COMPLETED);
  EXPECT_EQ(run.SlotName(1), "b");
  EXPECT_EQ(run.SlotName(2), "b");
  EXPECT_EQ(run.SlotName(3), "b");
  EXPECT_TRUE(run.SlotName(0).empty());
  EXPECT_EQ(run.Boxes().size(), 1u);  // no message for unknown keywords
}

TEST(ScriptRun, KeywordLosesItsQuotesAndKeepsItsBlanks) {
  CScriptRun run;
  ASSERT_NO_FATAL_FAILURE(
      run.Start("KEYWORD, \"#51 68\" \r\nOPEN_DATA_FILE,0,a\r\nAREA_CHECK,0,0,0,1\r\n", {{"a", {1}}}));
  ASSERT_TRUE(run.RunToAreaRequest(1));
  EXPECT_EQ(run.m_rig.Dlg()->m_strKeyword.Str(), " #51 68 ");
}

TEST(ScriptRun, ModelNamePostsItsMarkerAndGoesOn) {
  CScriptRun run;
  ASSERT_NO_FATAL_FAILURE(run.Start("MODEL_NAME,\"X\"\r\nMODEL_NAME\r\n"));
  ASSERT_TRUE(run.RunToBox());
  const std::vector<fw::UINT> want{ID_MARK_MODEL_NAME, ID_STEP_NEXT_STATEMENT, ID_MARK_MODEL_NAME,
                                   ID_STEP_NEXT_STATEMENT, ID_STEP_INSTALL_COMPLETE};
  auto ids = run.Only({ID_MARK_MODEL_NAME, ID_STEP_NEXT_STATEMENT, ID_STEP_INSTALL_COMPLETE});
  ids.erase(ids.begin());  // the first statement step
  ASSERT_GE(ids.size(), want.size());
  ids.resize(want.size());
  EXPECT_EQ(ids, want);
}

TEST(ScriptRun, SetUpdateDeviceTakesItsLabelFromTheNextLine) {
  CScriptRun run;
  ASSERT_NO_FATAL_FAILURE(run.Start("SET_UPDATE_DEVICE,1F\r\nOPEN_DATA_FILE,0,a\r\n", {{"a", {1}}}));
  ASSERT_TRUE(run.m_rig.RunUntil([&run] { return run.m_rig.Dlg()->m_nWaitKind == WAIT_SET_DEVICE; }, kLimitMs));
  EXPECT_EQ(run.m_rig.Dlg()->m_nDevice, 0x1F);
  // "OPEN_DATA_FILE" was taken as the label; its line's rest is what comes next.
  EXPECT_EQ(run.m_rig.Dlg()->m_nScriptPos, 37u);
  EXPECT_TRUE(run.SlotName(0).empty());
}

TEST(ScriptRun, AnArgumentRunningIntoTheEndIsAScriptErrorThatHaltsTheRun) {
  for (const char* pszScript : {"SET_UPDATE_DEVICE", "SET_UPDATE_DEVICE,2", "OPEN_DATA_FILE,0,a\r\nAREA_CHECK,0,0,0",
                                "OPEN_DATA_FILE,0,a\r\nAREA_CHECK"}) {
    SCOPED_TRACE(pszScript);
    CScriptRun one;
    ASSERT_NO_FATAL_FAILURE(one.Start(pszScript, {{"a", {1, 2}}}));
    ASSERT_TRUE(one.RunToBox());
    EXPECT_EQ(one.OpenBoxText(), TXT_SCRIPT_ERROR);
    one.m_rig.AnswerBox(fw::IDOK);
    one.m_rig.RunFor(600'000);
    EXPECT_EQ(one.Count(ID_STEP_INSTALL_COMPLETE), 0u);
    EXPECT_EQ(one.Count(ID_STEP_SEND_AREA_CHECK), 0u);
    EXPECT_EQ(one.m_rig.Dlg()->Outcome(), EOutcome::ScriptError);
  }
}

// ---------------------------------------------------------------------------------------------
// OPEN_DATA_FILE

TEST(ScriptRun, OpenDataFileLoadsTheEntryWhateverTheCaseAndPauses) {
  CScriptRun run;
  ASSERT_NO_FATAL_FAILURE(run.Start("OPEN_DATA_FILE, 2 ,\" Main.BIN\"\r\n",
                                    {{"other", {9}}, {"main.bin", {1, 2, 3}}, {" MAIN.BIN", {4, 5}}}));
  ASSERT_TRUE(run.RunToBox());
  EXPECT_EQ(run.OpenBoxText(), TXT_COMPLETED);
  CDataEntry& e = run.Slot(2);
  EXPECT_EQ(e.strName.Str(), " main.bin");
  ASSERT_EQ(e.nSize, 2u);
  EXPECT_EQ(e.pData[0], 4);
  EXPECT_EQ(e.pData[1], 5);
  EXPECT_EQ(e.nPos, 0u);
  EXPECT_EQ(e.nState, 0);
  // The marker follows the 100 ms pause.
  std::uint64_t tStatement = 0;
  std::uint64_t tMarker = 0;
  const auto all = run.m_rig.Commands();
  for (std::size_t i = run.m_nCommandsBefore; i < all.size(); ++i) {
    if (all[i].second == ID_STEP_NEXT_STATEMENT && tStatement == 0) tStatement = all[i].first;
    if (all[i].second == ID_MARK_DATA_FILE_OPENED) tMarker = all[i].first;
  }
  EXPECT_EQ(tMarker - tStatement, 100u);
}

TEST(ScriptRun, OpenDataFileOnAFilledSlotRewindsItAndLoadsNothing) {
  CScriptRun run;
  ASSERT_NO_FATAL_FAILURE(
      run.Start("OPEN_DATA_FILE,0,a\r\nOPEN_DATA_FILE,0,b\r\nOPEN_DATA_FILE,0,a\r\nAREA_CHECK,0,0,0,1\r\n",
                {{"a", {1, 2}}, {"b", {3}}}));
  ASSERT_TRUE(run.RunToAreaRequest(1));
  EXPECT_EQ(run.Count(ID_MARK_DATA_FILE_OPENED), 1u);
  EXPECT_EQ(run.SlotName(0), "a");
  EXPECT_EQ(run.Slot(0).nSize, 2u);
  EXPECT_EQ(run.Slot(0).nPos, 0u);
  EXPECT_EQ(run.Slot(0).nState, 0);
  EXPECT_TRUE(run.Boxes().empty());
}

TEST(ScriptRun, OpenDataFileWithoutSuchEntryTellsAndGoesOn) {
  CScriptRun run;
  ASSERT_NO_FATAL_FAILURE(run.Start("OPEN_DATA_FILE,4,missing\r\nMODEL_NAME,x\r\n", {{"present", {1}}}));
  ASSERT_TRUE(run.RunToBox());
  EXPECT_EQ(run.OpenBoxText(), TXT_DATA_FILE_OPEN_ERROR);
  EXPECT_EQ(run.Boxes().back().uType, fw::MB_OK | fw::MB_ICONEXCLAMATION);
  EXPECT_TRUE(run.SlotName(4).empty());
  EXPECT_EQ(run.Slot(4).nSize, 0u);
  run.m_rig.AnswerBox(fw::IDOK);
  ASSERT_TRUE(run.RunToBox());
  EXPECT_EQ(run.OpenBoxText(), TXT_COMPLETED);
  EXPECT_EQ(run.Count(ID_MARK_MODEL_NAME), 2u);  // MODEL_NAME ran, then the completion's marker
  // The window says completed as ever; scripts are told that an entry is missing.
  EXPECT_EQ(run.m_rig.Dlg()->Outcome(), EOutcome::CompletedWithErrors);
}

TEST(ScriptRun, OpenDataFileBeyondTheTableIsAScriptError) {
  CScriptRun run;
  ASSERT_NO_FATAL_FAILURE(run.Start("OPEN_DATA_FILE,32,a\r\nMODEL_NAME,x\r\n", {{"a", {1}}}));
  ASSERT_TRUE(run.RunToBox());
  EXPECT_EQ(run.OpenBoxText(), TXT_SCRIPT_ERROR);
  run.m_rig.AnswerBox(fw::IDOK);
  run.m_rig.RunFor(600'000);
  EXPECT_EQ(run.Count(ID_MARK_MODEL_NAME), 0u);
  EXPECT_EQ(run.Count(ID_STEP_INSTALL_COMPLETE), 0u);
  for (int i = 0; i < ENTRY_SLOTS; ++i) EXPECT_TRUE(run.SlotName(i).empty()) << i;
}

TEST(ScriptRun, OpenDataFileWhoseDataPassTheEndLeavesTheSlotFree) {
  CScriptRun run;
  // A package that changed after its check: while the area request waits, the entry's data length
  // is made to claim one byte more than the file holds.
  ASSERT_NO_FATAL_FAILURE(
      run.Start("OPEN_DATA_FILE,0,a\r\nAREA_CHECK,0,0,0,1\r\nOPEN_DATA_FILE,1,a\r\nMODEL_NAME,x\r\n", {{"a", {1, 2}}}));
  ASSERT_TRUE(run.RunToAreaRequest(1));
  CInstallerDlg& dlg = *run.m_rig.Dlg();
  const fw::UINT nDataLen = dlg.m_nPackageSize - 6;  // the entry's data length field
  ASSERT_EQ(dlg.m_aPackage[nDataLen + 3], 2);
  dlg.m_aPackage[nDataLen + 3] = 3;
  run.AnswerArea({1});
  ASSERT_TRUE(run.RunToBox());
  EXPECT_EQ(run.OpenBoxText(), TXT_DATA_FILE_OPEN_ERROR);
  EXPECT_TRUE(run.SlotName(1).empty());
  EXPECT_EQ(run.Slot(1).nSize, 0u);
  EXPECT_EQ(run.Slot(1).pData, nullptr);
  EXPECT_EQ(run.Count(ID_MARK_DATA_FILE_OPENED), 1u);  // slot 0 only
  run.m_rig.AnswerBox(fw::IDOK);
  ASSERT_TRUE(run.RunToBox());
  EXPECT_EQ(run.OpenBoxText(), TXT_COMPLETED);
}

TEST(ScriptRun, OpenDataFileWhoseDataLengthIsCutOffLeavesTheSlotFree) {
  CScriptRun run;
  // The lookup finds the name with fewer than 4 bytes left after it: nothing is loaded, not even
  // an empty entry.
  ASSERT_NO_FATAL_FAILURE(
      run.Start("OPEN_DATA_FILE,0,a\r\nAREA_CHECK,0,0,0,1\r\nOPEN_DATA_FILE,1,a\r\nMODEL_NAME,x\r\n", {{"a", {1, 2}}}));
  ASSERT_TRUE(run.RunToAreaRequest(1));
  CInstallerDlg& dlg = *run.m_rig.Dlg();
  dlg.m_nPackageSize -= 3 + 2;  // keeps one byte of the data length field
  run.AnswerArea({1});
  ASSERT_TRUE(run.RunToBox());
  EXPECT_EQ(run.OpenBoxText(), TXT_DATA_FILE_OPEN_ERROR);
  EXPECT_TRUE(run.SlotName(1).empty());
  EXPECT_EQ(run.Slot(1).pData, nullptr);
}

// ---------------------------------------------------------------------------------------------
// Conditional blocks

const Entries kTwoEntries = {{"a", {0x10, 0x20, 0x30, 0x40}}, {"b", {0x55}}};
const char* const kLoadBoth = "OPEN_DATA_FILE,0,a\r\nOPEN_DATA_FILE,1,b\r\n";

TEST(ScriptRun, AnEqualAreaPassesOverEverythingUpToTheNextEndif) {
  CScriptRun run;
  ASSERT_NO_FATAL_FAILURE(run.Start(
      std::string(kLoadBoth) + "IF\r\n"
                               "AREA_CHECK,0,1,1000,2\r\n"
                               "MODEL_NAME,ENDIF\r\n"  // the rest of a passed-over line is never read as a statement
                               "OPEN_DATA_FILE,7,b\r\n"
                               "#comment\r\n"
                               "IF\r\n"
                               "AREA_CHECK,1,0,0,1\r\n"
                               "SET_UPDATE_MODE_ON\r\n"
                               "ENDIF\r\n"
                               "OPEN_DATA_FILE,8,b\r\n",
      kTwoEntries));
  ASSERT_TRUE(run.RunToAreaRequest(1));
  const CInstallerDlg& dlg = *run.m_rig.Dlg();
  EXPECT_EQ(dlg.m_nCheckEntry, 0);
  EXPECT_EQ(dlg.m_nCheckOffset, 1u);
  EXPECT_EQ(dlg.m_nCheckAddress, 0x1000u);
  EXPECT_EQ(dlg.m_nCheckLength, 2u);
  EXPECT_TRUE(dlg.m_bAreaCheck);
  EXPECT_EQ(dlg.m_nSkipState, SKIP_IF_SEEN);
  run.AnswerArea({0x20, 0x30});
  ASSERT_TRUE(run.RunToBox());
  EXPECT_EQ(run.OpenBoxText(), TXT_COMPLETED);
  EXPECT_EQ(run.Count(ID_AREA_MATCH), 1u);
  EXPECT_EQ(run.Count(ID_STEP_SEND_AREA_CHECK), 1u);  // the inner AREA_CHECK was passed over
  EXPECT_TRUE(run.SlotName(7).empty());
  EXPECT_EQ(run.SlotName(8), "b");
  EXPECT_EQ(run.m_rig.Dlg()->m_nSkipState, SKIP_NONE);
  EXPECT_EQ(run.Slot(0).nState, 0);
}

TEST(ScriptRun, ADifferentAreaMarksTheSlotAndRunsTheBlock) {
  CScriptRun run;
  ASSERT_NO_FATAL_FAILURE(run.Start(std::string(kLoadBoth) + "IF\r\n"
                                                             "AREA_CHECK,0,1,1000,2\r\n"
                                                             "OPEN_DATA_FILE,7,b\r\n"
                                                             "ENDIF\r\n"
                                                             "AREA_CHECK,1,0,0,1\r\n"
                                                             "OPEN_DATA_FILE,8,b\r\n"
                                                             "ENDIF\r\n"
                                                             "OPEN_DATA_FILE,9,b\r\n",
                                    kTwoEntries));
  ASSERT_TRUE(run.RunToAreaRequest(1));
  run.AnswerArea({0x20, 0x31});
  ASSERT_TRUE(run.RunToAreaRequest(2));
  EXPECT_EQ(run.Slot(0).nState, 2);
  EXPECT_EQ(run.SlotName(7), "b");
  EXPECT_EQ(run.m_rig.Dlg()->m_nSkipState, SKIP_IF_SEEN);  // still 2 after ENDIF
  // A later check outside any IF that finds its area equal starts skipping.
  run.AnswerArea({0x55});
  ASSERT_TRUE(run.RunToBox());
  EXPECT_EQ(run.OpenBoxText(), TXT_COMPLETED);
  EXPECT_TRUE(run.SlotName(8).empty());
  EXPECT_EQ(run.SlotName(9), "b");
  EXPECT_EQ(run.Slot(1).nState, 0);
}

TEST(ScriptRun, AnInnerIfDoesNotNest) {
  CScriptRun run;
  ASSERT_NO_FATAL_FAILURE(run.Start(std::string(kLoadBoth) + "IF\r\n"
                                                             "AREA_CHECK,1,0,0,1\r\n"
                                                             "IF\r\n"
                                                             "OPEN_DATA_FILE,7,b\r\n"
                                                             "ENDIF\r\n"
                                                             "OPEN_DATA_FILE,8,b\r\n"
                                                             "ENDIF\r\n"
                                                             "OPEN_DATA_FILE,9,b\r\n",
                                    kTwoEntries));
  ASSERT_TRUE(run.RunToAreaRequest(1));
  run.AnswerArea({0x55});
  ASSERT_TRUE(run.RunToBox());
  EXPECT_TRUE(run.SlotName(7).empty());
  EXPECT_EQ(run.SlotName(8), "b");
  EXPECT_EQ(run.SlotName(9), "b");
  EXPECT_EQ(run.m_rig.Dlg()->m_nSkipState, SKIP_NONE);
}

TEST(ScriptRun, WithoutIfAMatchChangesNothingAndADifferenceMarksTheSlot) {
  CScriptRun run;
  ASSERT_NO_FATAL_FAILURE(run.Start(std::string(kLoadBoth) + "AREA_CHECK,1,0,0,1\r\n"
                                                             "OPEN_DATA_FILE,7,b\r\n"
                                                             "AREA_CHECK,0,0,0,4\r\n"
                                                             "OPEN_DATA_FILE,8,b\r\n"
                                                             "ENDIF\r\n",
                                    kTwoEntries));
  ASSERT_TRUE(run.RunToAreaRequest(1));
  run.AnswerArea({0x55});
  ASSERT_TRUE(run.RunToAreaRequest(2));
  EXPECT_EQ(run.SlotName(7), "b");
  EXPECT_EQ(run.Slot(1).nState, 0);
  EXPECT_EQ(run.m_rig.Dlg()->m_nSkipState, SKIP_NONE);
  run.AnswerArea({0x10, 0x20, 0x30, 0x41});
  ASSERT_TRUE(run.RunToBox());
  EXPECT_EQ(run.SlotName(8), "b");
  EXPECT_EQ(run.Slot(0).nState, 2);
  EXPECT_EQ(run.Count(ID_AREA_MATCH), 1u);
  EXPECT_EQ(run.Count(ID_AREA_MISMATCH), 1u);
}

TEST(ScriptRun, AreaCheckOnASlotWithoutDataSendsNothingAndTheBlockRuns) {
  CScriptRun run;
  ASSERT_NO_FATAL_FAILURE(run.Start("IF\r\nAREA_CHECK,5,0,0,1\r\nOPEN_DATA_FILE,7,b\r\nENDIF\r\n", kTwoEntries));
  ASSERT_TRUE(run.RunToBox());
  EXPECT_EQ(run.OpenBoxText(), TXT_COMPLETED);
  EXPECT_EQ(run.Count(ID_STEP_SEND_AREA_CHECK), 0u);
  EXPECT_EQ(run.SlotName(7), "b");
  EXPECT_FALSE(run.m_rig.Dlg()->m_bAreaCheck);
  EXPECT_EQ(run.m_rig.Dlg()->m_nSkipState, SKIP_IF_SEEN);
}

TEST(ScriptRun, AreaCheckOfLengthZeroFindsTheAreaEqual) {
  CScriptRun run;
  ASSERT_NO_FATAL_FAILURE(
      run.Start(std::string(kLoadBoth) + "IF\r\nAREA_CHECK,0,4,0,0\r\nOPEN_DATA_FILE,7,b\r\nENDIF\r\n", kTwoEntries));
  ASSERT_TRUE(run.RunToAreaRequest(1));
  run.AnswerArea({});
  ASSERT_TRUE(run.RunToBox());
  EXPECT_EQ(run.Count(ID_AREA_MATCH), 1u);
  EXPECT_TRUE(run.SlotName(7).empty());
}

TEST(ScriptRun, AreaCheckPastTheSlotDataOrTooLongIsADifferenceWithoutARequest) {
  for (const char* pszCheck : {"AREA_CHECK,0,3,0,2\r\n", "AREA_CHECK,0,FFFFFFFF,0,2\r\n"}) {
    SCOPED_TRACE(pszCheck);
    CScriptRun one;
    ASSERT_NO_FATAL_FAILURE(
        one.Start(std::string(kLoadBoth) + "IF\r\n" + pszCheck + "OPEN_DATA_FILE,7,b\r\nENDIF\r\n", kTwoEntries));
    ASSERT_TRUE(one.RunToBox());
    EXPECT_EQ(one.OpenBoxText(), TXT_COMPLETED);
    EXPECT_EQ(one.Count(ID_STEP_SEND_AREA_CHECK), 0u);
    EXPECT_EQ(one.Count(ID_AREA_MISMATCH), 1u);
    EXPECT_EQ(one.Slot(0).nState, 2);
    EXPECT_EQ(one.SlotName(7), "b");
  }
  // 4097 bytes: more than one reply can carry, even though the slot holds them.
  CScriptRun big;
  ASSERT_NO_FATAL_FAILURE(big.Start("OPEN_DATA_FILE,0,big\r\nAREA_CHECK,0,0,0,1001\r\nOPEN_DATA_FILE,7,big\r\n",
                                    {{"big", Bytes(5000, 0xA5)}}));
  ASSERT_TRUE(big.RunToBox());
  EXPECT_EQ(big.Count(ID_STEP_SEND_AREA_CHECK), 0u);
  EXPECT_EQ(big.Slot(0).nState, 2);
}

TEST(ScriptRun, AReplyWithFewerBytesThanAskedIsADifference) {
  CScriptRun run;
  ASSERT_NO_FATAL_FAILURE(
      run.Start(std::string(kLoadBoth) + "IF\r\nAREA_CHECK,0,0,0,4\r\nOPEN_DATA_FILE,7,b\r\nENDIF\r\n", kTwoEntries));
  ASSERT_TRUE(run.RunToAreaRequest(1));
  // The buffer holds the expected bytes from an earlier reply, but this one carried only three.
  CInstallerDlg& dlg = *run.m_rig.Dlg();
  const Bytes aStale = {0x10, 0x20, 0x30, 0x40};
  std::copy(aStale.begin(), aStale.end(), dlg.m_pAreaBuf.get());
  run.AnswerArea({0x10, 0x20, 0x30});
  ASSERT_TRUE(run.RunToBox());
  EXPECT_EQ(run.Count(ID_AREA_MISMATCH), 1u);
  EXPECT_EQ(run.SlotName(7), "b");
}

TEST(ScriptRun, AreaCheckBeyondTheTableIsAScriptError) {
  CScriptRun run;
  ASSERT_NO_FATAL_FAILURE(run.Start(std::string(kLoadBoth) + "AREA_CHECK,50,0,0,1\r\nMODEL_NAME,x\r\n", kTwoEntries));
  ASSERT_TRUE(run.RunToBox());
  EXPECT_EQ(run.OpenBoxText(), TXT_SCRIPT_ERROR);
  EXPECT_EQ(run.m_rig.Dlg()->m_nCheckEntry, 0);  // never pointed outside the table
  run.m_rig.AnswerBox(fw::IDOK);
  run.m_rig.RunFor(600'000);
  EXPECT_EQ(run.Count(ID_STEP_SEND_AREA_CHECK), 0u);
  EXPECT_EQ(run.Count(ID_MARK_MODEL_NAME), 0u);
  EXPECT_EQ(run.Count(ID_STEP_INSTALL_COMPLETE), 0u);
}

TEST(ScriptRun, AreaCheckOnANamelessSlotHaltsTheRun) {
  CScriptRun run;
  ASSERT_NO_FATAL_FAILURE(run.Start("OPEN_DATA_FILE,3,\r\nAREA_CHECK,3,0,0,1\r\nMODEL_NAME,x\r\n", {{"", {1, 2}}}));
  ASSERT_TRUE(run.RunToBox());
  EXPECT_EQ(run.OpenBoxText(), TXT_NAMELESS_ENTRY_CHECK);
  EXPECT_EQ(run.Boxes().back().uType, fw::MB_OK | fw::MB_ICONEXCLAMATION);
  EXPECT_EQ(run.Slot(3).nSize, 2u);
  run.m_rig.AnswerBox(fw::IDOK);
  run.m_rig.RunFor(600'000);
  EXPECT_EQ(run.Count(ID_STEP_SEND_AREA_CHECK), 0u);
  EXPECT_EQ(run.Count(ID_MARK_MODEL_NAME), 0u);
  EXPECT_EQ(run.m_rig.Dlg()->Outcome(), EOutcome::ScriptError);
}

}  // namespace
}  // namespace velda::test
