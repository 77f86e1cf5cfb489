// SPDX-License-Identifier: GPL-3.0-or-later
// The about box: product name, version and rights line beside the program
// icon, and below them a window of credits that scroll upward without end.
// Two identical credits panels take turns: the leading one is partly in
// view and the trailing one follows it, and when the leading one has left
// the view they exchange roles. The user can drag the credits up or down;
// after the release they scroll on in the direction of the drag.
#pragma once

#include <QBasicTimer>
#include <QDialog>

namespace kinoverd {

class CreditsPanel;

class AboutDialog : public QDialog {
    Q_OBJECT

public:
    static constexpr int kScrollPeriodMs = 50;

    explicit AboutDialog(QWidget* parent = nullptr);

    // One scroll step; the dialog's timer calls it every kScrollPeriodMs.
    void OnTimer();

    QWidget* credits_window() const { return credits_window_; }
    CreditsPanel* leading_panel() const { return leading_; }
    CreditsPanel* trailing_panel() const { return trailing_; }
    bool paused() const { return paused_; }
    int direction() const { return direction_; }
    int offset() const { return offset_; }
    int panel_height() const { return panel_height_; }

protected:
    void timerEvent(QTimerEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void CreateControls();
    void CreateCredits();
    // Pauses the scroll and remembers where the pointer went down.
    void OnCreditsPressed(int screen_y);
    // Resumes the scroll in the direction the pointer moved since.
    void OnCreditsReleased(int screen_y);
    void OnPanelMoved(CreditsPanel* panel);
    void MovePanel(CreditsPanel* panel, int y);
    // Puts the trailing panel next to the leading one, on the side of
    // the view's edge that the leading one has uncovered.
    void PlaceTrailingPanel();
    void ExchangePanels();

    // User-interface thread only.
    QWidget* credits_window_ = nullptr;    // the bordered window
    QWidget* credits_view_ = nullptr;      // its inside, which the panels fill
    CreditsPanel* first_ = nullptr;
    CreditsPanel* second_ = nullptr;
    CreditsPanel* leading_ = nullptr;
    CreditsPanel* trailing_ = nullptr;
    bool paused_ = false;
    // While paused: screen y of the press. Afterwards press y minus release
    // y: zero or more scrolls upward, less than zero downward.
    int direction_ = 1;
    int offset_ = 0;  // top of the leading panel in the view
    int panel_width_ = 0;
    int panel_height_ = 0;
    QBasicTimer timer_;
};

}  // namespace kinoverd
