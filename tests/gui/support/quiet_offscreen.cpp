#include "gui/support/quiet_offscreen.h"

#include <QString>
#include <QtGlobal>

namespace velda::test {

namespace {

QtMessageHandler g_fnPrevious = nullptr;

void Filter(QtMsgType eType, const QMessageLogContext& context, const QString& str) {
  if (str.startsWith(QLatin1String("This plugin does not support"))) {
    return;
  }
  if (g_fnPrevious != nullptr) {
    g_fnPrevious(eType, context, str);
  }
}

}  // namespace

void QuietOffscreenPlatform() { g_fnPrevious = qInstallMessageHandler(Filter); }

}  // namespace velda::test
