// uxs plan: the dry run's report, as text or as one JSON object.
#include <array>
#include <cstdio>
#include <map>

#include "hex8.h"
#include "install_plan.h"
#include "instrument/instrument_settings.h"
#include "uxs_commands.h"
#include "uxs_help.h"

namespace velda::uxs {

namespace {

std::string Seconds(std::uint64_t nMs) {
  std::array<char, 32> a{};
  std::snprintf(a.data(), a.size(), "%.1f s", static_cast<double>(nMs) / 1000.0);
  return a.data();
}

// Blocks that continue each other (same device, entry and statement; address and entry offset
// both running on) make one range.
std::vector<CPlanWrite> MergedRanges(const std::vector<CPlanWrite>& aWrites) {
  std::vector<CPlanWrite> a;
  for (const CPlanWrite& w : aWrites) {
    if (w.nLength == 0) continue;
    if (!a.empty()) {
      CPlanWrite& last = a.back();
      if (last.nDevice == w.nDevice && last.strEntry == w.strEntry && last.nLine == w.nLine &&
          std::uint64_t{last.nAddress} + last.nLength == w.nAddress &&
          std::uint64_t{last.nEntryOffset} + last.nLength == w.nEntryOffset) {
        last.nLength += w.nLength;
        continue;
      }
    }
    a.push_back(w);
  }
  return a;
}

std::string Assumptions(const CInstallPlan& p) {
  return "the link carries " + std::to_string(p.nRate) +
         " bytes of SysEx per ms in each direction; every request is answered at once as the simulated instrument "
         "answers it (no resends, refusals or time-outs); the pauses are the installer's and the instrument's own "
         "(start pause, restart into update mode, port recovery, reply latency, entry loading)";
}

void PlanText(const std::string& strFile, const CInstallPlan& p, std::ostream& out) {
  out << "plan for " << strFile << ": " << p.strOutcome << "\n";
  for (const std::string& s : p.aBoxes) {
    std::string strOneLine;
    for (const char c : s) strOneLine += (c == '\r' || c == '\n') ? ' ' : c;
    out << "  box: " << strOneLine << "\n";
  }
  out << "\nstatements:\n";
  for (const CPlanStatement& st : p.aStatements) {
    out << "  line " << st.nLine << ": " << st.strText << (st.bPassedOver ? "   (passed over)" : "") << "\n";
    std::size_t nPackets = 0;
    std::size_t nPacketBytes = 0;
    for (const CPlanRequest& r : st.aRequests) {
      if (r.strKind == "data-packet") {
        ++nPackets;
        nPacketBytes += r.nBytes;
        continue;
      }
      if (nPackets != 0) {
        out << "      " << nPackets << " data-packet (" << nPacketBytes << " bytes)\n";
        nPackets = nPacketBytes = 0;
      }
      out << "      " << r.strKind << (r.strDetail.empty() ? "" : " " + r.strDetail) << " (" << r.nBytes
          << " bytes, at " << r.nAtMs << " ms)\n";
    }
    if (nPackets != 0) out << "      " << nPackets << " data-packet (" << nPacketBytes << " bytes)\n";
  }
  out << "\nmemory written:\n";
  const std::vector<CPlanWrite> aRanges = MergedRanges(p.aWrites);
  if (aRanges.empty()) out << "  (none)\n";
  for (const CPlanWrite& w : aRanges) {
    out << "  device " << w.nDevice << ": " << Hex8(w.nAddress) << ".." << Hex8(w.nAddress + w.nLength - 1) << " ("
        << w.nLength << " bytes) from \"" << w.strEntry << "\" offset " << Hex8(w.nEntryOffset) << " (line " << w.nLine
        << ")\n";
  }
  out << "\nrequests: " << p.nRequests << " (" << p.nBlocks << " blocks, " << p.nPackets << " data packets); "
      << p.nSentBytes << " bytes sent, " << p.nReceivedBytes << " bytes received\n";
  out << "estimated duration: " << Seconds(p.nDurationMs) << " (" << Seconds(p.nTransferMs) << " of it transfer, "
      << Seconds(p.nDurationMs - std::min(p.nDurationMs, p.nTransferMs)) << " pauses and waits)\n";
  out << "assumptions: " << Assumptions(p) << "\n";
}

void PlanJson(const std::string& strFile, const CInstallPlan& p, std::ostream& out) {
  out << "{\"file\":" << Json(strFile) << ",\"outcome\":" << Json(p.strOutcome)
      << ",\"completed\":" << (p.bCompleted ? "true" : "false") << ",\"boxes\":[";
  for (std::size_t i = 0; i < p.aBoxes.size(); ++i) out << (i == 0 ? "" : ",") << Json(p.aBoxes[i]);
  out << "],\"statements\":[";
  for (std::size_t i = 0; i < p.aStatements.size(); ++i) {
    const CPlanStatement& st = p.aStatements[i];
    out << (i == 0 ? "" : ",") << "{\"line\":" << st.nLine << ",\"text\":" << Json(st.strText)
        << ",\"passed_over\":" << (st.bPassedOver ? "true" : "false") << ",\"requests\":[";
    for (std::size_t j = 0; j < st.aRequests.size(); ++j) {
      const CPlanRequest& r = st.aRequests[j];
      out << (j == 0 ? "" : ",") << "{\"kind\":" << Json(r.strKind) << ",\"detail\":" << Json(r.strDetail)
          << ",\"bytes\":" << r.nBytes << ",\"at_ms\":" << r.nAtMs << "}";
    }
    out << "]}";
  }
  out << "],\"writes\":[";
  const std::vector<CPlanWrite> aRanges = MergedRanges(p.aWrites);
  for (std::size_t i = 0; i < aRanges.size(); ++i) {
    const CPlanWrite& w = aRanges[i];
    out << (i == 0 ? "" : ",") << "{\"device\":" << w.nDevice << ",\"address\":" << w.nAddress
        << ",\"length\":" << w.nLength << ",\"entry\":" << Json(w.strEntry) << ",\"entry_offset\":" << w.nEntryOffset
        << ",\"line\":" << w.nLine << "}";
  }
  out << "],\"requests\":" << p.nRequests << ",\"blocks\":" << p.nBlocks << ",\"packets\":" << p.nPackets
      << ",\"bytes_sent\":" << p.nSentBytes << ",\"bytes_received\":" << p.nReceivedBytes
      << ",\"estimate\":{\"duration_ms\":" << p.nDurationMs << ",\"transfer_ms\":" << p.nTransferMs
      << ",\"rate_bytes_per_ms\":" << p.nRate << ",\"assumptions\":" << Json(Assumptions(p)) << "}}\n";
}

}  // namespace

int CmdPlan(const CUxsArgs& args, std::ostream& out, std::ostream& err) {
  CInstrumentConfig config;
  for (const std::string& s : args.aInstrument) {
    std::string strError;
    if (!ParseInstrumentAssignment(s, config, strError)) {
      err << "uxs: --instrument: " << strError << "\nTry 'uxs --help' for more information.\n";
      return UXS_USAGE;
    }
  }
  CInstallPlan plan;
  std::string strError;
  if (!MakeInstallPlan(args.aOperands[0], config, args.nRate != 0 ? args.nRate : DEFAULT_RATE_BYTES_PER_MS, plan,
                       strError)) {
    err << "uxs: " << strError << "\n";
    return UXS_FILE_ERROR;
  }
  if (args.bJson) {
    PlanJson(args.aOperands[0], plan, out);
  } else {
    PlanText(args.aOperands[0], plan, out);
  }
  return plan.bCompleted ? UXS_OK : UXS_PLAN_NOT_COMPLETED;
}

}  // namespace velda::uxs
