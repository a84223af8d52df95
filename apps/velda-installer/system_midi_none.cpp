// A build without a backend for the system's MIDI: real MIDI says so plainly.
#include "system_midi.h"

namespace velda::app {

std::unique_ptr<CMidiDriver> OpenSystemMidi(const std::string& /*strApi*/, std::string& /*strApiUsed*/,
                                            std::string& strError) {
  strError =
      "no MIDI system is available: this build has no backend for real MIDI devices "
      "(--virtual installs into the built-in simulated instrument)";
  return nullptr;
}

}  // namespace velda::app
