// The command line of velda-sim.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "instrument/sim_instrument.h"
#include "rtmidi_instrument_host.h"

namespace velda::sim {

struct CSimOptions {
  CSimPorts ports;
  CInstrumentConfig instrument;  // --instrument, --memory and --dump land here
  std::string strLog;            // where the MIDI libraries' messages go; empty: nowhere
  bool bUsbNames = false;        // --port-names usb
  bool bClientSet = false;       // --client given
  std::string strUsbGadget;      // --usb-gadget: the configfs gadget a restart unbinds and binds
  bool bHelp = false;
  bool bVersion = false;
};

struct CSimParseResult {
  std::optional<CSimOptions> options;  // nullopt: a usage error, told in strError
  std::string strError;
};

// Reads the arguments after the program name; "--name value" and "--name=value" both work.
CSimParseResult ParseSimOptions(const std::vector<std::string>& aArgs);

// The text of --help (the man page is made from it too).
std::string SimHelpText();

}  // namespace velda::sim
