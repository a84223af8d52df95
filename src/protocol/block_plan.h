// The upload plan of one data entry: consecutive blocks at consecutive instrument addresses.
#pragma once

#include "fw/types.h"

namespace velda {

struct CBlockPlan {
  fw::UINT nBase = 0;        // instrument address of block 0
  fw::UINT nBlockSize = 0;   // length of every full block
  fw::UINT nLastSize = 0;    // length of the last, shorter block
  fw::UINT nBlockCount = 0;  // number of full blocks
  fw::UINT nCurBlock = 0;    // next block to start
};

}  // namespace velda
