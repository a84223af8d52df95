// The test-only winmm.dll's inside: the simulated instrument on the virtual driver, in real time on
// a device thread of its own, set up on first use from VELDA_TEST_INSTRUMENT (settings as
// --instrument takes them, separated by blanks).
#pragma once

#include "midi/driver/midi_driver.h"

namespace velda::testwinmm {

// The driver that holds the simulated instrument's two devices.
CMidiDriver& HostDriver();
// Writes the instrument's memory where dump=FOLDER asked (each time the output closes, so the
// last close of the run leaves the final memory).
void DumpMemory();
// Tells the host process's top-level windows of a device change (defined beside the exports).
void BroadcastDeviceChange(unsigned long long wParam, long long lParam);

}  // namespace velda::testwinmm
