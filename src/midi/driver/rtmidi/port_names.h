// How RtMidi's port names become the driver layer's product names, and which ports are our own.
#pragma once

#include <string>

namespace velda::rtmidi {

enum class EMidiApi { Alsa, Jack };

// The API's name as the user writes it ("alsa", "jack").
const char* NameOf(EMidiApi eApi);
// Reads "alsa" or "jack"; false for anything else.
bool ParseMidiApi(const std::string& strText, EMidiApi& eApi);

// The product name of a port as RtMidi names it: on ALSA "client:port 128:0" gives the port's
// name ("port"), on JACK "client:port" gives the part after the first colon; then at most 31
// bytes. A name without the expected parts is kept whole (then cut).
std::string ProductNameOf(EMidiApi eApi, const std::string& strPortName);

// The sequencer client's number in an ALSA port name ("client:port 24:0" gives 24), or -1.
int AlsaClientOf(const std::string& strPortName);

// The client part of a port name (before the first colon; the whole name when there is none).
std::string ClientOf(const std::string& strPortName);

// Whether a port belongs to one of our own clients: JACK renames a second client "name-01", so
// "name", "name-01", "name-02" ... are all ours.
bool IsOwnClient(const std::string& strPortName, const std::string& strClientName);

}  // namespace velda::rtmidi
