// SPDX-License-Identifier: GPL-3.0-or-later
// The player's main window: a frameless skin with the playback buttons, the
// volume and position sliders and two information panes, docked under the
// video window it owns. It shows what the station reports and passes the
// user's commands on to it.
#pragma once

#include <QPixmap>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>

#include "app/info_pane_painter.h"
#include "app/main_window_layout.h"
#include "app/window_docking.h"
#include "playback/mixer_volume.h"
#include "station/media_path.h"

class QMenu;

namespace kinoverd {

class HoverBitmapButton;
class LinkLabel;
class SkinSlider;
class Station;
class VideoCdScanner;
class VideoWindow;

class MainWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr int kWidth = 485;
    static constexpr int kHeight = 120;
    // The video window starts this far above the centre of the screen.
    static constexpr int kVideoWindowLift = 90;
    static const QString kHomePage;

    // Replaceable for tests: the files the user picks to play (empty when
    // cancelled), and how the user is told something.
    using FileChooser = std::function<QStringList()>;
    using MessageBoxFunction = std::function<void(const QString& text)>;

    // Builds the window and its controls, creates the video window, shows
    // it centred above the middle of the screen and places this window
    // under it; the caller shows this window. `station` must outlive it.
    explicit MainWindow(Station& station);
    // Stops the station's programme before the video window goes.
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Files dropped on either window or named on the command line: the
    // programme stops and they play. Folders are refused with a message.
    void PlayFiles(const MediaPaths& paths);
    // Stops the programme and closes the window for good, and any menu or
    // dialog open over it; finished() follows.
    void Exit();

    void set_file_chooser(FileChooser chooser) { file_chooser_ = std::move(chooser); }
    void set_message_box(MessageBoxFunction message_box) { message_box_ = std::move(message_box); }
    void set_video_cd_scanner(std::unique_ptr<VideoCdScanner> scanner);

    QWidget* control(Control control) const;
    VideoWindow* video_window() const { return video_window_; }
    const QString& status_text() const { return status_text_; }
    const QString& media_text() const { return media_text_; }
    const InfoPanePainter& status_pane() const { return status_pane_; }
    const InfoPanePainter& media_pane() const { return media_pane_; }
    bool full_screen_chosen() const;
    const DockingFlags& docking() const { return docking_; }

signals:
    // Exit has closed the window.
    void finished();

protected:
    // Esc and Return switch the picture's mode wherever the focus is.
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The panes are painted, not widgets: their tooltips are shown here.
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // Only Exit closes the window.
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // The options menu, with watching a channel, on the skin.
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    HoverBitmapButton* AddButton(Control control, const QString& caption, Bitmap frames);
    HoverBitmapButton* AddToggle(Control control, const QString& name, QPixmap* off, QPixmap* on,
                                 Bitmap off_bitmap, Bitmap on_bitmap);
    SkinSlider* AddSlider(Control control);
    void CreateControls();
    void SetToolTips();
    void ConnectStation();
    void PlaceWindows();
    void OnFile();
    void OnDisc();
    void OnAbout();
    void OnWatch();
    void ShowMenu(QMenu& menu, QWidget* under);
    void SetFullScreen(bool on);
    void ApplyFullScreenChoice();
    void ShowStatus(const QString& text);
    void ShowMedia(const QString& text);

    // Everything here belongs to the user-interface thread.
    Station& station_;
    QPixmap skin_;  // also the sliders' background: it outlives them
    QPixmap full_screen_off_image_;
    QPixmap full_screen_on_image_;
    QPixmap loop_off_image_;
    QPixmap loop_on_image_;
    DockingFlags docking_;
    VideoWindow* video_window_ = nullptr;  // owned; deleted in the destructor
    MixerVolume volume_;
    std::map<Control, QWidget*> controls_;  // children of this window
    HoverBitmapButton* full_screen_toggle_ = nullptr;
    HoverBitmapButton* loop_toggle_ = nullptr;
    QMenu* options_menu_ = nullptr;
    SkinSlider* position_slider_ = nullptr;
    QString status_text_;
    QString media_text_;
    const InfoPanePainter status_pane_;
    const InfoPanePainter media_pane_;
    bool dragging_ = false;
    QPoint drag_origin_;  // client point of the press that began the drag
    bool exiting_ = false;  // Exit is closing the window
    FileChooser file_chooser_;
    MessageBoxFunction message_box_;
    std::unique_ptr<VideoCdScanner> video_cd_scanner_;
};

}  // namespace kinoverd
