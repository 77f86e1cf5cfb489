// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/credits_panel.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPalette>

#include "controls/layout_units.h"
#include "resources/bitmap_resource.h"

namespace kinoverd {

CreditsPanel::CreditsPanel(QWidget* parent) : QWidget(parent)
{
    resize(PanelSize());
    setAutoFillBackground(true);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);

    AddText(TextRole::Product, QRect(52, 17, 97, 22), QStringLiteral("胶片花园 1.0"));
    AddText(TextRole::Other, QRect(34, 56, 133, 13), QStringLiteral("胶片花园工作室 Kinoverd Studio"));
    AddText(TextRole::Other, QRect(68, 75, 65, 11), QStringLiteral("版权所有"));
    AddText(TextRole::Other, QRect(67, 97, 66, 11), QStringLiteral("2024年6月"));

    // The logo keeps its bitmap's own size.
    auto* logo = new QLabel(this);
    logo->setPixmap(LoadBitmap(Bitmap::LogoBanner));
    logo->move(FromLayoutUnits(QRect(0, 120, 200, 30)).topLeft());
    logo->adjustSize();
    logo->setAttribute(Qt::WA_TransparentForMouseEvents);

    AddText(TextRole::MembersHeading, QRect(52, 159, 97, 21), QStringLiteral("开发成员"));
    AddText(TextRole::Member, QRect(35, 186, 131, 29), QStringLiteral("林晓舟\nxzlin@kinoverd.example"));
    AddText(TextRole::Member, QRect(31, 223, 138, 35),
            QStringLiteral("周雨桐\nyutong.zhou@kinoverd.example"));
}

QSize CreditsPanel::PanelSize() { return FromLayoutUnits(QRect(0, 0, 202, 281)).size(); }

QColor CreditsPanel::TextColor(TextRole role)
{
    switch (role) {
    case TextRole::Product:
        return QColor(255, 0, 0);
    case TextRole::MembersHeading:
        return QColor(0, 0, 255);
    case TextRole::Member:
        return QColor(0, 255, 255);
    case TextRole::Other:
        break;
    }
    return QColor(0, 255, 0);
}

void CreditsPanel::AddText(TextRole role, const QRect& layout_units, const QString& text)
{
    auto* label = new QLabel(text, this);
    label->setGeometry(FromLayoutUnits(layout_units));
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    QPalette colors = label->palette();
    colors.setColor(QPalette::WindowText, TextColor(role));
    label->setPalette(colors);
    // The whole panel is the handle for dragging.
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
}

void CreditsPanel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    dragging_ = true;
    drag_rect_ = geometry();
    drag_start_y_ = qRound(event->globalPosition().y());
    emit DragStarted(drag_start_y_);
}

void CreditsPanel::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragging_) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    // Only vertically: the left edge stays where the drag began.
    const int dy = qRound(event->globalPosition().y()) - drag_start_y_;
    move(drag_rect_.left(), drag_rect_.top() + dy);
    emit DragMoved(this);
}

void CreditsPanel::mouseReleaseEvent(QMouseEvent* event)
{
    if (!dragging_ || event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    dragging_ = false;
    emit DragEnded(qRound(event->globalPosition().y()));
}

}  // namespace kinoverd
