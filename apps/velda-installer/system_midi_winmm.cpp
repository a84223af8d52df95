// The system's MIDI on Windows: the multimedia API, the only one there is.
#include "midi/driver/winmm/winmm_midi_driver.h"
#include "system_midi.h"

namespace velda::app {

std::unique_ptr<CMidiDriver> OpenSystemMidi(const std::string& strApi, std::string& strApiUsed, std::string& strError) {
  if (!strApi.empty() && strApi != "winmm") {
    strError = "the MIDI system \"" + strApi + "\" is not available here (this build has winmm)";
    return nullptr;
  }
  strApiUsed = "winmm";
  return std::make_unique<CWinmmMidiDriver>();
}

}  // namespace velda::app
