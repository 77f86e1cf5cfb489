// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_window.h"

#include <QCloseEvent>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QSignalBlocker>
#include <QToolTip>

#include <filesystem>
#include <system_error>

#include "app/channel_list_dialog.h"
#include "app/disc_images.h"
#include "app/file_names.h"
#include "app/video_cd_scanner.h"
#include "app/video_window.h"
#include "app/window_support.h"
#include "controls/about_dialog.h"
#include "controls/hover_bitmap_button.h"
#include "controls/link_label.h"
#include "controls/message_box.h"
#include "controls/skin_slider.h"
#include "resources/bitmap_resource.h"
#include "station/station.h"

namespace kinoverd {

const QString MainWindow::kHomePage = QStringLiteral("https://kinoverd.example/");

namespace {

constexpr QRect kSkinRect(0, 0, 484, 120);
constexpr QSize kButtonFrame(44, 24);
constexpr int kLabelFontPixels = 11;

// Menus and modal dialogs (a message box, the file dialog) run event loops
// of their own, which would keep the player alive behind its closed
// windows: each goes, so that its loop returns.
void CloseMenusAndDialogs()
{
    while (QWidget* popup = QApplication::activePopupWidget()) {
        popup->close();
        if (QApplication::activePopupWidget() == popup) break;
    }
    while (QWidget* modal = QApplication::activeModalWidget()) {
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        if (QApplication::activeModalWidget() == modal) break;
    }
}

}  // namespace

MainWindow::MainWindow(Station& station)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
      station_(station),
      skin_(LoadBitmap(Bitmap::MainSkin)),
      status_pane_(InfoPanePainter::StatusPane()),
      media_pane_(InfoPanePainter::MediaPane()),
      file_chooser_([this] { return QFileDialog::getOpenFileNames(this); }),
      message_box_([this](const QString& text) { ShowMessageBox(this, text); }),
      video_cd_scanner_(std::make_unique<VideoCdScanner>())
{
    setWindowTitle(QStringLiteral("胶片花园"));
    setWindowIcon(LoadProgramIcon());
    setAcceptDrops(true);
    video_window_ = new VideoWindow(this, docking_);
    station_.SetPicturePlace(video_window_, kVideoArea);
    CreateControls();
    SetToolTips();
    ConnectStation();
    PlaceWindows();
    status_text_ = Station::kReadyText;
    media_text_ = Station::kNoMediaText;
}

MainWindow::~MainWindow()
{
    // The graph's picture lives in the video window.
    station_.Stop();
    delete video_window_;
}

// ---- Controls ----

HoverBitmapButton* MainWindow::AddButton(Control control, const QString& caption, Bitmap frames)
{
    auto* button = new HoverBitmapButton(caption, this);
    button->setGeometry(PlaceOf(control));
    button->LoadFrameStrip(frames, kButtonFrame);
    controls_[control] = button;
    return button;
}

// The two toggles show a picture instead of their caption.
HoverBitmapButton* MainWindow::AddToggle(Control control, const QString& name, QPixmap* off,
                                         QPixmap* on, Bitmap off_bitmap, Bitmap on_bitmap)
{
    auto* toggle = new HoverBitmapButton(QString(), this);
    toggle->setGeometry(PlaceOf(control));
    toggle->setAccessibleName(name);
    toggle->setCheckable(true);
    *off = LoadBitmap(off_bitmap);
    *on = LoadBitmap(on_bitmap);
    toggle->setIconSize(kButtonFrame);
    toggle->setIcon(*off);
    connect(toggle, &QAbstractButton::toggled, toggle,
            [toggle, off, on](bool checked) { toggle->setIcon(checked ? *on : *off); });
    controls_[control] = toggle;
    return toggle;
}

SkinSlider* MainWindow::AddSlider(Control control)
{
    auto* slider = new SkinSlider(this);
    slider->setGeometry(PlaceOf(control));
    slider->LoadSkinBitmaps(Bitmap::SliderTexture, Bitmap::SliderTexture);
    slider->SetBackgroundBitmap(&skin_);
    controls_[control] = slider;
    return slider;
}

void MainWindow::CreateControls()
{
    // The hidden Options and Internet buttons keep their menus.
    auto* options = AddButton(Control::Options, QStringLiteral("选项"), Bitmap::FileButton);
    options->hide();
    auto* internet = AddButton(Control::Internet, QStringLiteral("Internet"), Bitmap::FileButton);
    internet->hide();
    auto* file = AddButton(Control::File, QStringLiteral("文件"), Bitmap::FileButton);
    auto* disc = AddButton(Control::Disc, QStringLiteral("影碟"), Bitmap::DiscButton);
    auto* stop = AddButton(Control::Stop, QStringLiteral("停止"), Bitmap::StopButton);
    auto* exit = AddButton(Control::Exit, QStringLiteral("退出"), Bitmap::ExitButton);
    auto* about = AddButton(Control::About, QStringLiteral("关于"), Bitmap::AboutButton);
    auto* channel = AddButton(Control::Channel, QStringLiteral("声道"), Bitmap::ChannelButton);
    channel->setEnabled(false);
    full_screen_toggle_ = AddToggle(Control::FullScreen, QStringLiteral("全屏"), &full_screen_off_image_,
                                    &full_screen_on_image_, Bitmap::FullScreenOff, Bitmap::FullScreenOn);
    loop_toggle_ = AddToggle(Control::Loop, QStringLiteral("循环"), &loop_off_image_, &loop_on_image_,
                             Bitmap::LoopOff, Bitmap::LoopOn);

    auto* volume = AddSlider(Control::Volume);
    volume->setRange(volume_.GetMinimum(), volume_.GetMaximum());
    volume->setValue(volume_.GetVolume());
    // The user's moves set the volume at once; changes made elsewhere move
    // the slider without being written back.
    connect(volume, &QSlider::valueChanged, this, [this](int value) { volume_.SetVolume(value); });
    connect(&volume_, &MixerVolume::volumeChanged, volume, [volume](int value) {
        const QSignalBlocker quiet(volume);
        volume->setValue(value);
    });
    position_slider_ = AddSlider(Control::Position);
    position_slider_->setRange(0, Station::kPositionMaximum);

    auto* home_page = new LinkLabel(QStringLiteral("Kinoverd 2000.8"), this);
    home_page->setGeometry(PlaceOf(Control::HomePage));
    home_page->setAlignment(Qt::AlignCenter);
    // About the size of the layout's 8-point dialog font, so that the
    // credit fits its plate on the skin.
    QFont label_font = home_page->font();
    label_font.setPixelSize(kLabelFontPixels);
    home_page->setFont(label_font);
    home_page->Attach();
    home_page->SetLinkTarget(kHomePage);
    home_page->SetLinkColors(QColor(0, 0, 255), QColor(255, 0, 0), QColor(255, 0, 0));
    home_page->SetUnderlined(false);
    controls_[Control::HomePage] = home_page;

    connect(file, &QPushButton::clicked, this, &MainWindow::OnFile);
    connect(disc, &QPushButton::clicked, this, &MainWindow::OnDisc);
    connect(stop, &QPushButton::clicked, &station_, &Station::Stop);
    connect(exit, &QPushButton::clicked, this, &MainWindow::Exit);
    connect(about, &QPushButton::clicked, this, &MainWindow::OnAbout);
    connect(channel, &QPushButton::clicked, &station_, &Station::ShowAudioChannelDialog);
    connect(loop_toggle_, &QAbstractButton::toggled, &station_, &Station::SetLoop);
    connect(full_screen_toggle_, &QAbstractButton::clicked, this, &MainWindow::ApplyFullScreenChoice);

    auto* options_menu = options_menu_ = new QMenu(QStringLiteral("选项"), this);
    options_menu->addAction(QStringLiteral("收看频道...\t(&V)"), this, &MainWindow::OnWatch);
    options_menu->addAction(QStringLiteral("音频调节\t(&A)"), &station_, &Station::ShowAudioChannelDialog);
    options_menu->addSeparator();
    options_menu->addAction(QStringLiteral("使用帮助\t(&H)"));
    options_menu->addAction(QStringLiteral("关于....\t(&O)"), this, &MainWindow::OnAbout);
    options_menu->addSeparator();
    options_menu->addAction(QStringLiteral("退出\t(&X)"), this, &MainWindow::Exit);
    connect(options, &QPushButton::clicked, this, [this, options_menu, options] { ShowMenu(*options_menu, options); });
    auto* internet_menu = new QMenu(QStringLiteral("Internet"), this);
    internet_menu->addAction(QStringLiteral("下载新界面\t(&D)"))->setEnabled(false);
    internet_menu->addAction(QStringLiteral("Kinoverd主页\t(&H)"), home_page, &LinkLabel::OpenLink);
    connect(internet, &QPushButton::clicked, this, [this, internet_menu, internet] { ShowMenu(*internet_menu, internet); });

    // The position display freezes while the user works the slider; the
    // broadcast moves once, when the user is done with it, and the display
    // stays frozen until it plays from there.
    connect(position_slider_, &SkinSlider::gestureStarted, &station_, &Station::HoldPositionDisplay);
    connect(position_slider_, &SkinSlider::positionChosen, &station_, &Station::SeekToPercent);
    connect(position_slider_, &SkinSlider::gestureEnded, &station_, &Station::ReleasePositionDisplay);

    // Keys over the picture come from the renderer, which a mode switch
    // re-parents: switched once its key press has unwound.
    connect(video_window_, &VideoWindow::fullScreenRequested, this, [this] { SetFullScreen(true); },
            Qt::QueuedConnection);
    connect(video_window_, &VideoWindow::windowModeRequested, this, [this] { SetFullScreen(false); },
            Qt::QueuedConnection);
    connect(video_window_, &VideoWindow::audioChannelRequested, this, [this] {
        // Full-screen mode is left first, so that the dialog can be seen.
        SetFullScreen(false);
        station_.ShowAudioChannelDialog();
    });
    connect(video_window_, &VideoWindow::filesDropped, this, &MainWindow::PlayFiles);
    connect(video_window_, &VideoWindow::watchRequested, this, &MainWindow::OnWatch);

    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child != video_window_) child->installEventFilter(this);
    }
}

