#include "script_lint.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "package_listing.h"
#include "protocol/messages.h"
#include "protocol/upload_plan.h"
#include "script/area_compare.h"
#include "script/data_entry.h"
#include "script/keyword_table.h"
#include "script/script_number.h"
#include "script/script_reader.h"

namespace velda::uxs {

namespace {

using fw::CString;
using fw::UINT;

constexpr UINT MAX_HEX_DIGITS = 8;
constexpr UINT DEVICE_LIMIT = 0x80;

std::string Hex(UINT n) {
  std::array<char, 16> a{};
  std::snprintf(a.data(), a.size(), "%X", n);
  return a.data();
}

std::size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> aRow(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) aRow[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t nDiag = aRow[0];
    aRow[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t nUp = aRow[j];
      aRow[j] = std::min({aRow[j] + 1, aRow[j - 1] + 1, nDiag + (a[i - 1] == b[j - 1] ? 0 : 1)});
      nDiag = nUp;
    }
  }
  return aRow[b.size()];
}

std::string NearestKeyword(std::string_view sv) {
  std::string strUpper(sv);
  for (char& c : strUpper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  const char* pszBest = KEYWORD_TABLE[0];
  std::size_t nBest = EditDistance(strUpper, pszBest);
  for (const char* psz : KEYWORD_TABLE) {
    const std::size_t n = EditDistance(strUpper, psz);
    if (n < nBest) {
      nBest = n;
      pszBest = psz;
    }
  }
  return pszBest;
}

// Text of a token for a message: control characters shown as \r, \n or \xNN.
std::string Shown(std::string_view sv) {
  std::string s;
  for (const char ch : sv) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '\r') {
      s += "\\r";
    } else if (c == '\n') {
      s += "\\n";
    } else if (c < 0x20) {
      std::array<char, 8> a{};
      std::snprintf(a.data(), a.size(), "\\x%02X", c);
      s += a.data();
    } else {
      s += ch;
    }
  }
  return s;
}

struct CSlot {
  bool bOpened = false;  // an OPEN_DATA_FILE named it
  bool bLoaded = false;  // and the package holds that entry
  std::string strName;
  UINT nSize = 0;
};

struct CArg {
  CString str;
  int nResult = TOKEN_AT_END;
  int nLine = 0;
};

class CLinter {
 public:
  explicit CLinter(const CLintInput& input)
      : m_input(input), m_script{input.svScript, static_cast<UINT>(input.svScript.size())} {
    for (UINT i = 0; i < m_script.nLen; ++i) {
      if (input.svScript[i] == '\n') m_aLineFeeds.push_back(i);
    }
  }

  std::vector<CLintFinding> Run() {
    CheckLineEnds();
    CString strLine;
    while (true) {
      const CLineRead line = ReadScriptLine(m_script, m_nPos, strLine);
      if (line.nResult == LINE_AT_END) break;
      if (line.nResult == LINE_PASSED_OVER) continue;
      Statement();
    }
    if (m_nOpenIf != 0) {
      Add(m_nOpenIf, ELintSeverity::Warning, "unbalanced-if",
          "IF has no ENDIF: when its area matches, everything to the end of the script is passed over");
    }
    std::stable_sort(m_a.begin(), m_a.end(),
                     [](const CLintFinding& a, const CLintFinding& b) { return a.nLine < b.nLine; });
    return std::move(m_a);
  }

 private:
  int LineAt(UINT nPos) const {
    return 1 +
           static_cast<int>(std::lower_bound(m_aLineFeeds.begin(), m_aLineFeeds.end(), nPos) - m_aLineFeeds.begin());
  }

  void Add(int nLine, ELintSeverity e, const char* pszCode, std::string strMessage) {
    m_a.push_back({nLine, e, pszCode, std::move(strMessage)});
  }

  void CheckLineEnds() {
    for (const UINT n : m_aLineFeeds) {
      if (n == 0 || m_input.svScript[n - 1] != '\r') {
        Add(LineAt(n), ELintSeverity::Error, "bare-lf",
            "the line ends in a bare LF, not CR LF: the installer runs it together with the next line");
      }
    }
  }

  CArg Read() {
    CArg a;
    a.nLine = LineAt(std::min(m_nPos, m_script.nLen));
    a.nResult = ReadScriptToken(m_script, m_nPos, a.str).nResult;
    return a;
  }

