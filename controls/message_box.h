// SPDX-License-Identifier: GPL-3.0-or-later
// The player's message boxes: modal, with one OK button, and all captioned
// with the program's name.
#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

namespace kinoverd {

inline const QString kMessageBoxCaption = QStringLiteral("Kinoverd");

void ShowMessageBox(QWidget* parent, const QString& text, QMessageBox::Icon icon = QMessageBox::NoIcon);

}  // namespace kinoverd