void MainWindow::SetToolTips()
{
    const std::pair<Control, const char*> tooltips[] = {
        {Control::Options, "音频属性,帮助,退出"},
        {Control::Internet, "访问Internet"},
        {Control::File, "播放文件"},
        {Control::Disc, "播放影碟"},
        {Control::FullScreen, "全屏观看"},
        {Control::Stop, "停止播放"},
        {Control::Volume, "调节音量"},
        {Control::Position, "当前播放位置"},
        {Control::Loop, "循环播放"},
        {Control::Exit, "退出"},
        {Control::Channel, "声道"},
        {Control::About, "关于"},
    };
    for (const auto& [control, text] : tooltips) controls_[control]->setToolTip(QString::fromUtf8(text));
}

void MainWindow::ConnectStation()
{
    connect(&station_, &Station::statusChanged, this, &MainWindow::ShowStatus);
    connect(&station_, &Station::mediaChanged, this, &MainWindow::ShowMedia);
    connect(&station_, &Station::positionChanged, position_slider_, [this](int percent) {
        if (!position_slider_->gesture_under_way()) position_slider_->setValue(percent);
    });
    connect(&station_, &Station::programmeRunningChanged, this, [this](bool running) {
        controls_[Control::File]->setEnabled(!running);
        controls_[Control::Disc]->setEnabled(!running);
    });
    connect(&station_, &Station::pictureChanged, this, [this](bool playing) {
        controls_[Control::Channel]->setEnabled(playing);
        if (playing) ApplyFullScreenChoice();
    });
    // Shown once the station's work is done, not in the middle of it.
    connect(&station_, &Station::errorOccurred, this, [this](const QString& text) { message_box_(text); },
            Qt::QueuedConnection);
}

