// velda-installer as a process: the simulated instrument on a virtual clock, the terminal front
// end with plain lines, and the exit code of each ending.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

#include "app/child_process.h"
#include "instrument/instrument_memory.h"
#include "program.h"
#include "shell/outcome.h"
#include "support/rig.h"
#include "support/temp_folder.h"

namespace velda::test {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

// Update mode (the instrument restarts and comes back), one device, one entry of 10000 bytes
// written in blocks of 4096 at 1000, 2000 and 3000 (hex).
constexpr const char* kScript =
    "KEYWORD,#5168_1994KESTRA\r\n"
    "SET_UPDATE_MODE_ON\r\n"
    "UP_BAUDRATE\r\n"
    "SET_UPDATE_DEVICE,0,main\r\n"
    "OPEN_DATA_FILE,0,data.bin\r\n"
    "UPDATE_DEVICE,00001000,1000,0\r\n"
    "RESET_BAUDRATE\r\n"
    "SET_UPDATE_MODE_OFF\r\n";

std::vector<std::uint8_t> EntryData() {
  std::vector<std::uint8_t> a(10000);
  for (std::size_t i = 0; i < a.size(); ++i) a[i] = static_cast<std::uint8_t>((i * 7 + i / 256) & 0xFF);
  return a;
}

const Lines kQuestionsAnsweredByYes{
    "[VELDA Installer]",
    "  Make sure the instrument and ",
    "  computer are properly ",
    "  connected via USB cable.",
    "-> OK (--yes)",
    "[VELDA Installer]",
    "  Please close all currently ",
    "  open applications.",
    "-> OK (--yes)",
    "[VELDA Installer]",
    "  After starting the installation, ",
    "  please wait for it to finish completely. ",
    "  If you interrupt the installation, ",
    "  the Velda will be unable to start.  ",
    "-> OK (--yes)",
    "[VELDA Installer]",
    "  Click OK to start VELDA installation.",
    "-> OK (--yes)",
    "VELDA Installer Ver. 1.10",
    "Status: Change UpDate Mode.",
    "Status: Start VELDA UpDate.",
    "Status: Open Data File.",
};

class AppProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_folder.IsMade());
    m_dir = m_folder.Path();
    fs::create_directories(m_dir / "lock");
    WritePackage(kScript);
  }

  void WritePackage(const std::string& strScript) {
    const std::vector<std::uint8_t> a = MakePackage(strScript, {{"data.bin", EntryData()}});
    std::ofstream out(m_dir / "velda.uxs", std::ios::binary);
    out.write(reinterpret_cast<const char*>(a.data()), static_cast<std::streamsize>(a.size()));
  }

  // A run on the virtual clock with the simulated instrument; the options come after those.
  std::vector<std::string> Args(std::vector<std::string> aMore) const {
    std::vector<std::string> a{"--virtual", "--virtual-clock", "--tui"};
    a.insert(a.end(), aMore.begin(), aMore.end());
    return a;
  }

  static bool Has(const Lines& a, const std::string& s) { return std::find(a.begin(), a.end(), s) != a.end(); }
  static bool StartsWith(const Lines& a, const Lines& aPrefix) {
    return a.size() >= aPrefix.size() && std::equal(aPrefix.begin(), aPrefix.end(), a.begin());
  }

  CTempFolder m_folder{"velda-app"};
  fs::path m_dir;
};

