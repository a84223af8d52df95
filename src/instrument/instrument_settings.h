// The simulated instrument's settings as text, for the command line of the programs that host
// it ("key=value" pairs) and for tests.
#pragma once

#include <string>
#include <string_view>

#include "instrument/sim_instrument.h"

namespace velda {

// Applies one setting to config. Keys: keyword, inquiry-text, restart, restart-ms, latency-ms, rate,
// memory, dump, fault, split-gap-ms, late-ms, replay (InstrumentSettingsHelp describes each). A
// fault setting adds to the plan; the others replace. On an error returns false with a sentence
// in strError and leaves config as it was.
bool ParseInstrumentSetting(std::string_view strKey, std::string_view strValue, CInstrumentConfig& config,
                            std::string& strError);

// The same for "key=value".
bool ParseInstrumentAssignment(std::string_view strAssignment, CInstrumentConfig& config, std::string& strError);

// Adds one fault: "<fault>:<request>:<occurrence>[:<count>]" or "unsolicited:<time-ms>:<hex bytes>".
bool ParseFaultSetting(std::string_view strFaultText, CFaultPlan& plan, std::string& strError);

// Lines describing every key, every fault and every request name, for --help.
std::string InstrumentSettingsHelp();

}  // namespace velda
