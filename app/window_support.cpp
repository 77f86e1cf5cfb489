// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window_support.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QMimeData>
#include <QRect>
#include <QUrl>
#include <QWidget>

namespace kinoverd {

QStringList LocalPaths(const QMimeData* data)
{
    QStringList paths;
    if (!data || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) paths << url.toLocalFile();
    }
    return paths;
}

void ShowMessageBox(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), text,
                    QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace kinoverd
