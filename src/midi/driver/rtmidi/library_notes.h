// What libjack, alsa-lib and RtMidi say goes to one note sink (the program's trace), never to the
// terminal: an installer that prints library chatter over its own status line is unreadable.
#pragma once

#include <functional>
#include <sstream>
#include <string>

namespace velda::rtmidi {

using FnLibraryNote = std::function<void(const std::string&)>;

// Where notes go from now on (null: nowhere). Installs the libraries' own error and info
// handlers the first time. Callable from any thread; notes may come from the libraries' threads.
void SetLibraryNoteSink(FnLibraryNote fnSink);
// Passes one note to the sink, prefixed with where it came from.
void LibraryNote(const std::string& strText);

// RtMidi prints its warnings to std::cerr before an object can be given an error callback (in
// its constructor): while one of these lives, std::cerr is caught and its lines become notes.
// Only for the thread that makes RtMidi objects; nothing else of the program writes std::cerr.
class CCerrToNotes {
 public:
  CCerrToNotes();
  ~CCerrToNotes();
  CCerrToNotes(const CCerrToNotes&) = delete;
  CCerrToNotes& operator=(const CCerrToNotes&) = delete;

 private:
  std::ostringstream m_caught;
  std::streambuf* m_pOld = nullptr;
};

}  // namespace velda::rtmidi
