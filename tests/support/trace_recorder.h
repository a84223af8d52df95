// Records the trace lines with the time they came on a clock (when one is given): what the
// installer sent ('>'), received ('<') and noted ('#').
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "fw/scheduler.h"
#include "fw/trace.h"

namespace velda::test {

class CTraceRecorder : public CTraceSink {
 public:
  // pClock: where the time of each line comes from; null: every line at 0.
  explicit CTraceRecorder(const fw::CScheduler* pClock = nullptr) : m_pClock(pClock) {}

  void OnTraceLine(char cDir, const std::string& strPayload) override;
  // Every line: "<ms> <dir> <payload>".
  std::vector<std::string> Lines() const;
  // The payloads of one direction ('>', '<' or '#'), in order.
  std::vector<std::string> Of(char cDir) const;
  // The messages of one direction ('>' or '<') with their times, bytes decoded.
  std::vector<std::pair<std::uint64_t, std::vector<std::uint8_t>>> Timed(char cDir) const;
  // How many notes ('#') read exactly strNote.
  std::size_t CountNote(const std::string& strNote) const;
  void Clear();

 private:
  struct CLine {
    std::uint64_t nAt = 0;
    char cDir = 0;
    std::string strPayload;
  };

  const fw::CScheduler* m_pClock;
  mutable std::mutex m_mx;
  std::vector<CLine> m_aLines;
};

}  // namespace velda::test
