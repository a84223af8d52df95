// The command line of velda-installer. With no option the program behaves as the installer always
// has; every option only adds to that.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "instrument/sim_instrument.h"

namespace velda::app {

enum class EFrontEnd { Auto, Gui, Tui };

struct CAppOptions {
  std::string strPackage;  // empty: velda.uxs in the current folder
  bool bVirtual = false;
  bool bVirtualClock = false;
  EFrontEnd eFrontEnd = EFrontEnd::Auto;
  bool bYes = false;
  bool bJson = false;
  std::string strMidiIn;  // empty: the instrument's own name
  std::string strMidiOut;
  std::string strMidiApi;  // "alsa" or "jack"; empty: ALSA, then JACK when ALSA cannot start
  bool bListPorts = false;
  std::string strTrace;
  bool bVerify = false;          // read back what was written and compare it with the package
  CInstrumentConfig instrument;  // --dump and --instrument land here
  bool bInstrumentSet = false;   // any --instrument or --dump was given
  bool bHelp = false;
  bool bVersion = false;
};

struct CParseResult {
  std::optional<CAppOptions> options;  // nullopt: a usage error, told in strError
  std::string strError;
};

// Reads the arguments after the program name. "--name value" and "--name=value" are both
// accepted; --instrument may be repeated. Options that only make sense together are checked:
// --dump, --instrument and --virtual-clock need --virtual; --json and --virtual-clock need the
// terminal; --gui and --tui exclude each other.
CParseResult ParseAppOptions(const std::vector<std::string>& aArgs);

}  // namespace velda::app
