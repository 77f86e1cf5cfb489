#include "app/player_dlg.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QUrl>

#include <algorithm>

#include "app/disc_images.h"
#include "app/video_cd_scanner.h"
#include "broadcast/broadcaster.h"
#include "broadcast/free_channel_probe.h"
#include "broadcast/notify_target.h"
#include "controls/about_dialog.h"
#include "disc/disc_track.h"
#include "controls/hover_bitmap_button.h"
#include "controls/link_label.h"
#include "controls/skin_slider.h"
#include "playback/media_graph_controller.h"
#include "playback/video_window.h"
#include "playback/window_message.h"
#include "playback/window_support.h"
#include "resources/bitmap_resource.h"

namespace kinoverd {

const QString CPlayerDlg::kHomePage = QStringLiteral("https://kinoverd.example/");
const QString CPlayerDlg::kNoFreeChannelText = QStringLiteral("没有空闲的频道.");

namespace {

constexpr int kProgramIcon = 128;
constexpr int kSkinBitmap = 185;
constexpr QRect kSkinRect(0, 0, 484, 120);
constexpr int kFullScreenOffBitmap = 180;
constexpr int kFullScreenOnBitmap = 181;
constexpr int kLoopOffBitmap = 182;
constexpr int kLoopOnBitmap = 183;
constexpr int kSliderTextureBitmap = 146;
constexpr int kFrameWidth = 44;
constexpr int kFrameHeight = 24;
constexpr int kPositionSliderMaximum = 99;
constexpr int kLabelFontPixels = 11;

const QString kReadyText = QStringLiteral("ready");
const QString kOpenText = QStringLiteral("open ... ");
const QString kConnectText = QStringLiteral("connect ...");
const QString kTheEndText = QStringLiteral("the end");
const QString kNoMediaText = QStringLiteral("no media");

// A rectangle of the window's layout, given in dialog units, in pixels:
// 1.5 across and 1.625 down, cut to whole pixels as the skin was drawn.
constexpr QRect FromDialogUnits(int x, int y, int width, int height)
{
    return QRect(x * 3 / 2, y * 13 / 8, width * 3 / 2, height * 13 / 8);
}

// Hours, minutes and seconds each take at least two digits.
QString TwoDigits(uint32_t value)
{
    return value < 10 ? QStringLiteral("0") + QString::number(value) : QString::number(value);
}

QString ElapsedTimeText(uint32_t position)
{
    const uint32_t seconds = position / CPlayerDlg::kBytesPerSecond;
    return TwoDigits(seconds / 3600) + QLatin1Char(':') + TwoDigits(seconds % 3600 / 60) +
           QLatin1Char(':') + TwoDigits(seconds % 60);
}

// Paths go to the file system in its own encoding.
std::string FileSystemPath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

}  // namespace

CPlayerDlg::CPlayerDlg()
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
      broadcast_notify_(this),
      status_pane_(InfoPanePainter::StatusPane()),
      media_pane_(InfoPanePainter::MediaPane()),
      file_chooser_([this] { return QFileDialog::getOpenFileNames(this); }),
      message_box_([this](const QString& text) { ShowMessageBox(this, text); }),
      channel_finder_([] { return FreeChannelProbe(kBlockSize).FindFreeChannel(); }),
      video_cd_scanner_(std::make_unique<VideoCdScanner>())
{
    setAcceptDrops(true);
    video_window_ = new VideoWindow(this);
    CreateControls();
    OnInitDialog();
}

CPlayerDlg::~CPlayerDlg()
{
    video_window_->StopPlayback();
    StopBroadcaster(BroadcastStop::kClose);
    delete video_window_;
}

void CPlayerDlg::CreateControls()
{
    auto button = [this](int id, const QString& text, QRect place) {
        auto* created = new CHoverBitmapButton(text, this);
        created->setGeometry(place);
        controls_[id] = created;
        return created;
    };
    auto slider = [this](int id, QRect place) {
        auto* created = new CSkinSlider(this);
        created->setGeometry(place);
        controls_[id] = created;
        return created;
    };
    // A pane's place only: the window paints the pane itself.
    auto pane_place = [this](int id, QRect place) {
        auto* created = new QWidget(this);
        created->setGeometry(place);
        created->hide();
        controls_[id] = created;
        return created;
    };

    options_button_ = button(kOptionsButton, QStringLiteral("选项"), FromDialogUnits(5, 0, 6, 6));
    options_button_->hide();
    file_button_ = button(kFileButton, QStringLiteral("文件"), FromDialogUnits(13, 57, 29, 16));
    stop_button_ = button(kStopButton, QStringLiteral("停止"), FromDialogUnits(77, 57, 29, 16));
    disc_button_ = button(kDiscButton, QStringLiteral("影碟"), FromDialogUnits(45, 57, 29, 16));
    internet_button_ = button(kInternetButton, QStringLiteral("Internet"), FromDialogUnits(12, 0, 6, 6));
    internet_button_->hide();
    volume_slider_ = slider(kVolumeSlider, FromDialogUnits(140, 27, 128, 14));
    position_slider_ = slider(kPositionSlider, FromDialogUnits(9, 42, 300, 14));
    exit_button_ = button(kExitButton, QStringLiteral("退出"), FromDialogUnits(109, 57, 29, 16));
    channel_button_ = button(kChannelButton, QStringLiteral("声道"), FromDialogUnits(273, 26, 29, 16));
    // The two toggles show a picture instead of their caption.
    loop_toggle_ = button(kLoopToggle, QString(), FromDialogUnits(205, 57, 29, 16));
    loop_toggle_->setAccessibleName(QStringLiteral("循环"));
    loop_toggle_->setCheckable(true);
    full_screen_toggle_ = button(kFullScreenToggle, QString(), FromDialogUnits(173, 57, 29, 16));
    full_screen_toggle_->setAccessibleName(QStringLiteral("全屏"));
    full_screen_toggle_->setCheckable(true);
    home_page_label_ = new CLinkLabel(QStringLiteral("Kinoverd 2000.8"), this);
    home_page_label_->setGeometry(FromDialogUnits(237, 61, 68, 10));
    home_page_label_->setAlignment(Qt::AlignCenter);
    // About the size of the layout's 8-point dialog font, so that the
    // credit fits its plate on the skin.
    QFont label_font = home_page_label_->font();
    label_font.setPixelSize(kLabelFontPixels);
    home_page_label_->setFont(label_font);
    controls_[kHomePageLabel] = home_page_label_;
    status_pane_place_ = pane_place(kStatusPane, FromDialogUnits(13, 3, 125, 37));
    media_pane_place_ = pane_place(kMediaPane, FromDialogUnits(143, 3, 163, 21));
    about_button_ = button(kAboutButton, QStringLiteral("关于"), FromDialogUnits(141, 57, 29, 16));
    home_page_label_->Attach();

    connect(options_button_, &QPushButton::clicked, this, &CPlayerDlg::OnOptions);
    connect(internet_button_, &QPushButton::clicked, this, &CPlayerDlg::OnInternet);
    connect(exit_button_, &QPushButton::clicked, this, &CPlayerDlg::OnExit);
    connect(about_button_, &QPushButton::clicked, this, &CPlayerDlg::OnAbout);
    connect(file_button_, &QPushButton::clicked, this, &CPlayerDlg::OnFile);
    connect(disc_button_, &QPushButton::clicked, this, &CPlayerDlg::OnDisc);
    connect(stop_button_, &QPushButton::clicked, this, &CPlayerDlg::OnStop);
    connect(channel_button_, &QPushButton::clicked, this, &CPlayerDlg::OnChannel);
    connect(loop_toggle_, &QPushButton::clicked, this, &CPlayerDlg::OnLoop);
    connect(full_screen_toggle_, &QPushButton::clicked, this, &CPlayerDlg::ApplyFullScreenChoice);

    // The position display freezes while the user works the slider; the
    // broadcast moves when the user lets go of it.
    connect(position_slider_, &QSlider::sliderPressed, this, [this] { position_hold_ = true; });
    connect(position_slider_, &QSlider::actionTriggered, this, [this](int action) {
        const bool end_track = action != QAbstractSlider::SliderNoAction && !position_slider_->isSliderDown();
        OnPositionScroll(end_track, position_slider_->sliderPosition());
    });
    connect(position_slider_, &QSlider::sliderReleased, this,
            [this] { OnPositionScroll(true, position_slider_->value()); });

    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child != video_window_) child->installEventFilter(this);
    }
}

