// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/message_box.h"

namespace kinoverd {

void ShowMessageBox(QWidget* parent, const QString& text, QMessageBox::Icon icon)
{
    QMessageBox box(icon, kMessageBoxCaption, text, QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace kinoverd
