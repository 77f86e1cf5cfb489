// SPDX-License-Identifier: GPL-3.0-or-later
// One of the main window's two information panes: the pane's own picture
// with one line of text over it, cut at its end with "..." when it does not
// fit. The pane's place is given by the main window; everything else about
// the pane's looks is fixed here.
#pragma once

#include <QColor>
#include <QFont>
#include <QMargins>
#include <QPixmap>
#include <QRect>
#include <QString>

#include "resources/bitmap.h"

class QFontMetrics;
class QPainter;

namespace kinoverd {

class InfoPanePainter {
public:
    // The playback status ("ready", the elapsed time, ...) in a script face.
    static InfoPanePainter StatusPane();
    // The name of the media file in the default face.
    static InfoPanePainter MediaPane();

    // Window rectangles below are in the main window's coordinates; `pane`
    // is where the pane lies.
    // Where Paint draws: only the picture's size for the status pane (even
    // when the pane is larger), the whole pane for the media pane.
    QRect PaintedRect(const QRect& pane) const;
    QRect TextRect(const QRect& pane) const;

    // Draws the picture and `text` over it. What the picture does not reach
    // inside PaintedRect is left as the painter found it.
    void Paint(QPainter& painter, const QRect& pane, const QString& text) const;

    const QFont& font() const { return font_; }
    const QColor& color() const { return color_; }

    // `text` cut at its end and followed by "..." so that it fits `width`
    // pixels; the text itself when it fits.
    static QString EndEllipsis(const QFontMetrics& metrics, const QString& text, int width);
    // `font` sized so that its lines are `pixels` high (ascent plus descent),
    // the way a font is asked for by its cell height.
    static QFont FontOfCellHeight(QFont font, int pixels);

private:
    InfoPanePainter(Bitmap background_bitmap, const QFont& font, const QColor& color,
                    const QMargins& text_margins, bool painted_to_picture_size);

    QPixmap background_;
    QFont font_;
    QColor color_;
    QMargins text_margins_;  // of the text rectangle inside the pane
    bool painted_to_picture_size_;
};

}  // namespace kinoverd
