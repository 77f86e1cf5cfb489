// SPDX-License-Identifier: GPL-3.0-or-later
#include "resources/artwork/pane_art.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

#include "resources/artwork/art_kit.h"
#include "resources/artwork/main_window_layout.h"

namespace kinoverd::artwork {

namespace {

struct Glass {
    QColor top;
    QColor bottom;
    QColor glow;  // the backlight, the colour of the pane's text
};

// Dark glass with a faint backlight, scan lines and a gloss on its upper
// half. The panes' text is drawn over it with no background of its own.
QImage DrawGlassPane(QSize size, const Glass& glass)
{
    QImage image = NewOpaqueImage(size, glass.bottom);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QRectF all(QPointF(0, 0), size);

    QLinearGradient base(all.topLeft(), all.bottomLeft());
    base.setColorAt(0, glass.top);
    base.setColorAt(1, glass.bottom);
    painter.fillRect(all, base);

    QRadialGradient backlight(QPointF(size.width() * 0.35, size.height() * 0.55),
                              size.width() * 0.6);
    QColor glow = glass.glow;
    glow.setAlpha(26);
    backlight.setColorAt(0, glow);
    glow.setAlpha(0);
    backlight.setColorAt(1, glow);
    painter.fillRect(all, backlight);

    for (int y = 1; y < size.height(); y += 2)
        painter.fillRect(QRectF(0, y, size.width(), 1), QColor(0, 0, 0, 40));

    // The bezel's edge shades the glass on all sides, most from above.
    QLinearGradient topShade(all.topLeft(), all.topLeft() + QPointF(0, 5));
    topShade.setColorAt(0, QColor(0, 0, 0, 190));
    topShade.setColorAt(1, QColor(0, 0, 0, 0));
    painter.fillRect(all, topShade);
    QLinearGradient leftShade(all.topLeft(), all.topLeft() + QPointF(4, 0));
    leftShade.setColorAt(0, QColor(0, 0, 0, 150));
    leftShade.setColorAt(1, QColor(0, 0, 0, 0));
    painter.fillRect(all, leftShade);
    QLinearGradient rightShade(all.topRight(), all.topRight() - QPointF(3, 0));
    rightShade.setColorAt(0, QColor(0, 0, 0, 120));
    rightShade.setColorAt(1, QColor(0, 0, 0, 0));
    painter.fillRect(all, rightShade);

    QPainterPath gloss;
    gloss.moveTo(0, 0);
    gloss.lineTo(size.width(), 0);
    gloss.lineTo(size.width(), size.height() * 0.18);
    gloss.quadTo(size.width() * 0.5, size.height() * 0.52, 0, size.height() * 0.42);
    gloss.closeSubpath();
    QLinearGradient shine(all.topLeft(), QPointF(0, size.height() * 0.5));
    shine.setColorAt(0, QColor(255, 255, 255, 10));
    shine.setColorAt(1, QColor(255, 255, 255, 26));
    painter.setBrush(shine);
    painter.drawPath(gloss);

    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(0, 0, 0), 1));
    painter.drawRect(all.adjusted(0.5, 0.5, -0.5, -0.5));
    painter.setPen(QPen(QColor(255, 255, 255, 22), 1));
    painter.drawLine(QPointF(1, size.height() - 1.5),
                     QPointF(size.width() - 1, size.height() - 1.5));
    return image;
}

}  // namespace

QImage DrawStatusPane()
{
    QImage pane = DrawGlassPane(layout::kStatusPaneBitmap,
                                {{0x0b, 0x1c, 0x10}, {0x03, 0x0a, 0x05}, {0, 220, 0}});
    // Unlit counter marks along the foot, below the text's lines.
    QPainter painter(&pane);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x30, 0x70, 0x38, 110));
    for (int k = 0; k < 20; ++k) {
        const qreal height = (k % 5 == 0) ? 4 : 2;
        painter.drawRect(QRectF(9 + k * 8.5, 44 - height, 1.2, height));
    }
    return pane;
}

QImage DrawMediaPane()
{
    return DrawGlassPane(layout::kMediaPaneBitmap,
                         {{0x08, 0x1a, 0x1a}, {0x02, 0x09, 0x0a}, {71, 220, 187}});
}

QImage DrawSliderTexture()
{
    constexpr int kWidth = 200;
    constexpr int kHeight = 14;
    const QColor paper(0xec, 0xda, 0xae);
    QImage texture = NewOpaqueImage(QSize(kWidth, kHeight), paper);
    for (int y = 0; y < kHeight; ++y) {
        auto* row = reinterpret_cast<QRgb*>(texture.scanLine(y));
        // Rounded like a rolled sheet: lighter along the middle.
        const double across = (y + 0.5 - kHeight / 2.0) / (kHeight / 2.0);
        const double roll = 1.05 - 0.16 * across * across;
        for (int x = 0; x < kWidth; ++x) {
            const double mottle = SmoothNoise(x, y, 9, 11) * 0.6 + SmoothNoise(x, y, 3.5, 12) * 0.4;
            const double fibre = SmoothNoise(x * 0.12, y * 1.6, 1, 13);
            const double grain = GrainNoise(x, y, 14);
            const double light =
                roll + (mottle - 0.5) * 0.10 + (fibre - 0.5) * 0.06 + (grain - 0.5) * 0.05;
            // Age browns the sheet where it is darker.
            QColor colour = Shade(paper, light);
            colour = Mix(colour, QColor(0xc0, 0x8a, 0x48), std::max(0.0, 0.55 - mottle) * 0.35);
            row[x] = colour.rgb();
        }
    }
    return texture;
}

}  // namespace kinoverd::artwork
