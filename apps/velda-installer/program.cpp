#include "program.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "app_options.h"
#include "front_end_chain.h"
#include "fw/codepage.h"
#include "fw/kernel.h"
#include "fw/trace.h"
#include "gui.h"
#include "help_text.h"
#include "midi_setup.h"
#include "shell/installer_app.h"
#include "shell/outcome.h"
#include "shell/texts.h"
#include "signal_watcher.h"
#include "ui/tty/line_reader.h"
#include "ui/tty/tty_front_end.h"

namespace velda::app {

namespace {

void Complain(const std::string& strText) { std::fprintf(stderr, "%s: %s\n", PROGRAM_NAME, strText.c_str()); }

int UsageError(const std::string& strText) {
  Complain(strText);
  std::fprintf(stderr, "Try '%s --help' for the options.\n", PROGRAM_NAME);
  return EXIT_USAGE;
}

void ListPorts(CMidiDriver& driver, const std::string& strApi) {
  std::printf("MIDI system: %s\n", strApi.c_str());
  std::printf("MIDI input devices:\n");
  const UINT nIn = driver.InGetNumDevs();
  for (UINT i = 0; i < nIn; ++i) {
    MIDIINCAPS caps;
    if (driver.InGetDevCaps(i, &caps, sizeof caps) == MMSYSERR_NOERROR) {
      std::printf("  %u  %s\n", i, PnameToString(caps.szPname).GetString());
    }
  }
  if (nIn == 0) std::printf("  (none)\n");
  std::printf("MIDI output devices:\n");
  const UINT nOut = driver.OutGetNumDevs();
  for (UINT i = 0; i < nOut; ++i) {
    MIDIOUTCAPS caps;
    if (driver.OutGetDevCaps(i, &caps, sizeof caps) == MMSYSERR_NOERROR) {
      std::printf("  %u  %s\n", i, PnameToString(caps.szPname).GetString());
    }
  }
  if (nOut == 0) std::printf("  (none)\n");
  std::fflush(stdout);
}

// The scope of the single-instance lock. A run on a real instrument takes the one lock of the
// whole system (over --midi-api jack: of its JACK server). A --virtual run drives no real instrument, so it need not
// keep others out: its lock is named after the folder of its package, so that tests and benchmarks running copies side
// by side (each with a package in its own folder) never meet, while a second copy from the same folder is still found.
std::string LockScope(const CAppOptions& opt) {
  if (!opt.bVirtual && opt.strMidiApi == "jack") {
    // Over JACK the instrument's ports are those of one server: copies on other servers (the
    // interop tests run one each) never meet the same ports.
    const char* pszServer = std::getenv("JACK_DEFAULT_SERVER");
    return std::string("jack:") + (pszServer != nullptr && *pszServer != '\0' ? pszServer : "default");
  }
  if (!opt.bVirtual) return {};
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path folder =
      fs::absolute(opt.strPackage.empty() ? fs::path(PACKAGE_NAME) : fs::path(opt.strPackage), ec).parent_path();
  const fs::path canonical = fs::weakly_canonical(folder, ec);
  if (!ec) folder = canonical;
  return "virtual:" + folder.string();
}

int NoLock(const std::string& strWhy, bool bGui) {
  const std::string strText =
      "cannot take the single-instance lock (" + strWhy + "); not starting, as another copy could not be kept out";
  Complain(strText);
  if (bGui) GuiShowStartFailure(std::string(PROGRAM_NAME) + ": " + strText);
  return EXIT_NO_LOCK;
}

// The installer on the terminal, on this thread; the outcome it ended with.
EOutcome RunOnTerminal(CInstallerApp& app, fw::CMsgLoop& loop, const CAppOptions& opt,
                       std::unique_ptr<tty::CTtyFrontEnd>& pView) {
  tty::CTtyOptions to;
  to.bJson = opt.bJson;
  to.bTerminal = !opt.bJson && ::isatty(STDOUT_FILENO) == 1;
  to.bAutoYes = opt.bYes;
  pView = std::make_unique<tty::CTtyFrontEnd>(loop, stdout, to);
  tty::CTtyFrontEnd& view = *pView;
  COutcomeTap tap(
      app, [&view](EOutcome e) { view.OnOutcome(e); }, &view);
  loop.SetFrontEnd(&tap);
  loop.SetIdleHook([&view, &loop](std::uint64_t) { view.OnIdle(loop.IsVirtual()); });

  std::unique_ptr<tty::CLineReader> pReader;
  if (!opt.bYes) {
    // With --yes nobody is asked, so the input is left alone.
    pReader = std::make_unique<tty::CLineReader>(
        STDIN_FILENO, [&view](std::string_view s) { view.OnInputLine(s); }, [&view] { view.OnInputEnd(); });
  }
  CSignalWatcher signals([&view] { view.RequestClose(); },
                         [&loop, &view] {
                           view.Stop();
                           loop.Abort();
                         });

  app.InitInstance();

  signals.Stop();
  pReader.reset();
  view.Stop();
  loop.SetIdleHook(nullptr);
  loop.SetFrontEnd(nullptr);
  return tap.LastOutcome();
}

// The installer in its window: the GUI thread here, the installer's on a thread of its own.
EOutcome RunInWindow(char* pszArgv0, CInstallerApp& app, fw::CMsgLoop& loop, const CAppOptions& opt) {
  CAutoYes yes(loop);
  COutcomeTap tap(app, [&yes](EOutcome e) { yes.OnOutcome(e); });
  CGuiHooks hooks;
  hooks.fnBeforeInit = [&] {
    fw::CFrontEnd* pWindow = loop.FrontEnd();
    if (opt.bYes) {
      yes.SetNext(pWindow);
      tap.SetNext(&yes);
      loop.SetIdleHook([&yes](std::uint64_t) { yes.OnIdle(); });
    } else {
      tap.SetNext(pWindow);
    }
    loop.SetFrontEnd(&tap);
  };
  hooks.fnAfterInit = [&] {
    loop.SetIdleHook(nullptr);
    loop.SetFrontEnd(opt.bYes ? yes.Next() : tap.Next());
  };
  CSignalWatcher signals([&loop] { loop.Abort(); }, [&loop] { loop.Abort(); });
  RunGui(pszArgv0, app, loop, hooks);
  signals.Stop();
  return tap.LastOutcome();
}

}  // namespace

int RunProgram(int argc, char** argv) {
  BlockTerminationSignals();
  fw::SetAnsiCodePage(fw::SystemAnsiCodePage());
  const CParseResult parsed = ParseAppOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.options) {
    return UsageError(parsed.strError);
  }
  const CAppOptions& opt = *parsed.options;
  if (opt.bHelp) {
    std::fputs(HelpText().c_str(), stdout);
    return EXIT_COMPLETED;
  }
  if (opt.bVersion) {
    std::printf("%s\n", VersionText().c_str());
    return EXIT_COMPLETED;
  }

