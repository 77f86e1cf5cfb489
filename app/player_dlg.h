// The player's main window: a frameless skin with the playback buttons, the
// volume and position sliders and two information panes, docked under the
// video window it owns. It runs a programme (a list of files) as a sequence
// of broadcasts on one free channel of the network, which the video window
// receives back and plays, and it answers the private window messages of
// the video window and of the broadcaster.
#pragma once

#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "app/info_pane_painter.h"
#include "app/play_list.h"
#include "app/window_docking.h"
#include "playback/mixer_volume.h"
#include "playback/video_window_owner.h"
#include "playback/window_notify_target.h"

class QMenu;

namespace kinoverd {

class Broadcaster;
class HoverBitmapButton;
class LinkLabel;
class SkinSlider;
class VideoCdScanner;
class VideoWindow;

class CPlayerDlg : public QWidget, public VideoWindowOwner {
    Q_OBJECT

public:
    // The controls, by their ids; control(id) finds them.
    enum ControlId : int {
        kOptionsButton = 1009,
        kFileButton = 1010,
        kStopButton = 1011,
        kInternetButton = 1012,
        kFullScreenToggle = 1013,
        kDiscButton = 1014,
        kVolumeSlider = 1015,
        kPositionSlider = 1018,
        kChannelButton = 1021,
        kLoopToggle = 1024,
        kStatusPane = 1025,
        kMediaPane = 1026,
        kHomePageLabel = 1027,
        kAboutButton = 32775,
        kExitButton = 32776,
    };
    // The popup menus of the Options and Internet buttons.
    static constexpr int kOptionsMenu = 149;
    static constexpr int kInternetMenu = 148;

    static constexpr int kWidth = 485;
    static constexpr int kHeight = 120;
    // The video window starts this far above the centre of the screen.
    static constexpr int kVideoWindowLift = 90;
    static constexpr uint32_t kBlockSize = 2048;
    // The elapsed time assumes this rate, whatever the file's real one.
    static constexpr uint32_t kBytesPerSecond = 153600;

    static const QString kHomePage;
    static const QString kNoFreeChannelText;

    // Replaceable for tests: the files the user picks to play (empty when
    // cancelled), a failure shown to the user, and the free-channel search.
    using FileChooser = std::function<QStringList()>;
    using MessageBoxFunction = std::function<void(const QString& text)>;
    using ChannelFinder = std::function<int()>;

    // Builds the window and its controls, creates the video window, shows it
    // centred above the middle of the screen and places this window under
    // it; the caller shows this window.
    CPlayerDlg();
    // Stops the video window and any broadcast (with its close packets),
    // then deletes the video window.
    ~CPlayerDlg() override;
    CPlayerDlg(const CPlayerDlg&) = delete;
    CPlayerDlg& operator=(const CPlayerDlg&) = delete;

    // VideoWindowOwner
    QWidget* window() override { return this; }
    DockingFlags& docking_flags() override { return docking_; }
    void ClearPositionHold() override { position_hold_ = false; }
    void ApplyFullScreenChoice() override;

    // The commands.
    void OnFile();
    void OnDisc();
    void OnStop() { StopProgramme(); }
    // Stops the programme and closes the window for good; finished() follows.
    void OnExit();
    void OnChannel();
    void OnAbout();
    void OnLoop();
    void OnOptions();
    void OnInternet();
    // Files dropped on either window or named on the command line: stops
    // the programme and plays them. Folders are refused with a message.
    void PlayDroppedFiles(const QStringList& paths);
    void StopProgramme();
    void SwitchToFullScreen();
    void SwitchToWindowMode();

    // Menu 148 or 149; each action's data() is its command id.
    std::unique_ptr<QMenu> CreatePopupMenu(int menu);

    void set_file_chooser(FileChooser chooser) { file_chooser_ = std::move(chooser); }
    void set_message_box(MessageBoxFunction message_box) { message_box_ = std::move(message_box); }
    void set_channel_finder(ChannelFinder finder) { channel_finder_ = std::move(finder); }
    void set_video_cd_scanner(std::unique_ptr<VideoCdScanner> scanner);

