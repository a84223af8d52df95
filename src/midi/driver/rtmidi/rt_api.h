// The RtMidi API that serves one of our MIDI systems (the driver, velda-sim and the benchmark).
#pragma once

#include <rtmidi/RtMidi.h>

#include "midi/driver/rtmidi/port_names.h"

namespace velda::rtmidi {

inline RtMidi::Api RtApiOf(EMidiApi eApi) { return eApi == EMidiApi::Jack ? RtMidi::UNIX_JACK : RtMidi::LINUX_ALSA; }

}  // namespace velda::rtmidi
