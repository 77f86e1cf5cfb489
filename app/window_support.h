// SPDX-License-Identifier: GPL-3.0-or-later
// Small pieces both player windows use: the local files of a drop, and a
// plain message box.
#pragma once

#include <QStringList>


class QMimeData;
class QString;
class QWidget;

namespace kinoverd {


// The local files among a drop's URLs; empty when there are none.
QStringList LocalPaths(const QMimeData* data);

// A modal box with `text` and an OK button, captioned with the program's name.
void ShowMessageBox(QWidget* parent, const QString& text);

}  // namespace kinoverd
