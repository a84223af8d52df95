#include "instrument/replay_script.h"

#include <fstream>
#include <iterator>
#include <optional>

namespace velda {
namespace {

std::optional<std::uint64_t> ReadMs(std::string_view str) {
  if (str.empty() || str.size() > 15) return std::nullopt;
  std::uint64_t n = 0;
  for (const char c : str) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return n;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// "F0 43 .. F7": pairs separated by single spaces.
std::optional<std::vector<std::uint8_t>> ReadHexBytes(std::string_view str) {
  std::vector<std::uint8_t> a;
  for (std::size_t i = 0; i < str.size(); i += 3) {
    if (i + 2 > str.size() || (i + 2 < str.size() && str[i + 2] != ' ')) return std::nullopt;
    const int nHigh = HexDigit(str[i]);
    const int nLow = HexDigit(str[i + 1]);
    if (nHigh < 0 || nLow < 0) return std::nullopt;
    a.push_back(static_cast<std::uint8_t>(nHigh * 16 + nLow));
  }
  if (a.empty()) return std::nullopt;
  return a;
}

std::uint32_t Delay(std::uint64_t nAt, std::uint64_t nFrom) {
  const std::uint64_t n = nAt > nFrom ? nAt - nFrom : 0;
  return n > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(n);
}

}  // namespace

bool ParseReplayTrace(std::string_view strText, CReplayScript& script, std::string& strError) {
  CReplayScript result;
  std::uint64_t nRequestAt = 0;
  std::size_t nLine = 0;
  while (!strText.empty()) {
    const std::size_t nEnd = strText.find('\n');
    std::string_view strLine = strText.substr(0, nEnd);
    strText = nEnd == std::string_view::npos ? std::string_view() : strText.substr(nEnd + 1);
    ++nLine;
    if (!strLine.empty() && strLine.back() == '\r') strLine.remove_suffix(1);
    if (strLine.empty()) continue;
    const std::size_t nSpace = strLine.find(' ');
    const std::optional<std::uint64_t> nAt =
        nSpace == std::string_view::npos ? std::nullopt : ReadMs(strLine.substr(0, nSpace));
    if (!nAt || nSpace + 2 >= strLine.size() || strLine[nSpace + 2] != ' ') {
      strError = "trace line " + std::to_string(nLine) + ": expected '<ms> <direction> <payload>'";
      return false;
    }
    const char cDir = strLine[nSpace + 1];
    if (cDir == '#') continue;
    const std::optional<std::vector<std::uint8_t>> aBytes = ReadHexBytes(strLine.substr(nSpace + 3));
    if ((cDir != '>' && cDir != '<') || !aBytes) {
      strError = "trace line " + std::to_string(nLine) + ": expected '>' or '<' and hex bytes";
      return false;
    }
    if (cDir == '>') {
      nRequestAt = *nAt;
      result.aExchanges.push_back({nLine, *aBytes, {}});
    } else if (result.aExchanges.empty()) {
      result.aLeading.push_back({Delay(*nAt, 0), *aBytes});
    } else {
      result.aExchanges.back().aReplies.push_back({Delay(*nAt, nRequestAt), *aBytes});
    }
  }
  script = std::move(result);
  return true;
}

std::string TraceBytesText(const std::vector<std::uint8_t>& aBytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string str;
  for (const std::uint8_t b : aBytes) {
    if (!str.empty()) str.push_back(' ');
    str.push_back(kDigits[b >> 4]);
    str.push_back(kDigits[b & 0xF]);
  }
  return str;
}

bool LoadReplayTrace(const std::string& strPath, CReplayScript& script, std::string& strError) {
  std::ifstream in(strPath, std::ios::binary);
  if (!in) {
    strError = "cannot read the trace " + strPath;
    return false;
  }
  const std::string strText((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!ParseReplayTrace(strText, script, strError)) {
    strError = strPath + ": " + strError;
    return false;
  }
  return true;
}

}  // namespace velda
