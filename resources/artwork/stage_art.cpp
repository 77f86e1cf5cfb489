// SPDX-License-Identifier: GPL-3.0-or-later
#include "resources/artwork/stage_art.h"

#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "resources/artwork/art_kit.h"

namespace kinoverd::artwork {

namespace {

constexpr QSize kFrameSize{485, 360};
constexpr int kValanceDepth = 27;
constexpr int kSwags = 7;
constexpr double kTieBackY = 228;

// How far a curtain reaches from its outer edge at height y: full width at
// the top and the floor, gathered in towards the tie-back.
double CurtainReach(double y, double fullWidth)
{
    const double distance = (y - kTieBackY) / (y < kTieBackY ? 200.0 : 110.0);
    return fullWidth - 16 * std::exp(-distance * distance * 3);
}

// Velvet: folds across the curtain's width, shadowed at the top and lit by
// the footlights at the bottom.
QColor VelvetAt(double across, double y)
{
    const double folds = 0.5 + 0.5 * std::sin(across * 2 * std::numbers::pi * 4.3 + 0.6) * 0.8 +
                         0.5 * 0.2 * std::sin(across * 2 * std::numbers::pi * 9.1);
    const double top = std::clamp((y - kValanceDepth) / 60.0, 0.0, 1.0);
    const double foot = std::clamp((y - 250) / 110.0, 0.0, 1.0);
    const double light = std::pow(folds, 1.4) * (0.55 + 0.45 * top) + foot * 0.35;
    if (light < 0.5)
        return Mix(palette::kVelvetDark, palette::kVelvet, light * 2);
    return Mix(palette::kVelvet, palette::kVelvetLight, (light - 0.5) * 2);
}

void DrawCurtains(QImage& frame)
{
    const double leftWidth = kVideoArea.left();
    const double rightStart = kVideoArea.left() + kVideoArea.width();
    const double rightWidth = frame.width() - rightStart;
    for (int y = 0; y < frame.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(frame.scanLine(y));
        const double leftReach = CurtainReach(y + 0.5, leftWidth);
        const double rightReach = CurtainReach(y + 0.5, rightWidth);
        for (int x = 0; x < frame.width(); ++x) {
            // Across runs from 0 at the outer edge to 1 at the hem; the
            // pixel the hem crosses is covered in part.
            double across = 0;
            double edgeDistance = 0;
            if (x < leftReach) {
                across = (x + 0.5) / leftReach;
                edgeDistance = leftReach - x;
            } else if (x + 1 > frame.width() - rightReach) {
                across = (frame.width() - x - 0.5) / rightReach;
                edgeDistance = x + 1 - (frame.width() - rightReach);
            } else {
                continue;
            }
            QColor velvet = VelvetAt(std::min(across, 1.0), y + 0.5);
            const double grain = GrainNoise(x, y, 31) - 0.5;
            velvet = Shade(velvet, 1.0 + grain * 0.1);
            // The hem turns away from the light.
            if (edgeDistance < 4)
                velvet = Shade(velvet, 0.5 + 0.125 * edgeDistance);
            velvet = Mix(QColor(row[x]), velvet, edgeDistance);
            row[x] = velvet.rgb();
        }
    }
}

// A dark stage wall behind the curtains.
void DrawBackdrop(QPainter& painter)
{
    QLinearGradient wall(QPointF(0, 0), QPointF(0, kFrameSize.height()));
    wall.setColorAt(0, QColor(0x0c, 0x06, 0x06));
    wall.setColorAt(1, QColor(0x1e, 0x10, 0x0c));
    painter.fillRect(QRect(QPoint(0, 0), kFrameSize), wall);
}

void DrawTieBacks(QPainter& painter)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const double leftX = CurtainReach(kTieBackY, kVideoArea.left());
    const double rightX =
        kFrameSize.width() - CurtainReach(kTieBackY, kFrameSize.width() - kVideoArea.right() - 1);
    for (const auto& [from, to] :
         {std::pair{0.0, leftX}, std::pair{double(kFrameSize.width()), rightX}}) {
        QLinearGradient rope(QPointF(0, kTieBackY - 3), QPointF(0, kTieBackY + 3));
        rope.setColorAt(0, palette::kBrassLight);
        rope.setColorAt(0.5, palette::kBrass);
        rope.setColorAt(1, palette::kBrassDark);
        painter.setPen(QPen(QBrush(rope), 4.5, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(from, kTieBackY + 2), QPointF(to, kTieBackY - 1));
        // A tassel hangs at the hem.
        const QPointF knot(to + (from < to ? -3 : 3), kTieBackY + 1);
        painter.setPen(Qt::NoPen);
        painter.setBrush(BrassBrush(QRectF(knot.x() - 4, knot.y(), 8, 18)));
        QPainterPath tassel;
        tassel.moveTo(knot);
        tassel.cubicTo(knot + QPointF(-5, 8), knot + QPointF(-4, 16), knot + QPointF(-3.5, 17));
        tassel.lineTo(knot + QPointF(3.5, 17));
        tassel.cubicTo(knot + QPointF(4, 16), knot + QPointF(5, 8), knot);
        painter.drawPath(tassel);
        painter.setBrush(palette::kBrassLight);
        painter.drawEllipse(knot, 2.6, 2.6);
    }
    painter.restore();
}

// The valance: velvet swags with a gold fringe and the brand plate.
void DrawValance(QPainter& painter)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const double width = kFrameSize.width();
    const double swag = width / kSwags;
    QPainterPath valance;
    valance.moveTo(0, 0);
    valance.lineTo(width, 0);
    valance.lineTo(width, 19);
    for (int k = kSwags - 1; k >= 0; --k) {
        const double right = (k + 1) * swag;
        const double left = k * swag;
        valance.cubicTo(right - swag * 0.2, kValanceDepth + 3, left + swag * 0.2, kValanceDepth + 3,
                        left, 19);
    }
    valance.closeSubpath();