// The video window is centred on the screen and lifted a little; this
// window sits directly under it, left edges aligned.
void MainWindow::PlaceWindows()
{
    QRect video = video_window_->frameGeometry();
    if (const QScreen* screen = video_window_->screen()) video.moveCenter(screen->availableGeometry().center());
    video_window_->move(video.left(), video.top() - kVideoWindowLift);
    video_window_->show();
    const QRect placed = video_window_->frameGeometry();
    setGeometry(placed.left(), placed.top() + placed.height(), kWidth, kHeight);
}

QWidget* MainWindow::control(Control control) const
{
    const auto found = controls_.find(control);
    return found == controls_.end() ? nullptr : found->second;
}

void MainWindow::set_video_cd_scanner(std::unique_ptr<VideoCdScanner> scanner)
{
    video_cd_scanner_ = std::move(scanner);
}

bool MainWindow::full_screen_chosen() const { return full_screen_toggle_->isChecked(); }

// ---- Commands ----

void MainWindow::OnFile()
{
    MediaPaths files;
    for (const QString& chosen : file_chooser_()) files << ChosenFilePath(chosen);
    if (!files.isEmpty()) station_.Play(ExpandDiscImages(files));
}

void MainWindow::OnDisc()
{
    MediaPaths tracks;
    for (const std::string& track : video_cd_scanner_->Scan()) tracks << MediaPath::fromStdString(track);
    if (!tracks.isEmpty()) station_.Play(tracks);
}

