// The page's MIDI: the browser's Web MIDI.
#include "midi/driver/webmidi/webmidi_midi_driver.h"
#include "system_midi.h"

namespace velda::app {

std::unique_ptr<CMidiDriver> OpenSystemMidi(const std::string& /*strApi*/, std::string& strApiUsed,
                                            std::string& strError) {
  std::unique_ptr<CMidiDriver> p = CWebMidiDriver::Open(strError);
  if (p != nullptr) strApiUsed = "webmidi";
  return p;
}

}  // namespace velda::app
