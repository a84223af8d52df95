// How a port that a user names is found among the devices, and which device is plausibly the
// instrument when its own names are absent. Pure functions over the names the driver layer gives.
#pragma once

#include <string>
#include <vector>

namespace velda {

// A device as the driver layer names it: its product name (at most 31 bytes, what --list-ports
// and the port dialog show) and the system's whole name ("client:port 20:0" on the ALSA
// sequencer, "client:port" on JACK; empty where the system has no more to say).
struct CPortName {
  std::string strProduct;
  std::string strSystem;
};

// The position of the device that strAsked names, or -1. A name is looked for in this order, and
// the first device that fits the first rule that fits any wins:
// the product name; the whole system name; "client:port"; the address "20:0" (or the client's
// number "20": its first port); the client's name (its first port).
int FindPortByName(const std::string& strAsked, const std::vector<CPortName>& aPorts);

// Whether a product name is plausibly the instrument's port: the instrument's USB product string
// "HALVEN USB" begins every name it gets ("HALVEN USB IN 0-1" on Windows, "HALVEN USB MIDI 1" from
// the kernel's USB-MIDI driver, "HALVEN USB - HALVEN USB MIDI 1" under Wine).
bool IsInstrumentPortName(const std::string& strProduct);

// The one device whose product name is plausibly the instrument's, or -1 when none or more than
// one is: a port is only offered when nothing else could be meant.
int SoleInstrumentPort(const std::vector<std::string>& aProducts);

}  // namespace velda
