// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/info_pane_painter.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

#include "resources/bitmap_resource.h"

namespace kinoverd {

namespace {

constexpr int kStatusFontHeight = 28;
constexpr int kMediaFontHeight = 16;

// The status face is Monotype Corsiva; where it is missing another
// chancery script stands in, and failing that an italic serif.
QFont StatusFace()
{
    for (const char* face : {"Monotype Corsiva", "URW Chancery L", "Z003", "TeX Gyre Chorus"}) {
        if (QFontDatabase::hasFamily(QString::fromLatin1(face))) return QFont(QString::fromLatin1(face));
    }
    QFont serif(QStringLiteral("serif"));
    serif.setStyleHint(QFont::Serif);
    serif.setItalic(true);
    return serif;
}

}  // namespace

InfoPanePainter InfoPanePainter::StatusPane()
{
    return InfoPanePainter(Bitmap::StatusPane, FontOfCellHeight(StatusFace(), kStatusFontHeight),
                           QColor(0, 220, 0), QMargins(8, 8, 20, 12), true);
}

InfoPanePainter InfoPanePainter::MediaPane()
{
    return InfoPanePainter(Bitmap::MediaPane, FontOfCellHeight(QFont(), kMediaFontHeight),
                           QColor(71, 220, 187), QMargins(7, 6, 5, 6), false);
}

InfoPanePainter::InfoPanePainter(Bitmap background_bitmap, const QFont& font, const QColor& color,
                                 const QMargins& text_margins, bool painted_to_picture_size)
    : background_(LoadBitmap(background_bitmap)),
      font_(font),
      color_(color),
      text_margins_(text_margins),
      painted_to_picture_size_(painted_to_picture_size)
{
}

QRect InfoPanePainter::PaintedRect(const QRect& pane) const
{
    return painted_to_picture_size_ ? QRect(pane.topLeft(), background_.size()) : pane;
}

QRect InfoPanePainter::TextRect(const QRect& pane) const
{
    return pane.marginsRemoved(text_margins_);
}

void InfoPanePainter::Paint(QPainter& painter, const QRect& pane, const QString& text) const
{
    const QRect painted = PaintedRect(pane);
    const QRect text_rect = TextRect(pane);
    painter.save();
    painter.setClipRect(painted, Qt::IntersectClip);
    painter.drawPixmap(pane.topLeft(), background_);
    painter.setClipRect(text_rect, Qt::IntersectClip);
    painter.setFont(font_);
    painter.setPen(color_);
    const QString shown = EndEllipsis(QFontMetrics(font_), text, text_rect.width());
    painter.drawText(text_rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, shown);
    painter.restore();
}

QString InfoPanePainter::EndEllipsis(const QFontMetrics& metrics, const QString& text, int width)
{
    if (metrics.horizontalAdvance(text) <= width) return text;
    const QString dots = QStringLiteral("...");
    // The longest head that fits with the dots; paths can be long, so halve.
    qsizetype fits = 0;
    qsizetype too_long = text.size();
    while (too_long - fits > 1) {
        const qsizetype middle = (fits + too_long) / 2;
        if (metrics.horizontalAdvance(text.left(middle) + dots) <= width)
            fits = middle;
        else
            too_long = middle;
    }
    // Never split a character outside the basic plane.
    if (fits > 0 && text.at(fits - 1).isHighSurrogate()) --fits;
    return text.left(fits) + dots;
}

QFont InfoPanePainter::FontOfCellHeight(QFont font, int pixels)
{
    font.setPixelSize(pixels);
    const int height = QFontMetrics(font).height();
    if (height > pixels) font.setPixelSize(std::max(1, pixels * pixels / height));
    return font;
}

}  // namespace kinoverd