TEST_F(AppProcess, CompletesAndTheDumpHoldsTheEntry) {
  CChildProcess p(VELDA_INSTALLER_EXE, Args({"--yes", "--dump", "memory"}), m_dir, m_dir / "lock");
  ASSERT_TRUE(p.Started());
  EXPECT_EQ(p.Wait(), EXIT_COMPLETED) << p.Err();
  const Lines a = p.OutLines();
  EXPECT_TRUE(StartsWith(a, kQuestionsAnsweredByYes)) << p.Out();
  for (const char* psz : {"Status: Data UpLoad.", "Status: Write Block.", "Status: Block Check SUM OK.",
                          "Data:   0%  0/10001 bytes", "Data: 100%  10001/10001 bytes", "All:  100%  180/180"}) {
    EXPECT_TRUE(Has(a, psz)) << psz << "\n" << p.Out();
  }
  const Lines aEnd(a.end() - std::min<std::size_t>(a.size(), 6), a.end());
  EXPECT_EQ(aEnd, (Lines{"[VELDA Installer]", "  Installation is completed.",
                         "  Please turn the power switch of the instrument off.", "-> OK (--yes)",
                         "Instrument memory written to memory", "Result: completed (exit code 0)"}));
  EXPECT_EQ(p.Err(), "");

  CInstrumentMemory memory;
  std::string strError;
  ASSERT_TRUE(LoadHexFolder((m_dir / "memory").string(), memory, strError)) << strError;
  const CSparseMemory* pBank = memory.FindDevice(0);
  ASSERT_NE(pBank, nullptr);
  std::vector<std::uint8_t> aGot(10000);
  pBank->Read(0x1000, aGot.data(), aGot.size());
  EXPECT_EQ(aGot, EntryData());
  EXPECT_EQ(pBank->WrittenCount(), 10000u);
}

TEST_F(AppProcess, ResendsAskedByTheInstrumentStillComplete) {
  CChildProcess p(VELDA_INSTALLER_EXE,
                  Args({"--yes", "--trace", "run.trace", "--instrument", "fault=status02:data-packet:2:2",
                        "--instrument=latency-ms=40"}),
                  m_dir, m_dir / "lock");
  EXPECT_EQ(p.Wait(), EXIT_COMPLETED) << p.Out() << p.Err();
  EXPECT_EQ(p.OutLines().back(), "Result: completed (exit code 0)");
  // Five packets (2450 + 1646 twice, then 1808), the second one sent twice more on request.
  std::ifstream in(m_dir / "run.trace");
  int nPackets = 0;
  for (std::string s; std::getline(in, s);) {
    nPackets += s.find(" > F0 43 50 03 00 03 00 ") != std::string::npos ? 1 : 0;
  }
  EXPECT_EQ(nPackets, 7);
}

TEST_F(AppProcess, RefusalOfTheThirdBlockStartEndsWithItsBox) {
  CChildProcess p(VELDA_INSTALLER_EXE, Args({"--yes", "--instrument", "fault=refuse:block-start:3"}), m_dir,
                  m_dir / "lock");
  EXPECT_EQ(p.Wait(), EXIT_REFUSED) << p.Out() << p.Err();
  const Lines a = p.OutLines();
  EXPECT_TRUE(StartsWith(a, kQuestionsAnsweredByYes)) << p.Out();
  const Lines aEnd(a.end() - std::min<std::size_t>(a.size(), 5), a.end());
  EXPECT_EQ(aEnd, (Lines{"[VELDA Installer]", "  I have a Error. ", "   Close Install Jub.", "-> OK (--yes)",
                         "Result: refused (exit code 3)"}));
}

TEST_F(AppProcess, TimeOutThenYesPressesClose) {
  CChildProcess p(VELDA_INSTALLER_EXE, Args({"--yes", "--instrument", "fault=no-reply:block-start:2"}), m_dir,
                  m_dir / "lock");
  EXPECT_EQ(p.Wait(), EXIT_TIMED_OUT) << p.Out() << p.Err();
  const Lines a = p.OutLines();
  const auto it = std::find(a.begin(), a.end(), "   Time Out   ");
  ASSERT_NE(it, a.end()) << p.Out();
  // The box, then the window waits with both buttons enabled; Close ends it.
  EXPECT_EQ(Lines(it - 2, std::min(it + 3, a.end())),
            (Lines{"[VELDA Installer]", "   ", "   Time Out   ", "  ", "-> OK (--yes)"}));
  EXPECT_TRUE(Has(a, "MIDI Port: enabled"));
  EXPECT_TRUE(Has(a, "Close: enabled"));
  EXPECT_EQ(a.back(), "Result: timed-out (exit code 4)");
}

