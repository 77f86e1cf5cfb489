// The station's picture: a frameless, skinned window owned by the main
// window, showing a frame with an idle picture in its video area and, while
// a stream plays, the renderer in that area. It owns the media graph
// controller and is its notify window: it turns the controller's and the
// receive threads' messages into graph actions and into messages for the
// main window. It also carries the playback controls that live on the
// picture: the right-click menu, Esc and Return for window and full-screen
// mode, dropping files, and dragging with magnetic snapping to the main
// window.
#pragma once

#include <QPixmap>
#include <QPoint>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

#include "playback/gst_media_graph_factory.h"
#include "playback/window_notify_target.h"

class QMenu;

namespace kinoverd {

class MediaGraphController;
class VideoWindowOwner;

class VideoWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr int kWidth = 485;
    static constexpr int kHeight = 360;
    // The video area in client coordinates, right and bottom inclusive: the
    // renderer's placement.
    static constexpr int kAreaLeft = 54;
    static constexpr int kAreaTop = 29;
    static constexpr int kAreaRight = 431;
    static constexpr int kAreaBottom = 331;
    static constexpr int kIdleWidth = 377;
    static constexpr int kIdleHeight = 302;

    // The commands of the right-click menu.
    static constexpr int kCmdAudioChannel = 32779;
    static constexpr int kCmdWindowMode = 32778;
    static constexpr int kCmdFullScreen = 32777;

    static const QString kStartFailedText;

    // A separate top-level window owned by `main_window`; creates the
    // controller, which lives as long as this window.
    explicit VideoWindow(QWidget* main_window);
    // Deletes the controller first: graph and reception go before the window.
    ~VideoWindow() override;
    VideoWindow(const VideoWindow&) = delete;
    VideoWindow& operator=(const VideoWindow&) = delete;

    // The target of every message this window sends or posts, and of the
    // docking flags; messages are dropped until it is set.
    void SetMainWindow(VideoWindowOwner* owner) { owner_ = owner; }

    // The broadcast channel (0 to 3) that StartPlayback tunes to.
    void set_channel(int channel) { channel_ = channel; }
    int channel() const { return channel_; }

    // Tears down any graph and tunes to the channel: group
    // 234.5.6.(channel + 7), data port channel * 2 + 4000. 1 when both
    // receivers listen. 0 otherwise, after stopping playback, posting 8118
    // to the main window and showing kStartFailedText.
    int StartPlayback();
    // Tears down the graph and stops reception.
    void StopPlayback();

    MediaGraphController& controller() { return *controller_; }

    // The right-click menu (menu 159): each action's data() is its command.
    std::unique_ptr<QMenu> CreatePopupMenu();
    // Carries out a command of the right-click menu.
    void OnCommand(int command);

    // Shows a failure to the user, modal over `parent`. A plain message box
    // with OK unless replaced (tests record the text instead).
    std::function<void(QWidget* parent, const QString& text)> show_message;

protected:
    // The private messages (WindowMessage) from the controller, the receive
    // threads and the graph.
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    // Files dropped here are played by the main window: it is sent 8302
    // with wParam = reinterpret_cast<uintptr_t>(const QStringList*) of
    // their local paths and lParam 0. The list lives only while the
    // message is handled.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // Close requests (Alt+F4 included) are refused: the picture lives as
    // long as the main window, which deletes it.
    void closeEvent(QCloseEvent* event) override;

private:
    void HandleMessage(int message, uintptr_t wparam);
    void StartGraph();
    void RetuneAfterFailedGraph();
    void ShowPopupMenu(const QPoint& global_position);
    void Drag(const QPoint& pointer);
    void PostToMain(int message, uintptr_t wparam = 0);
    void SendToMain(int message, uintptr_t wparam = 0);

    // Everything below belongs to the user-interface thread. The factory and
    // the notify target outlive the controller, which uses both.
    GstMediaGraphFactory graphs_;
    WindowNotifyTarget notify_;
    std::unique_ptr<MediaGraphController> controller_;
    const QPixmap frame_;
    const QPixmap idle_picture_;
    VideoWindowOwner* owner_ = nullptr;
    int channel_ = 0;
    bool dragging_ = false;  // left button held since a press in this window
    QPoint drag_anchor_;     // client point of that press
};

}  // namespace kinoverd