void CPlayerDlg::OnInitDialog()
{
    setWindowIcon(LoadIconResource(kProgramIcon));
    skin_ = LoadBitmapResource(kSkinBitmap);

    file_button_->LoadFrameStrip(151, kFrameWidth, kFrameHeight);
    disc_button_->LoadFrameStrip(176, kFrameWidth, kFrameHeight);
    exit_button_->LoadFrameStrip(177, kFrameWidth, kFrameHeight);
    stop_button_->LoadFrameStrip(143, kFrameWidth, kFrameHeight);
    about_button_->LoadFrameStrip(174, kFrameWidth, kFrameHeight);
    channel_button_->LoadFrameStrip(175, kFrameWidth, kFrameHeight);

    full_screen_off_image_ = LoadBitmapResource(kFullScreenOffBitmap);
    full_screen_on_image_ = LoadBitmapResource(kFullScreenOnBitmap);
    full_screen_toggle_->setIconSize(QSize(kFrameWidth, kFrameHeight));
    full_screen_toggle_->setIcon(full_screen_off_image_);
    loop_off_image_ = LoadBitmapResource(kLoopOffBitmap);
    loop_on_image_ = LoadBitmapResource(kLoopOnBitmap);
    loop_toggle_->setIconSize(QSize(kFrameWidth, kFrameHeight));
    loop_toggle_->setIcon(loop_off_image_);

    volume_slider_->setRange(volume_.GetMinimum(), volume_.GetMaximum());
    volume_slider_->setValue(volume_.GetVolume());
    volume_slider_->LoadSkinBitmaps(kSliderTextureBitmap, kSliderTextureBitmap);
    volume_slider_->SetBackgroundBitmap(&skin_);
    // Any change by the user sets the volume at once.
    connect(volume_slider_, &QSlider::valueChanged, this, [this](int value) { volume_.SetVolume(value); });

    position_slider_->setRange(0, kPositionSliderMaximum);
    position_slider_->LoadSkinBitmaps(kSliderTextureBitmap, kSliderTextureBitmap);
    position_slider_->SetBackgroundBitmap(&skin_);

    PlaceWindows();
    docking_ = DockingFlags{true, true, true};

    const std::pair<QWidget*, const char*> tooltips[] = {
        {options_button_, "音频属性,帮助,退出"},
        {internet_button_, "访问Internet"},
        {file_button_, "播放文件"},
        {disc_button_, "播放影碟"},
        {full_screen_toggle_, "全屏观看"},
        {stop_button_, "停止播放"},
        {volume_slider_, "调节音量"},
        {position_slider_, "当前播放位置"},
        {loop_toggle_, "循环播放"},
        {status_pane_place_, "播放信息"},
        {media_pane_place_, "媒体文件名"},
        {exit_button_, "退出"},
        {channel_button_, "声道"},
        {about_button_, "关于"},
    };
    for (const auto& [control, text] : tooltips) control->setToolTip(QString::fromUtf8(text));

    setWindowTitle(QStringLiteral("胶片花园"));
    channel_button_->setEnabled(false);
    position_hold_ = true;
    position_slider_->setValue(0);
    status_text_ = kReadyText;
    media_text_ = kNoMediaText;

    home_page_label_->SetLinkTarget(kHomePage);
    home_page_label_->SetLinkColors(QColor(0, 0, 255), QColor(255, 0, 0), QColor(255, 0, 0));
    home_page_label_->SetUnderlined(false);
}