// A MIDI stack that refuses long messages (some Windows stacks refuse over 2048 bytes; a full data
// packet is 2821): the port keeps silent as it must, but the trace names the refused size at the
// refusal and again at the time-out, so the cause of the time-out is visible.
TEST_F(AppProcess, RefusedLongMessageIsNamedAtTheTimeOut) {
  CChildProcess p(VELDA_INSTALLER_EXE, Args({"--yes", "--trace", "run.trace", "--instrument", "sysex-limit=2048"}),
                  m_dir, m_dir / "lock");
  EXPECT_EQ(p.Wait(), EXIT_TIMED_OUT) << p.Out() << p.Err();
  EXPECT_EQ(p.OutLines().back(), "Result: timed-out (exit code 4)");
  std::ifstream in(m_dir / "run.trace");
  std::vector<std::string> aNotes;
  for (std::string s; std::getline(in, s);) {
    if (s.find(" # ") != std::string::npos && s.find("refused") != std::string::npos)
      aNotes.push_back(s.substr(s.find('#')));
  }
  ASSERT_EQ(aNotes.size(), 2u) << p.Out();
  EXPECT_EQ(aNotes[0], "# The MIDI driver refused a message of 2821 bytes: longer than its limit of 2048 bytes");
  EXPECT_EQ(aNotes[1].rfind("# Timed out: the MIDI driver had refused a message of 2821 bytes", 0), 0u) << aNotes[1];
}

TEST_F(AppProcess, TimeOutThenTheUserPressesClose) {
  CChildProcess p(VELDA_INSTALLER_EXE, Args({"--instrument", "fault=no-reply:block-start:1"}), m_dir, m_dir / "lock");
  p.Type("\n\n\n\n\n");  // the four questions and the time-out box
  ASSERT_TRUE(p.WaitForOutput("Waiting for you: p = MIDI Port, c = Close, q = close the window\n")) << p.Out();
  p.Type("c\n");
  EXPECT_EQ(p.Wait(), EXIT_TIMED_OUT) << p.Out() << p.Err();
  EXPECT_EQ(p.OutLines().back(), "Result: timed-out (exit code 4)");
}

TEST_F(AppProcess, AfterATimeOutMidiPortFromTheMenuRunsAgain) {
  // Four OKs, OK to the time-out, MIDI Port, the first input and output device, OK at the end:
  // all typed ahead, each line answers the next prompt.
  CChildProcess p(VELDA_INSTALLER_EXE, Args({"--instrument", "fault=no-reply:block-start:1"}), m_dir, m_dir / "lock");
  p.Type("\n\n\n\n\np\n1\n1\n\n");
  p.CloseInput();
  EXPECT_EQ(p.Wait(), EXIT_COMPLETED) << p.Out() << p.Err();
  const Lines a = p.OutLines();
  const auto it = std::find(a.begin(), a.end(), "== MIDI Port Select ==");
  ASSERT_NE(it, a.end()) << p.Out();
  EXPECT_EQ(Lines(it, std::min(it + 9, a.end())),
            (Lines{"== MIDI Port Select ==", "In Port:", "  1) HALVEN USB IN 0-1  *",
                   "Number, Enter keeps the marked entry, c = Cancel", "Out Port:", "  1) HALVEN USB OUT 0-1  *",
                   "Number, Enter keeps the marked entry, c = Cancel", "-> OK", "MIDI Port: disabled"}));
  EXPECT_EQ(std::count(a.begin(), a.end(), "Status: Start VELDA UpDate."), 2);  // the run began again
  EXPECT_EQ(a.back(), "Result: completed (exit code 0)");
}

TEST_F(AppProcess, CancelAtTheSecondQuestion) {
  CChildProcess p(VELDA_INSTALLER_EXE, Args({}), m_dir, m_dir / "lock");
  p.Type("\nc\n");
  EXPECT_EQ(p.Wait(), EXIT_CANCELLED) << p.Out() << p.Err();
  const Lines a = p.OutLines();
  EXPECT_EQ(a, (Lines{"[VELDA Installer]", "  Make sure the instrument and ", "  computer are properly ",
                      "  connected via USB cable.", "Enter = OK, c = Cancel", "-> OK", "[VELDA Installer]",
                      "  Please close all currently ", "  open applications.", "Enter = OK, c = Cancel", "-> Cancel",
                      "VELDA Installer Ver. 1.10", "Status: ", "Result: cancelled (exit code 6)"}))
      << p.Out();
}

