// The terminal front end against real framework windows on a virtual loop: what it prints for
// the window, the boxes and the port dialog, and what it posts back for the user's lines.
#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "fw/msgloop.h"
#include "fw/wnd.h"
#include "shell/installer_template.h"
#include "shell/steps.h"
#include "shell/texts.h"
#include "support/recording_wnd.h"
#include "ui/tty/tty_front_end.h"

namespace velda::tty {
namespace {

using test::CRecordingWnd;

fw::CControlTemplate Control(int nId, fw::EControlKind eKind, const char* pszText) {
  fw::CControlTemplate c;
  c.nId = nId;
  c.eKind = eKind;
  c.strText = pszText;
  return c;
}

// The controls of the MIDI Port Select dialog that the menu works from.
fw::CDialogTemplate PortTemplate() {
  fw::CDialogTemplate t;
  t.nId = IDD_PORT_SELECT;
  t.strCaption = "MIDI Port Select";
  t.aControls = {Control(fw::IDOK, fw::EControlKind::Button, "OK"),
                 Control(fw::IDCANCEL, fw::EControlKind::Button, "Cancel"),
                 Control(IDC_IN_PORT, fw::EControlKind::Combo, ""), Control(IDC_OUT_PORT, fw::EControlKind::Combo, "")};
  return t;
}

constexpr fw::UINT kInSelChange = static_cast<fw::UINT>(IDC_IN_PORT) | (fw::UINT{fw::CBN_SELCHANGE} << 16);
constexpr fw::UINT kOutSelChange = static_cast<fw::UINT>(IDC_OUT_PORT) | (fw::UINT{fw::CBN_SELCHANGE} << 16);

class TtyFrontEnd : public ::testing::Test {
 protected:
  void Start(const CTtyOptions& opt) {
    m_pOut = open_memstream(&m_pBuf, &m_nBuf);
    ASSERT_NE(m_pOut, nullptr);
    m_loop.MakeCurrent();
    m_pFe = std::make_unique<CTtyFrontEnd>(m_loop, m_pOut, opt);
    m_loop.SetFrontEnd(m_pFe.get());
    m_loop.SetIdleHook([this](std::uint64_t) {
      m_bIdle = true;
      if (!m_aLines.empty()) {
        const std::string s = m_aLines.front();
        m_aLines.pop_front();
        m_pFe->OnInputLine(s);
      }
      m_pFe->OnIdle(false);
    });
    ASSERT_TRUE(m_main.CreateFromTemplate(InstallerTemplate()));
    // A far timer keeps the virtual loop from finding itself with nothing left to do.
    m_main.SetTimer(99, 3'600'000);
  }

  void TearDown() override {
    m_loop.SetIdleHook(nullptr);
    m_main.DestroyWindow();
    m_loop.SetFrontEnd(nullptr);
    m_pFe.reset();
    if (m_pOut != nullptr) std::fclose(m_pOut);
    std::free(m_pBuf);
  }

  // Runs the loop until it has taken everything posted and is idle again.
  void Settle() {
    m_bIdle = false;
    ASSERT_TRUE(m_loop.RunModal([this] { return m_bIdle; }));
  }

  std::string Output() {
    std::fflush(m_pOut);
    return std::string(m_pBuf, m_nBuf);
  }
  std::vector<std::string> OutputLines() {
    std::vector<std::string> a;
    std::string s = Output();
    std::size_t nStart = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
      if (s[i] == '\n') {
        a.push_back(s.substr(nStart, i - nStart));
        nStart = i + 1;
      }
    }
    return a;
  }
  bool Printed(const std::string& strLine) {
    for (const std::string& s : OutputLines()) {
      if (s == strLine) return true;
    }
    return false;
  }