    QLinearGradient cloth(QPointF(0, 0), QPointF(0, kValanceDepth));
    cloth.setColorAt(0, palette::kVelvetDark);
    cloth.setColorAt(0.55, palette::kVelvet);
    cloth.setColorAt(1, Shade(palette::kVelvet, 0.7));
    painter.setPen(Qt::NoPen);
    painter.setBrush(cloth);
    painter.drawPath(valance);

    // Each swag hangs in a few soft folds.
    painter.setClipPath(valance);
    for (int k = 0; k < kSwags; ++k) {
        const QPointF centre((k + 0.5) * swag, 6);
        QRadialGradient sheen(centre, swag * 0.55);
        sheen.setColorAt(0, QColor(0xe0, 0x50, 0x58, 60));
        sheen.setColorAt(1, QColor(0xe0, 0x50, 0x58, 0));
        painter.setBrush(sheen);
        painter.drawRect(QRectF(k * swag, 0, swag, kValanceDepth + 4));
        painter.setBrush(QColor(0, 0, 0, 110));
        painter.drawRect(QRectF(k * swag - 0.8, 0, 1.6, kValanceDepth + 4));
    }
    painter.setClipping(false);

    painter.setBrush(Qt::NoBrush);
    QPainterPath hem;
    hem.moveTo(width, 19);
    for (int k = kSwags - 1; k >= 0; --k) {
        const double right = (k + 1) * swag;
        const double left = k * swag;
        hem.cubicTo(right - swag * 0.2, kValanceDepth + 3, left + swag * 0.2, kValanceDepth + 3,
                    left, 19);
    }
    painter.setPen(QPen(QColor(0x3a, 0x24, 0x08), 3.2));
    painter.drawPath(hem);
    painter.setPen(QPen(BrassBrush(QRectF(0, 0, width, 30)), 2.0));
    painter.drawPath(hem);

