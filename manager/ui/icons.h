// The manager's pictures, drawn rather than shipped as bitmaps: the four
// tray icons (what runs), the state pictures, the always-on-top pin.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace tessary::ui {

// Tray icon 128, 139, 140 or 142 (the installed theme's icon when there is one).
QIcon TrayIconPicture(int id);
// State picture 189 (stopped), 190 (pending) or 191 (started).
QPixmap StatePixmap(int id);
// The always-on-top pin, 164 (off) or 165 (on).
QIcon PinIcon(bool on);

}  // namespace tessary::ui
