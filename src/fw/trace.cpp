#include "fw/trace.h"

#include <atomic>
#include <cstdio>

#include "fw/note_queue.h"

namespace velda {

namespace {
std::atomic<CTraceSink*> g_pSink{nullptr};
CNoteQueue g_notes;  // trivially destroyed: a late callback may still push
}  // namespace

void SetTraceSink(CTraceSink* pSink) {
  FlushTraceNotes();
  g_pSink.store(pSink);
}

void TraceNoteLater(const char* pszConstantText) { g_notes.Push(pszConstantText); }

void FlushTraceNotes() {
  for (const char* psz = g_notes.Pop(); psz != nullptr; psz = g_notes.Pop()) {
    if (CTraceSink* pSink = g_pSink.load()) pSink->OnTraceLine('#', psz);
  }
}
CTraceSink* GetTraceSink() { return g_pSink.load(); }

std::string FormatHexBytes(const fw::BYTE* p, std::size_t n) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string s;
  s.reserve(n * 3);
  for (std::size_t i = 0; i < n; ++i) {
    if (i != 0) s.push_back(' ');
    s.push_back(kDigits[p[i] >> 4]);
    s.push_back(kDigits[p[i] & 0x0F]);
  }
  return s;
}

void TraceSent(const fw::BYTE* pMsg, std::size_t nLen) {
  FlushTraceNotes();
  if (CTraceSink* pSink = g_pSink.load()) pSink->OnTraceLine('>', FormatHexBytes(pMsg, nLen));
}

void TraceReceived(const fw::BYTE* pMsg, std::size_t nLen) {
  FlushTraceNotes();
  if (CTraceSink* pSink = g_pSink.load()) pSink->OnTraceLine('<', FormatHexBytes(pMsg, nLen));
}

void TraceNote(const std::string& strText) {
  FlushTraceNotes();
  if (CTraceSink* pSink = g_pSink.load()) pSink->OnTraceLine('#', strText);
}

CFileTraceSink::CFileTraceSink(const std::string& strPath, std::function<std::uint64_t()> fnClock)
    : m_pFile(std::fopen(strPath.c_str(), "w")), m_fnClock(std::move(fnClock)) {}

CFileTraceSink::~CFileTraceSink() {
  if (m_pFile != nullptr) std::fclose(m_pFile);
}

void CFileTraceSink::OnTraceLine(char cDir, const std::string& strPayload) {
  std::lock_guard<std::mutex> lock(m_mx);
  if (m_pFile == nullptr) return;
  std::fprintf(m_pFile, "%llu %c %s\n", static_cast<unsigned long long>(m_fnClock()), cDir, strPayload.c_str());
  std::fflush(m_pFile);
}

}  // namespace velda
