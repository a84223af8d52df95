#include "test_winmm_host.h"

#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include "fw/device_thread.h"
#include "fw/msgloop.h"
#include "fw/wnd.h"
#include "instrument/instrument_settings.h"
#include "midi/driver/virtual/instrument/hosted_instrument.h"
#include "midi/driver/virtual/virtual_midi_driver.h"

namespace velda::testwinmm {

namespace {

// The virtual driver reports device changes to "the main window" of this module's framework:
// a window of our own on a thread of our own, which hands them on to the host's real windows.
class CRelayWnd : public fw::CWnd {
 public:
  fw::LRESULT WindowProc(fw::UINT message, fw::WPARAM wParam, fw::LPARAM lParam) override {
    if (message == fw::WM_DEVICECHANGE) BroadcastDeviceChange(wParam, lParam);
    return 0;
  }
};

class CRelayApp : public fw::CWinApp {
 public:
  explicit CRelayApp(fw::CMsgLoop& loop) : fw::CWinApp(loop, "winmm relay") {}
  fw::BOOL InitInstance() override { return fw::FALSE; }
};

struct CHost {
  CInstrumentConfig config;
  fw::CDeviceThread thread;
  std::unique_ptr<CVirtualMidiDriver> pDriver;
  std::unique_ptr<CHostedInstrument> pInstrument;
  fw::CMsgLoop relayLoop;
  CRelayApp relayApp{relayLoop};
  CRelayWnd relayWnd;
  std::mutex mxDump;

  CHost() {
    if (const char* psz = std::getenv("VELDA_TEST_INSTRUMENT")) {
      std::istringstream in(psz);
      for (std::string s; in >> s;) {
        std::string strError;
        ParseInstrumentAssignment(s, config, strError);
      }
    }
    std::mutex mx;
    std::condition_variable cv;
    bool bReady = false;
    std::thread([this, &mx, &cv, &bReady] {
      relayLoop.MakeCurrent();
      fw::CDialogTemplate tmpl;
      relayWnd.CreateFromTemplate(tmpl);
      relayApp.SetMainWnd(&relayWnd);
      {
        std::lock_guard<std::mutex> lock(mx);
        bReady = true;
      }
      cv.notify_all();
      relayLoop.RunModal([] { return false; });  // until the process ends
    }).detach();
    std::unique_lock<std::mutex> lock(mx);
    cv.wait(lock, [&bReady] { return bReady; });
    pDriver = std::make_unique<CVirtualMidiDriver>(thread);
    pDriver->SetKeepOutMessages(false);
    pInstrument = std::make_unique<CHostedInstrument>(*pDriver, config);
  }
};

// Never destroyed: the host may call in while the process ends.
CHost& Host() {
  static CHost* p = new CHost;
  return *p;
}

}  // namespace

CMidiDriver& HostDriver() { return *Host().pDriver; }

void DumpMemory() {
  CHost& h = Host();
  if (h.config.strDumpFolder.empty()) return;
  std::lock_guard<std::mutex> lock(h.mxDump);
  std::string strError;
  h.pInstrument->Instrument().DumpHexFolder(h.config.strDumpFolder, strError);
}

}  // namespace velda::testwinmm