// The video window is centred on the screen and lifted a little; this
// window sits directly under it, left edges aligned.
void CPlayerDlg::PlaceWindows()
{
    video_window_->SetMainWindow(this);
    QRect video = video_window_->frameGeometry();
    if (const QScreen* screen = video_window_->screen()) video.moveCenter(screen->availableGeometry().center());
    video_window_->move(video.left(), video.top() - kVideoWindowLift);
    video_window_->show();

    const WindowRect placed = ScreenRect(*video_window_);
    setGeometry(placed.left, placed.bottom, kWidth, kHeight);
}

QWidget* CPlayerDlg::control(int id) const
{
    const auto found = controls_.find(id);
    return found == controls_.end() ? nullptr : found->second;
}

QRect CPlayerDlg::PaneRect(int pane) const
{
    const QWidget* place = pane == kStatusPane ? status_pane_place_ : media_pane_place_;
    return place->geometry();
}

void CPlayerDlg::set_video_cd_scanner(std::unique_ptr<VideoCdScanner> scanner)
{
    video_cd_scanner_ = std::move(scanner);
}

// ---- Private messages ----

bool CPlayerDlg::event(QEvent* event)
{
    if (event->type() != WindowMessage::EventType()) return QWidget::event(event);
    const auto* message = static_cast<const WindowMessage*>(event);
    HandleMessage(message->message(), message->wparam());
    return true;
}