    const QString& status_text() const { return status_text_; }
    const QString& media_text() const { return media_text_; }
    const QString& current_file() const { return current_file_; }
    const PlayList& play_list() const { return play_list_; }
    Broadcaster* broadcaster() const { return broadcaster_.get(); }
    VideoWindow* video_window() const { return video_window_; }
    bool position_hold() const { return position_hold_; }
    int full_screen_choice() const { return full_screen_choice_; }
    int loop_flag() const { return loop_flag_; }
    QWidget* control(int id) const;
    SkinSlider* position_slider() const { return position_slider_; }
    SkinSlider* volume_slider() const { return volume_slider_; }
    // Where the status pane (kStatusPane) or the media pane (kMediaPane) lies.
    QRect PaneRect(int pane) const;
    const InfoPanePainter& status_pane() const { return status_pane_; }
    const InfoPanePainter& media_pane() const { return media_pane_; }

signals:
    // Exit has closed the window.
    void finished();

protected:
    // The private messages of the video window and the broadcaster.
    bool event(QEvent* event) override;
    // Esc and Return switch the picture's mode wherever the focus is.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // Only Exit closes the window.
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    enum class BroadcastStop { kClose, kRestart, kQuiet };

    void CreateControls();
    void OnInitDialog();
    void PlaceWindows();
    void HandleMessage(int message, uintptr_t wparam);
    void ShowPosition(uint32_t position);
    void OnEndOfProgramme();
    void OnBroadcastEnded();
    void OnPositionScroll(bool end_track, int position);

    void StartProgramme(const QStringList& paths);
    void TakeNextFile();
    void BroadcastCurrentFile();
    // A new broadcaster for the current file on `channel`, started at 0 but
    // not yet run; on failure none is left and the user is told.
    bool CreateBroadcaster(int channel);
    void StopBroadcaster(BroadcastStop how);
    void ShowFileError(const std::string& reason);

    void ReadToggles();
    void WriteToggles();
    void SetStatusText(const QString& text);
    void SetMediaText(const QString& text);
    void RepaintStatusPane();
    void RepaintMediaPane();
    void EnableFileAndDisc(bool enable);

    // Everything here belongs to the user-interface thread.
    QPixmap full_screen_off_image_;
    QPixmap full_screen_on_image_;
    QPixmap loop_off_image_;
    QPixmap loop_on_image_;
    QPixmap skin_;  // also the sliders' background: it outlives them
    VideoWindow* video_window_ = nullptr;  // owned; deleted in the destructor
    bool dragging_ = false;
    QPoint drag_origin_;  // client point of the press that began the drag
    DockingFlags docking_;
    bool position_hold_ = true;  // position reports are ignored while set

    QString current_file_;
    PlayList play_list_;
    MixerVolume volume_;
    // The broadcaster's send thread reports the end of its file through
    // this; it outlives every broadcaster.
    WindowNotifyTarget broadcast_notify_;
    std::unique_ptr<Broadcaster> broadcaster_;

    // Children of this window, deleted with it.
    HoverBitmapButton* options_button_ = nullptr;
    HoverBitmapButton* file_button_ = nullptr;
    HoverBitmapButton* stop_button_ = nullptr;
    HoverBitmapButton* disc_button_ = nullptr;
    HoverBitmapButton* internet_button_ = nullptr;
    SkinSlider* volume_slider_ = nullptr;
    SkinSlider* position_slider_ = nullptr;
    HoverBitmapButton* exit_button_ = nullptr;
    HoverBitmapButton* channel_button_ = nullptr;
    HoverBitmapButton* loop_toggle_ = nullptr;
    HoverBitmapButton* full_screen_toggle_ = nullptr;
    LinkLabel* home_page_label_ = nullptr;
    QWidget* status_pane_place_ = nullptr;
    QWidget* media_pane_place_ = nullptr;
    HoverBitmapButton* about_button_ = nullptr;
    std::map<int, QWidget*> controls_;

    int full_screen_choice_ = 0;  // the full-screen toggle's state, as last read
    int loop_flag_ = 0;           // the Loop toggle's state, as last read
    QString media_text_;
    QString status_text_;
    const InfoPanePainter status_pane_;
    const InfoPanePainter media_pane_;
    bool exiting_ = false;  // Exit is closing the window

    FileChooser file_chooser_;
    MessageBoxFunction message_box_;
    ChannelFinder channel_finder_;
    std::unique_ptr<VideoCdScanner> video_cd_scanner_;
};

}  // namespace kinoverd
