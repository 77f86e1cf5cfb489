// SPDX-License-Identifier: GPL-3.0-or-later
#include "resources/artwork/skin_art.h"

#include <QLinearGradient>
#include <QPainter>

#include "resources/artwork/art_kit.h"
#include "resources/artwork/main_window_layout.h"

namespace kinoverd::artwork {

namespace {

using namespace layout;

// Dark console metal with a faint horizontal brush.
void DrawConsole(QImage& skin)
{
    for (int y = 0; y < skin.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(skin.scanLine(y));
        const QColor base =
            Mix(palette::kConsoleTop, palette::kConsoleBottom, double(y) / (skin.height() - 1));
        for (int x = 0; x < skin.width(); ++x) {
            const double brush = SmoothNoise(x * 0.03, y * 1.0, 1, 21) - 0.5;
            const double grain = GrainNoise(x, y, 22) - 0.5;
            row[x] = Shade(base, 1.0 + brush * 0.16 + grain * 0.08).rgb();
        }
    }
}

void DrawRim(QPainter& painter, QSize size)
{
    painter.save();
    const QRectF all(QPointF(0, 0), size);
    painter.setPen(QPen(QColor(0, 0, 0), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(all.adjusted(0.5, 0.5, -0.5, -0.5));
    QLinearGradient brass(all.topLeft(), all.bottomLeft());
    brass.setColorAt(0, palette::kBrassLight);
    brass.setColorAt(0.5, palette::kBrass);
    brass.setColorAt(1, palette::kBrassDark);
    painter.setPen(QPen(QBrush(brass), 1));
    painter.drawRect(all.adjusted(1.5, 1.5, -1.5, -1.5));
    painter.restore();
}

// The console's slot for a row of keys: flat tray colour where the keys'
// corners meet it.
void DrawKeySlot(QPainter& painter, const QRectF& outer)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    QLinearGradient lip(outer.topLeft(), outer.bottomLeft());
    lip.setColorAt(0, QColor(0, 0, 0, 160));
    lip.setColorAt(1, QColor(0xe0, 0xb8, 0x70, 110));
    painter.setBrush(lip);
    painter.drawRoundedRect(outer, 5, 5);
    painter.setBrush(palette::kTray);
    painter.drawRoundedRect(outer.adjusted(1, 1, -1, -1), 4, 4);
    painter.restore();
}

// A light brass plate: the link label's blue and red text reads well on it.
void DrawPlaque(QPainter& painter, const QRectF& outer)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 150));
    painter.drawRoundedRect(outer.translated(0, 1), 3, 3);
    QLinearGradient face(outer.topLeft(), outer.bottomLeft());
    face.setColorAt(0, QColor(0xfa, 0xec, 0xc6));
    face.setColorAt(0.5, QColor(0xe8, 0xd2, 0x9c));
    face.setColorAt(1, QColor(0xc8, 0xa4, 0x62));
    painter.setBrush(face);
    painter.setPen(QPen(palette::kBrassDark, 1));
    painter.drawRoundedRect(outer, 3, 3);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(0x8a, 0x64, 0x28, 120), 0.8));
    painter.drawRoundedRect(outer.adjusted(2.5, 2.5, -2.5, -2.5), 1.5, 1.5);
    painter.restore();
}

// The brand, engraved in the strip under the status pane.
void DrawBrand(QPainter& painter, const QRectF& strip)
{
    const qreal y = strip.center().y();
    DrawFilmReel(painter, QPointF(strip.left() + 7, y), 5.2, false);
    const QPainterPath name = CentredText(Typeface::kSerif, 9, QStringLiteral("KINOVERD"),
                                          QPointF(strip.left() + 54, y), 1.6);
    DrawEngravedText(painter, name, palette::kBrass, QColor(0, 0, 0, 200));
    const QPainterPath chinese = CentredText(Typeface::kCjk, 10.5, QStringLiteral("胶片花园"),
                                             QPointF(strip.left() + 122, y), 1);
    DrawEngravedText(painter, chinese, QColor(0xd8, 0xc4, 0x98), QColor(0, 0, 0, 200));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fade(QPointF(strip.left() + 150, 0), QPointF(strip.right(), 0));
    fade.setColorAt(0, QColor(0xc9, 0x9c, 0x4a, 150));
    fade.setColorAt(1, QColor(0xc9, 0x9c, 0x4a, 0));
    painter.setPen(QPen(QBrush(fade), 1));
    painter.drawLine(QPointF(strip.left() + 150, y + 0.5), QPointF(strip.right(), y + 0.5));
    painter.restore();
}

QRectF Around(const QRect& rect, qreal margin)
{
    return QRectF(rect).adjusted(-margin, -margin, margin, margin);
}

}  // namespace

QImage DrawMainSkin()
{
    QImage skin = NewOpaqueImage(kSkinSize, palette::kConsoleBottom);
    DrawConsole(skin);
    QPainter painter(&skin);
    DrawRim(painter, kSkinSize);

    DrawPerforatedStrip(painter, QRectF(2, 2, 10, kSkinSize.height() - 4), 8);
    DrawPerforatedStrip(painter, QRectF(kSkinSize.width() - 12, 2, 10, kSkinSize.height() - 4), 8);

    const QRect statusPane(kStatusPane.topLeft(), kStatusPaneBitmap);
    DrawRecessedWell(painter, Around(statusPane, 2.5), 4, QColor(0x03, 0x0a, 0x05));
    DrawRecessedWell(painter, Around(kMediaPane, 2.5), 4, QColor(0x02, 0x09, 0x0a));
    DrawRecessedWell(painter, QRectF(kVolumeSlider).adjusted(-1, 0, 1, 0), 8,
                     QColor(0x0e, 0x0a, 0x08));
    DrawRecessedWell(painter, QRectF(kPositionSlider).adjusted(-1, 0, 1, 0), 8,
                     QColor(0x0e, 0x0a, 0x08));

    const QRectF firstKey = kButtonRow[0];
    const QRectF lastKey = kButtonRow[kButtonRowCount - 1];
    DrawKeySlot(painter, QRectF(firstKey.left() - 3, firstKey.top() - 2.5,
                                lastKey.right() - firstKey.left() + 7, 28));
    DrawKeySlot(painter, QRectF(kChannelButton.left() - 3, kChannelButton.top() - 2, 50, 28));

    DrawPlaque(painter, QRectF(kLinkLabel).adjusted(-1, -3.5, 3, 3.5));

    const QRectF brandStrip(statusPane.left(), statusPane.bottom() + 3, statusPane.width(),
                            kPositionSlider.top() - statusPane.bottom() - 3);
    DrawBrand(painter, brandStrip);
    return skin;
}

}  // namespace kinoverd::artwork
