#include "protocol/upload_plan.h"

#include <algorithm>
#include <cstdint>

namespace velda {

namespace {

// Blocks of nBlockSize over nTotal bytes; nBlockSize is already limited to nTotal.
CBlockPlan SplitIntoBlocks(fw::UINT nAddress, fw::UINT nBlockSize, fw::UINT nTotal) {
  CBlockPlan plan;
  plan.nBase = nAddress;
  plan.nBlockSize = nBlockSize;
  if (nTotal != 0) {
    plan.nBlockCount = nTotal / nBlockSize;
    plan.nLastSize = nTotal % nBlockSize;
  }
  plan.nCurBlock = 0;
  return plan;
}

CUploadPlan ScriptError() {
  CUploadPlan result;
  result.bScriptError = true;
  return result;
}

}  // namespace

CUploadPlan PlanUpdateBlock(fw::UINT nAddress, fw::UINT nLength, fw::UINT nEntrySize, fw::UINT nOffset) {
  if (nOffset > nEntrySize) {
    return ScriptError();
  }
  // The block start must announce no more bytes than the entry can deliver.
  const fw::UINT nSend = std::min(nLength, nEntrySize - nOffset);
  CUploadPlan result;
  result.plan.nBase = nAddress;
  result.plan.nBlockSize = 0;
  result.plan.nLastSize = nSend;
  result.plan.nBlockCount = 1;
  result.plan.nCurBlock = 1;
  result.nUploadBytes = nSend;
  return result;
}

CUploadPlan PlanUpdateDevice(fw::UINT nAddress, fw::UINT nBlockSize, fw::UINT nEntrySize, fw::UINT nOffset) {
  if (nOffset > nEntrySize) {
    return ScriptError();
  }
  const fw::UINT nTotal = nEntrySize - nOffset;
  if (nBlockSize == 0 && nTotal != 0) {
    return ScriptError();
  }
  CUploadPlan result;
  result.plan = SplitIntoBlocks(nAddress, std::min(nBlockSize, nTotal), nTotal);
  result.nUploadBytes = nTotal;
  return result;
}

CUploadPlan PlanUpdateArea(fw::UINT nAddress, fw::UINT nBlockSize, fw::UINT nLength, fw::UINT nEntrySize,
                           fw::UINT nOffset) {
  if (std::uint64_t{nOffset} + nLength > nEntrySize) {
    return ScriptError();
  }
  if (nBlockSize == 0 && nLength != 0) {
    return ScriptError();
  }
  CUploadPlan result;
  result.plan = SplitIntoBlocks(nAddress, std::min(nBlockSize, nLength), nLength);
  result.nUploadBytes = nLength;
  return result;
}

bool PlanBlockAt(const CBlockPlan& plan, fw::UINT c, fw::UINT& nAddress, fw::UINT& nLength) {
  if (c > plan.nBlockCount) {
    return false;
  }
  nLength = c < plan.nBlockCount ? plan.nBlockSize : plan.nLastSize;
  nAddress = plan.nBase + plan.nBlockSize * c;
  return true;
}

fw::UINT StartedBlockLength(const CBlockPlan& plan) {
  return plan.nCurBlock <= plan.nBlockCount ? plan.nBlockSize : plan.nLastSize;
}

fw::UINT StartedBlockAddress(const CBlockPlan& plan) { return plan.nBase + plan.nBlockSize * (plan.nCurBlock - 1); }

CPacketSplit SplitBlock(fw::UINT nBlockLength, fw::UINT nPacketSize) {
  CPacketSplit split;
  if (nPacketSize != 0) {
    split.nCount = nBlockLength / nPacketSize;
    split.nLast = nBlockLength % nPacketSize;
  }
  return split;
}

fw::UINT PacketLengthAt(const CPacketSplit& split, fw::UINT nSent, fw::UINT nPacketSize) {
  if (nSent < split.nCount) {
    return nPacketSize;
  }
  return nSent == split.nCount ? split.nLast : 0;
}

}  // namespace velda
