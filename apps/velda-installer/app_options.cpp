#include "app_options.h"

#include <string_view>

#include "instrument/instrument_settings.h"

namespace velda::app {

namespace {

enum class EArg { Flag, Value };

struct COptionDef {
  std::string_view strName;
  EArg eArg;
};

constexpr COptionDef kOptions[] = {
    {"--package", EArg::Value},    {"--virtual", EArg::Flag},  {"--virtual-clock", EArg::Flag},
    {"--gui", EArg::Flag},         {"--tui", EArg::Flag},      {"--yes", EArg::Flag},
    {"--json", EArg::Flag},        {"--midi-in", EArg::Value}, {"--midi-out", EArg::Value},
    {"--list-ports", EArg::Flag},  {"--trace", EArg::Value},   {"--dump", EArg::Value},
    {"--instrument", EArg::Value}, {"--version", EArg::Flag},  {"--help", EArg::Flag},
    {"--midi-api", EArg::Value},   {"--verify", EArg::Flag},   {"--midi-port", EArg::Value},
};

const COptionDef* FindOption(std::string_view strName) {
  for (const COptionDef& d : kOptions) {
    if (d.strName == strName) return &d;
  }
  return nullptr;
}

CParseResult Fail(std::string strError) { return {std::nullopt, std::move(strError)}; }

// Applies one option with its value (empty for a flag); an error text, or empty.
std::string Apply(std::string_view strName, const std::string& strValue, CAppOptions& o) {
  if (strName == "--package") {
    if (strValue.empty()) return "--package needs a file name";
    if (!o.strPackage.empty()) return "only one package may be given";
    o.strPackage = strValue;
  } else if (strName == "--virtual") {
    o.bVirtual = true;
  } else if (strName == "--virtual-clock") {
    o.bVirtualClock = true;
  } else if (strName == "--gui") {
    if (o.eFrontEnd == EFrontEnd::Tui) return "--gui and --tui exclude each other";
    o.eFrontEnd = EFrontEnd::Gui;
  } else if (strName == "--tui") {
    if (o.eFrontEnd == EFrontEnd::Gui) return "--gui and --tui exclude each other";
    o.eFrontEnd = EFrontEnd::Tui;
  } else if (strName == "--yes") {
    o.bYes = true;
  } else if (strName == "--json") {
    o.bJson = true;
  } else if (strName == "--midi-in") {
    if (strValue.empty()) return "--midi-in needs a device name";
    o.strMidiIn = strValue;
  } else if (strName == "--midi-out") {
    if (strValue.empty()) return "--midi-out needs a device name";
    o.strMidiOut = strValue;
  } else if (strName == "--midi-port") {
    // One port for both directions, as Linux's USB-MIDI driver gives the instrument.
    if (strValue.empty()) return "--midi-port needs a device name";
    o.strMidiIn = strValue;
    o.strMidiOut = strValue;
  } else if (strName == "--midi-api") {
    if (strValue != "alsa" && strValue != "jack") return "--midi-api takes alsa or jack";
    o.strMidiApi = strValue;
  } else if (strName == "--list-ports") {
    o.bListPorts = true;
  } else if (strName == "--trace") {
    if (strValue.empty()) return "--trace needs a file name";
    o.strTrace = strValue;
  } else if (strName == "--dump") {
    std::string strError;
    if (!ParseInstrumentSetting("dump", strValue, o.instrument, strError)) return "--dump: " + strError;
    o.bInstrumentSet = true;
  } else if (strName == "--instrument") {
    std::string strError;
    if (strValue.find('=') == std::string::npos) return "--instrument needs KEY=VALUE, not \"" + strValue + "\"";
    if (!ParseInstrumentAssignment(strValue, o.instrument, strError))
      return "--instrument " + strValue + ": " + strError;
    o.bInstrumentSet = true;
  } else if (strName == "--verify") {
    o.bVerify = true;
  } else if (strName == "--version") {
    o.bVersion = true;
  } else if (strName == "--help") {
    o.bHelp = true;
  }
  return {};
}

}  // namespace

CParseResult ParseAppOptions(const std::vector<std::string>& aArgs) {
  CAppOptions o;
  for (std::size_t i = 0; i < aArgs.size(); ++i) {
    std::string strArg = aArgs[i];
    if (strArg == "-h") strArg = "--help";
    if (strArg.rfind("--", 0) != 0) {
      // One file argument is the package, as --package gives it (a desktop opening a file).
      if (!o.strPackage.empty() || strArg.empty() || strArg[0] == '-') {
        return Fail("unexpected argument \"" + strArg + "\"");
      }
      o.strPackage = strArg;
      continue;
    }
    std::string strName = strArg;
    std::string strValue;
    bool bInline = false;
    if (const auto nEq = strArg.find('='); nEq != std::string::npos) {
      strName = strArg.substr(0, nEq);
      strValue = strArg.substr(nEq + 1);
      bInline = true;
    }
    const COptionDef* pDef = FindOption(strName);
    if (pDef == nullptr) {
      return Fail("unknown option " + strName);
    }
    if (pDef->eArg == EArg::Flag && bInline) {
      return Fail(strName + " takes no value");
    }
    if (pDef->eArg == EArg::Value && !bInline) {
      if (i + 1 >= aArgs.size()) {
        return Fail(strName + " needs a value");
      }
      strValue = aArgs[++i];
    }
    if (std::string strError = Apply(strName, strValue, o); !strError.empty()) {
      return Fail(strError);
    }
  }
  if (o.bHelp || o.bVersion) {
    return {o, {}};
  }
  if (o.bVirtual && !o.strMidiApi.empty()) return Fail("--midi-api chooses a real MIDI system, not --virtual");
  if (!o.bVirtual) {
    if (o.bInstrumentSet) return Fail("--dump and --instrument need --virtual");
    if (o.bVirtualClock) return Fail("--virtual-clock needs --virtual");
  }
  if (o.eFrontEnd == EFrontEnd::Gui) {
    if (o.bJson) return Fail("--json needs the terminal, not --gui");
    if (o.bVirtualClock) return Fail("--virtual-clock needs the terminal, not --gui");
  }
  return {o, {}};
}

}  // namespace velda::app
