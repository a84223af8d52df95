// How the terminal front end shows things: one renderer per kind of output (plain lines, the live
// terminal, JSON lines) behind one interface. The interaction core decides what happens and calls
// the renderer; the renderer decides how it looks. Calls come with the core's lock held.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "fw/controls.h"
#include "fw/cstring.h"
#include "fw/types.h"
#include "shell/outcome.h"
#include "ui/tty/tty_scene.h"

namespace velda::tty {

class CTtyRenderer {
 public:
  virtual ~CTtyRenderer() = default;

  // A line of the program's own.
  virtual void Note(std::string_view strText) = 0;
  // The main window appeared or was hidden; it was destroyed.
  virtual void MainShown(const CTtyWindow& w, bool bShow) = 0;
  virtual void MainDestroyed() {}
  // A control of the main window changed what it shows.
  virtual void StatusChanged(const CTtyWindow& w, const fw::CControlState& ctl) = 0;
  virtual void BarChanged(const fw::CControlState& ctl, const fw::CControlState* pOld) = 0;
  virtual void ButtonChanged(const fw::CControlState& ctl) = 0;
  // The main window waits for the user: which commands there are.
  virtual void CommandsHint(const CTtyWindow& main) = 0;
  // Nothing is shown below the live block any more (the last box went).
  virtual void Refresh() {}

  // A message box, with its prompt when somebody may answer it.
  virtual void BoxShown(int nBoxId, const fw::CString& strText, const fw::CString& strCaption, fw::UINT uType,
                        bool bPrompt) = 0;
  // pszBy: "user", "yes", "end-of-input" or "close".
  virtual void BoxAnswered(int nBoxId, int nAnswer, const char* pszBy) = 0;
  // The run ended while the box had no answer: it went with the loop's answer.
  virtual void BoxEnded(int /*nBoxId*/, int /*nAnswer*/) {}

  // The port dialog as a menu: shown, one of its two lists, and how it was left.
  virtual void PortsShown(const CTtyWindow& w) = 0;
  virtual void PortList(const char* pszTitle, const fw::CControlState& ctl) = 0;
  virtual void PortsAnswered(bool bOk, int nInPick, int nOutPick) = 0;

  // A line that answers nothing (strHelp: how to answer), and a command that cannot be carried
  // out now (strWhy).
  virtual void NotAnAnswer(std::string_view strLine, const std::string& strHelp) = 0;
  virtual void CommandRefused(std::string_view strLine, const std::string& strWhy) = 0;

  // The dialog's outcome changed; the run is over.
  virtual void Outcome(EOutcome /*eOutcome*/) {}
  virtual void Finish(EOutcome eOutcome, int nExitCode) = 0;
};

struct CTtyRendererSetup {
  std::FILE* pOut = nullptr;
  const CTtyScene* pScene = nullptr;
  std::function<std::uint64_t()> fnNow;  // the installer's clock, for JSON
  bool bShowCommands = true;             // the live block names the enabled buttons' keys
  int nBarWidth = 30;
};

std::unique_ptr<CTtyRenderer> MakePlainRenderer(const CTtyRendererSetup& setup);
std::unique_ptr<CTtyRenderer> MakeLiveRenderer(const CTtyRendererSetup& setup);
std::unique_ptr<CTtyRenderer> MakeJsonRenderer(const CTtyRendererSetup& setup);

}  // namespace velda::tty