    // The plate in the middle.
    const QRectF plate(width / 2 - 62, 3, 124, 15);
    painter.setPen(QPen(palette::kBrassDark, 1));
    painter.setBrush(BrassBrush(plate));
    painter.drawRoundedRect(plate, 3, 3);
    painter.setPen(QPen(QColor(0x6a, 0x48, 0x14, 140), 0.8));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(plate.adjusted(2, 2, -2, -2), 1.5, 1.5);
    const QPainterPath name = CentredText(Typeface::kSerif, 9.5, QStringLiteral("KINOVERD"),
                                          plate.center() + QPointF(0, 0.2), 2.2);
    DrawEngravedText(painter, name, QColor(0x4a, 0x1c, 0x08), QColor(255, 246, 214, 150));
    painter.restore();
}

// The apron: a dark wooden stage edge with a brass rail and footlights.
void DrawApron(QPainter& painter)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const double top = kVideoArea.bottom() + 1;
    const QRectF apron(0, top + 4, kFrameSize.width(), kFrameSize.height() - top - 4);
    QLinearGradient wood(apron.topLeft(), apron.bottomLeft());
    wood.setColorAt(0, QColor(0x3e, 0x24, 0x12));
    wood.setColorAt(1, QColor(0x14, 0x0a, 0x06));
    painter.fillRect(apron, wood);
    for (int k = 1; k < 3; ++k)
        painter.fillRect(QRectF(0, apron.top() + k * 8, apron.width(), 1), QColor(0, 0, 0, 70));

    QLinearGradient rail(QPointF(0, top + 2), QPointF(0, top + 6));
    rail.setColorAt(0, palette::kBrassLight);
    rail.setColorAt(1, palette::kBrassDark);
    painter.fillRect(QRectF(0, top + 2, kFrameSize.width(), 3.5), rail);

    constexpr int kLamps = 9;
    const double step = kVideoArea.width() / double(kLamps);
    for (int k = 0; k < kLamps; ++k) {
        const QPointF lamp(kVideoArea.left() + (k + 0.5) * step, apron.top() + 8);
        QRadialGradient glow(lamp, 22);
        glow.setColorAt(0, QColor(0xff, 0xd0, 0x80, 120));
        glow.setColorAt(1, QColor(0xff, 0xd0, 0x80, 0));
        painter.setPen(Qt::NoPen);
        painter.setBrush(glow);
        painter.drawEllipse(lamp, 22, 22);
        painter.setBrush(QColor(0x20, 0x12, 0x08));
        painter.drawRoundedRect(QRectF(lamp.x() - 7, lamp.y() - 1, 14, 8), 2, 2);
        QRadialGradient bulb(lamp - QPointF(0, 0.5), 5.5);
        bulb.setColorAt(0, QColor(0xff, 0xfb, 0xe8));
        bulb.setColorAt(0.5, QColor(0xff, 0xd4, 0x70));
        bulb.setColorAt(1, QColor(0xc8, 0x78, 0x20));
        painter.setBrush(bulb);
        painter.drawChord(QRectF(lamp.x() - 5.5, lamp.y() - 5, 11, 11), 0, 180 * 16);
    }
    painter.restore();
}

// A thin brass frame around the picture.
void DrawScreenFrame(QPainter& painter)
{
    painter.save();
    const QRectF screen(kVideoArea);
    painter.fillRect(screen, QColor(0, 0, 0));
    painter.setPen(QPen(QColor(0, 0, 0), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(screen.adjusted(-0.5, -0.5, 0.5, 0.5));
    QLinearGradient brass(screen.topLeft(), screen.bottomRight());
    brass.setColorAt(0, palette::kBrassLight);
    brass.setColorAt(1, palette::kBrassDark);
    painter.setPen(QPen(QBrush(brass), 1));
    painter.drawRect(screen.adjusted(-1.5, -1.5, 1.5, 1.5));
    painter.setPen(QPen(QColor(0, 0, 0, 160), 1));
    painter.drawRect(screen.adjusted(-2.5, -2.5, 2.5, 2.5));
    painter.restore();
}

void DrawOuterRim(QPainter& painter)
{
    painter.save();
    const QRectF all(QPointF(0, 0), kFrameSize);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(0, 0, 0), 1));
    painter.drawRect(all.adjusted(0.5, 0.5, -0.5, -0.5));
    painter.setPen(QPen(QColor(0xc9, 0x9c, 0x4a, 140), 1));
    painter.drawRect(all.adjusted(1.5, 1.5, -1.5, -1.5));
    painter.restore();
}

}  // namespace