void CPlayerDlg::HandleMessage(int message, uintptr_t wparam)
{
    switch (message) {
    case kMsgPosition: ShowPosition(uint32_t(wparam)); break;
    case kMsgStartFailed: StopBroadcaster(BroadcastStop::kRestart); break;
    case kMsgHoldSender:
        if (broadcaster_) broadcaster_->HoldSend();
        break;
    case kMsgReleaseSender:
        if (broadcaster_) broadcaster_->ReleaseSend();
        channel_button_->setEnabled(true);
        break;
    case kMsgProgrammeEnd: OnEndOfProgramme(); break;
    case kMsgRingNearlyFull:
        if (broadcaster_) broadcaster_->HoldSendFor500ms();
        break;
    case kMsgFullScreen: SwitchToFullScreen(); break;
    case kMsgWindowMode: SwitchToWindowMode(); break;
    case kMsgDropFiles:
        // The list lives only while the sender waits: copy it.
        PlayDroppedFiles(QStringList(*reinterpret_cast<const QStringList*>(wparam)));
        break;
    case kMsgBroadcastEnded: OnBroadcastEnded(); break;
    default: break;
    }
}

void CPlayerDlg::ShowPosition(uint32_t position)
{
    if (position_hold_) return;
    SetStatusText(ElapsedTimeText(position));
    RepaintStatusPane();
    const uint32_t total = video_window_->controller().TotalSize();
    const double percent = total == 0 ? 0.0 : double(position) / total * 100.0;
    position_slider_->setValue(int(std::min(percent, double(kPositionSliderMaximum))));
}

void CPlayerDlg::OnEndOfProgramme()
{
    position_hold_ = true;
    position_slider_->setValue(0);
    if (!play_list_.HasPending()) {
        ReadToggles();
        if (loop_flag_) play_list_.Rewind();
    }
    StopBroadcaster(BroadcastStop::kQuiet);
    if (play_list_.HasPending()) {
        // Same channel: the receivers are still tuned to it.
        TakeNextFile();
        if (CreateBroadcaster(video_window_->channel())) broadcaster_->Run();
        return;
    }
    SetStatusText(kTheEndText);
    SetMediaText(kNoMediaText);
    RepaintStatusPane();
    RepaintMediaPane();
    EnableFileAndDisc(true);
}

void CPlayerDlg::OnBroadcastEnded()
{
    // Only the broadcaster that has sent its whole stream is done. A report
    // still queued from the one a new programme replaced, or from before a
    // seek restarted this one, must not end the broadcast running now.
    if (broadcaster_ && broadcaster_->sent_position() >= broadcaster_->stream_length())
        StopBroadcaster(BroadcastStop::kQuiet);
    // A file or disc that could not be read to its end ended the data early.
    if (broadcaster_ && !broadcaster_->read_error().empty()) {
        const std::string reason = broadcaster_->read_error();
        StopBroadcaster(BroadcastStop::kQuiet);
        ShowFileError(reason);
    }
}

void CPlayerDlg::OnPositionScroll(bool end_track, int position)
{
    position_hold_ = true;
    if (!end_track || !broadcaster_) return;
    const auto offset = uint32_t(double(broadcaster_->stream_length()) * position * 0.01);
    broadcaster_->StopAndRestart();
    const bool started = broadcaster_->Start(offset);
    if (started) broadcaster_->Run();
    SetStatusText(kConnectText);
    RepaintStatusPane();
    // The broadcaster stays, sending nothing, until the user acts.
    if (!started) ShowFileError(broadcaster_->error());
}

// ---- Programmes ----

void CPlayerDlg::OnFile()
{
    const QStringList files = file_chooser_();
    if (files.isEmpty()) return;
    StartProgramme(files);
}

void CPlayerDlg::OnDisc()
{
    QStringList tracks;
    for (const std::string& track : video_cd_scanner_->Scan()) tracks << QFile::decodeName(track.c_str());
    if (tracks.isEmpty()) return;
    StartProgramme(tracks);
}

