#include "instrument/instrument_settings.h"

#include <charconv>
#include <memory>
#include <optional>
#include <vector>

namespace velda {
namespace {

std::optional<std::uint32_t> ReadDecimal(std::string_view str) {
  std::uint32_t nValue = 0;
  const char* pEnd = str.data() + str.size();
  const auto result = std::from_chars(str.data(), pEnd, nValue, 10);
  if (str.empty() || result.ec != std::errc{} || result.ptr != pEnd) return std::nullopt;
  return nValue;
}

// Hex byte pairs; spaces between bytes are allowed ("F0 43 ..." or "F043...").
std::optional<std::vector<std::uint8_t>> ReadHexBytes(std::string_view str) {
  std::vector<std::uint8_t> a;
  std::string strDigits;
  for (const char c : str) {
    if (c == ' ') continue;
    const bool bDigit = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    if (!bDigit) return std::nullopt;
    strDigits.push_back(c);
  }
  if (strDigits.empty() || strDigits.size() % 2 != 0) return std::nullopt;
  for (std::size_t i = 0; i < strDigits.size(); i += 2) {
    std::uint8_t b = 0;
    std::from_chars(strDigits.data() + i, strDigits.data() + i + 2, b, 16);
    a.push_back(b);
  }
  return a;
}

bool IsSevenBit(std::string_view str) {
  for (const char c : str) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

std::vector<std::string_view> SplitColons(std::string_view str, std::size_t nMaxParts) {
  std::vector<std::string_view> aParts;
  while (aParts.size() + 1 < nMaxParts) {
    const std::size_t nColon = str.find(':');
    if (nColon == std::string_view::npos) break;
    aParts.push_back(str.substr(0, nColon));
    str.remove_prefix(nColon + 1);
  }
  aParts.push_back(str);
  return aParts;
}

bool Fail(std::string strReason, std::string& strError) {
  strError = std::move(strReason);
  return false;
}

bool ParseUnsolicited(std::string_view strRest, CFaultPlan& plan, std::string& strError) {
  const std::vector<std::string_view> aParts = SplitColons(strRest, 2);
  if (aParts.size() != 2) return Fail("unsolicited fault: expected unsolicited:<time-ms>:<hex bytes>", strError);
  const std::optional<std::uint32_t> nAtMs = ReadDecimal(aParts[0]);
  if (!nAtMs) return Fail("unsolicited fault: time '" + std::string(aParts[0]) + "' is not a number of ms", strError);
  std::optional<std::vector<std::uint8_t>> aBytes = ReadHexBytes(aParts[1]);
  if (!aBytes) return Fail("unsolicited fault: '" + std::string(aParts[1]) + "' is not a list of hex bytes", strError);
  plan.aUnsolicited.push_back(CUnsolicitedReply{*nAtMs, std::move(*aBytes)});
  return true;
}

}  // namespace

bool ParseFaultSetting(std::string_view strFaultText, CFaultPlan& plan, std::string& strError) {
  constexpr std::string_view kUnsolicited = "unsolicited:";
  if (strFaultText.starts_with(kUnsolicited))
    return ParseUnsolicited(strFaultText.substr(kUnsolicited.size()), plan, strError);
  const std::vector<std::string_view> aParts = SplitColons(strFaultText, 5);
  if (aParts.size() < 3 || aParts.size() > 4) {
    return Fail("fault '" + std::string(strFaultText) + "': expected <fault>:<request>:<occurrence>[:<count>]",
                strError);
  }
  CFaultRule rule;
  const std::optional<EInstrumentFault> eFault = sim::FaultFromName(aParts[0]);
  if (!eFault) return Fail("unknown fault '" + std::string(aParts[0]) + "'", strError);
  const std::optional<EInstrumentRequest> eRequest = sim::RequestFromName(aParts[1]);
  if (!eRequest) return Fail("unknown request '" + std::string(aParts[1]) + "'", strError);
  const std::optional<std::uint32_t> nOccurrence = ReadDecimal(aParts[2]);
  if (!nOccurrence || *nOccurrence == 0) {
    return Fail("fault occurrence '" + std::string(aParts[2]) + "' is not a number from 1 on", strError);
  }
  rule.eFault = *eFault;
  rule.eRequest = *eRequest;
  rule.nOccurrence = *nOccurrence;
  if (aParts.size() == 4) {
    const std::optional<std::uint32_t> nCount = ReadDecimal(aParts[3]);
    if (!nCount || *nCount == 0) {
      return Fail("fault count '" + std::string(aParts[3]) + "' is not a number from 1 on", strError);
    }
    rule.nCount = *nCount;
  }
  plan.aRules.push_back(rule);
  return true;
}

bool ParseInstrumentSetting(std::string_view strKey, std::string_view strValue, CInstrumentConfig& config,
                            std::string& strError) {
  const auto RequireNumber = [&](std::uint32_t& nField) {
    const std::optional<std::uint32_t> nValue = ReadDecimal(strValue);
    if (!nValue) return Fail(std::string(strKey) + ": '" + std::string(strValue) + "' is not a number", strError);
    nField = *nValue;
    return true;
  };
  if (strKey == "keyword" || strKey == "inquiry-text") {
    if (!IsSevenBit(strValue))
      return Fail(std::string(strKey) + ": only 7-bit characters travel in a message", strError);
    (strKey == "keyword" ? config.strKeyword : config.strInquiryText) = std::string(strValue);
    return true;
  }
  if (strKey == "restart") {
    if (strValue != "on" && strValue != "off") return Fail("restart: expected on or off", strError);
    config.bRestartOnModeOn = strValue == "on";
    return true;
  }
  if (strKey == "restart-ms") return RequireNumber(config.nRestartMs);
  if (strKey == "latency-ms") return RequireNumber(config.nLatencyMs);
  if (strKey == "rate") return RequireNumber(config.nRateBytesPerMs);
  if (strKey == "sysex-limit") return RequireNumber(config.nSysExLimit);
  if (strKey == "split-gap-ms") return RequireNumber(config.faultPlan.nSplitGapMs);
  if (strKey == "late-ms") return RequireNumber(config.faultPlan.nLateMs);
  if (strKey == "memory") {
    auto pMemory = std::make_shared<CInstrumentMemory>();
    if (config.pPresetMemory) pMemory->Merge(*config.pPresetMemory);
    if (!LoadHexFolder(std::string(strValue), *pMemory, strError)) return false;
    config.pPresetMemory = std::move(pMemory);
    return true;
  }
  if (strKey == "dump") {
    if (strValue.empty()) return Fail("dump: a folder is needed", strError);
    config.strDumpFolder = std::string(strValue);
    return true;
  }
  if (strKey == "fault") return ParseFaultSetting(strValue, config.faultPlan, strError);
  if (strKey == "replay") {
    auto pScript = std::make_shared<CReplayScript>();
    if (!LoadReplayTrace(std::string(strValue), *pScript, strError)) return false;
    config.pReplay = std::move(pScript);
    return true;
  }
  return Fail("unknown instrument setting '" + std::string(strKey) + "'", strError);
}

bool ParseInstrumentAssignment(std::string_view strAssignment, CInstrumentConfig& config, std::string& strError) {
  const std::size_t nEquals = strAssignment.find('=');
  if (nEquals == std::string_view::npos) {
    return Fail("instrument setting '" + std::string(strAssignment) + "': expected key=value", strError);
  }
  return ParseInstrumentSetting(strAssignment.substr(0, nEquals), strAssignment.substr(nEquals + 1), config, strError);
}

std::string InstrumentSettingsHelp() {
  std::string str =
      "Simulated instrument settings (key=value):\n"
      "  keyword=TEXT        update-mode keyword it accepts (default #5168_1994KESTRA)\n"
      "  inquiry-text=TEXT   text of its inquiry reply (default VELDA)\n"
      "  restart=on|off      restart (devices vanish) when entering update mode (default on)\n"
      "  restart-ms=MS       how long the devices stay away in a restart (default 3000)\n"
      "  latency-ms=MS       delay of every reply (default 2)\n"
      "  rate=BYTES-PER-MS   SysEx bytes the link carries per millisecond: every request and its\n"
      "                      reply take their length / rate longer (default 0: no time)\n"
      "  sysex-limit=BYTES   the MIDI driver refuses to send a SysEx message longer than BYTES,\n"
      "                      as some Windows MIDI stacks do over 2048 (default 0: no limit)\n"
      "  memory=FOLDER       preset memory from FOLDER/device-<n>.hex (Intel HEX, n decimal)\n"
      "  dump=FOLDER         write the memory as FOLDER/device-<n>.hex when the program ends\n"
      "  split-gap-ms=MS     gap between the two parts of a split reply (default 5)\n"
      "  late-ms=MS          how much later a late answer comes (default 125000)\n"
      "  replay=TRACE        answer as recorded in TRACE (a --trace file): each request must be\n"
      "                      the next one recorded; the first that differs is reported\n"
      "  fault=FAULT:REQUEST:OCCURRENCE[:COUNT]\n"
      "                      misbehave on the OCCURRENCE-th request of that kind (from 1) and\n"
      "                      the COUNT-1 after it; may be given many times\n"
      "  fault=unsolicited:TIME-MS:HEX BYTES\n"
      "                      deliver the bytes unasked TIME-MS after start (an early or stray reply)\n"
      "Faults:\n"
      "  no-reply            the request is lost: not acted on, not answered\n"
      "  refuse              not acted on, answered with status 00\n"
      "  status02            not acted on, answered with status 02 (send again)\n"
      "  corrupt             acted on; one byte of the answer spoiled (the status, an area\n"
      "                      data byte so that its checksum fails, the inquiry text)\n"
      "  split               acted on; the answer in two deliveries split-gap-ms apart\n"
      "  double              acted on; the answer twice in one delivery\n"
      "  foreign             acted on; the answer under another manufacturer's identifier\n"
      "  never-return        the devices vanish at this request and never come back\n"
      "  spoil               with block-checksum: acted on and answered as correct, then one\n"
      "                      byte of the block in memory changes silently (only a read-back\n"
      "                      finds it)\n"
      "  late                acted on; the answer comes late-ms later\n"
      "  vanish              not acted on; the devices vanish and come back after restart-ms\n"
      "Requests:";
  for (std::size_t i = 0; i < kInstrumentRequestKinds; ++i) {
    str += ' ';
    str += sim::RequestName(static_cast<EInstrumentRequest>(i));
  }
  str += "\nExample: fault=status02:data-packet:5:3 fault=refuse:block-start:3\n";
  return str;
}

}  // namespace velda
