#include "ui/qt/app_icon.h"

#include "shell/resource.h"

namespace velda::qt {

QIcon ApplicationIcon() { return QIcon(QStringLiteral(":/icons/velda-installer.png")); }

QIcon IconOfResource(int nIconId) { return nIconId == IDR_MAINFRAME ? ApplicationIcon() : QIcon(); }

QPoint CentredIconOrigin(const QSize& client, const QSize& icon) {
  return QPoint((client.width() - icon.width() + 1) / 2, (client.height() - icon.height() + 1) / 2);
}

}  // namespace velda::qt
