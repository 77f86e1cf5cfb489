#include "app/window_support.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QMimeData>
#include <QRect>
#include <QUrl>
#include <QWidget>

namespace kinoverd {

WindowRect ScreenRect(const QWidget& window)
{
    const QRect r = window.frameGeometry();
    return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

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
