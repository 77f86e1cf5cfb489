// SPDX-License-Identifier: GPL-3.0-or-later
// The station's picture: a frameless, skinned window owned by the main
// window, showing an idle picture in its video area and, while a stream
// plays, the station's renderer in that area. It carries the controls that
// live on the picture: the right-click menu, Esc and Return for window and
// full-screen mode, dropping files, and dragging with magnetic snapping to
// the main window. It passes them on as signals; the main window decides.
#pragma once

#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QWidget>

#include <memory>

#include "station/media_path.h"

class QMenu;

namespace kinoverd {

struct DockingFlags;

class VideoWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr int kWidth = 485;
    static constexpr int kHeight = 360;

    // A separate top-level window owned by `main_window`, whose drags share
    // `docking` with this one's.
    VideoWindow(QWidget* main_window, DockingFlags& docking);

    // The right-click menu: 声道, 窗口模式, 全屏模式, 收看频道.
    std::unique_ptr<QMenu> CreatePopupMenu();
    // Whether the picture covers the screen now: no dragging then.
    void set_full_screen(bool on) { full_screen_ = on; }

signals:
    void fullScreenRequested();
    void windowModeRequested();
    void audioChannelRequested();
    void watchRequested();
    void filesDropped(const kinoverd::MediaPaths& paths);

protected:
    void paintEvent(QPaintEvent* event) override;
    // Keys and the mouse over the picture come from the renderer as well.
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // Close requests (Alt+F4 included) are refused: the picture lives as
    // long as the main window, which deletes it.
    void closeEvent(QCloseEvent* event) override;

private:
    void ShowPopupMenu(const QPoint& global_position);
    void Drag(const QPoint& pointer);

    // User-interface thread only.
    QWidget* const main_window_;
    DockingFlags& docking_;
    const QPixmap frame_;
    const QPixmap idle_picture_;
    bool full_screen_ = false;
    bool dragging_ = false;  // left button held since a press in this window
    QPoint drag_anchor_;     // client point of that press
};

}  // namespace kinoverd
