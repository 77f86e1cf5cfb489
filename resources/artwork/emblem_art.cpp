// SPDX-License-Identifier: GPL-3.0-or-later
#include "resources/artwork/emblem_art.h"

#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

#include <algorithm>

#include "resources/artwork/art_kit.h"

namespace kinoverd::artwork {

QImage DrawProgramIcon(int size)
{
    QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    const double scale = size / 256.0;
    const double inset = std::max(8 * scale, 0.5);
    const QRectF tile(inset, inset, size - 2 * inset, size - 2 * inset);
    const double corner = 46 * scale;

    // A velvet tile in a brass frame; the reel's petals show the velvet, so
    // the reel reads as a flower.
    painter.setPen(Qt::NoPen);
    painter.setBrush(BrassBrush(tile));
    painter.drawRoundedRect(tile, corner, corner);
    const double frame = std::max(7 * scale, 1.0);
    const QRectF cloth = tile.adjusted(frame, frame, -frame, -frame);
    QRadialGradient velvet(QPointF(size * 0.45, size * 0.35), size * 0.7);
    velvet.setColorAt(0, palette::kVelvetLight);
    velvet.setColorAt(0.5, palette::kVelvet);
    velvet.setColorAt(1, palette::kVelvetDark);
    painter.setBrush(velvet);
    painter.drawRoundedRect(cloth, corner - frame, corner - frame);

    const QPointF centre(size / 2.0, size / 2.0);
    const bool detailed = size >= 48;
    const double reel = detailed ? 88 * scale : size * 0.36;
    // A shadow sets the reel off the velvet; at small sizes a dark ring does.
    painter.setBrush(QColor(0, 0, 0, detailed ? 90 : 150));
    if (detailed)
        painter.drawEllipse(centre + QPointF(4 * scale, 6 * scale), reel, reel);
    else
        painter.drawEllipse(centre, reel + 0.9, reel + 0.9);
    DrawFilmReel(painter, centre, reel, detailed);
    return icon;
}

QImage DrawLogoBanner()
{
    const QSize size(300, 41);
    QImage banner = NewOpaqueImage(size, QColor(0, 0, 0));
    QPainter painter(&banner);
    painter.setRenderHint(QPainter::Antialiasing);

    DrawFilmReel(painter, QPointF(24, 20.5), 17, true);

    const QPainterPath word =
        CentredText(Typeface::kSerif, 27, QStringLiteral("Kinoverd"), QPointF(0, 0));
    const QRectF wordBox = word.boundingRect();
    const QPainterPath placed = word.translated(50 - wordBox.left(), 17 - wordBox.center().y());
    QLinearGradient gold(QPointF(0, 3), QPointF(0, 31));
    gold.setColorAt(0, QColor(0xff, 0xf0, 0xc0));
    gold.setColorAt(0.45, palette::kBrassLight);
    gold.setColorAt(0.55, palette::kBrass);
    gold.setColorAt(1, QColor(0x9a, 0x70, 0x2c));
    painter.setPen(Qt::NoPen);
    painter.setBrush(gold);
    painter.drawPath(placed);

    // A short run of film under the name.
    const QRectF placedBox = placed.boundingRect();
    const QRectF film(placedBox.left(), 33, placedBox.width(), 5);
    painter.setBrush(QColor(0x5a, 0x3a, 0x16));
    painter.drawRect(film);
    painter.setBrush(QColor(0, 0, 0));
    for (double x = film.left() + 2; x + 3 <= film.right(); x += 6)
        painter.drawRoundedRect(QRectF(x, film.top() + 1.2, 3, 2.6), 0.6, 0.6);

    const double divider = placedBox.right() + 14;
    QLinearGradient line(QPointF(0, 6), QPointF(0, 35));
    line.setColorAt(0, QColor(0xc9, 0x9c, 0x4a, 0));
    line.setColorAt(0.5, QColor(0xc9, 0x9c, 0x4a, 220));
    line.setColorAt(1, QColor(0xc9, 0x9c, 0x4a, 0));
    painter.fillRect(QRectF(divider, 6, 1, 29), line);

    const double textCentre = (divider + size.width()) / 2;
    const QPainterPath chinese =
        CentredText(Typeface::kCjk, 17, QStringLiteral("胶片花园"), QPointF(textCentre, 15), 2);
    FillText(painter, chinese, palette::kIvory);
    const QPainterPath line2 = CentredText(Typeface::kSerif, 7.5, QStringLiteral("LAN CINEMA"),
                                           QPointF(textCentre, 31), 2.2);
    FillText(painter, line2, palette::kBrass);
    return banner;
}

}  // namespace kinoverd::artwork
