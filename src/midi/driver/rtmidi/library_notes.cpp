#include "midi/driver/rtmidi/library_notes.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <cstdarg>
#include <cstdio>
#include <iostream>
#include <mutex>

namespace velda::rtmidi {

namespace {

std::mutex& SinkMutex() {
  static std::mutex mx;
  return mx;
}

FnLibraryNote& Sink() {
  static FnLibraryNote fn;
  return fn;
}

void OnJackError(const char* psz) { LibraryNote(std::string("jack: ") + psz); }
void OnJackInfo(const char* psz) { LibraryNote(std::string("jack: ") + psz); }

// alsa-lib's handler is variadic, in C; its format is alsa-lib's own printf format.
__attribute__((format(printf, 5, 6))) void OnAlsaError(const char* pszFile, int nLine, const char* pszFunction,
                                                       int nErr, const char* pszFmt, ...) {
  char sz[512];
  va_list args;
  va_start(args, pszFmt);
  std::vsnprintf(sz, sizeof sz, pszFmt, args);
  va_end(args);
  std::string s = std::string("alsa: ") + pszFile + ":" + std::to_string(nLine) + " " + pszFunction + ": " + sz;
  if (nErr != 0) s += std::string(" (") + snd_strerror(nErr) + ")";
  LibraryNote(s);
}

void InstallHandlersOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    jack_set_error_function(OnJackError);
    jack_set_info_function(OnJackInfo);
    snd_lib_error_set_handler(OnAlsaError);
  });
}

}  // namespace

void SetLibraryNoteSink(FnLibraryNote fnSink) {
  InstallHandlersOnce();
  const std::lock_guard<std::mutex> lock(SinkMutex());
  Sink() = std::move(fnSink);
}

void LibraryNote(const std::string& strText) {
  const std::lock_guard<std::mutex> lock(SinkMutex());
  if (Sink()) Sink()(strText);
}

CCerrToNotes::CCerrToNotes() : m_pOld(std::cerr.rdbuf(m_caught.rdbuf())) { InstallHandlersOnce(); }

CCerrToNotes::~CCerrToNotes() {
  std::cerr.rdbuf(m_pOld);
  std::istringstream lines(m_caught.str());
  for (std::string strLine; std::getline(lines, strLine);) {
    if (!strLine.empty()) LibraryNote("rtmidi: " + strLine);
  }
}

}  // namespace velda::rtmidi
