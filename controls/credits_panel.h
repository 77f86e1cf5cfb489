// SPDX-License-Identifier: GPL-3.0-or-later
// One page of the about box's credits: coloured texts and the maker's logo
// on black. The user can drag it up or down with the mouse, never sideways;
// the about box hears of every step and keeps the scroll going around it.
#pragma once

#include <QColor>
#include <QRect>
#include <QWidget>

namespace kinoverd {

class CreditsPanel : public QWidget {
    Q_OBJECT

public:
    // What a text is, which decides its colour.
    enum class TextRole { Product, MembersHeading, Member, Other };

    explicit CreditsPanel(QWidget* parent = nullptr);

    // The panel's size in pixels.
    static QSize PanelSize();
    static QColor TextColor(TextRole role);

signals:
    // The user took hold of the panel at screen y.
    void DragStarted(int screen_y);
    // The panel has moved to follow the pointer.
    void DragMoved(CreditsPanel* panel);
    // The user let go at screen y.
    void DragEnded(int screen_y);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void AddText(TextRole role, const QRect& layout_units, const QString& text);

    // User-interface thread only.
    QRect drag_rect_;          // the panel's place when the drag began
    int drag_start_y_ = 0;     // screen y of the press
    bool dragging_ = false;
};

}  // namespace kinoverd
