// The terminal front end with --json: every change is one JSON object on its own line.
#include <string>
#include <vector>

#include "fw/box_icon_name.h"
#include "shell/resource.h"
#include "ui/tty/tty_json.h"
#include "ui/tty/tty_renderer.h"
#include "ui/tty/tty_text.h"

namespace velda::tty {

namespace {

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

std::vector<std::string> Items(const fw::CControlState& ctl) {
  std::vector<std::string> a;
  for (const fw::CString& s : ctl.aItems) a.push_back(s.Str());
  return a;
}

class CJsonRenderer : public CTtyRenderer {
 public:
  explicit CJsonRenderer(const CTtyRendererSetup& setup) : m_setup(setup) {}

  void Note(std::string_view strText) override { Emit(Event("note").Add("text", strText)); }
  void MainShown(const CTtyWindow& w, bool bShow) override {
    Emit(Event("window").Add("title", w.strCaption).Add("shown", bShow));
  }
  void StatusChanged(const CTtyWindow& /*w*/, const fw::CControlState& ctl) override {
    Emit(Event("status").Add("text", ctl.strText.View()));
  }
  void BarChanged(const fw::CControlState& ctl, const fw::CControlState* /*pOld*/) override {
    const fw::CProgressState& st = ctl.progress;
    Emit(Event("bar")
             .Add("bar", ctl.tmpl.nId == IDC_PROGRESS_ALL ? "all" : "data")
             .Add("lower", st.nLower)
             .Add("upper", st.nUpper)
             .Add("pos", st.nPos)
             .Add("percent", ProgressPercent(st)));
  }
  void ButtonChanged(const fw::CControlState& ctl) override {
    Emit(Event("button")
             .Add("button", ctl.tmpl.nId == IDC_MIDI_PORT ? "midi-port" : "close")
             .Add("enabled", ctl.bEnabled));
  }
  // The button events told which buttons there are.
  void CommandsHint(const CTtyWindow& /*main*/) override {}

  void BoxShown(int nBoxId, const fw::CString& strText, const fw::CString& strCaption, fw::UINT uType,
                bool /*bPrompt*/) override {
    Emit(Event("box")
             .Add("box", nBoxId)
             .Add("caption", strCaption.View())
             .Add("text", strText.View())
             .Add("buttons", BoxButtonsName(BoxButtonsOf(uType)))
             .Add("icon", fw::BoxIconName(uType)));
  }
  void BoxAnswered(int nBoxId, int nAnswer, const char* pszBy) override {
    Emit(Event("answer").Add("box", nBoxId).Add("answer", Lower(AnswerName(nAnswer))).Add("by", pszBy));
  }
  void BoxEnded(int nBoxId, int nAnswer) override { BoxAnswered(nBoxId, nAnswer, "end"); }

  void PortsShown(const CTtyWindow& w) override {
    const fw::CControlState& in = w.Control(IDC_IN_PORT);
    const fw::CControlState& out = w.Control(IDC_OUT_PORT);
    Emit(Event("ports")
             .Add("title", w.strCaption)
             .Add("in", Items(in))
             .Add("out", Items(out))
             .Add("in_sel", in.nCurSel)
             .Add("out_sel", out.nCurSel));
  }
  // The ports event carried both lists.
  void PortList(const char* /*pszTitle*/, const fw::CControlState& /*ctl*/) override {}
  void PortsAnswered(bool bOk, int nInPick, int nOutPick) override {
    Emit(Event("ports-answer").Add("answer", bOk ? "ok" : "cancel").Add("in_pick", nInPick).Add("out_pick", nOutPick));
  }

  void NotAnAnswer(std::string_view strLine, const std::string& /*strHelp*/) override {
    Emit(Event("input-error").Add("line", strLine));
  }
  void CommandRefused(std::string_view strLine, const std::string& strWhy) override {
    Emit(Event("input-error").Add("line", strLine).Add("reason", strWhy));
  }

  void Outcome(EOutcome eOutcome) override {
    // None comes when a run (re)starts: nothing is decided yet.
    Emit(Event("outcome").Add("outcome", eOutcome == EOutcome::None ? "running" : NameOf(eOutcome)));
  }
  void Finish(EOutcome eOutcome, int nExitCode) override {
    Emit(Event("end").Add("outcome", NameOf(eOutcome)).Add("exit", nExitCode));
  }

 private:
  CJsonObject Event(const char* pszEvent) const {
    CJsonObject o;
    o.Add("t", m_setup.fnNow()).Add("event", pszEvent);
    return o;
  }
  void Emit(const CJsonObject& o) {
    std::fputs(o.Str().c_str(), m_setup.pOut);
    std::fputc('\n', m_setup.pOut);
    std::fflush(m_setup.pOut);
  }

  const CTtyRendererSetup m_setup;
};

}  // namespace

std::unique_ptr<CTtyRenderer> MakeJsonRenderer(const CTtyRendererSetup& setup) {
  return std::make_unique<CJsonRenderer>(setup);
}

}  // namespace velda::tty
