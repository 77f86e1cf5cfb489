// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/about_dialog.h"

#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QTimerEvent>

#include <cstdlib>
#include <utility>

#include "controls/credits_panel.h"
#include "controls/layout_units.h"
#include "resources/bitmap_resource.h"

namespace kinoverd {

namespace {

constexpr int kIconSize = 32;
// About the size an 8-point font has on the layout's grid, in a face that
// has the Chinese glyphs.
constexpr int kFontPixels = 12;

}  // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("关于"));
    setModal(true);
    setFixedSize(FromLayoutUnits(0, 0, 220, 146).size());
    QFont dialog_font = font();
    dialog_font.setPixelSize(kFontPixels);
    setFont(dialog_font);

    CreateControls();
    CreateCredits();
    timer_.start(kScrollPeriodMs, this);
}

void AboutDialog::CreateControls()
{
    auto* group = new QGroupBox(QStringLiteral("版权信息"), this);
    group->setGeometry(FromLayoutUnits(8, 8, 203, 43));
    // The caption sits on the frame's top line, as in a classic group box,
    // so that the frame encloses the texts placed inside it.
    group->setStyleSheet(QStringLiteral(
        "QGroupBox { border: 1px solid palette(mid); margin-top: 6px; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }"));

    auto* icon = new QLabel(this);
    icon->setPixmap(LoadProgramIcon().pixmap(kIconSize, kIconSize));
    icon->setGeometry(QRect(FromLayoutUnits(15, 22, 20, 20).topLeft(), QSize(kIconSize, kIconSize)));

    auto* product = new QLabel(QStringLiteral("Kinoverd " KINOVERD_VERSION " 版"), this);
    product->setGeometry(FromLayoutUnits(64, 16, 82, 11));

    auto* rights = new QLabel(QStringLiteral("© 2024年6月 胶片花园工作室 版权所有"), this);
    rights->setGeometry(FromLayoutUnits(42, 35, 167, 9));

    auto* frame = new QFrame(this);
    frame->setFrameStyle(QFrame::Box | QFrame::Plain);
    frame->setLineWidth(1);
    frame->setGeometry(FromLayoutUnits(8, 54, 204, 85));
    credits_window_ = frame;
    credits_view_ = new QWidget(frame);
    credits_view_->setGeometry(frame->contentsRect());
}

void AboutDialog::CreateCredits()
{
    first_ = new CreditsPanel(credits_view_);
    second_ = new CreditsPanel(credits_view_);
    panel_width_ = credits_view_->width();
    panel_height_ = first_->height();
    offset_ = 0;
    MovePanel(first_, 0);
    MovePanel(second_, panel_height_);
    leading_ = first_;
    trailing_ = second_;

    for (CreditsPanel* panel : {first_, second_}) {
        connect(panel, &CreditsPanel::DragStarted, this, &AboutDialog::OnCreditsPressed);
        connect(panel, &CreditsPanel::DragMoved, this, &AboutDialog::OnPanelMoved);
        connect(panel, &CreditsPanel::DragEnded, this, &AboutDialog::OnCreditsReleased);
    }
}

void AboutDialog::OnTimer()
{
    if (paused_) {
        return;
    }
    offset_ += direction_ >= 0 ? -1 : 1;
    PlaceTrailingPanel();
    MovePanel(leading_, offset_);
    if (std::abs(offset_) >= panel_height_ - 1) {
        // The leading panel has left the view but for a line: the trailing
        // one, which holds the same credits, takes over where it stands.
        ExchangePanels();
        offset_ = 0;
    }
}

void AboutDialog::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == timer_.timerId()) {
        OnTimer();
        return;
    }
    QDialog::timerEvent(event);
}

void AboutDialog::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        OnCreditsPressed(qRound(event->globalPosition().y()));
    }
    QDialog::mousePressEvent(event);
}

void AboutDialog::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        OnCreditsReleased(qRound(event->globalPosition().y()));
    }
    QDialog::mouseReleaseEvent(event);
}

void AboutDialog::OnCreditsPressed(int screen_y)
{
    paused_ = true;
    direction_ = screen_y;
}

void AboutDialog::OnCreditsReleased(int screen_y)
{
    paused_ = false;
    direction_ -= screen_y;
}

void AboutDialog::OnPanelMoved(CreditsPanel* panel)
{
    // The panel under the pointer leads, so the offset follows the drag.
    if (panel == trailing_) {
        ExchangePanels();
    }
    offset_ = leading_->y();
    PlaceTrailingPanel();
}

void AboutDialog::MovePanel(CreditsPanel* panel, int y)
{
    panel->setGeometry(0, y, panel_width_, panel_height_);
}

void AboutDialog::PlaceTrailingPanel()
{
    MovePanel(trailing_, offset_ > 0 ? offset_ - panel_height_ : offset_ + panel_height_);
}

void AboutDialog::ExchangePanels() { std::swap(leading_, trailing_); }

}  // namespace kinoverd
