// Which step of the installer dialog announces each kind of reply.
#pragma once

#include "fw/types.h"
#include "protocol/reply_table.h"

namespace velda {

// The step posted for a reply of this kind; 0 for EReplyKind::None.
fw::UINT ReplyStepFor(EReplyKind nKind);

// Whether a handler acts on the step (every reply step but the marker of group 05 command 43),
// so that the reply's bytes must be kept until the step runs.
bool ReplyStepHasHandler(fw::UINT nStep);

}  // namespace velda
