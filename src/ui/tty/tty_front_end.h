// The terminal front end's interaction core. Message boxes become prompts, the MIDI Port Select
// dialog a numbered menu, and the main window's buttons commands typed on a line; --yes answers
// through the one --yes policy. How it looks is the renderer's: on a terminal the status line and
// the two bars are redrawn in place; otherwise every visible change is one plain line; with JSON
// every change is one JSON object per line.
//
// Threads: the view calls come from the installer's thread; typed lines come from a reader
// thread (OnInputLine, OnInputEnd) and Ctrl-C from a signal thread (RequestClose). Answers go back
// through CMsgLoop::PostInput. One lock guards the state and the output.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "fw/msgloop.h"
#include "fw/view.h"
#include "shell/outcome.h"
#include "ui/tty/tty_renderer.h"
#include "ui/tty/tty_scene.h"
#include "ui/tty/yes_policy.h"

namespace velda::tty {

struct CTtyOptions {
  bool bTerminal = false;  // output is a terminal: redraw the bars and the status in place
  bool bJson = false;      // one JSON object per line instead of text
  bool bAutoYes = false;   // answer every box OK and close the window after a failure (--yes)
  int nBarWidth = 30;
};

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
  enum class EClose { None, CloseButton, CloseBox };

  // All below: m_mx held.
  bool MainWaitsForUser() const { return m_scene.MainWaitsForUser(); }
  void AnswerBox(CTtyBox& box, int nAnswer, const char* pszBy);
  void AnswerBoxAsNobody(CTtyBox& box);
  void HandleWindowLine(std::string_view strLine);
  // Something waits for a line now: an open box, the menu, or the main window's buttons.
  bool PromptOpen() const;
  void HandleLine(std::string_view strLine);
  void DrainTypeAhead();
  void ReportControl(const CTtyWindow& w, const fw::CControlState& ctl, const fw::CControlState* pOld);
  void ShowCommandsHint();
  void Wake();
  void WakeLoop();
  // The port menu (tty_port_menu.cpp).
  void OpenMenu(const CTtyWindow& w);
  void HandleMenuLine(std::string_view strLine);
  void ShowMenuList(int nId, const char* pszTitle);
  void FinishMenu(bool bOk, int nOutPick);

  fw::CMsgLoop& m_loop;
  const CTtyOptions m_opt;
  std::unique_ptr<CTtyRenderer> m_pRenderer;
  std::unique_ptr<CYesPolicy> m_pYes;  // with --yes

  mutable std::mutex m_mx;
  std::condition_variable m_cv;
  CTtyScene m_scene;
  std::deque<std::string> m_aTypeAhead;  // lines that came before the prompt they answer
  EClose m_eClose = EClose::None;
  bool m_bInputEnded = false;
  bool m_bStopped = false;
  std::uint64_t m_nInputSeq = 0;  // counts what the user did, for OnIdle's wait
  bool m_bHintShown = false;
  bool m_bCommandPending = false;  // a button was pressed and the loop has not been idle since
};

}  // namespace velda::tty
