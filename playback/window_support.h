// Small pieces both player windows use: their screen rectangles for the
// docking arithmetic, the local files of a drop, and a plain message box.
#pragma once

#include <QStringList>

#include "app/window_docking.h"

class QMimeData;
class QString;
class QWidget;

namespace kinoverd {

// A window's screen rectangle, its frame included.
QRect ScreenRect(const QWidget& window);

// The local files among a drop's URLs; empty when there are none.
QStringList LocalPaths(const QMimeData* data);

// A modal box with `text` and an OK button, captioned with the program's name.
void ShowMessageBox(QWidget* parent, const QString& text);

}  // namespace kinoverd
