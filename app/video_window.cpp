// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/video_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

#include <optional>

#include "app/window_docking.h"
#include "app/window_support.h"
#include "resources/bitmap_resource.h"

namespace kinoverd {

VideoWindow::VideoWindow(QWidget* main_window, DockingFlags& docking)
    : QWidget(main_window, Qt::Window | Qt::FramelessWindowHint),
      main_window_(main_window),
      docking_(docking),
      frame_(LoadBitmap(Bitmap::VideoFrame)),
      idle_picture_(LoadBitmap(Bitmap::IdlePicture))
{
    setFixedSize(kWidth, kHeight);
    setAcceptDrops(true);
    setFocusPolicy(Qt::StrongFocus);
}

void VideoWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(rect(), frame_);
    painter.drawPixmap(kVideoArea, idle_picture_);
}

void VideoWindow::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape: emit windowModeRequested(); break;
    case Qt::Key_Return:
    case Qt::Key_Enter: emit fullScreenRequested(); break;
    default: QWidget::keyPressEvent(event); return;
    }
    event->accept();
}

std::unique_ptr<QMenu> VideoWindow::CreatePopupMenu()
{
    auto menu = std::make_unique<QMenu>(this);
    // Text after the tab is shown right-aligned, as a shortcut.
    connect(menu->addAction(QStringLiteral("声道(&C)")), &QAction::triggered, this,
            &VideoWindow::audioChannelRequested, Qt::QueuedConnection);
    connect(menu->addAction(QStringLiteral("窗口模式(&W)\tEsc")), &QAction::triggered, this,
            &VideoWindow::windowModeRequested, Qt::QueuedConnection);
    connect(menu->addAction(QStringLiteral("全屏模式(&F)\tReturn")), &QAction::triggered, this,
            &VideoWindow::fullScreenRequested, Qt::QueuedConnection);
    menu->addSeparator();
    connect(menu->addAction(QStringLiteral("收看频道(&V)...")), &QAction::triggered, this,
            &VideoWindow::watchRequested, Qt::QueuedConnection);
    return menu;
}

// A press over the picture comes from the renderer, which may go while the
// menu's own event loop runs (the clip ends, full screen is left): the
// menu opens once that press has unwound, and its commands are queued too.
void VideoWindow::ShowPopupMenu(const QPoint& global_position)
{
    QMetaObject::invokeMethod(
        this, [this, global_position] { CreatePopupMenu()->exec(global_position); }, Qt::QueuedConnection);
}

void VideoWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        drag_anchor_ = event->position().toPoint();
        dragging_ = true;
    } else if (event->button() == Qt::RightButton) {
        ShowPopupMenu(event->globalPosition().toPoint());
    }
    event->accept();
}

void VideoWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return;
    dragging_ = false;
    // Docked after any snap: the main window's drag carries this one along.
    docking_ = ReleaseVideoWindow(docking_);
    event->accept();
}

void VideoWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging_) Drag(event->position().toPoint());
    event->accept();
}

void VideoWindow::Drag(const QPoint& pointer)
{
    const std::optional<DragOutcome> outcome = DragVideoWindow(
        main_window_->frameGeometry(), frameGeometry(), drag_anchor_, pointer, docking_, full_screen_);
    if (!outcome) return;
    docking_ = outcome->flags;
    move(outcome->video.topLeft());
}

void VideoWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (!LocalPaths(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void VideoWindow::dropEvent(QDropEvent* event)
{
    const MediaPaths paths = LocalPaths(event->mimeData());
    if (paths.isEmpty()) return;
    event->acceptProposedAction();
    emit filesDropped(paths);
}

void VideoWindow::closeEvent(QCloseEvent* event) { event->ignore(); }

}  // namespace kinoverd
