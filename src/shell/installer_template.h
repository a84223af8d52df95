// Dialog template 102: the main window, in dialog units.
#pragma once

#include "fw/controls.h"

namespace velda {

const fw::CDialogTemplate& InstallerTemplate();

}  // namespace velda
