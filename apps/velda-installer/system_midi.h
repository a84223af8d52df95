// The computer's own MIDI system (as opposed to the built-in simulated instrument).
#pragma once

#include <memory>
#include <string>

#include "midi/driver/midi_driver.h"

namespace velda::app {

// The driver of the system's MIDI devices, or null with a sentence for the user in strError.
// strApi: the MIDI system asked for ("alsa", "jack"), empty for the default; strApiUsed names the
// one opened.
std::unique_ptr<CMidiDriver> OpenSystemMidi(const std::string& strApi, std::string& strApiUsed, std::string& strError);

}  // namespace velda::app
