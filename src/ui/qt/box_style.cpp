#include "ui/qt/box_style.h"

namespace velda::qt {

QMessageBox::Icon BoxIconOf(fw::UINT uType) {
  switch (uType & fw::MB_ICONMASK) {
    case fw::MB_ICONSTOP:
      return QMessageBox::Critical;
    case fw::MB_ICONQUESTION:
      return QMessageBox::Question;
    case fw::MB_ICONEXCLAMATION:
      return QMessageBox::Warning;
    case fw::MB_ICONINFORMATION:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

QMessageBox::StandardButtons BoxButtonsOf(fw::UINT uType) {
  if ((uType & fw::MB_TYPEMASK) == fw::MB_OKCANCEL) {
    return QMessageBox::Ok | QMessageBox::Cancel;
  }
  return QMessageBox::Ok;
}

int BoxAnswerOf(fw::UINT uType, QMessageBox::StandardButton eClicked) {
  switch (eClicked) {
    case QMessageBox::Ok:
      return fw::IDOK;
    case QMessageBox::Cancel:
      return fw::IDCANCEL;
    default:
      return BoxButtonsOf(uType).testFlag(QMessageBox::Cancel) ? fw::IDCANCEL : fw::IDOK;
  }
}

}  // namespace velda::qt
