// The trace of what passes the MIDI ports: one line per event,
// "<ms> > F0 .. F7" for a message handed to the output port, "<ms> < F0 .. F7" for a complete
// message taken from the input queue, "<ms> # text" for status and step notes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "fw/types.h"

namespace velda {

class CTraceSink {
 public:
  virtual ~CTraceSink() = default;
  // cDir is '>', '<' or '#'. Called from the installer thread and from the driver thread.
  virtual void OnTraceLine(char cDir, const std::string& strPayload) = 0;
};

// The sink every port and the installer report to; null: no trace.
void SetTraceSink(CTraceSink* pSink);
CTraceSink* GetTraceSink();

void TraceSent(const fw::BYTE* pMsg, std::size_t nLen);
void TraceReceived(const fw::BYTE* pMsg, std::size_t nLen);
void TraceNote(const std::string& strText);

// A note from the MIDI driver's thread, which must neither allocate nor wait: only the address of
// the constant text is queued, and the line is written by the next trace call of the installer's
// thread, or FlushTraceNotes. A note that finds the queue full is lost.
void TraceNoteLater(const char* pszConstantText);
// Writes the queued notes (the installer's thread).
void FlushTraceNotes();

// Upper-case hex pairs separated by single spaces.
std::string FormatHexBytes(const fw::BYTE* p, std::size_t n);

// Writes trace lines to a file (or any stream), stamped with milliseconds from a clock.
class CFileTraceSink : public CTraceSink {
 public:
  CFileTraceSink(const std::string& strPath, std::function<std::uint64_t()> fnClock);
  ~CFileTraceSink() override;
  bool IsOpen() const { return m_pFile != nullptr; }
  void OnTraceLine(char cDir, const std::string& strPayload) override;

 private:
  std::FILE* m_pFile = nullptr;
  std::function<std::uint64_t()> m_fnClock;
  std::mutex m_mx;
};

}  // namespace velda
