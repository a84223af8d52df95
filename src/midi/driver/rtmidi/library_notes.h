// What libjack, alsa-lib and RtMidi say goes to one note sink (the program's trace), never to the
// terminal: an installer that prints library chatter over its own status line is unreadable.
#pragma once

#include <functional>
#include <string>

namespace velda::rtmidi {

using FnLibraryNote = std::function<void(const std::string&)>;

// Where notes go from now on (null: nowhere). Installs the libraries' own error and info
// handlers the first time. Callable from any thread; notes may come from the libraries' threads.
void SetLibraryNoteSink(FnLibraryNote fnSink);
// Passes one note to the sink, prefixed with where it came from.
void LibraryNote(const std::string& strText);

// RtMidi prints its warnings to std::cerr, from the caller's thread before an object can be given
// an error callback (in its constructor) and from its own input threads at any time. So from the
// first call of this (or of SetLibraryNoteSink) on, std::cerr writes notes, line by line, for the
// rest of the process: its buffer is swapped once, before any library object exists, because
// swapping it while a library thread writes would be a data race. Nothing else of the program
// writes std::cerr.
void CaptureLibraryOutput();

}  // namespace velda::rtmidi