QImage DrawVideoFrame()
{
    QImage frame = NewOpaqueImage(kFrameSize, QColor(0, 0, 0));
    {
        QPainter painter(&frame);
        DrawBackdrop(painter);
    }
    DrawCurtains(frame);
    QPainter painter(&frame);
    DrawScreenFrame(painter);
    DrawTieBacks(painter);
    DrawApron(painter);
    DrawValance(painter);
    DrawOuterRim(painter);
    return frame;
}

QImage DrawIdlePicture()
{
    const QSize size = kVideoArea.size();
    QImage picture = NewOpaqueImage(size, QColor(0x08, 0x06, 0x06));
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF all(QPointF(0, 0), size);
    const QPointF emblemCentre(size.width() / 2.0, 112);

    // A dim screen under one soft spotlight.
    QRadialGradient spot(emblemCentre + QPointF(0, 20), size.width() * 0.62);
    spot.setColorAt(0, QColor(0x3c, 0x2c, 0x24));
    spot.setColorAt(0.55, QColor(0x1a, 0x12, 0x10));
    spot.setColorAt(1, QColor(0x06, 0x04, 0x04));
    painter.fillRect(all, spot);

    QRadialGradient halo(emblemCentre, 92);
    halo.setColorAt(0, QColor(0xff, 0xd8, 0x90, 70));
    halo.setColorAt(1, QColor(0xff, 0xd8, 0x90, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(halo);
    painter.drawEllipse(emblemCentre, 92, 92);
    painter.setBrush(QColor(0, 0, 0, 90));
    painter.drawEllipse(emblemCentre + QPointF(3, 5), 60, 60);
    DrawFilmReel(painter, emblemCentre, 60, true);

    const QPainterPath name = CentredText(Typeface::kCjk, 34, QStringLiteral("胶片花园"),
                                          QPointF(size.width() / 2.0, 212), 6);
    FillText(painter, name.translated(0, 2), QColor(0, 0, 0, 160));
    QLinearGradient ivory(QPointF(0, 195), QPointF(0, 230));
    ivory.setColorAt(0, QColor(0xfb, 0xf0, 0xd4));
    ivory.setColorAt(1, QColor(0xd8, 0xb8, 0x78));
    painter.setBrush(ivory);
    painter.drawPath(name);

    const double brandY = 248;
    const QPainterPath brand = CentredText(Typeface::kSerif, 12, QStringLiteral("KINOVERD"),
                                           QPointF(size.width() / 2.0, brandY), 5);
    FillText(painter, brand, palette::kBrass);
    const double halfBrand = brand.boundingRect().width() / 2 + 12;
    for (const double sign : {-1.0, 1.0}) {
        const QPointF inner(size.width() / 2.0 + sign * halfBrand, brandY);
        const QPointF outer = inner + QPointF(sign * 60, 0);
        QLinearGradient fade(inner, outer);
        fade.setColorAt(0, QColor(0xc9, 0x9c, 0x4a, 200));
        fade.setColorAt(1, QColor(0xc9, 0x9c, 0x4a, 0));
        painter.setPen(QPen(QBrush(fade), 1));
        painter.drawLine(inner, outer);
    }

    // A little grain keeps the dark from banding.
    painter.end();
    for (int y = 0; y < size.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            row[x] = Shade(QColor(row[x]), 1.0 + (GrainNoise(x, y, 41) - 0.5) * 0.08).rgb();
    }
    return picture;
}

}  // namespace kinoverd::artwork
