// How a message box of the installer looks and what its answer is: the icon and the buttons come
// from the box type bits, the answer from the button the user pressed, or from how the box was
// dismissed without a button (Esc, the close box).
#pragma once

#include <QMessageBox>

#include "fw/types.h"

namespace velda::qt {

// MB_ICONMASK: stop, question, exclamation, information; no icon bits give no icon.
QMessageBox::Icon BoxIconOf(fw::UINT uType);

// MB_TYPEMASK: OK and Cancel for MB_OKCANCEL, OK for everything else.
QMessageBox::StandardButtons BoxButtonsOf(fw::UINT uType);

// IDOK for OK, IDCANCEL for Cancel. A box dismissed without a button answers as its escape
// button: Cancel where the box has one, else OK (an OK-only box closed with Esc says OK).
int BoxAnswerOf(fw::UINT uType, QMessageBox::StandardButton eClicked);

}  // namespace velda::qt