  fw::CMsgLoop m_loop{fw::CMsgLoop::EClock::Virtual};
  std::unique_ptr<CTtyFrontEnd> m_pFe;
  CRecordingWnd m_main;
  std::deque<std::string> m_aLines;  // what the user types, one line per idle moment
  bool m_bIdle = false;
  std::FILE* m_pOut = nullptr;
  char* m_pBuf = nullptr;
  std::size_t m_nBuf = 0;
};

TEST_F(TtyFrontEnd, PlainLinesForTheWindowOnePerVisibleChange) {
  Start({});
  m_main.ShowWindow(true);
  m_main.SetDlgItemText(IDC_STATUS, TXT_STATUS_START);
  m_main.UpdateDlgItem(IDC_STATUS);  // a repaint of the same text is no change
  m_main.SendDlgItemMessage(IDC_PROGRESS_DATA, fw::PBM_SETRANGE32, 0, 4901);
  m_main.SendDlgItemMessage(IDC_PROGRESS_DATA, fw::PBM_SETSTEP, 1, 0);
  m_main.SendDlgItemMessage(IDC_PROGRESS_DATA, fw::PBM_SETPOS, 0, 0);
  m_main.SendDlgItemMessage(IDC_PROGRESS_DATA, fw::PBM_DELTAPOS, 1, 0);  // still 0 %: no line
  m_main.SendDlgItemMessage(IDC_PROGRESS_DATA, fw::PBM_DELTAPOS, 2449, 0);
  m_main.SendDlgItemMessage(IDC_PROGRESS_DATA, fw::PBM_DELTAPOS, 2451, 0);
  m_main.SendDlgItemMessage(IDC_PROGRESS_ALL, fw::PBM_SETRANGE, 0, fw::MAKELPARAM(1, 200));
  m_main.SendDlgItemMessage(IDC_PROGRESS_ALL, fw::PBM_SETPOS, 100, 0);
  EXPECT_EQ(OutputLines(), (std::vector<std::string>{
                               TXT_WINDOW_TITLE,
                               "Status: ",
                               "Status: Start VELDA UpDate.",
                               "Data:   0%  0/4901 bytes",
                               "Data:  49%  2450/4901 bytes",
                               "Data: 100%  4901/4901 bytes",
                               "All:    0%  1/200",
                               "All:   49%  100/200",
                           }));
}

TEST_F(TtyFrontEnd, BoxShowsItsLinesAndTakesTheTypedAnswer) {
  Start({});
  m_aLines = {"maybe", "c"};
  const int nAnswer =
      m_loop.MessageBox(m_main.GetSafeHwnd(), TXT_QUESTION_1, TXT_APP_TITLE, fw::MB_OKCANCEL | fw::MB_ICONINFORMATION);
  EXPECT_EQ(nAnswer, fw::IDCANCEL);
  EXPECT_EQ(OutputLines(), (std::vector<std::string>{
                               "[VELDA Installer]",
                               "  Make sure the instrument and ",
                               "  computer are properly ",
                               "  connected via USB cable.",
                               "Enter = OK, c = Cancel",
                               "Please answer with Enter (OK) or c (Cancel).",
                               "-> Cancel",
                           }));
}

TEST_F(TtyFrontEnd, OkOnlyBoxCannotBeCancelled) {
  Start({});
  m_aLines = {"c", ""};
  EXPECT_EQ(m_loop.MessageBox(m_main.GetSafeHwnd(), TXT_TIME_OUT, TXT_APP_TITLE, fw::MB_OK | fw::MB_ICONEXCLAMATION),
            fw::IDOK);
  EXPECT_TRUE(Printed("   Time Out   "));
  EXPECT_TRUE(Printed("Please press Enter (OK)."));
  EXPECT_TRUE(Printed("-> OK"));
}

TEST_F(TtyFrontEnd, YesAnswersEveryBoxOk) {
  Start({.bAutoYes = true});
  EXPECT_EQ(
      m_loop.MessageBox(m_main.GetSafeHwnd(), TXT_QUESTION_4, TXT_APP_TITLE, fw::MB_OKCANCEL | fw::MB_ICONINFORMATION),
      fw::IDOK);
  EXPECT_EQ(m_loop.MessageBox(m_main.GetSafeHwnd(), TXT_REFUSED, TXT_APP_TITLE, fw::MB_OK | fw::MB_ICONSTOP), fw::IDOK);
  EXPECT_TRUE(Printed("-> OK (--yes)"));
  EXPECT_FALSE(Printed("Enter = OK, c = Cancel"));  // nobody is asked
}

TEST_F(TtyFrontEnd, EndOfInputCancelsWhereItCanAndOksTheRest) {
  Start({});
  m_pFe->OnInputEnd();
  Settle();  // the loop takes the wake-up the end of input posts
  EXPECT_EQ(
      m_loop.MessageBox(m_main.GetSafeHwnd(), TXT_QUESTION_2, TXT_APP_TITLE, fw::MB_OKCANCEL | fw::MB_ICONINFORMATION),
      fw::IDCANCEL);
  EXPECT_EQ(m_loop.MessageBox(m_main.GetSafeHwnd(), TXT_SCRIPT_ERROR, TXT_APP_TITLE, fw::MB_OK), fw::IDOK);
  EXPECT_TRUE(Printed("-> Cancel (end of input)"));
  EXPECT_TRUE(Printed("-> OK (end of input)"));
}

TEST_F(TtyFrontEnd, ButtonsAreCommandsOnlyWhileEnabled) {
  Start({});
  m_main.ShowWindow(true);
  m_main.EnableDlgItem(IDC_MIDI_PORT, true);
  EXPECT_TRUE(m_pFe->IsWaitingForUser());
  EXPECT_TRUE(Printed("MIDI Port: enabled"));
  EXPECT_FALSE(Printed("Waiting for you: p = MIDI Port, q = close the window"));
  Settle();  // the commands are told once the loop is idle
  EXPECT_TRUE(Printed("Waiting for you: p = MIDI Port, q = close the window"));
  m_pFe->OnInputLine("c");  // Close is disabled: nothing is pressed
  m_pFe->OnInputLine("x");
  Settle();
  EXPECT_TRUE(m_main.m_aCommands.empty());
  EXPECT_TRUE(Printed("Close is not available now; q closes the window."));
  EXPECT_TRUE(Printed("Commands: p = MIDI Port, c = Close, q = close the window."));

  m_main.EnableDlgItem(fw::IDOK, true);
  m_pFe->OnInputLine("p");
  m_pFe->OnInputLine("close");
  Settle();
  EXPECT_EQ(m_main.m_aCommands, (std::vector<fw::UINT>{IDC_MIDI_PORT, fw::IDOK}));
}

TEST_F(TtyFrontEnd, LinesTypedAheadAnswerTheNextPrompt) {
  Start({});
  m_main.ShowWindow(true);
  // Running: nothing waits for a line, so these wait for their prompts.
  m_pFe->OnInputLine("");
  m_pFe->OnInputLine("c");
  m_pFe->OnInputLine("p");
  Settle();
  EXPECT_TRUE(m_main.m_aCommands.empty());
  EXPECT_EQ(
      m_loop.MessageBox(m_main.GetSafeHwnd(), TXT_QUESTION_1, TXT_APP_TITLE, fw::MB_OKCANCEL | fw::MB_ICONINFORMATION),
      fw::IDOK);
  EXPECT_EQ(
      m_loop.MessageBox(m_main.GetSafeHwnd(), TXT_QUESTION_2, TXT_APP_TITLE, fw::MB_OKCANCEL | fw::MB_ICONINFORMATION),
      fw::IDCANCEL);
  EXPECT_TRUE(m_main.m_aCommands.empty());
  // The last line waits until MIDI Port can be pressed.
  m_main.EnableDlgItem(IDC_MIDI_PORT, true);
  Settle();
  EXPECT_EQ(m_main.m_aCommands, (std::vector<fw::UINT>{IDC_MIDI_PORT}));
}

TEST_F(TtyFrontEnd, QuitIsTakenAtOnceEvenWhileRunning) {
  Start({});
  m_main.ShowWindow(true);
  m_pFe->OnInputLine("q");
  Settle();
  EXPECT_EQ(m_main.m_aCommands, (std::vector<fw::UINT>{fw::IDCANCEL}));
}

TEST_F(TtyFrontEnd, YesClosesAfterAFailureWithCloseOrTheCloseBox) {
  Start({.bAutoYes = true});
  m_main.ShowWindow(true);
  m_pFe->OnOutcome(EOutcome::Completed);  // no failure: nothing is pressed
  Settle();
  EXPECT_TRUE(m_main.m_aCommands.empty());

  // Timed out: Close is enabled and pressed.
  m_pFe->OnOutcome(EOutcome::TimedOut);
  m_main.EnableDlgItem(fw::IDOK, true);
  Settle();
  Settle();
  EXPECT_EQ(m_main.m_aCommands, (std::vector<fw::UINT>{fw::IDOK}));

  // A script error leaves Close disabled: the close box it is.
  m_main.EnableDlgItem(fw::IDOK, false);
  m_pFe->OnOutcome(EOutcome::ScriptError);
  Settle();
  Settle();
  EXPECT_EQ(m_main.m_aCommands, (std::vector<fw::UINT>{fw::IDOK, fw::IDCANCEL}));
}

TEST_F(TtyFrontEnd, CloseRequestAnswersTheBoxAsEscThenClosesTheWindow) {
  Start({});
  m_main.ShowWindow(true);
  bool bRequested = false;
  m_loop.SetIdleHook([&](std::uint64_t) {
    m_bIdle = true;
    if (!bRequested) {
      bRequested = true;
      m_pFe->RequestClose();
    }
    m_pFe->OnIdle(false);
  });
  EXPECT_EQ(
      m_loop.MessageBox(m_main.GetSafeHwnd(), TXT_QUESTION_1, TXT_APP_TITLE, fw::MB_OKCANCEL | fw::MB_ICONINFORMATION),
      fw::IDCANCEL);
  Settle();
  Settle();
  EXPECT_EQ(m_main.m_aCommands, (std::vector<fw::UINT>{fw::IDCANCEL}));  // the close box
}

TEST_F(TtyFrontEnd, PortDialogIsANumberedMenu) {
  Start({});
  CRecordingWnd dlg;
  ASSERT_TRUE(dlg.CreateFromTemplate(PortTemplate()));
  for (const char* psz : {"HALVEN USB IN 0-1", "Other In"}) dlg.AddComboString(IDC_IN_PORT, psz);
  for (const char* psz : {"HALVEN USB OUT 0-1", "Other Out", "Third Out"}) dlg.AddComboString(IDC_OUT_PORT, psz);
  dlg.SetComboCurSel(IDC_IN_PORT, 0);
  dlg.SetComboCurSel(IDC_OUT_PORT, 1);
  dlg.ShowWindow(true);
  EXPECT_TRUE(m_pFe->IsWaitingForUser());
  m_pFe->OnInputLine("7");  // not in the list
  m_pFe->OnInputLine("2");
  m_pFe->OnInputLine("");  // keeps the marked output entry
  Settle();
  // The input choice is a selection change; the kept output is not; then OK.
  EXPECT_EQ(dlg.m_aCommands, (std::vector<fw::UINT>{kInSelChange, fw::IDOK}));
  EXPECT_EQ(dlg.GetComboCurSel(IDC_IN_PORT), 1);
  EXPECT_EQ(dlg.GetComboCurSel(IDC_OUT_PORT), 1);
  const std::vector<std::string> a = OutputLines();
  const std::vector<std::string> aExpected{
      "== MIDI Port Select ==",
      "In Port:",
      "  1) HALVEN USB IN 0-1  *",
      "  2) Other In",
      "Number, Enter keeps the marked entry, c = Cancel",
      "Please type a number from the list, Enter, or c.",
      "Out Port:",
      "  1) HALVEN USB OUT 0-1",
      "  2) Other Out  *",
      "  3) Third Out",
      "Number, Enter keeps the marked entry, c = Cancel",
      "-> OK",
  };
  EXPECT_EQ(a, aExpected);
  dlg.DestroyWindow();
}

TEST_F(TtyFrontEnd, PortMenuCancelAndAnEmptyList) {
  Start({});
  CRecordingWnd dlg;
  ASSERT_TRUE(dlg.CreateFromTemplate(PortTemplate()));
  dlg.ShowWindow(true);
  m_pFe->OnInputLine("1");  // nothing to pick
  m_pFe->OnInputLine("");
  m_pFe->OnInputLine("3");
  m_pFe->OnInputLine("c");
  Settle();
  EXPECT_EQ(dlg.m_aCommands, (std::vector<fw::UINT>{fw::IDCANCEL}));
  EXPECT_TRUE(Printed("  (no devices)"));
  EXPECT_TRUE(Printed("-> Cancel"));
  dlg.DestroyWindow();
}

TEST_F(TtyFrontEnd, PortMenuPicksTheOutputToo) {
  Start({});
  CRecordingWnd dlg;
  ASSERT_TRUE(dlg.CreateFromTemplate(PortTemplate()));
  dlg.AddComboString(IDC_IN_PORT, "In A");
  dlg.AddComboString(IDC_OUT_PORT, "Out A");
  dlg.AddComboString(IDC_OUT_PORT, "Out B");
  dlg.ShowWindow(true);
  m_pFe->OnInputLine("");
  m_pFe->OnInputLine("2");
  Settle();
  EXPECT_EQ(dlg.m_aCommands, (std::vector<fw::UINT>{kOutSelChange, fw::IDOK}));
  EXPECT_EQ(dlg.GetComboCurSel(IDC_OUT_PORT), 1);
  dlg.DestroyWindow();
}

TEST_F(TtyFrontEnd, JsonOneObjectPerLine) {
  Start({.bJson = true});
  m_main.ShowWindow(true);
  m_main.SetDlgItemText(IDC_STATUS, TXT_STATUS_UPLOAD);
  m_main.SendDlgItemMessage(IDC_PROGRESS_DATA, fw::PBM_SETRANGE32, 0, 4901);
  m_main.SendDlgItemMessage(IDC_PROGRESS_DATA, fw::PBM_SETSTEP, 1, 0);  // no change: no line
  m_main.EnableDlgItem(fw::IDOK, true);
  m_aLines = {"ok"};
  m_loop.MessageBox(m_main.GetSafeHwnd(), TXT_TIME_OUT, TXT_APP_TITLE, fw::MB_OK | fw::MB_ICONEXCLAMATION);
  m_pFe->OnOutcome(EOutcome::None);
  m_pFe->OnOutcome(EOutcome::TimedOut);
  m_pFe->Finish(EOutcome::TimedOut, EXIT_TIMED_OUT);
  const std::vector<std::string> a = OutputLines();
  const std::vector<std::string> aExpected{
      R"({"t":0,"event":"window","title":"VELDA Installer Ver. 1.10","shown":true})",
      R"({"t":0,"event":"status","text":"Data UpLoad."})",
      R"({"t":0,"event":"bar","bar":"data","lower":0,"upper":4901,"pos":0,"percent":0})",
      R"({"t":0,"event":"button","button":"close","enabled":true})",
      R"({"t":0,"event":"box","box":1,"caption":"VELDA Installer","text":" \r\n Time Out   \r\n","buttons":"ok","icon":"exclamation"})",
      R"({"t":0,"event":"answer","box":1,"answer":"ok","by":"user"})",
      R"({"t":0,"event":"outcome","outcome":"running"})",
      R"({"t":0,"event":"outcome","outcome":"timed-out"})",
      R"({"t":0,"event":"end","outcome":"timed-out","exit":4})",
  };
  EXPECT_EQ(a, aExpected);
}

TEST_F(TtyFrontEnd, TerminalRedrawsTheBlockInPlace) {
  Start({.bTerminal = true, .nBarWidth = 10});
  m_main.ShowWindow(true);
  m_main.SetDlgItemText(IDC_STATUS, TXT_STATUS_WRITE_BLOCK);
  const std::string s = Output();
  const std::string strBlock =
      "\r\x1b[2KAll  [----------]    0%  0/100\n"
      "\r\x1b[2KData [----------]    0%  0/100 bytes\n";
  // The first drawing, then the same block again from three lines up with the new status.
  EXPECT_EQ(s, std::string(TXT_WINDOW_TITLE) + "\n" + strBlock + "\r\x1b[2KStatus: \n" + "\x1b[3A" + strBlock +
                   "\r\x1b[2KStatus: Write Block.\n");
  // With Close enabled the status line names the commands.
  m_main.EnableDlgItem(fw::IDOK, true);
  EXPECT_NE(Output().find("Status: Write Block.   [c] Close\n"), std::string::npos);
}

TEST_F(TtyFrontEnd, FinishAndNotesArePlainLines) {
  Start({});
  m_pFe->Note("Memory dump: /tmp/x");
  m_pFe->Finish(EOutcome::Refused, EXIT_REFUSED);
  EXPECT_EQ(OutputLines(), (std::vector<std::string>{"Memory dump: /tmp/x", "Result: refused (exit code 3)"}));
}

}  // namespace
}  // namespace velda::tty