  // Reads the arguments a statement takes, as the installer does, and says where they run over.
  // bHalts: an argument running into the end of the script stops the installer.
  std::vector<CArg> Args(const char* pszKeyword, int nLine, std::size_t nCount, bool bHalts) {
    std::vector<CArg> a;
    bool bToldRunOn = false;
    for (std::size_t i = 0; i < nCount; ++i) {
      a.push_back(Read());
      const CArg& arg = a.back();
      if (arg.nResult == TOKEN_AT_END) {
        Add(arg.nLine, bHalts ? ELintSeverity::Error : ELintSeverity::Warning, "missing-argument",
            std::string(pszKeyword) + " takes " + std::to_string(nCount) + " argument" + (nCount == 1 ? "" : "s") +
                "; argument " + std::to_string(i + 1) + " runs into the end of the script" +
                (bHalts ? ": the installer stops with \" Script Error \"" : ""));
        m_bAtEnd = true;
        return a;
      }
      if (arg.nResult == TOKEN_AT_CR && i + 1 < nCount && !bToldRunOn) {
        bToldRunOn = true;
        Add(nLine, ELintSeverity::Warning, "argument-on-next-line",
            std::string(pszKeyword) + " takes " + std::to_string(nCount) + " arguments but its line holds " +
                std::to_string(i + 1) + ": the rest are taken from the next line");
      }
    }
    return a;
  }

  // After the last argument: tokens left on the line are read as a statement of their own.
  void ExtraTokens(const char* pszKeyword, int nLine, int nLastResult) {
    if (nLastResult != TOKEN_AT_COMMA) return;
    UINT nPeek = m_nPos;
    CString strNext;
    ReadScriptToken(m_script, nPeek, strNext);
    if (FindKeyword(strNext) != STMT_NONE) return;  // two statements on one line, as IF,AREA_CHECK
    Add(nLine, ELintSeverity::Warning, "extra-tokens",
        std::string("extra tokens after ") + pszKeyword + " (from \"" + Shown(strNext.View()) +
            "\"): the installer reads them as a statement of their own and passes them over");
    m_nQuietLine = nLine;
  }

  UINT Number(const CArg& arg, const char* pszWhat) {
    CString str = arg.str;
    str.TrimWhite();
    const UINT nValue = ParseScriptHex(str.View());
    UINT nDigits = 0;
    std::string strOdd;
    for (const char c : str.View()) {
      if (c == '*') continue;
      ++nDigits;
      const bool bHex = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
      if (!bHex && strOdd.empty())
        strOdd = c == ' ' || c == '\t' ? "a blank counts as the digit 0"
                                       : "'" + Shown(std::string_view(&c, 1)) + "' is no hexadecimal digit";
    }
    if (nDigits > MAX_HEX_DIGITS && strOdd.empty()) strOdd = "only the last eight digits count";
    if (!strOdd.empty()) {
      Add(arg.nLine, ELintSeverity::Warning, "odd-number",
          std::string(pszWhat) + " \"" + Shown(str.View()) + "\" is read as hexadecimal " + Hex(nValue) + ": " +
              strOdd);
    }
    return nValue;
  }

  // A slot argument; null when it lies outside the table.
  CSlot* Slot(const CArg& arg, const char* pszKeyword) {
    const UINT n = Number(arg, "entry");
    if (!IsSlotIndex(n)) {
      Add(arg.nLine, ELintSeverity::Error, "slot-out-of-range",
          std::string(pszKeyword) + " names entry slot " + Hex(n) +
              ", but the slots are 0 to 31 (hex): the installer stops with \" Script Error \"");
      return nullptr;
    }
    return &m_aSlot[n];
  }

  // A slot an update or area check reads from; null when there is nothing to check further.
  const CSlot* Source(CSlot* pSlot, const CArg& arg, const char* pszKeyword) {
    if (pSlot == nullptr) return nullptr;
    if (!pSlot->bOpened) {
      Add(arg.nLine, ELintSeverity::Warning, "slot-not-opened",
          std::string(pszKeyword) + " uses entry slot " + Shown(arg.str.View()) +
              ", which no OPEN_DATA_FILE before it fills: the installer passes the statement over");
      return nullptr;
    }
    if (!pSlot->bLoaded) return nullptr;  // already told: its entry is missing
    if (pSlot->strName.empty()) {
      Add(arg.nLine, ELintSeverity::Error, "nameless-entry",
          std::string(pszKeyword) + " uses an entry with an empty name: the installer stops with \"Error!!\"");
      return nullptr;
    }
    return pSlot;
  }

