// The terminal front end. On a terminal the status line and the two bars are redrawn in place;
// otherwise every visible change is one plain line; with JSON every change is one JSON object per
// line. Message boxes become prompts, the MIDI Port Select dialog a numbered menu, and the main
// window's buttons commands typed on a line.
//
// Threads: the view calls come from the installer's thread; typed lines come from a reader
// thread (OnInputLine, OnInputEnd) and Ctrl-C from a signal thread (RequestClose). Answers go back
// through CMsgLoop::PostInput. One lock guards the state and the output.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "fw/msgloop.h"
#include "fw/view.h"
#include "shell/outcome.h"

namespace velda::tty {

struct CTtyOptions {
  bool bTerminal = false;  // output is a terminal: redraw the bars and the status in place
  bool bJson = false;      // one JSON object per line instead of text
  bool bAutoYes = false;   // answer every box OK and close the window after a failure (--yes)
  int nBarWidth = 30;
};

// A failure after which the window waits for the user, who can only close it: what --yes closes.
bool LeavesWindowWaiting(EOutcome eOutcome);

class CTtyFrontEnd : public fw::CFrontEnd {
 public:
  CTtyFrontEnd(fw::CMsgLoop& loop, std::FILE* pOut, const CTtyOptions& opt);
  ~CTtyFrontEnd() override;
  CTtyFrontEnd(const CTtyFrontEnd&) = delete;
  CTtyFrontEnd& operator=(const CTtyFrontEnd&) = delete;

  // A line the user typed (without its line end), and the end of the input: from then on an open
  // box is answered as nobody can (Cancel where there is one, else OK), the port menu is
  // cancelled, and a window that waits for the user is closed.
  void OnInputLine(std::string_view strLine);
  void OnInputEnd();
  // Ctrl-C: what Esc does to an open box (Cancel where there is one, else OK), the port menu
  // cancelled, then the main window's close box.
  void RequestClose();

  // The dialog's outcome changed. With --yes a failure that leaves the window waiting for the
  // user closes it.
  void OnOutcome(EOutcome eOutcome);
  // The installer's loop has nothing to do (its idle hook, installer thread): carries out a close
  // that is due. With bMayBlock (a virtual clock, which would otherwise jump ahead while the user
  // thinks) it waits here until the user acts, if the program waits for the user.
  void OnIdle(bool bMayBlock);
  // Ends a wait in OnIdle for good.
  void Stop();
  // The run is over: the last line, with the outcome and the exit code.
  void Finish(EOutcome eOutcome, int nExitCode);
  // A line of the program's own (a note from the program, not the installer's window).
  void Note(std::string_view strText);

  // Whether the program waits for the user right now (an open box, the port menu, or a main
  // window with an enabled button).
  bool IsWaitingForUser() const;

  // fw::CFrontEnd (installer thread).
  void OnWindowCreated(fw::HWND hWnd, const fw::CDialogTemplate& tmpl) override;
  void OnWindowShown(fw::HWND hWnd, bool bShow) override;
  void OnWindowDestroyed(fw::HWND hWnd) override;
  void OnWindowIcon(fw::HWND hWnd, int nIconId, bool bBig) override;
  void OnControlChanged(fw::HWND hWnd, const fw::CControlState& ctl) override;
  void ShowMessageBox(int nBoxId, fw::HWND hOwner, const fw::CString& strText, const fw::CString& strCaption,
                      fw::UINT uType) override;
  void CloseMessageBox(int nBoxId, int nAnswer) override;

 private:
  struct CWindow {
    int nTemplate = 0;
    std::string strCaption;
    bool bShown = false;
    std::map<int, fw::CControlState> controls;
  };
  struct CBox {
    int nId = 0;
    fw::UINT uType = 0;
    bool bAnswered = false;  // an answer was posted; the box closes when the loop takes it
  };
  // The port menu: first the input list, then the output list, then OK.
  struct CMenu {
    fw::HWND hWnd = 0;
    enum class EStage { Off, In, Out, Done } eStage = EStage::Off;
    int nInPick = -1;  // -1: keep the preselected entry
  };
  enum class EClose { None, CloseButton, CloseBox };

  // All below: m_mx held.
  void Emit(const std::string& strLine);
  void EmitJson(const std::string& strObject);
  std::uint64_t Now() const { return m_loop.Now(); }
  CWindow* MainWindow();
  const CWindow* MainWindow() const;
  bool MainWaitsForUser() const;
  void AnswerBox(CBox& box, int nAnswer, const char* pszBy);
  void AnswerBoxAsNobody(CBox& box);
  void HandleMenuLine(std::string_view strLine);
  void ShowMenuList(int nId, const char* pszTitle);
  void FinishMenu(bool bOk, int nOutPick);
  void HandleWindowLine(std::string_view strLine);
  // Something waits for a line now: an open box, the menu, or the main window's buttons.
  bool PromptOpen() const;
  void HandleLine(std::string_view strLine);
  void DrainTypeAhead();
  void ReportControl(const CWindow& w, const fw::CControlState& ctl, const fw::CControlState* pOld);
  void ShowCommandsHint();
  // The live block: two bars and the status line. On a terminal it is redrawn in place; Freeze
  // leaves it where it is, so that what follows (a box, the menu) is printed below it.
  std::vector<std::string> LiveLines() const;
  void Redraw();
  void Freeze();
  void Wake();
  void WakeLoop();

  fw::CMsgLoop& m_loop;
  std::FILE* m_pOut;
  const CTtyOptions m_opt;

  mutable std::mutex m_mx;
  std::condition_variable m_cv;
  std::map<fw::HWND, CWindow> m_windows;
  fw::HWND m_hMain = 0;
  std::vector<CBox> m_aBoxes;            // open boxes, innermost last
  std::deque<std::string> m_aTypeAhead;  // lines that came before the prompt they answer
  CMenu m_menu;
  EClose m_eClose = EClose::None;
  bool m_bInputEnded = false;
  bool m_bStopped = false;
  std::uint64_t m_nInputSeq = 0;  // counts what the user did, for OnIdle's wait
  std::size_t m_nDrawnLines = 0;  // lines of the live block on the screen (terminal)
  std::vector<std::string> m_aDrawn;
  bool m_bHintShown = false;
  bool m_bCommandPending = false;  // a button was pressed and the loop has not been idle since
};

}  // namespace velda::tty
