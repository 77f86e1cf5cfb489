#include "playback/video_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QStringList>
#include <QUrl>

#include <sys/resource.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "app/window_docking.h"
#include "broadcast/notify_target.h"
#include "broadcast/wire_format.h"
#include "playback/media_graph_controller.h"
#include "playback/video_window_owner.h"
#include "playback/window_message.h"
#include "playback/window_support.h"
#include "resources/bitmap_resource.h"

namespace kinoverd {

const QString VideoWindow::kStartFailedText = QStringLiteral("Kinoverd 初始化失败!");

namespace {

// Lets the user-interface thread, which builds every graph, keep up with a
// busy machine once playback starts; where the user may not raise it, it
// stays as it is. Never lowered again.
void RaiseUserInterfaceThread()
{
    constexpr int kRaisedNice = -5;
    setpriority(PRIO_PROCESS, id_t(gettid()), kRaisedNice);
}

}  // namespace

VideoWindow::VideoWindow(QWidget* main_window)
    : QWidget(main_window, Qt::Window | Qt::FramelessWindowHint),
      show_message(ShowMessageBox),
      notify_(this),
      controller_(std::make_unique<MediaGraphController>(wire::kBlockSize, &graphs_)),
      frame_(LoadBitmap(Bitmap::VideoFrame)),
      idle_picture_(LoadBitmap(Bitmap::IdlePicture))
{
    setFixedSize(kWidth, kHeight);
    setAcceptDrops(true);
    setFocusPolicy(Qt::StrongFocus);
    notify_.resume = [this] { controller_->Run(); };
}

VideoWindow::~VideoWindow()
{
    // Graph and receive threads end while the window they report to is whole;
    // the receive threads reach the controller through notify_.resume.
    controller_->StopReception();
    controller_.reset();
}

int VideoWindow::StartPlayback()
{
    controller_->Stop();
    controller_->StopReception();
    if (controller_->StartReception(channel_, &notify_)) {
        RaiseUserInterfaceThread();
        return 1;
    }
    StopPlayback();
    PostToMain(kMsgStartFailed);
    if (show_message) show_message(this, kStartFailedText);
    return 0;
}

void VideoWindow::StopPlayback()
{
    controller_->Stop();
    controller_->StopReception();
}

bool VideoWindow::event(QEvent* event)
{
    if (event->type() != WindowMessage::EventType()) return QWidget::event(event);
    const auto* message = static_cast<const WindowMessage*>(event);
    HandleMessage(message->message(), message->wparam());
    return true;
}

void VideoWindow::HandleMessage(int message, uintptr_t wparam)
{
    switch (message) {
    case kMsgPosition: SendToMain(kMsgPosition, wparam); break;
    case kMsgRingHalfFull: StartGraph(); break;
    case kMsgRingEmpty: controller_->Pause(); break;
    case kMsgRestart:
        controller_->Stop();
        SendToMain(kMsgPosition, 0);
        break;
    case kMsgClose:
        StopPlayback();
        PostToMain(kMsgPosition, 0);
        break;
    case kMsgEndOfStream:
        controller_->Stop();
        PostToMain(kMsgPosition, 0);
        PostToMain(kMsgProgrammeEnd);
        break;
    case kMsgGraphFailed: RetuneAfterFailedGraph(); break;
    case kMsgRingNearlyFull: PostToMain(kMsgRingNearlyFull); break;
    default: break;
    }
}

// The main window holds its sender while the graph is built, so that the
// ring does not overflow meanwhile, and releases it afterwards either way.
void VideoWindow::StartGraph()
{
    SendToMain(kMsgHoldSender);
    if (!controller_->BuildAndRun({this, kAreaLeft, kAreaTop, kAreaRight, kAreaBottom}, true)) {
        RetuneAfterFailedGraph();
        return;
    }
    if (owner_) {
        owner_->ClearPositionHold();
        owner_->ApplyFullScreenChoice();
    }
    SendToMain(kMsgReleaseSender);
}

// Buffering starts over on the same channel: the ring is emptied and both
// receivers are started again.
void VideoWindow::RetuneAfterFailedGraph()
{
    StartPlayback();
    SendToMain(kMsgReleaseSender);
}

void VideoWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(rect(), frame_);
    painter.drawPixmap(QRect(kAreaLeft, kAreaTop, kIdleWidth, kIdleHeight), idle_picture_);
}

// Also reached from the renderer, which passes on the keys pressed over the
// picture, in full screen too.
void VideoWindow::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape: PostToMain(kMsgWindowMode); break;
    case Qt::Key_Return:
    case Qt::Key_Enter: PostToMain(kMsgFullScreen); break;
    default: QWidget::keyPressEvent(event); return;
    }
    event->accept();
}

std::unique_ptr<QMenu> VideoWindow::CreatePopupMenu()
{
    auto menu = std::make_unique<QMenu>(this);
    // Text after the tab is shown right-aligned, as a shortcut.
    menu->addAction(QStringLiteral("声道(&C)"))->setData(kCmdAudioChannel);
    menu->addAction(QStringLiteral("窗口模式(&W)\tEsc"))->setData(kCmdWindowMode);
    menu->addAction(QStringLiteral("全屏模式(&F)\tReturn"))->setData(kCmdFullScreen);
    return menu;
}

void VideoWindow::ShowPopupMenu(const QPoint& global_position)
{
    std::unique_ptr<QMenu> menu = CreatePopupMenu();
    if (QAction* chosen = menu->exec(global_position)) OnCommand(chosen->data().toInt());
}

void VideoWindow::OnCommand(int command)
{
    switch (command) {
    case kCmdAudioChannel:
        // Full-screen mode is left first, so that the dialog can be seen.
        PostToMain(kMsgWindowMode);
        controller_->ShowAudioDecoderPages();
        break;
    case kCmdWindowMode: PostToMain(kMsgWindowMode); break;
    case kCmdFullScreen: PostToMain(kMsgFullScreen); break;
    default: break;
    }
}

// Presses, moves and releases over the picture come from the renderer, in
// this window's coordinates.
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
    if (owner_) owner_->docking_flags() = ReleaseVideoWindow(owner_->docking_flags());
    event->accept();
}

void VideoWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging_) Drag(event->position().toPoint());
    event->accept();
}

void VideoWindow::Drag(const QPoint& pointer)
{
    if (!owner_ || !owner_->window()) return;
    DockingFlags& flags = owner_->docking_flags();
    const std::optional<DragOutcome> outcome =
        DragVideoWindow(ScreenRect(*owner_->window()), ScreenRect(*this), drag_anchor_, pointer, flags,
                        controller_->IsFullScreen());
    if (!outcome) return;
    flags = outcome->flags;
    move(outcome->video.topLeft());
}

void VideoWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (!LocalPaths(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void VideoWindow::dropEvent(QDropEvent* event)
{
    const QStringList paths = LocalPaths(event->mimeData());
    if (paths.isEmpty()) return;
    SendToMain(kMsgDropFiles, reinterpret_cast<uintptr_t>(&paths));
    event->acceptProposedAction();
}

void VideoWindow::closeEvent(QCloseEvent* event) { event->ignore(); }

void VideoWindow::PostToMain(int message, uintptr_t wparam)
{
    if (owner_ && owner_->window()) WindowMessage::Post(owner_->window(), message, wparam);
}

void VideoWindow::SendToMain(int message, uintptr_t wparam)
{
    if (owner_ && owner_->window()) WindowMessage::Send(owner_->window(), message, wparam);
}

}  // namespace kinoverd