TEST_F(AppProcess, EndOfInputCancelsTheFirstQuestion) {
  CChildProcess p(VELDA_INSTALLER_EXE, Args({}), m_dir, m_dir / "lock");
  p.CloseInput();
  EXPECT_EQ(p.Wait(), EXIT_CANCELLED) << p.Out() << p.Err();
  EXPECT_TRUE(Has(p.OutLines(), "-> Cancel (end of input)"));
}

TEST_F(AppProcess, CtrlCAnswersTheOpenQuestionAsEscDoes) {
  CChildProcess p(VELDA_INSTALLER_EXE, Args({}), m_dir, m_dir / "lock");
  ASSERT_TRUE(p.WaitForOutput("Enter = OK, c = Cancel")) << p.Out() << p.Err();
  p.Signal(SIGINT);
  EXPECT_EQ(p.Wait(), EXIT_CANCELLED) << p.Out() << p.Err();
  EXPECT_TRUE(Has(p.OutLines(), "-> Cancel"));
}

TEST_F(AppProcess, PresetMemoryFromADumpPassesOverAnAreaThatMatches) {
  WritePackage(
      "KEYWORD,#5168_1994KESTRA\r\n"
      "SET_UPDATE_MODE_ON\r\n"
      "SET_UPDATE_DEVICE,2,table\r\n"
      "OPEN_DATA_FILE,0,data.bin\r\n"
      "IF\r\n"
      "AREA_CHECK,0,0,00004000,100\r\n"
      "UPDATE_BLOCK,00004000,800,0,0\r\n"
      "ENDIF\r\n");
  auto blockStarts = [this](const char* pszTrace) {
    std::ifstream in(m_dir / pszTrace);
    int n = 0;
    for (std::string s; std::getline(in, s);) n += s.find(" > F0 43 50 03 00 01 02 ") != std::string::npos ? 1 : 0;
    return n;
  };
  // A fresh instrument differs: the block is written, and the dump holds it.
  CChildProcess first(VELDA_INSTALLER_EXE, Args({"--yes", "--dump", "memory", "--trace", "first.trace"}), m_dir,
                      m_dir / "lock", "first");
  ASSERT_EQ(first.Wait(), EXIT_COMPLETED) << first.Out() << first.Err();
  EXPECT_EQ(blockStarts("first.trace"), 1);
  EXPECT_TRUE(fs::exists(m_dir / "memory" / "device-2.hex"));
  // The instrument as that dump left it: the area matches and nothing is written.
  CChildProcess second(VELDA_INSTALLER_EXE,
                       Args({"--yes", "--instrument", "memory=memory", "--dump", "again", "--trace", "second.trace"}),
                       m_dir, m_dir / "lock", "second");
  ASSERT_EQ(second.Wait(), EXIT_COMPLETED) << second.Out() << second.Err();
  EXPECT_EQ(blockStarts("second.trace"), 0);
  CInstrumentMemory memory;
  std::string strError;
  ASSERT_TRUE(LoadHexFolder((m_dir / "again").string(), memory, strError)) << strError;
  ASSERT_NE(memory.FindDevice(2), nullptr);
  std::vector<std::uint8_t> aGot(0x800);
  memory.FindDevice(2)->Read(0x4000, aGot.data(), aGot.size());
  const std::vector<std::uint8_t> aData = EntryData();
  EXPECT_EQ(aGot, std::vector<std::uint8_t>(aData.begin(), aData.begin() + 0x800));
}