void MainWindow::PlayFiles(const MediaPaths& paths)
{
    MediaPaths files;
    QStringList folders;
    for (const MediaPath& path : paths) {
        std::error_code error;
        if (std::filesystem::is_directory(path.toStdString(), error))
            folders << DisplayName(path);
        else
            files << path;
    }
    if (!folders.isEmpty()) message_box_(QStringLiteral("不能播放文件夹:\n") + folders.join(QLatin1Char('\n')));
    if (files.isEmpty()) return;
    station_.Stop();
    station_.Play(ExpandDiscImages(files));
}

void MainWindow::Exit()
{
    station_.Stop();
    exiting_ = true;
    close();
    video_window_->hide();
    CloseMenusAndDialogs();
    emit finished();
}

void MainWindow::OnAbout()
{
    AboutDialog about(nullptr);
    about.exec();
}

void MainWindow::OnWatch()
{
    SetFullScreen(false);
    ChannelListDialog dialog(this);
    if (dialog.exec() == QDialog::Accepted && dialog.chosen_channel()) station_.Watch(*dialog.chosen_channel());
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event)
{
    options_menu_->exec(event->globalPos());
}

void MainWindow::ShowMenu(QMenu& menu, QWidget* under)
{
    menu.exec(under->mapToGlobal(QPoint(0, under->height())));
}

// ---- Full screen ----

void MainWindow::SetFullScreen(bool on)
{
    full_screen_toggle_->setChecked(on);
    ApplyFullScreenChoice();
}

void MainWindow::ApplyFullScreenChoice()
{
    station_.SetFullScreen(full_screen_toggle_->isChecked());
    video_window_->set_full_screen(station_.IsFullScreen());
}

// ---- Panes ----

void MainWindow::ShowStatus(const QString& text)
{
    status_text_ = text;
    repaint(status_pane_.PaintedRect(PlaceOf(Control::StatusPane)));
}

void MainWindow::ShowMedia(const QString& text)
{
    media_text_ = text;
    repaint(media_pane_.PaintedRect(PlaceOf(Control::MediaPane)));
}

void MainWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(rect(), skin_, kSkinRect);
    status_pane_.Paint(painter, PlaceOf(Control::StatusPane), status_text_);
    media_pane_.Paint(painter, PlaceOf(Control::MediaPane), media_text_);
}

bool MainWindow::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const QPoint at = static_cast<QHelpEvent*>(event)->pos();
        if (PlaceOf(Control::StatusPane).contains(at)) {
            QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), QStringLiteral("播放信息"), this);
            return true;
        }
        if (PlaceOf(Control::MediaPane).contains(at)) {
            QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), QStringLiteral("媒体文件名"), this);
            return true;
        }
        QToolTip::hideText();
    }
    return QWidget::event(event);
}

// ---- Keys, closing, dropping ----

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Escape: SetFullScreen(false); return true;
        case Qt::Key_Return:
        case Qt::Key_Enter: SetFullScreen(true); return true;
        default: break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (exiting_)
        event->accept();
    else
        event->ignore();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (!LocalPaths(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    const MediaPaths paths = LocalPaths(event->mimeData());
    if (paths.isEmpty()) return;
    event->acceptProposedAction();
    PlayFiles(paths);
}

// ---- Dragging and docking ----

void MainWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    drag_origin_ = event->position().toPoint();
    dragging_ = true;
}

void MainWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragging_) return QWidget::mouseMoveEvent(event);
    const QPoint pointer = event->position().toPoint();
    const DragOutcome outcome =
        DragMainWindow(frameGeometry(), video_window_->frameGeometry(), drag_origin_, pointer, docking_);
    docking_ = outcome.flags;
    move(outcome.main.topLeft());
    if (outcome.video_moves_along) video_window_->move(outcome.video.topLeft());
}

void MainWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !dragging_) return QWidget::mouseReleaseEvent(event);
    dragging_ = false;
    docking_ = ReleaseMainWindow(docking_);
}

}  // namespace kinoverd
