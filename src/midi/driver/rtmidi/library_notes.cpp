#include "midi/driver/rtmidi/library_notes.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <cstdarg>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <streambuf>

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

// std::cerr's buffer from the capture on: each thread's characters gather in a line of its own,
// so that lines written at once by two threads do not mix.
class CNoteLineBuf : public std::streambuf {
 protected:
  int_type overflow(int_type c) override {
    if (!traits_type::eq_int_type(c, traits_type::eof())) Put(traits_type::to_char_type(c));
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* p, std::streamsize n) override {
    for (std::streamsize i = 0; i < n; ++i) Put(p[i]);
    return n;
  }

 private:
  static void Put(char c) {
    thread_local std::string tl_strLine;
    if (c != '\n') {
      tl_strLine += c;
      return;
    }
    if (!tl_strLine.empty()) LibraryNote("rtmidi: " + tl_strLine);
    tl_strLine.clear();
  }
};

void InstallHandlersOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    jack_set_error_function(OnJackError);
    jack_set_info_function(OnJackInfo);
    snd_lib_error_set_handler(OnAlsaError);
    // Never given back nor freed: a library thread may still write at the process's exit.
    std::cerr.rdbuf(new CNoteLineBuf);
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

void CaptureLibraryOutput() { InstallHandlersOnce(); }

}  // namespace velda::rtmidi