TEST_F(AppProcess, SecondCopyEndsAtOnceAndSilently) {
  CChildProcess first(VELDA_INSTALLER_EXE, Args({}), m_dir, m_dir / "lock", "first");
  ASSERT_TRUE(first.WaitForOutput("Enter = OK, c = Cancel")) << first.Out() << first.Err();

  const auto tStart = std::chrono::steady_clock::now();
  CChildProcess second(VELDA_INSTALLER_EXE, Args({"--yes", "--trace", "second.trace"}), m_dir, m_dir / "lock",
                       "second");
  EXPECT_EQ(second.Wait(10'000), EXIT_SECOND_COPY);
  EXPECT_LT(std::chrono::steady_clock::now() - tStart, std::chrono::seconds(5));
  EXPECT_EQ(second.Out(), "");
  EXPECT_EQ(second.Err(), "");
  EXPECT_FALSE(fs::exists(m_dir / "second.trace"));  // it touched nothing

  first.Type("c\n");
  EXPECT_EQ(first.Wait(), EXIT_CANCELLED);
  // With the first copy gone, a new one runs.
  CChildProcess third(VELDA_INSTALLER_EXE, Args({}), m_dir, m_dir / "lock", "third");
  third.CloseInput();
  EXPECT_EQ(third.Wait(), EXIT_CANCELLED);
}

TEST_F(AppProcess, PortErrorWhenTheNamedDeviceIsMissing) {
  CChildProcess p(VELDA_INSTALLER_EXE, Args({"--yes", "--midi-in", "No Such Device"}), m_dir, m_dir / "lock");
  EXPECT_EQ(p.Wait(), EXIT_PORT_ERROR) << p.Out() << p.Err();
  const Lines a = p.OutLines();
  EXPECT_TRUE(Has(a, "  Can't open ")) << p.Out();
  EXPECT_TRUE(Has(a, "  HALVEN USB MIDI Driver."));
  EXPECT_TRUE(Has(a, "Status: MIDI Error."));
  EXPECT_EQ(a.back(), "Result: port-error (exit code 7)");
}

TEST_F(AppProcess, ScriptErrorStopsTheRunAndYesClosesTheWindow) {
  WritePackage("SET_UPDATE_DEVICE,0");  // its label runs into the end of the script
  CChildProcess p(VELDA_INSTALLER_EXE, Args({"--yes"}), m_dir, m_dir / "lock");
  EXPECT_EQ(p.Wait(), EXIT_SCRIPT_OR_PACKAGE) << p.Out() << p.Err();
  const Lines a = p.OutLines();
  EXPECT_TRUE(Has(a, "   Script Error ")) << p.Out();
  EXPECT_EQ(a.back(), "Result: script-error (exit code 5)");
}

TEST_F(AppProcess, MissingPackageIsAPackageError) {
  CChildProcess p(VELDA_INSTALLER_EXE, Args({"--yes", "--package", "nowhere.uxs"}), m_dir, m_dir / "lock");
  EXPECT_EQ(p.Wait(), EXIT_SCRIPT_OR_PACKAGE) << p.Out() << p.Err();
  EXPECT_EQ(p.OutLines().back(), "Result: package-error (exit code 5)");
}

TEST_F(AppProcess, JsonLinesForScripts) {
  CChildProcess p(VELDA_INSTALLER_EXE, Args({"--yes", "--json"}), m_dir, m_dir / "lock");
  EXPECT_EQ(p.Wait(), EXIT_COMPLETED) << p.Err();
  const Lines a = p.OutLines();
  ASSERT_FALSE(a.empty());
  for (const std::string& s : a) {
    EXPECT_TRUE(s.front() == '{' && s.back() == '}' && s.find("\"event\":") != std::string::npos) << s;
  }
  EXPECT_NE(
      a.front().find(
          R"("event":"box","box":1,"caption":"VELDA Installer","text":"Make sure the instrument and \r\ncomputer are properly \r\nconnected via USB cable.","buttons":"ok-cancel","icon":"information"})"),
      std::string::npos)
      << a.front();
  EXPECT_NE(a[1].find(R"("event":"answer","box":1,"answer":"ok","by":"yes"})"), std::string::npos) << a[1];
  EXPECT_NE(a.back().find(R"("event":"end","outcome":"completed","exit":0})"), std::string::npos) << a.back();
  EXPECT_TRUE(std::any_of(a.begin(), a.end(), [](const std::string& s) {
    return s.find(R"("event":"bar","bar":"data","lower":0,"upper":10001,"pos":10001,"percent":100})") !=
           std::string::npos;
  }));
}

// An entry that could not be loaded: the window ends as completed, scripts learn otherwise.
class AppProcessMissingEntry : public AppProcess, public ::testing::WithParamInterface<bool> {};

TEST_P(AppProcessMissingEntry, EndsCompletedWithErrors) {
  const bool bJson = GetParam();
  std::string strScript = kScript;
  strScript.insert(strScript.find("\r\nUPDATE_DEVICE,") + 2, "OPEN_DATA_FILE,1,missing.bin\r\n");
  WritePackage(strScript);
  CChildProcess p(VELDA_INSTALLER_EXE, Args(bJson ? Lines{"--yes", "--json"} : Lines{"--yes"}), m_dir, m_dir / "lock");
  EXPECT_EQ(p.Wait(), EXIT_COMPLETED_WITH_ERRORS) << p.Out() << p.Err();
  const Lines a = p.OutLines();
  ASSERT_GE(a.size(), 2u);
  if (bJson) {
    EXPECT_NE(a.back().find(R"("event":"end","outcome":"completed-with-errors","exit":10})"), std::string::npos);
    EXPECT_TRUE(std::any_of(a.begin(), a.end(), [](const std::string& s) {
      return s.find(R"("event":"outcome","outcome":"completed-with-errors"})") != std::string::npos;
    })) << p.Out();
  } else {
    EXPECT_TRUE(Has(a, "  Installation is completed.")) << p.Out();
    EXPECT_EQ(a.back(), "Result: completed-with-errors (exit code 10)");
  }
}

INSTANTIATE_TEST_SUITE_P(TextAndJson, AppProcessMissingEntry, ::testing::Bool());

// --virtual runs of packages in different folders do not keep each other out.
TEST_F(AppProcess, VirtualRunsInOtherFoldersRunSideBySide) {
  CChildProcess first(VELDA_INSTALLER_EXE, Args({}), m_dir, m_dir / "lock", "first");
  ASSERT_TRUE(first.WaitForOutput("Enter = OK, c = Cancel")) << first.Out() << first.Err();
  const fs::path other = m_dir / "other";
  fs::create_directories(other);
  fs::copy_file(m_dir / "velda.uxs", other / "velda.uxs");
  CChildProcess second(VELDA_INSTALLER_EXE, Args({"--yes"}), other, m_dir / "lock", "second");
  EXPECT_EQ(second.Wait(), EXIT_COMPLETED) << second.Out() << second.Err();
  first.Type("c\n");
  EXPECT_EQ(first.Wait(), EXIT_CANCELLED);
}

// The program with no file descriptor left for its lock.
[[noreturn]] void RunWithoutDescriptors() {
  const int nFree = ::dup(0);  // the lowest free descriptor
  ::close(nFree);
  rlimit lim{};
  ::getrlimit(RLIMIT_NOFILE, &lim);
  lim.rlim_cur = static_cast<rlim_t>(nFree);
  ::setrlimit(RLIMIT_NOFILE, &lim);
  std::vector<std::string> aArgs{"velda-installer", "--virtual", "--virtual-clock", "--tui", "--yes"};
  std::vector<char*> argv;
  argv.reserve(aArgs.size() + 1);
  for (std::string& s : aArgs) argv.push_back(s.data());
  argv.push_back(nullptr);
  const int nExit = app::RunProgram(static_cast<int>(aArgs.size()), argv.data());
  // No destructors in the death test's child: with no descriptors left, the test framework's own
  // teardown cannot run there (it trips the undefined-behaviour checker).
  std::fflush(nullptr);
  std::_Exit(nExit);
}

// When no lock can be had at all, the program says so in one line and does not start.
TEST(AppLock, NoLockAtAllRefusesToStart) {
  EXPECT_EXIT(RunWithoutDescriptors(), ::testing::ExitedWithCode(EXIT_NO_LOCK),
              "velda-installer: cannot take the single-instance lock \\(Too many open files\\)");
}

TEST_F(AppProcess, TraceFileHasOneLinePerMessage) {
  CChildProcess p(VELDA_INSTALLER_EXE, Args({"--yes", "--trace", "run.trace"}), m_dir, m_dir / "lock");
  EXPECT_EQ(p.Wait(), EXIT_COMPLETED) << p.Err();
  std::ifstream in(m_dir / "run.trace");
  std::vector<std::string> aSent;
  for (std::string s; std::getline(in, s);) {
    const auto nSpace = s.find(' ');
    ASSERT_NE(nSpace, std::string::npos) << s;
    ASSERT_TRUE(s[nSpace + 1] == '>' || s[nSpace + 1] == '<' || s[nSpace + 1] == '#') << s;
    if (s[nSpace + 1] == '>') aSent.push_back(s.substr(nSpace + 3));
  }
  ASSERT_FALSE(aSent.empty());
  EXPECT_EQ(aSent.front(), "F0 43 50 03 00 00 02 F7");  // the inquiry comes first
  EXPECT_EQ(aSent.back(), "F0 43 50 03 00 05 01 F7");   // the final baud reset comes last
}

TEST_F(AppProcess, UsageErrorsAndHelp) {
  {
    CChildProcess p(VELDA_INSTALLER_EXE, {"--dump", "x"}, m_dir, m_dir / "lock");
    EXPECT_EQ(p.Wait(), EXIT_USAGE);
    EXPECT_NE(p.Err().find("--dump and --instrument need --virtual"), std::string::npos) << p.Err();
    EXPECT_EQ(p.Out(), "");
  }
  {
    CChildProcess p(VELDA_INSTALLER_EXE, {"--virtual", "--instrument", "fault=refuse:nothing:1"}, m_dir,
                    m_dir / "lock");
    EXPECT_EQ(p.Wait(), EXIT_USAGE);
    EXPECT_NE(p.Err().find("--instrument fault=refuse:nothing:1"), std::string::npos) << p.Err();
  }
  {
    CChildProcess p(VELDA_INSTALLER_EXE, {"a.uxs", "b.uxs"}, m_dir, m_dir / "lock");
    EXPECT_EQ(p.Wait(), EXIT_USAGE);
  }
  {
    CChildProcess p(VELDA_INSTALLER_EXE, {"--help"}, m_dir, m_dir / "lock");
    EXPECT_EQ(p.Wait(), EXIT_COMPLETED);
    EXPECT_EQ(p.Out().rfind("Usage: velda-installer [OPTION]... [PACKAGE]\n", 0), 0u);
    for (const char* psz : {"--package FILE",
                            "--virtual ",
                            "--gui",
                            "--tui",
                            "--yes",
                            "--midi-in NAME",
                            "--midi-out NAME",
                            "--midi-port NAME",
                            "--list-ports",
                            "--trace FILE",
                            "--dump DIR",
                            "--instrument KEY=VALUE",
                            "--json",
                            "--version",
                            "--help",
                            "keyword=TEXT",
                            "latency-ms=MS",
                            "restart=on|off",
                            "memory=FOLDER",
                            "fault=FAULT:REQUEST",
                            "  4  the instrument did not answer in time"}) {
      EXPECT_NE(p.Out().find(psz), std::string::npos) << psz;
    }
  }
  {
    CChildProcess p(VELDA_INSTALLER_EXE, {"--version"}, m_dir, m_dir / "lock");
    EXPECT_EQ(p.Wait(), EXIT_COMPLETED);
    EXPECT_EQ(p.Out(), "velda-installer 1.10\n");
  }
}

TEST_F(AppProcess, RealMidiSaysThereIsNoMidiSystem) {
  CChildProcess p(VELDA_INSTALLER_EXE, {"--tui", "--yes"}, m_dir, m_dir / "lock");
  EXPECT_EQ(p.Wait(), EXIT_PORT_ERROR);
  EXPECT_NE(p.Err().find("no MIDI system is available"), std::string::npos) << p.Err();
}

TEST_F(AppProcess, ListPortsOfTheSimulatedInstrument) {
  CChildProcess p(VELDA_INSTALLER_EXE, {"--virtual", "--list-ports"}, m_dir, m_dir / "lock");
  EXPECT_EQ(p.Wait(), EXIT_COMPLETED);
  EXPECT_EQ(p.OutLines(), (Lines{"MIDI system: virtual", "MIDI input devices:", "  0  HALVEN USB IN 0-1",
                                 "MIDI output devices:", "  0  HALVEN USB OUT 0-1"}));
}

}  // namespace
}  // namespace velda::test