  bool bGui = false;
  if (opt.eFrontEnd == EFrontEnd::Gui) {
    if (!GuiBuilt()) return UsageError("--gui: the GUI is not built (Qt 6 was not found); use --tui");
    if (!GuiCanShow()) return UsageError("--gui: there is no display (DISPLAY and WAYLAND_DISPLAY are not set)");
    bGui = true;
  } else if (opt.eFrontEnd == EFrontEnd::Auto) {
    bGui = GuiBuilt() && GuiHasDisplay() && !opt.bJson && !opt.bVirtualClock;
  }

  const std::string strLockScope = LockScope(opt);
  if (!opt.bListPorts) {
    std::string strWhy;
    switch (fw::CSingleInstanceLock::Probe(INSTANCE_LOCK_NAME, strLockScope, &strWhy)) {
      case fw::ELock::HeldElsewhere:
        // Another copy runs: end at once, silently, before touching anything (a trace, a dump).
        return EXIT_SECOND_COPY;
      case fw::ELock::Unavailable:
        return NoLock(strWhy, bGui);
      case fw::ELock::Ok:
        break;
    }
  }

  fw::CMsgLoop loop(opt.bVirtualClock ? fw::CMsgLoop::EClock::Virtual : fw::CMsgLoop::EClock::Real);
  std::string strError;
  std::unique_ptr<CMidiSetup> pMidi = CMidiSetup::Create(opt, opt.bVirtualClock ? &loop : nullptr, strError);
  if (pMidi == nullptr) {
    Complain(strError);
    return EXIT_PORT_ERROR;
  }
  if (opt.bListPorts) {
    ListPorts(pMidi->Devices(), pMidi->ApiName());
    return EXIT_COMPLETED;
  }

  std::unique_ptr<CFileTraceSink> pTrace;
  if (!opt.strTrace.empty()) {
    pTrace = std::make_unique<CFileTraceSink>(opt.strTrace, [&loop] { return loop.Now(); });
    if (!pTrace->IsOpen()) return UsageError("--trace: cannot write " + opt.strTrace);
    SetTraceSink(pTrace.get());
  }

  CInstallerApp app(loop);
  if (!opt.strPackage.empty()) app.SetPackagePath(opt.strPackage);
  app.SetLockFolder(strLockScope);
  app.SetVerify(opt.bVerify);
  pMidi->MakeCurrent();

  std::unique_ptr<tty::CTtyFrontEnd> pView;
  const EOutcome eOutcome = bGui ? RunInWindow(argv[0], app, loop, opt) : RunOnTerminal(app, loop, opt, pView);

  std::string strDumpFolder;
  const bool bDumped = pMidi->Finish(strDumpFolder, strError);
  SetTraceSink(nullptr);
  pTrace.reset();
  if (app.WasSecondCopy()) {
    return EXIT_SECOND_COPY;  // it lost the race for the lock after all: still silent
  }
  if (app.LockUnavailable()) return NoLock(app.LockError(), bGui);

  const int nExit = ExitCodeOf(eOutcome);
  std::string strNote;
  if (!bDumped) {
    Complain("the memory dump could not be written: " + strError);
  } else if (!strDumpFolder.empty()) {
    strNote = "Instrument memory written to " + strDumpFolder;
  }
  if (pView != nullptr) {
    if (!strNote.empty()) pView->Note(strNote);
    pView->Finish(eOutcome, nExit);
  } else {
    if (!strNote.empty()) std::printf("%s\n", strNote.c_str());
    std::printf("Result: %s (exit code %d)\n", NameOf(eOutcome), nExit);
    // Out before the process ends: under Wine a process can still crash on its way out.
    std::fflush(stdout);
  }
  return nExit;
}

}  // namespace velda::app
