#include "ui/tty/plain_renderer.h"

#include "shell/resource.h"
#include "ui/tty/tty_text.h"

namespace velda::tty {

void CPlainRenderer::Line(const std::string& strLine) {
  BeforeLine();
  std::fputs(strLine.c_str(), m_setup.pOut);
  std::fputc('\n', m_setup.pOut);
  std::fflush(m_setup.pOut);
}

void CPlainRenderer::Note(std::string_view strText) { Line(DisplayText(strText)); }

void CPlainRenderer::MainShown(const CTtyWindow& w, bool bShow) {
  if (!bShow) return;
  Line(DisplayText(w.strCaption));
  // The window's first look, one line per part.
  Line("Status: " + DisplayText(w.Control(IDC_STATUS).strText.View()));
}

void CPlainRenderer::StatusChanged(const CTtyWindow& w, const fw::CControlState& ctl) {
  if (w.bShown) Line("Status: " + DisplayText(ctl.strText.View()));
}

void CPlainRenderer::BarChanged(const fw::CControlState& ctl, const fw::CControlState* pOld) {
  // A line only when what the bar shows changes: its percentage or its range.
  const fw::CProgressState& st = ctl.progress;
  const bool bRangeChanged =
      pOld == nullptr || pOld->progress.nLower != st.nLower || pOld->progress.nUpper != st.nUpper;
  if (bRangeChanged || ProgressPercent(pOld->progress) != ProgressPercent(st)) {
    const bool bAll = ctl.tmpl.nId == IDC_PROGRESS_ALL;
    Line((bAll ? "All:  " : "Data: ") + FormatBarCounts(st, bAll ? "" : "bytes"));
  }
}

void CPlainRenderer::ButtonChanged(const fw::CControlState& ctl) {
  Line(std::string(ctl.tmpl.nId == IDC_MIDI_PORT ? "MIDI Port" : "Close") +
       (ctl.bEnabled ? ": enabled" : ": disabled"));
}

void CPlainRenderer::CommandsHint(const CTtyWindow& main) {
  std::string s = "Waiting for you:";
  if (main.IsEnabled(IDC_MIDI_PORT)) s += " p = MIDI Port,";
  if (main.IsEnabled(fw::IDOK)) s += " c = Close,";
  s += " q = close the window";
  Line(s);
}

void CPlainRenderer::BoxShown(int /*nBoxId*/, const fw::CString& strText, const fw::CString& strCaption, fw::UINT uType,
                              bool bPrompt) {
  Line("[" + DisplayText(strCaption.View()) + "]");
  for (const std::string& s : SplitBoxLines(strText.View())) {
    Line("  " + DisplayText(s));
  }
  if (bPrompt) {
    Line(BoxButtonsOf(uType) == EBoxButtons::OkCancel ? "Enter = OK, c = Cancel" : "Enter = OK");
  }
}

void CPlainRenderer::BoxAnswered(int /*nBoxId*/, int nAnswer, const char* pszBy) {
  std::string s = "-> " + AnswerName(nAnswer);
  if (std::string_view(pszBy) == "yes") s += " (--yes)";
  if (std::string_view(pszBy) == "end-of-input") s += " (end of input)";
  Line(s);
}

void CPlainRenderer::PortsShown(const CTtyWindow& w) { Line("== " + DisplayText(w.strCaption) + " =="); }

void CPlainRenderer::PortList(const char* pszTitle, const fw::CControlState& ctl) {
  Line(std::string(pszTitle) + ":");
  if (ctl.aItems.empty()) {
    Line("  (no devices)");
  }
  for (std::size_t i = 0; i < ctl.aItems.size(); ++i) {
    std::string s = "  " + std::to_string(i + 1) + ") " + DisplayText(ctl.aItems[i].View());
    if (static_cast<int>(i) == ctl.nCurSel) s += "  *";
    Line(s);
  }
  Line("Number, Enter keeps the marked entry, c = Cancel");
}

void CPlainRenderer::PortsAnswered(bool bOk, int /*nInPick*/, int /*nOutPick*/) { Line(bOk ? "-> OK" : "-> Cancel"); }

void CPlainRenderer::NotAnAnswer(std::string_view /*strLine*/, const std::string& strHelp) { Line(strHelp); }

void CPlainRenderer::CommandRefused(std::string_view /*strLine*/, const std::string& strWhy) { Line(strWhy); }

void CPlainRenderer::Finish(EOutcome eOutcome, int nExitCode) {
  Line(std::string("Result: ") + NameOf(eOutcome) + " (exit code " + std::to_string(nExitCode) + ")");
}

std::unique_ptr<CTtyRenderer> MakePlainRenderer(const CTtyRendererSetup& setup) {
  return std::make_unique<CPlainRenderer>(setup);
}

}  // namespace velda::tty
