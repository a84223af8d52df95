// The arithmetic of an upload: which blocks a statement sends where, how a block splits into
// packets. An upload with nothing to send is a plan without blocks: its first NextBlock ends it.
#pragma once

#include "fw/types.h"
#include "protocol/block_plan.h"

namespace velda {

struct CUploadPlan {
  bool bScriptError = false;  // the arguments cannot be uploaded as written
  CBlockPlan plan;
  fw::UINT nUploadBytes = 0;  // bytes the statement sends: the Data bar's range less one
};

// UPDATE_BLOCK: one block of nLength bytes at nAddress, limited to what the entry holds after
// the offset. An offset beyond the entry is a script error.
CUploadPlan PlanUpdateBlock(fw::UINT nAddress, fw::UINT nLength, fw::UINT nEntrySize, fw::UINT nOffset);

// UPDATE_DEVICE: the entry from the offset to its end, in blocks of nBlockSize (limited to that
// many bytes). An offset beyond the entry, or a block size of 0 with bytes to send, is a script
// error.
CUploadPlan PlanUpdateDevice(fw::UINT nAddress, fw::UINT nBlockSize, fw::UINT nEntrySize, fw::UINT nOffset);

// UPDATE_AREA: nLength bytes from the offset, in blocks of nBlockSize (limited to nLength).
// Offset plus length beyond the entry, or a block size of 0 with bytes to send, is a script error.
CUploadPlan PlanUpdateArea(fw::UINT nAddress, fw::UINT nBlockSize, fw::UINT nLength, fw::UINT nEntrySize,
                           fw::UINT nOffset);

// Block c of a plan: false when the plan has no such block. A length of 0 means that nothing
// is left to send.
bool PlanBlockAt(const CBlockPlan& plan, fw::UINT c, fw::UINT& nAddress, fw::UINT& nLength);

// Length and address of the block most recently started (nCurBlock already counts it).
fw::UINT StartedBlockLength(const CBlockPlan& plan);
fw::UINT StartedBlockAddress(const CBlockPlan& plan);

struct CPacketSplit {
  fw::UINT nCount = 0;  // full packets
  fw::UINT nLast = 0;   // bytes of the last, shorter packet; 0 when there is none
};

CPacketSplit SplitBlock(fw::UINT nBlockLength, fw::UINT nPacketSize);

// Planned length of the packet that follows nSent sent ones; 0 when the block is done.
fw::UINT PacketLengthAt(const CPacketSplit& split, fw::UINT nSent, fw::UINT nPacketSize);

}  // namespace velda
