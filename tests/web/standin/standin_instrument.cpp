// The simulated instrument for the page's stand-in MIDIAccess (standin_midi.js), compiled on its
// own: what the Web MIDI backend sends reaches it through the stand-in's output port, and its
// replies, its timers and its restart (the ports vanish and come back) go to the stand-in.
#include <emscripten.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "instrument/instrument_settings.h"
#include "instrument/sim_instrument.h"

// clang-format off
EM_JS(void, standin_deliver, (const std::uint8_t* p, int n), {
  globalThis.veldaStandIn.deliver(Array.from(HEAPU8.subarray(p, p + n)));
});
EM_JS(void, standin_schedule, (int nId, int nDelayMs), {
  setTimeout(function() { Module._standin_run(nId); }, nDelayMs);
});
EM_JS(void, standin_present, (int bPresent), { globalThis.veldaStandIn.present(!!bPresent); });
EM_JS(void, standin_failed, (const char* psz), { globalThis.veldaStandIn.failed(UTF8ToString(psz)); });
// clang-format on

namespace {

class CPageHost : public velda::CInstrumentHost {
 public:
  void Deliver(std::vector<std::uint8_t> aBytes) override {
    standin_deliver(aBytes.data(), static_cast<int>(aBytes.size()));
  }
  void Schedule(std::uint32_t nDelayMs, std::function<void()> fn) override {
    const int nId = m_nNext++;
    m_pending.emplace(nId, std::move(fn));
    standin_schedule(nId, static_cast<int>(nDelayMs));
  }
  void SetPresent(bool bPresent) override { standin_present(bPresent ? 1 : 0); }

  void Run(int nId) {
    auto it = m_pending.find(nId);
    if (it == m_pending.end()) return;
    const std::function<void()> fn = std::move(it->second);
    m_pending.erase(it);
    fn();
  }

 private:
  std::map<int, std::function<void()>> m_pending;
  int m_nNext = 1;
};

CPageHost g_host;
std::unique_ptr<velda::CSimInstrument> g_pInstrument;

}  // namespace

extern "C" {

// Starts the instrument with its settings, one KEY=VALUE a line; false (and the reason to the
// stand-in) when one does not parse.
EMSCRIPTEN_KEEPALIVE int standin_start(const char* pszSettings) {
  velda::CInstrumentConfig config;
  std::istringstream in(pszSettings);
  std::string strLine;
  std::string strError;
  while (std::getline(in, strLine)) {
    if (!strLine.empty() && !velda::ParseInstrumentAssignment(strLine, config, strError)) {
      standin_failed(strError.c_str());
      return 0;
    }
  }
  g_pInstrument = std::make_unique<velda::CSimInstrument>(config, g_host);
  return 1;
}

// One complete message from the installer, F0 .. F7.
EMSCRIPTEN_KEEPALIVE void standin_message(const std::uint8_t* p, int n) {
  if (g_pInstrument != nullptr) g_pInstrument->OnMessage(p, static_cast<std::size_t>(n));
}

EMSCRIPTEN_KEEPALIVE void standin_run(int nId) { g_host.Run(nId); }

// Writes the instrument's memory as Intel HEX into the folder (of the module's file system), one
// file per device, for the test to compare with the package; false on a failure.
EMSCRIPTEN_KEEPALIVE int standin_dump(const char* pszFolder) {
  std::string strError;
  if (g_pInstrument == nullptr || !g_pInstrument->DumpHexFolder(pszFolder, strError)) {
    standin_failed(strError.empty() ? "no instrument" : strError.c_str());
    return 0;
  }
  return 1;
}

}  // extern "C"