  void Statement() {
    const int nLine = LineAt(m_nPos);
    const CArg kw = Read();
    const int k = FindKeyword(kw.str);
    if (m_nCheckAfterIf != 0 && k != STMT_AREA_CHECK) {
      Add(m_nCheckAfterIf, ELintSeverity::Warning, "if-without-area-check",
          "IF is not followed by AREA_CHECK: its block always runs");
    }
    m_nCheckAfterIf = 0;
    if (k == STMT_NONE) {
      Unknown(kw, nLine);
      return;
    }
    const char* psz = KEYWORD_TABLE[static_cast<std::size_t>(k)];
    m_bAtEnd = false;
    switch (k) {
      case STMT_KEYWORD: {
        const std::vector<CArg> a = Args(psz, nLine, 1, false);
        if (m_bAtEnd) break;
        const CString str = KeywordArgument(a[0].str);
        if (static_cast<std::size_t>(str.GetLength()) > MAX_KEYWORD_LENGTH) {
          Add(nLine, ELintSeverity::Error, "keyword-too-long",
              "the update-mode keyword has " + std::to_string(str.GetLength()) + " characters, more than the " +
                  std::to_string(MAX_KEYWORD_LENGTH) +
                  " its message holds: SET_UPDATE_MODE_ON stops with \" Script Error \"");
        } else if (!IsSendableKeyword(str)) {
          Add(nLine, ELintSeverity::Error, "keyword-high-byte",
              "the update-mode keyword holds a byte of 80 hex or more, which cannot travel in its message: "
              "SET_UPDATE_MODE_ON stops with \" Script Error \"");
        }
        ExtraTokens(psz, nLine, a[0].nResult);
        break;
      }
      case STMT_MODEL_NAME: {
        const std::vector<CArg> a = Args(psz, nLine, 1, false);
        if (!m_bAtEnd) ExtraTokens(psz, nLine, a[0].nResult);
        break;
      }
      case STMT_SET_UPDATE_DEVICE: {
        const std::vector<CArg> a = Args(psz, nLine, 2, true);
        if (m_bAtEnd) break;
        const UINT nDevice = Number(a[0], "device");
        if (nDevice >= DEVICE_LIMIT) {
          Add(a[0].nLine, ELintSeverity::Error, "device-out-of-range",
              "device " + Hex(nDevice) +
                  " is 80 hex or more and cannot travel in the set-device message: "
                  "the installer stops with \" Script Error \"");
        }
        ExtraTokens(psz, nLine, a[1].nResult);
        break;
      }
      case STMT_OPEN_DATA_FILE:
        OpenDataFile(psz, nLine);
        break;
      case STMT_UPDATE_DEVICE:
        UpdateDevice(psz, nLine);
        break;
      case STMT_UPDATE_BLOCK:
        UpdateBlock(psz, nLine);
        break;
      case STMT_UPDATE_AREA:
        UpdateArea(psz, nLine);
        break;
      case STMT_AREA_CHECK:
        AreaCheck(psz, nLine);
        break;
      case STMT_IF:
        if (m_nOpenIf != 0) {
          Add(nLine, ELintSeverity::Warning, "unbalanced-if",
              "IF inside the block of the IF on line " + std::to_string(m_nOpenIf) +
                  ": blocks do not nest, the first ENDIF ends both");
        } else {
          m_nOpenIf = nLine;
        }
        m_nCheckAfterIf = nLine;
        ExtraTokens(psz, nLine, kw.nResult);
        break;
      case STMT_ENDIF:
        if (m_nOpenIf == 0) {
          Add(nLine, ELintSeverity::Warning, "unbalanced-if", "ENDIF without an IF before it");
        }
        m_nOpenIf = 0;
        ExtraTokens(psz, nLine, kw.nResult);
        break;
      default:  // the statements without arguments
        ExtraTokens(psz, nLine, kw.nResult);
        break;
    }
  }

  void Unknown(const CArg& kw, int nLine) {
    if (nLine == m_nQuietLine) return;                               // the rest of a line already reported
    if (kw.str.View().find('\n') != std::string_view::npos) return;  // lines run together: told as bare-lf
    m_nQuietLine = nLine;
    CString strTrimmed = kw.str;
    strTrimmed.TrimWhite();
    if (!strTrimmed.IsEmpty() && !(strTrimmed == kw.str) && FindKeyword(strTrimmed) != STMT_NONE) {
      Add(nLine, ELintSeverity::Error, "keyword-with-blank",
          "\"" + Shown(kw.str.View()) + "\" is no keyword: " + strTrimmed.Str() +
              " must be followed at once by a comma or the line end; the installer passes the statement over");
      return;
    }
    Add(nLine, ELintSeverity::Warning, "unknown-keyword",
        "unknown keyword \"" + Shown(kw.str.View()) + "\" (did you mean " + NearestKeyword(strTrimmed.View()) +
            "?): the installer passes it over");
  }

