// The application's icon (resource 128, IDR_MAINFRAME): resources/icons/velda-installer.png,
// built into the library. Windows show it in the title bar and the task bar, and draw it in the
// client area while minimised, centred as the platform centres icons.
#pragma once

#include <QIcon>
#include <QPoint>
#include <QSize>

namespace velda::qt {

// The size of a large system icon, in pixels: what a minimised window draws.
inline constexpr int kSystemIconSize = 32;

// The icon behind a resource id: IDR_MAINFRAME gives the application's icon, any other id none.
QIcon IconOfResource(int nIconId);
QIcon ApplicationIcon();

// Where an icon of the given size is drawn centred in a client area:
// ((width - icon width + 1) / 2, (height - icon height + 1) / 2), integer division.
QPoint CentredIconOrigin(const QSize& client, const QSize& icon);

}  // namespace velda::qt
