// The terminal front end on a terminal: the two bars and the status line form a block that is
// redrawn in place; boxes, the port menu and other lines are printed below it as plain lines.
#include <utility>
#include <vector>

#include "shell/resource.h"
#include "ui/tty/plain_renderer.h"
#include "ui/tty/tty_text.h"

namespace velda::tty {

namespace {

class CLiveRenderer : public CPlainRenderer {
 public:
  explicit CLiveRenderer(const CTtyRendererSetup& setup) : CPlainRenderer(setup) {}

  void MainShown(const CTtyWindow& w, bool bShow) override {
    if (!bShow) {
      Freeze();
      return;
    }
    Line(DisplayText(w.strCaption));
    Redraw();
  }
  void MainDestroyed() override { Freeze(); }
  void StatusChanged(const CTtyWindow& /*w*/, const fw::CControlState& /*ctl*/) override { Redraw(); }
  void BarChanged(const fw::CControlState& /*ctl*/, const fw::CControlState* /*pOld*/) override { Redraw(); }
  void ButtonChanged(const fw::CControlState& /*ctl*/) override { Redraw(); }
  // The status line carries the buttons.
  void CommandsHint(const CTtyWindow& /*main*/) override { Redraw(); }
  void Refresh() override { Redraw(); }

 protected:
  // What follows (a box, the menu) is printed below the block, which stays where it is.
  void BeforeLine() override { Freeze(); }

 private:
  std::vector<std::string> LiveLines(const CTtyWindow& main) const;
  void Redraw();
  void Freeze() {
    m_nDrawnLines = 0;
    m_aDrawn.clear();
  }

  std::size_t m_nDrawnLines = 0;  // lines of the live block on the screen
  std::vector<std::string> m_aDrawn;
};

std::vector<std::string> CLiveRenderer::LiveLines(const CTtyWindow& main) const {
  std::vector<std::string> aLines;
  aLines.push_back(FormatBarLine("All ", main.Control(IDC_PROGRESS_ALL).progress, m_setup.nBarWidth, ""));
  aLines.push_back(FormatBarLine("Data", main.Control(IDC_PROGRESS_DATA).progress, m_setup.nBarWidth, "bytes"));
  std::string strStatus = "Status: " + DisplayText(main.Control(IDC_STATUS).strText.View());
  if (m_setup.bShowCommands) {
    if (main.IsEnabled(IDC_MIDI_PORT)) strStatus += "   [p] MIDI Port";
    if (main.IsEnabled(fw::IDOK)) strStatus += "   [c] Close";
  }
  aLines.push_back(strStatus);
  return aLines;
}

void CLiveRenderer::Redraw() {
  const CTtyScene& scene = *m_setup.pScene;
  const CTtyWindow* pMain = scene.MainWindow();
  if (pMain == nullptr || !pMain->bShown || !scene.aBoxes.empty() || scene.MenuOpen()) {
    return;  // the block stays as it was while a prompt waits below it
  }
  std::vector<std::string> aLines = LiveLines(*pMain);
  if (m_nDrawnLines != 0 && aLines == m_aDrawn) return;
  std::string strOut;
  if (m_nDrawnLines != 0) {
    strOut += "\x1b[" + std::to_string(m_nDrawnLines) + "A";
  }
  for (const std::string& s : aLines) {
    strOut += "\r\x1b[2K";
    strOut += s;
    strOut += '\n';
  }
  std::fputs(strOut.c_str(), m_setup.pOut);
  std::fflush(m_setup.pOut);
  m_nDrawnLines = aLines.size();
  m_aDrawn = std::move(aLines);
}

}  // namespace

std::unique_ptr<CTtyRenderer> MakeLiveRenderer(const CTtyRendererSetup& setup) {
  return std::make_unique<CLiveRenderer>(setup);
}

}  // namespace velda::tty
