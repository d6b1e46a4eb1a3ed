// Tools of the desktop program's tests: a fresh program folder, pictures
// made in memory and written as bitmaps, and a way to answer a modal dialog.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

class KW_PicDoc;
class QWidget;

namespace uitest {

// Empties the program folder MORVANE_HOME (the tests' Log folder) and the
// settings; returns the program folder.
QString FreshHome();

// Fills doc with a width x height picture of grey levels and colours, so
// that every threshold gives another black-and-white picture.
void LoadGreys(KW_PicDoc& doc, int width, int height);

// Writes a width x height 24-bit bitmap filled by fill(col, row), row 0 at the
// bottom; returns its path in the program folder.
QString WriteBitmap(const QString& name, int width, int height,
                    const std::function<std::uint32_t(int, int)>& fill);

// A generated 150-dpi plate with three seedlings, written as a bitmap.
QString WritePlate(const QString& name);

// Runs act on the next modal dialog that opens, from the event loop.
void OnNextModal(const std::function<void(QWidget*)>& act);

}  // namespace uitest
