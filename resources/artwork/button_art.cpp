// SPDX-License-Identifier: GPL-3.0-or-later
#include "resources/artwork/button_art.h"

#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

#include "resources/artwork/art_kit.h"

namespace kinoverd::artwork {

namespace {

enum class Face { kRaised, kHover, kSunken, kDisabled };

constexpr qreal kCorner = 4;
constexpr qreal kCaptionSize = 13;

struct FaceColours {
    QColor top;
    QColor upperMiddle;
    QColor lowerMiddle;
    QColor bottom;
};

FaceColours ColoursOf(Face face)
{
    switch (face) {
        case Face::kRaised:
            return {{0xf7, 0xe8, 0xc0}, {0xe6, 0xcc, 0x90}, {0xd6, 0xb4, 0x72}, {0xb2, 0x8a, 0x48}};
        case Face::kHover:
            return {{0xff, 0xf6, 0xdc}, {0xf2, 0xdc, 0xa6}, {0xe6, 0xc6, 0x84}, {0xc4, 0x9c, 0x56}};
        case Face::kSunken:
            return {{0x9a, 0x76, 0x3a}, {0xb8, 0x94, 0x56}, {0xc4, 0xa2, 0x64}, {0xd8, 0xbc, 0x82}};
        case Face::kDisabled:
            return {{0xe6, 0xe2, 0xda}, {0xd4, 0xd0, 0xc8}, {0xc6, 0xc2, 0xba}, {0xa6, 0xa2, 0x9a}};
    }
    return {};
}

void DrawFace(QPainter& painter, const QRectF& frame, Face face)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF outline = frame.adjusted(0.5, 0.5, -0.5, -0.5);
    const QRectF body = outline.adjusted(1, 1, -1, -1);
    const FaceColours colours = ColoursOf(face);

    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x24, 0x17, 0x0e));
    painter.drawRoundedRect(outline, kCorner, kCorner);

    QLinearGradient fill(body.topLeft(), body.bottomLeft());
    fill.setColorAt(0, colours.top);
    fill.setColorAt(0.46, colours.upperMiddle);
    fill.setColorAt(0.54, colours.lowerMiddle);
    fill.setColorAt(1, colours.bottom);
    painter.setBrush(fill);
    painter.drawRoundedRect(body, kCorner - 1, kCorner - 1);

    const QRectF bevel = body.adjusted(0.5, 0.5, -0.5, -0.5);
    if (face == Face::kSunken) {
        // Pressed in: the upper edge hides the light.
        QLinearGradient shade(body.topLeft(), body.topLeft() + QPointF(0, 5));
        shade.setColorAt(0, QColor(0x20, 0x10, 0x00, 150));
        shade.setColorAt(1, QColor(0x20, 0x10, 0x00, 0));
        painter.setBrush(shade);
        painter.drawRoundedRect(body, kCorner - 1, kCorner - 1);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(QColor(0xff, 0xf0, 0xc8, 70), 1));
        painter.drawLine(QPointF(bevel.left() + 3, bevel.bottom()),
                         QPointF(bevel.right() - 3, bevel.bottom()));
    } else {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(QColor(255, 255, 255, 180), 1));
        painter.drawLine(QPointF(bevel.left() + 3, bevel.top()),
                         QPointF(bevel.right() - 3, bevel.top()));
        painter.setPen(QPen(QColor(0x40, 0x28, 0x08, 90), 1));
        painter.drawLine(QPointF(bevel.left() + 3, bevel.bottom()),
                         QPointF(bevel.right() - 3, bevel.bottom()));
    }
    painter.restore();
}

void DrawCaption(QPainter& painter, const QPointF& centre, const QString& caption,
                 const QColor& ink, bool sunken)
{
    const QPointF at = sunken ? centre + QPointF(1, 1) : centre;
    const QPainterPath text = CentredText(Typeface::kCjk, kCaptionSize, caption, at);
    // A light edge under the strokes, as if stamped into the brass.
    FillText(painter, text.translated(0, 0.8), QColor(255, 250, 235, sunken ? 60 : 130));
    FillText(painter, text, ink, 0.35);
}

void DrawFrame(QPainter& painter, int index, const QString& caption, Face face, const QColor& ink)
{
    const QRectF frame(index * kButtonFrameWidth, 0, kButtonFrameWidth, kButtonFrameHeight);
    DrawFace(painter, frame, face);
    DrawCaption(painter, frame.center(), caption, ink, face == Face::kSunken);
}

void DrawLamp(QPainter& painter, const QPointF& centre, bool lit)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x2a, 0x1a, 0x0c));
    painter.drawEllipse(centre, 3.6, 3.6);
    QRadialGradient glass(centre - QPointF(0.8, 0.8), 3.2);
    if (lit) {
        glass.setColorAt(0, QColor(0xff, 0xff, 0xe0));
        glass.setColorAt(0.35, QColor(0xff, 0xd8, 0x40));
        glass.setColorAt(1, QColor(0xe0, 0x70, 0x00));
    } else {
        glass.setColorAt(0, QColor(0x9a, 0x70, 0x50));
        glass.setColorAt(1, QColor(0x4a, 0x2a, 0x18));
    }
    painter.setBrush(glass);
    painter.drawEllipse(centre, 2.8, 2.8);
    painter.restore();
}

}  // namespace

QImage DrawFrameStrip(const QString& caption)
{
    QImage strip = NewOpaqueImage(QSize(4 * kButtonFrameWidth, kButtonFrameHeight), palette::kTray);
    QPainter painter(&strip);
    DrawFrame(painter, 0, caption, Face::kRaised, palette::kCaptionRed);
    DrawFrame(painter, 1, caption, Face::kSunken, palette::kCaptionBlue);
    DrawFrame(painter, 2, caption, Face::kHover, palette::kCaptionBlue);
    DrawFrame(painter, 3, caption, Face::kDisabled, palette::kCaptionGrey);
    return strip;
}

QImage DrawToggle(const QString& caption, bool on)
{
    QImage image = NewOpaqueImage(QSize(kButtonFrameWidth, kButtonFrameHeight), palette::kTray);
    QPainter painter(&image);
    const QRectF frame(0, 0, kButtonFrameWidth, kButtonFrameHeight);
    DrawFace(painter, frame, on ? Face::kSunken : Face::kRaised);
    const QPointF shift = on ? QPointF(1, 1) : QPointF(0, 0);
    DrawLamp(painter, QPointF(8.5, 12) + shift, on);
    DrawCaption(painter, QPointF(26.5, 12), caption,
                on ? palette::kCaptionBlue : palette::kCaptionRed, on);
    return image;
}

}  // namespace kinoverd::artwork
