// The terminal front end when its output is not a terminal (a log, a pipe): every visible change
// is one plain line. The live renderer builds on it.
#pragma once

#include <string>

#include "ui/tty/tty_renderer.h"

namespace velda::tty {

class CPlainRenderer : public CTtyRenderer {
 public:
  explicit CPlainRenderer(const CTtyRendererSetup& setup) : m_setup(setup) {}

  void Note(std::string_view strText) override;
  void MainShown(const CTtyWindow& w, bool bShow) override;
  void StatusChanged(const CTtyWindow& w, const fw::CControlState& ctl) override;
  void BarChanged(const fw::CControlState& ctl, const fw::CControlState* pOld) override;
  void ButtonChanged(const fw::CControlState& ctl) override;
  void CommandsHint(const CTtyWindow& main) override;
  void BoxShown(int nBoxId, const fw::CString& strText, const fw::CString& strCaption, fw::UINT uType,
                bool bPrompt) override;
  void BoxAnswered(int nBoxId, int nAnswer, const char* pszBy) override;
  void PortsShown(const CTtyWindow& w) override;
  void PortList(const char* pszTitle, const fw::CControlState& ctl) override;
  void PortsAnswered(bool bOk, int nInPick, int nOutPick) override;
  void NotAnAnswer(std::string_view strLine, const std::string& strHelp) override;
  void CommandRefused(std::string_view strLine, const std::string& strWhy) override;
  void Finish(EOutcome eOutcome, int nExitCode) override;

 protected:
  // One line of output.
  void Line(const std::string& strLine);
  // Called before a line is printed.
  virtual void BeforeLine() {}

  const CTtyRendererSetup m_setup;
};

}  // namespace velda::tty
