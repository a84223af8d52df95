#include "support/trace_recorder.h"

#include <algorithm>

namespace velda::test {

void CTraceRecorder::OnTraceLine(char cDir, const std::string& strPayload) {
  const std::uint64_t nAt = m_pClock != nullptr ? m_pClock->Now() : 0;
  std::lock_guard<std::mutex> lock(m_mx);
  m_aLines.push_back(CLine{nAt, cDir, strPayload});
}

std::vector<std::string> CTraceRecorder::Lines() const {
  FlushTraceNotes();  // the notes the driver's thread left, before reading
  std::lock_guard<std::mutex> lock(m_mx);
  std::vector<std::string> out;
  for (const CLine& l : m_aLines) out.push_back(std::to_string(l.nAt) + " " + l.cDir + " " + l.strPayload);
  return out;
}

std::vector<std::string> CTraceRecorder::Of(char cDir) const {
  FlushTraceNotes();  // the notes the driver's thread left, before reading
  std::lock_guard<std::mutex> lock(m_mx);
  std::vector<std::string> out;
  for (const CLine& l : m_aLines) {
    if (l.cDir == cDir) out.push_back(l.strPayload);
  }
  return out;
}

std::vector<std::pair<std::uint64_t, std::vector<std::uint8_t>>> CTraceRecorder::Timed(char cDir) const {
  FlushTraceNotes();  // the notes the driver's thread left, before reading
  std::lock_guard<std::mutex> lock(m_mx);
  std::vector<std::pair<std::uint64_t, std::vector<std::uint8_t>>> out;
  for (const CLine& l : m_aLines) {
    if (l.cDir != cDir) continue;
    std::vector<std::uint8_t> aBytes;
    for (std::size_t i = 0; i + 2 <= l.strPayload.size(); i += 3) {
      aBytes.push_back(static_cast<std::uint8_t>(std::stoul(l.strPayload.substr(i, 2), nullptr, 16)));
    }
    out.emplace_back(l.nAt, std::move(aBytes));
  }
  return out;
}

std::size_t CTraceRecorder::CountNote(const std::string& strNote) const {
  const std::vector<std::string> a = Of('#');
  return static_cast<std::size_t>(std::count(a.begin(), a.end(), strNote));
}

void CTraceRecorder::Clear() {
  std::lock_guard<std::mutex> lock(m_mx);
  m_aLines.clear();
}

}  // namespace velda::test