  void OpenDataFile(const char* psz, int nLine) {
    const std::vector<CArg> a = Args(psz, nLine, 2, false);
    if (m_bAtEnd) return;
    CSlot* pSlot = Slot(a[0], psz);
    ExtraTokens(psz, nLine, a[1].nResult);
    if (pSlot == nullptr) return;
    const CString strName = EntryNameArgument(a[1].str);
    if (pSlot->bOpened) {
      if (pSlot->strName != strName.Str()) {
        Add(nLine, ELintSeverity::Warning, "slot-already-filled",
            "entry slot " + Shown(a[0].str.View()) + " already holds \"" + Shown(pSlot->strName) +
                "\": OPEN_DATA_FILE loads nothing and only rewinds it");
      }
      return;
    }
    const auto it = m_input.mapEntries.find(strName.Str());
    if (it == m_input.mapEntries.end()) {
      Add(a[1].nLine, ELintSeverity::Error, "missing-entry",
          "the package has no entry \"" + Shown(strName.View()) +
              "\": the installer shows \" Data File Open Error \" and the slot stays empty");
      return;  // the slot stays free, as in the installer
    }
    pSlot->bOpened = true;
    pSlot->bLoaded = true;
    pSlot->strName = strName.Str();
    pSlot->nSize = it->second;
  }

  void UpdateDevice(const char* psz, int nLine) {
    std::vector<CArg> a = Args(psz, nLine, 3, true);
    if (m_bAtEnd) return;
    UINT nOffset = 0;
    int nLast = a[2].nResult;
    if (a[2].nResult == TOKEN_AT_COMMA) {
      a.push_back(Read());
      if (a[3].nResult == TOKEN_AT_END) {
        Add(a[3].nLine, ELintSeverity::Error, "missing-argument",
            "UPDATE_DEVICE's offset runs into the end of the script: the installer stops with \" Script Error \"");
        return;
      }
      nOffset = Number(a[3], "offset");
      nLast = a[3].nResult;
    }
    const UINT nAddress = Number(a[0], "address");
    const UINT nBlock = Number(a[1], "block size");
    const CSlot* pSource = Source(Slot(a[2], psz), a[2], psz);
    ExtraTokens(psz, nLine, nLast);
    if (pSource == nullptr) return;
    if (PlanUpdateDevice(nAddress, nBlock, pSource->nSize, nOffset).bScriptError) {
      if (nBlock == 0) {
        Add(nLine, ELintSeverity::Error, "block-size-zero",
            "UPDATE_DEVICE with block size 0: the installer stops with \" Script Error \"");
      } else {
        Add(nLine, ELintSeverity::Error, "offset-past-entry",
            "offset " + Hex(nOffset) + " lies beyond entry \"" + Shown(pSource->strName) + "\" (" +
                Hex(pSource->nSize) + " bytes): the installer stops with \" Script Error \"");
      }
    }
  }

  void UpdateBlock(const char* psz, int nLine) {
    const std::vector<CArg> a = Args(psz, nLine, 4, true);
    if (m_bAtEnd) return;
    const UINT nAddress = Number(a[0], "address");
    const UINT nLength = Number(a[1], "length");
    const UINT nOffset = Number(a[3], "offset");
    const CSlot* pSource = Source(Slot(a[2], psz), a[2], psz);
    ExtraTokens(psz, nLine, a[3].nResult);
    if (pSource == nullptr) return;
    if (PlanUpdateBlock(nAddress, nLength, pSource->nSize, nOffset).bScriptError) {
      Add(nLine, ELintSeverity::Error, "offset-past-entry",
          "offset " + Hex(nOffset) + " lies beyond entry \"" + Shown(pSource->strName) + "\" (" + Hex(pSource->nSize) +
              " bytes): the installer stops with \" Script Error \"");
    } else if (std::uint64_t{nOffset} + nLength > pSource->nSize) {
      Add(nLine, ELintSeverity::Warning, "block-past-entry",
          "offset + length passes the end of entry \"" + Shown(pSource->strName) +
              "\": the block is cut short and its last packets carry fewer bytes than they announce");
    }
  }