void CPlayerDlg::PlayDroppedFiles(const QStringList& paths)
{
    QStringList files;
    QStringList folders;
    for (const QString& path : paths) (QFileInfo(path).isDir() ? folders : files) << path;
    if (!folders.isEmpty())
        message_box_(QStringLiteral("不能播放文件夹:\n") + folders.join(QLatin1Char('\n')));
    if (files.isEmpty()) return;
    StopProgramme();
    StartProgramme(files);
}

void CPlayerDlg::StartProgramme(const QStringList& paths)
{
    EnableFileAndDisc(false);
    // This station stops listening before the old broadcast's close packets
    // go out: heard late, they would end the new programme.
    video_window_->StopPlayback();
    StopBroadcaster(BroadcastStop::kClose);
    play_list_.Set(ExpandDiscImages(paths));
    TakeNextFile();
    BroadcastCurrentFile();
}

void CPlayerDlg::TakeNextFile()
{
    current_file_ = play_list_.TakeNext();
    SetStatusText(kOpenText);
    SetMediaText(current_file_);
    RepaintStatusPane();
    RepaintMediaPane();
}

void CPlayerDlg::BroadcastCurrentFile()
{
    StopBroadcaster(BroadcastStop::kClose);
    const int channel = channel_finder_();
    if (channel < 0) {
        message_box_(kNoFreeChannelText);
        return;
    }
    if (!CreateBroadcaster(channel)) return;
    // Tuned in before the first packet goes out.
    video_window_->set_channel(channel);
    video_window_->StartPlayback();
    // A failed tuning has shown its message, and 8118 may have taken the
    // broadcaster away meanwhile.
    if (broadcaster_) broadcaster_->Run();
}

bool CPlayerDlg::CreateBroadcaster(int channel)
{
    static const DiscTrackOpener disc_tracks;
    broadcaster_ = std::make_unique<Broadcaster>(FileSystemPath(current_file_), channel, kBlockSize,
                                                 &broadcast_notify_, &disc_tracks);
    if (broadcaster_->Start(0)) return true;
    const std::string reason = broadcaster_->error();
    broadcaster_.reset();
    ShowFileError(reason);
    return false;
}

void CPlayerDlg::StopBroadcaster(BroadcastStop how)
{
    if (!broadcaster_) return;
    switch (how) {
    case BroadcastStop::kClose: broadcaster_->StopAndClose(); break;
    case BroadcastStop::kRestart: broadcaster_->StopAndRestart(); break;
    case BroadcastStop::kQuiet: broadcaster_->StopQuietly(); break;
    }
    broadcaster_.reset();
}

void CPlayerDlg::ShowFileError(const std::string& reason)
{
    message_box_(QString::fromLatin1(Broadcaster::kFileErrorText) + QLatin1Char('\n') +
                 QString::fromStdString(reason));
}

void CPlayerDlg::StopProgramme()
{
    video_window_->StopPlayback();
    StopBroadcaster(BroadcastStop::kClose);
    EnableFileAndDisc(true);
    channel_button_->setEnabled(false);
    position_hold_ = true;
    position_slider_->setValue(0);
    SetStatusText(kReadyText);
    RepaintStatusPane();
}

void CPlayerDlg::OnExit()
{
    StopProgramme();
    exiting_ = true;
    close();
    video_window_->hide();
    emit finished();
}

void CPlayerDlg::OnChannel()
{
    video_window_->controller().ShowAudioDecoderPages();
}

void CPlayerDlg::OnAbout()
{
    CAboutDialog about(nullptr);
    about.exec();
}

// ---- Toggles ----

void CPlayerDlg::ReadToggles()
{
    full_screen_choice_ = full_screen_toggle_->isChecked() ? 1 : 0;
    loop_flag_ = loop_toggle_->isChecked() ? 1 : 0;
}

void CPlayerDlg::WriteToggles()
{
    full_screen_toggle_->setChecked(full_screen_choice_ != 0);
    loop_toggle_->setChecked(loop_flag_ != 0);
}

void CPlayerDlg::ApplyFullScreenChoice()
{
    ReadToggles();
    video_window_->controller().SetFullScreen(full_screen_choice_);
    full_screen_toggle_->setIcon(full_screen_choice_ ? full_screen_on_image_ : full_screen_off_image_);
}

void CPlayerDlg::SwitchToFullScreen()
{
    full_screen_choice_ = 1;
    WriteToggles();
    ApplyFullScreenChoice();
}

