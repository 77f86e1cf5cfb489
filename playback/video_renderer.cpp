// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/video_renderer.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

namespace kinoverd {

VideoRenderer::VideoRenderer(QWidget* owner, const QRect& area)
    : QWidget(owner), owner_(owner), area_(area)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setGeometry(area_);
    show();
}

void VideoRenderer::PostFrame(QImage frame)
{
    // Queued to this widget's thread; dropped if the widget is gone by then.
    QMetaObject::invokeMethod(
        this, [this, frame = std::move(frame)] { Present(frame); }, Qt::QueuedConnection);
}

void VideoRenderer::Present(const QImage& frame)
{
    frame_ = frame;
    ++frames_presented_;
    update();
    emit framePresented(frames_presented_);
}

void VideoRenderer::SetFullScreen(bool on)
{
    if (on == full_screen_) return;
    full_screen_ = on;
    if (on) {
        const QScreen* screen = owner_ ? owner_->screen() : this->screen();
        setParent(nullptr, Qt::Window | Qt::FramelessWindowHint);
        // Without a window manager nobody acts on the full-screen state:
        // the window covers the screen by its own geometry as well.
        if (screen) setGeometry(screen->geometry());
        showFullScreen();
        activateWindow();
        setFocus();
    } else {
        setParent(owner_, Qt::Widget);
        setGeometry(area_);
        show();
        if (owner_) owner_->activateWindow();
    }
}

void VideoRenderer::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (frame_.isNull()) return;
    QSize size = frame_.size();
    size.scale(this->size(), Qt::KeepAspectRatio);
    QRect target(QPoint(0, 0), size);
    target.moveCenter(rect().center());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, frame_);
}

void VideoRenderer::keyPressEvent(QKeyEvent* event)
{
    if (owner_) QCoreApplication::sendEvent(owner_, event);
}

void VideoRenderer::keyReleaseEvent(QKeyEvent* event)
{
    if (owner_) QCoreApplication::sendEvent(owner_, event);
}

void VideoRenderer::mousePressEvent(QMouseEvent* event) { ForwardMouse(event); }
void VideoRenderer::mouseReleaseEvent(QMouseEvent* event) { ForwardMouse(event); }
void VideoRenderer::mouseMoveEvent(QMouseEvent* event) { ForwardMouse(event); }
void VideoRenderer::mouseDoubleClickEvent(QMouseEvent* event) { ForwardMouse(event); }

void VideoRenderer::ForwardMouse(QMouseEvent* event)
{
    if (!owner_) return;
    // The owner sees the event where it happened in its own coordinates.
    const QPointF global = event->globalPosition();
    QMouseEvent forwarded(event->type(), owner_->mapFromGlobal(global), global, event->button(),
                          event->buttons(), event->modifiers());
    QCoreApplication::sendEvent(owner_, &forwarded);
    event->setAccepted(forwarded.isAccepted());
}

}  // namespace kinoverd