  void UpdateArea(const char* psz, int nLine) {
    const std::vector<CArg> a = Args(psz, nLine, 5, true);
    if (m_bAtEnd) return;
    for (std::size_t i = 0; i < 3; ++i) {
      if (a[i].nResult != TOKEN_AT_COMMA) {
        Add(a[i].nLine, ELintSeverity::Error, "missing-argument",
            "UPDATE_AREA's argument " + std::to_string(i + 1) +
                " must be followed by a comma on the same line: the installer stops with \" Script Error \"");
        return;
      }
    }
    const UINT nAddress = Number(a[0], "address");
    const UINT nBlock = Number(a[1], "block size");
    Number(a[2], "third argument");
    const UINT nOffset = Number(a[3], "offset");
    const UINT nLength = Number(a[4], "length");
    ExtraTokens(psz, nLine, a[4].nResult);
    CArg slot0;
    slot0.str = "0";
    slot0.nLine = nLine;
    const CSlot* pSource = Source(&m_aSlot[0], slot0, psz);
    if (pSource == nullptr) return;
    if (std::uint64_t{nOffset} + nLength > pSource->nSize) {
      Add(nLine, ELintSeverity::Error, "area-past-entry",
          "offset " + Hex(nOffset) + " + length " + Hex(nLength) + " passes the end of entry 0 \"" +
              Shown(pSource->strName) + "\" (" + Hex(pSource->nSize) +
              " bytes): the installer stops with \" Script Error \"");
    } else if (PlanUpdateArea(nAddress, nBlock, nLength, pSource->nSize, nOffset).bScriptError) {
      Add(nLine, ELintSeverity::Error, "block-size-zero",
          "UPDATE_AREA with block size 0: the installer stops with \" Script Error \"");
    }
  }

  void AreaCheck(const char* psz, int nLine) {
    const std::vector<CArg> a = Args(psz, nLine, 4, true);
    if (m_bAtEnd) return;
    const UINT nOffset = Number(a[1], "offset");
    Number(a[2], "address");
    const UINT nLength = Number(a[3], "length");
    const CSlot* pSource = Source(Slot(a[0], psz), a[0], psz);
    ExtraTokens(psz, nLine, a[3].nResult);
    if (pSource == nullptr) return;
    if (!AreaCheckFits(pSource->nSize, nOffset, nLength)) {
      Add(nLine, ELintSeverity::Warning, "area-check-too-large",
          "the checked area passes the end of entry \"" + Shown(pSource->strName) +
              "\" or is longer than 1000 hex bytes: it is always taken as different");
    }
  }

  const CLintInput& m_input;
  CScriptText m_script;
  UINT m_nPos = 0;
  std::vector<UINT> m_aLineFeeds;
  std::vector<CLintFinding> m_a;
  std::array<CSlot, ENTRY_SLOTS> m_aSlot{};
  int m_nOpenIf = 0;        // line of the IF whose block is open
  int m_nCheckAfterIf = 0;  // line of an IF whose AREA_CHECK is due
  int m_nQuietLine = 0;     // a line whose leftover tokens were reported already
  bool m_bAtEnd = false;
};

}  // namespace

std::vector<CLintFinding> LintScript(const CLintInput& input) { return CLinter(input).Run(); }

std::vector<CLintFinding> LintPackage(std::span<const std::uint8_t> aImage) {
  const CPackageListing listing = ListPackage(aImage);
  std::vector<CLintFinding> a;
  if (!listing.check.IsSound()) {
    a.push_back({0, ELintSeverity::Error, PackageFaultName(listing.check.eFault),
                 listing.check.strDescription + ": the installer refuses the package"});
  }
  CLintInput input;
  input.svScript = listing.strScript;
  for (const CListedEntry& e : listing.aEntries) {
    if (!e.bFound) continue;
    CString strLower(e.strName);
    strLower.MakeLower();
    input.mapEntries.emplace(strLower.Str(), e.nDataLength);
  }
  std::vector<CLintFinding> aScript = LintScript(input);
  a.insert(a.end(), std::make_move_iterator(aScript.begin()), std::make_move_iterator(aScript.end()));
  return a;
}

int LintExitCode(const std::vector<CLintFinding>& aFindings) {
  int n = 0;
  for (const CLintFinding& f : aFindings) {
    n = std::max(n, f.eSeverity == ELintSeverity::Error ? 2 : 1);
  }
  return n;
}

std::string FormatFinding(const CLintFinding& f) {
  std::string s = f.nLine > 0 ? "line " + std::to_string(f.nLine) + ": " : "package: ";
  s += f.eSeverity == ELintSeverity::Error ? "error: " : "warning: ";
  return s + f.strMessage + " [" + f.strCode + "]";
}

}  // namespace velda::uxs
