// SPDX-License-Identifier: GPL-3.0-or-later
// The picture of a playing graph: a child of the owner window at the video
// area, or the whole screen in full-screen mode, drawing the latest frame
// scaled with its aspect ratio kept. Keys and mouse input over the picture go
// on to the owner, which handles them as its own.
#pragma once

#include <QImage>
#include <QPointer>
#include <QRect>
#include <QWidget>

namespace kinoverd {

class VideoRenderer : public QWidget {
    Q_OBJECT

public:
    // Placed at `area` (owner client coordinates) and shown.
    VideoRenderer(QWidget* owner, const QRect& area);

    // Thread-safe: the streaming thread hands over each frame; the widget
    // takes it up on its own thread.
    void PostFrame(QImage frame);

    void SetFullScreen(bool on);
    bool IsFullScreenMode() const { return full_screen_; }
    int frames_presented() const { return frames_presented_; }
    const QImage& current_frame() const { return frame_; }

signals:
    void framePresented(int count);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void Present(const QImage& frame);
    void ForwardMouse(QMouseEvent* event);

    QPointer<QWidget> owner_;
    const QRect area_;
    bool full_screen_ = false;
    QImage frame_;
    int frames_presented_ = 0;
};

}  // namespace kinoverd
