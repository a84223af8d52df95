// The system's MIDI through RtMidi: the ALSA sequencer or JACK. Without a choice ALSA is tried
// first and JACK when ALSA cannot start. The libraries' own messages go to the trace.
#include <string>

#include "fw/trace.h"
#include "midi/driver/rtmidi/library_notes.h"
#include "midi/driver/rtmidi/rtmidi_midi_driver.h"
#include "system_midi.h"

namespace velda::app {

namespace {

constexpr const char* kClientName = "velda-installer";

std::unique_ptr<CMidiDriver> OpenApi(rtmidi::EMidiApi eApi, std::string& strError) {
  rtmidi::CRtMidiOptions opt;
  opt.eApi = eApi;
  opt.strClientName = kClientName;
  return rtmidi::CRtMidiDriver::Create(opt, strError);
}

}  // namespace

std::unique_ptr<CMidiDriver> OpenSystemMidi(const std::string& strApi, std::string& strApiUsed, std::string& strError) {
  rtmidi::SetLibraryNoteSink([](const std::string& strNote) { TraceNote(strNote); });
  rtmidi::EMidiApi eApi = rtmidi::EMidiApi::Alsa;
  if (!strApi.empty()) {
    if (!rtmidi::ParseMidiApi(strApi, eApi)) {
      strError = "unknown MIDI system " + strApi;
      return nullptr;
    }
    strApiUsed = strApi;
    return OpenApi(eApi, strError);
  }
  std::string strAlsaError;
  std::unique_ptr<CMidiDriver> p = OpenApi(rtmidi::EMidiApi::Alsa, strAlsaError);
  if (p != nullptr) {
    strApiUsed = "alsa";
    return p;
  }
  p = OpenApi(rtmidi::EMidiApi::Jack, strError);
  if (p != nullptr) {
    strApiUsed = "jack";
    return p;
  }
  strError = "no MIDI system is available: the ALSA sequencer cannot be opened and no JACK server is running";
  return nullptr;
}

}  // namespace velda::app
