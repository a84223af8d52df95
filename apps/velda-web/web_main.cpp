// velda-web: the installer in a browser page. The page script turns its query into the
// command line of velda-installer (?virtual -> --virtual, &yes -> --yes, ...) and calls main once
// the package is in the page's file system as velda.uxs; main runs the installation to its end
// on the browser's event loop (Asyncify) and tells the page the outcome and the exit code.
#include <emscripten.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "app_options.h"
#include "front_end_chain.h"
#include "fw/codepage.h"
#include "fw/kernel.h"
#include "fw/trace.h"
#include "midi_setup.h"
#include "shell/installer_app.h"
#include "shell/outcome.h"
#include "shell/texts.h"
#include "ui/web/web_front_end.h"

// clang-format off
EM_JS(void, velda_page_finished, (const char* pszOutcome, int nExitCode, const char* pszNote), {
  if (globalThis.veldaUi && globalThis.veldaUi.finished)
    globalThis.veldaUi.finished({outcome: UTF8ToString(pszOutcome), code: nExitCode, note: UTF8ToString(pszNote)});
});
// clang-format on

namespace {

using velda::EOutcome;

// Where the page finds the trace after the run.
constexpr const char* kTracePath = "/velda-trace.txt";
// On a virtual clock the loop never waits; it hands the page its thread this often (wall time)
// so that the page keeps drawing.
constexpr double kYieldEveryMs = 30.0;

int Finished(EOutcome eOutcome, int nExitCode, const std::string& strNote = {}) {
  velda_page_finished(velda::NameOf(eOutcome), nExitCode, strNote.c_str());
  return nExitCode;
}

int Run(const std::vector<std::string>& aArgs) {
  using namespace velda;
  fw::SetAnsiCodePage(fw::SystemAnsiCodePage());
  const app::CParseResult parsed = app::ParseAppOptions(aArgs);
  if (!parsed.options) return Finished(EOutcome::None, EXIT_USAGE, parsed.strError);
  app::CAppOptions opt = *parsed.options;
  if (opt.strTrace.empty()) opt.strTrace = kTracePath;

  fw::CMsgLoop loop(opt.bVirtualClock ? fw::CMsgLoop::EClock::Virtual : fw::CMsgLoop::EClock::Real);
  loop.MakeCurrent();
  std::string strError;
  // A page has no device thread: simulated devices run on the installer's loop on either clock.
  std::unique_ptr<app::CMidiSetup> pMidi = app::CMidiSetup::Create(opt, &loop, strError);
  if (pMidi == nullptr) return Finished(EOutcome::PortError, EXIT_PORT_ERROR, strError);

  auto pTrace = std::make_unique<CFileTraceSink>(opt.strTrace, [&loop] { return loop.Now(); });
  SetTraceSink(pTrace.get());

  CInstallerApp app(loop);
  if (!opt.strPackage.empty()) app.SetPackagePath(opt.strPackage);
  app.SetLockFolder("page");
  app.SetVerify(opt.bVerify);
  pMidi->MakeCurrent();

  web::CWebFrontEnd page(loop);
  app::CAutoYes yes(loop, &page);
  app::COutcomeTap tap(
      app, [&yes](EOutcome e) { yes.OnOutcome(e); }, opt.bYes ? static_cast<fw::CFrontEnd*>(&yes) : &page);
  loop.SetFrontEnd(&tap);
  double tLastYield = emscripten_get_now();
  loop.SetIdleHook([&](std::uint64_t) {
    if (opt.bYes) yes.OnIdle();
    if (loop.IsVirtual() && emscripten_get_now() - tLastYield > kYieldEveryMs) {
      emscripten_sleep(0);
      tLastYield = emscripten_get_now();
    }
  });

  app.InitInstance();

  loop.SetIdleHook(nullptr);
  loop.SetFrontEnd(nullptr);
  std::string strDumpFolder;
  pMidi->Finish(strDumpFolder, strError);
  SetTraceSink(nullptr);
  pTrace.reset();
  const EOutcome eOutcome = tap.LastOutcome();
  if (app.WasSecondCopy()) return Finished(EOutcome::SecondCopy, EXIT_SECOND_COPY);
  return Finished(eOutcome, ExitCodeOf(eOutcome));
}

}  // namespace

int main(int argc, char** argv) { return Run(std::vector<std::string>(argv + 1, argv + argc)); }