void CPlayerDlg::SwitchToWindowMode()
{
    full_screen_choice_ = 0;
    WriteToggles();
    ApplyFullScreenChoice();
}

void CPlayerDlg::OnLoop()
{
    // Only shown now: the flag is read again when the list runs out.
    ReadToggles();
    loop_toggle_->setIcon(loop_flag_ ? loop_on_image_ : loop_off_image_);
}

// ---- Menus of the hidden Options and Internet buttons ----

std::unique_ptr<QMenu> CPlayerDlg::CreatePopupMenu(int menu)
{
    auto popup = std::make_unique<QMenu>(this);
    auto add = [&popup](int command, const char* text) {
        QAction* action = popup->addAction(QString::fromUtf8(text));
        action->setData(command);
        return action;
    };
    if (menu == kOptionsMenu) {
        popup->setTitle(QStringLiteral("选项"));
        add(32773, "音频调节\t(&A)");
        popup->addSeparator();
        add(32774, "使用帮助\t(&H)");
        connect(add(kAboutButton, "关于....\t(&O)"), &QAction::triggered, this, &CPlayerDlg::OnAbout);
        popup->addSeparator();
        connect(add(kExitButton, "退出\t(&X)"), &QAction::triggered, this, &CPlayerDlg::OnExit);
    } else {
        popup->setTitle(QStringLiteral("Internet"));
        add(32771, "下载新界面\t(&D)")->setEnabled(false);
        add(32772, "Kinoverd主页\t(&H)");
    }
    return popup;
}

void CPlayerDlg::OnOptions()
{
    CreatePopupMenu(kOptionsMenu)->exec(options_button_->mapToGlobal(QPoint(0, options_button_->height())));
}

void CPlayerDlg::OnInternet()
{
    CreatePopupMenu(kInternetMenu)->exec(internet_button_->mapToGlobal(QPoint(0, internet_button_->height())));
}

// ---- Panes ----

void CPlayerDlg::SetStatusText(const QString& text)
{
    status_text_ = text;
}

void CPlayerDlg::SetMediaText(const QString& text)
{
    media_text_ = text;
}

void CPlayerDlg::RepaintStatusPane()
{
    repaint(status_pane_.PaintedRect(PaneRect(kStatusPane)));
}

void CPlayerDlg::RepaintMediaPane()
{
    repaint(media_pane_.PaintedRect(PaneRect(kMediaPane)));
}

void CPlayerDlg::EnableFileAndDisc(bool enable)
{
    disc_button_->setEnabled(enable);
    file_button_->setEnabled(enable);
}

void CPlayerDlg::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(rect(), skin_, kSkinRect);
    status_pane_.Paint(painter, PaneRect(kStatusPane), status_text_);
    media_pane_.Paint(painter, PaneRect(kMediaPane), media_text_);
}

// ---- Keys, closing, dropping ----

bool CPlayerDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Escape: SwitchToWindowMode(); return true;
        case Qt::Key_Return:
        case Qt::Key_Enter: SwitchToFullScreen(); return true;
        default: break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CPlayerDlg::closeEvent(QCloseEvent* event)
{
    if (exiting_)
        event->accept();
    else
        event->ignore();
}

void CPlayerDlg::dragEnterEvent(QDragEnterEvent* event)
{
    if (!LocalPaths(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void CPlayerDlg::dropEvent(QDropEvent* event)
{
    const QStringList paths = LocalPaths(event->mimeData());
    if (paths.isEmpty()) return;
    event->acceptProposedAction();
    PlayDroppedFiles(paths);
}

// ---- Dragging and docking ----

void CPlayerDlg::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    drag_origin_ = event->position().toPoint();
    dragging_ = true;
}

void CPlayerDlg::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragging_) return QWidget::mouseMoveEvent(event);
    const QPoint pointer = event->position().toPoint();
    const DragOutcome outcome =
        DragMainWindow(ScreenRect(*this), ScreenRect(*video_window_), {drag_origin_.x(), drag_origin_.y()},
                       {pointer.x(), pointer.y()}, docking_);
    docking_ = outcome.flags;
    move(outcome.main.left, outcome.main.top);
    if (outcome.video_moves_along) video_window_->move(outcome.video.left, outcome.video.top);
}

void CPlayerDlg::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !dragging_) return QWidget::mouseReleaseEvent(event);
    dragging_ = false;
    docking_ = ReleaseMainWindow(docking_);
}

}  // namespace kinoverd
