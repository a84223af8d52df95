// The dry run behind uxs plan: the package installed into the simulated instrument on a virtual
// clock, by the installer itself, with every box answered OK. What it records is what the real
// installation will do, statement by statement.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "instrument/sim_instrument.h"

namespace velda::uxs {

struct CPlanRequest {
  std::uint64_t nAtMs = 0;  // virtual time it was sent
  std::string strKind;      // "mode-on", "block-start", ... (the instrument's request names)
  std::string strDetail;    // fields worth reading: "address 00010000 length 00001000", ...
  std::size_t nBytes = 0;   // F0 .. F7
};

struct CPlanStatement {
  int nLine = 0;
  std::string strText;       // the statement's line (from where it was read)
  bool bPassedOver = false;  // inside a skipped IF block
  std::vector<CPlanRequest> aRequests;
};

struct CPlanWrite {
  int nDevice = 0;
  std::uint32_t nAddress = 0;
  std::uint32_t nLength = 0;
  std::string strEntry;            // the source entry's name
  std::uint32_t nEntryOffset = 0;  // where in the entry the block's bytes start
  int nLine = 0;                   // the statement that wrote it
};

struct CInstallPlan {
  std::string strOutcome;  // "completed", "script-error", ...
  bool bCompleted = false;
  std::vector<std::string> aBoxes;  // every message box's text, in order
  std::vector<CPlanStatement> aStatements;
  std::vector<CPlanWrite> aWrites;  // one per block
  std::size_t nRequests = 0;
  std::size_t nPackets = 0;
  std::size_t nBlocks = 0;
  std::uint64_t nSentBytes = 0;
  std::uint64_t nReceivedBytes = 0;
  std::uint64_t nDurationMs = 0;  // from the start to the end of the installation, transfer included
  std::uint32_t nRate = 0;        // bytes per ms the link was given
  std::uint64_t nTransferMs = 0;  // of nDurationMs: the bytes at that rate
};

// Runs the package at strPackage. config: the simulated instrument (its rate becomes nRate when
// not set there). False with strError when the run could not be set up.
bool MakeInstallPlan(const std::string& strPackage, CInstrumentConfig config, std::uint32_t nRate, CInstallPlan& plan,
                     std::string& strError);

}  // namespace velda::uxs
