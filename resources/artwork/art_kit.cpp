// SPDX-License-Identifier: GPL-3.0-or-later
#include "resources/artwork/art_kit.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QStringList>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kinoverd::artwork {

namespace {

// Set once by LoadArtFonts before any picture is drawn.
QString g_cjkFamily;
QString g_serifFamily;

// Outlines come from a large unhinted size and are scaled down, so the
// lettering does not depend on hinting settings or fractional sizes.
constexpr int kOutlinePixelSize = 200;

QString RegisterFont(const QString& file, const QString& preferredFamily)
{
    const int id = QFontDatabase::addApplicationFont(file);
    if (id < 0)
        return {};
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    if (families.contains(preferredFamily))
        return preferredFamily;
    return families.value(0);
}

QFont OutlineFont(Typeface face)
{
    QFont font(face == Typeface::kCjk ? g_cjkFamily : g_serifFamily);
    font.setPixelSize(kOutlinePixelSize);
    font.setBold(face == Typeface::kSerif);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setStyleStrategy(QFont::StyleStrategy(QFont::PreferOutline | QFont::NoFontMerging));
    return font;
}

quint32 Hash(quint32 x, quint32 y, quint32 seed)
{
    quint32 h = x * 0x8da6b343u ^ y * 0xd8163841u ^ seed * 0xcb1ab31fu;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    h *= 0x27d4eb2du;
    h ^= h >> 16;
    return h;
}

double Lattice(int x, int y, quint32 seed)
{
    return (Hash(quint32(x), quint32(y), seed) & 0xffffffu) / double(0xffffff);
}

double SmoothStep(double t)
{
    return t * t * (3 - 2 * t);
}

}  // namespace

bool LoadArtFonts(const QString& cjkFontFile, const QString& serifFontFile)
{
    g_cjkFamily = RegisterFont(cjkFontFile, QStringLiteral("WenQuanYi Micro Hei"));
    g_serifFamily = RegisterFont(serifFontFile, QStringLiteral("DejaVu Serif"));
    return !g_cjkFamily.isEmpty() && !g_serifFamily.isEmpty();
}

QPainterPath CentredText(Typeface face, qreal pixelSize, const QString& text, QPointF centre,
                         qreal spacing)
{
    const QFont font = OutlineFont(face);
    const qreal scale = pixelSize / kOutlinePixelSize;
    QPainterPath path;
    if (spacing == 0) {
        path.addText(0, 0, font, text);
    } else {
        const QFontMetricsF metrics(font);
        qreal x = 0;
        for (const QChar letter : text) {
            path.addText(x, 0, font, QString(letter));
            x += metrics.horizontalAdvance(letter) + spacing / scale;
        }
    }
    path = QTransform::fromScale(scale, scale).map(path);
    path.translate(centre - path.boundingRect().center());
    return path;
}

void FillText(QPainter& painter, const QPainterPath& text, const QColor& colour, qreal weight)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (weight > 0)
        painter.setPen(QPen(colour, weight, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    else
        painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawPath(text);
    painter.restore();
}

void DrawEngravedText(QPainter& painter, const QPainterPath& text, const QColor& ink,
                      const QColor& lightEdge)
{
    FillText(painter, text.translated(0, 1), lightEdge);
    FillText(painter, text, ink);
}

double SmoothNoise(double x, double y, double scale, quint32 seed)
{
    const double fx = x / scale;
    const double fy = y / scale;
    const int x0 = int(std::floor(fx));
    const int y0 = int(std::floor(fy));
    const double tx = SmoothStep(fx - x0);
    const double ty = SmoothStep(fy - y0);
    const double top = Lattice(x0, y0, seed) * (1 - tx) + Lattice(x0 + 1, y0, seed) * tx;
    const double bottom = Lattice(x0, y0 + 1, seed) * (1 - tx) + Lattice(x0 + 1, y0 + 1, seed) * tx;
    return top * (1 - ty) + bottom * ty;
}

double GrainNoise(int x, int y, quint32 seed)
{
    return Lattice(x, y, seed);
}

QColor Mix(const QColor& a, const QColor& b, double t)
{
    t = std::clamp(t, 0.0, 1.0);
    auto channel = [t](int from, int to) { return int(std::lround(from + (to - from) * t)); };
    return QColor(channel(a.red(), b.red()), channel(a.green(), b.green()),
                  channel(a.blue(), b.blue()), channel(a.alpha(), b.alpha()));
}

QColor Shade(const QColor& colour, double factor)
{
    auto channel = [factor](int value) {
        return std::clamp(int(std::lround(value * factor)), 0, 255);
    };
    return QColor(channel(colour.red()), channel(colour.green()), channel(colour.blue()),
                  colour.alpha());
}

QBrush BrassBrush(const QRectF& box)
{
    QLinearGradient gradient(box.topLeft(), box.bottomRight());
    gradient.setColorAt(0.0, palette::kBrassLight);
    gradient.setColorAt(0.32, palette::kBrass);
    gradient.setColorAt(0.48, QColor(0xfb, 0xe9, 0xb0));
    gradient.setColorAt(0.62, palette::kBrass);
    gradient.setColorAt(1.0, palette::kBrassDark);
    return gradient;
}

void DrawRecessedWell(QPainter& painter, const QRectF& outer, qreal radius, const QColor& floor)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);

    // The lip: brass, lit from above.
    QLinearGradient lip(outer.topLeft(), outer.bottomLeft());
    lip.setColorAt(0, palette::kBrassLight);
    lip.setColorAt(0.5, palette::kBrass);
    lip.setColorAt(1, palette::kBrassDark);
    painter.setBrush(lip);
    painter.drawRoundedRect(outer, radius, radius);

    const QRectF wall = outer.adjusted(1.5, 1.5, -1.5, -1.5);
    painter.setBrush(QColor(0x05, 0x03, 0x02));
    painter.drawRoundedRect(wall, std::max(radius - 1.5, 0.0), std::max(radius - 1.5, 0.0));

    const QRectF inside = wall.adjusted(1, 1, -1, -1);
    const qreal insideRadius = std::max(radius - 2.5, 0.0);
    painter.setBrush(floor);
    painter.drawRoundedRect(inside, insideRadius, insideRadius);

    // The upper wall throws a shadow onto the floor.
    QLinearGradient shadow(inside.topLeft(), inside.topLeft() + QPointF(0, 6));
    shadow.setColorAt(0, QColor(0, 0, 0, 170));
    shadow.setColorAt(1, QColor(0, 0, 0, 0));
    painter.setBrush(shadow);
    painter.drawRoundedRect(inside, insideRadius, insideRadius);
    painter.restore();
}

void DrawPerforatedStrip(QPainter& painter, const QRectF& strip, qreal holePitch)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);

    QLinearGradient base(strip.topLeft(), strip.topRight());
    base.setColorAt(0, QColor(0x2a, 0x19, 0x0c));
    base.setColorAt(0.5, QColor(0x55, 0x35, 0x17));
    base.setColorAt(1, QColor(0x2a, 0x19, 0x0c));
    painter.setBrush(base);
    painter.drawRect(strip);

    // The film's edges catch the light.
    painter.setBrush(QColor(0xd9, 0xa8, 0x5c, 90));
    painter.drawRect(QRectF(strip.left(), strip.top(), 1, strip.height()));
    painter.drawRect(QRectF(strip.right() - 1, strip.top(), 1, strip.height()));

    const qreal holeWidth = strip.width() * 0.5;
    const qreal holeHeight = holePitch * 0.5;
    const qreal left = strip.center().x() - holeWidth / 2;
    for (qreal y = strip.top() + (holePitch - holeHeight) / 2; y + holeHeight <= strip.bottom();
         y += holePitch) {
        const QRectF hole(left, y, holeWidth, holeHeight);
        painter.setBrush(QColor(0xe8, 0xc0, 0x80, 70));
        painter.drawRoundedRect(hole.translated(0, 0.8), 1.2, 1.2);
        painter.setBrush(QColor(0x08, 0x05, 0x04));
        painter.drawRoundedRect(hole, 1.2, 1.2);
    }
    painter.restore();
}

void DrawFilmReel(QPainter& painter, QPointF centre, qreal radius, bool detailed)
{
    constexpr int kPetals = 5;
    const qreal inner = radius * 0.27;
    const qreal outer = radius * 0.80;
    const qreal width = radius * 0.44;

    QPainterPath petals;
    for (int k = 0; k < kPetals; ++k) {
        QPainterPath petal;
        petal.moveTo(inner, 0);
        petal.cubicTo(inner + (outer - inner) * 0.30, -width * 0.62, outer, -width * 0.62, outer,
                      0);
        petal.cubicTo(outer, width * 0.62, inner + (outer - inner) * 0.30, width * 0.62, inner, 0);
        QTransform turn;
        turn.translate(centre.x(), centre.y());
        turn.rotate(-90 + k * 360.0 / kPetals);
        petals.addPath(turn.map(petal));
    }
    QPainterPath disc;
    disc.addEllipse(centre, radius, radius);
    QPainterPath spindle;
    const qreal key = radius * 0.075;
    spindle.addRect(QRectF(centre.x() - key, centre.y() - key, 2 * key, 2 * key));
    const QPainterPath reel = disc.subtracted(petals).subtracted(spindle);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    painter.setPen(detailed ? QPen(Shade(palette::kBrassDark, 0.7), std::max(radius * 0.025, 0.8))
                            : Qt::NoPen);
    painter.setBrush(BrassBrush(box));
    painter.drawPath(reel);
    if (detailed) {
        // Rim groove and hub ring, as turned on a lathe.
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(QColor(0x4a, 0x30, 0x10, 150), std::max(radius * 0.02, 0.7)));
        painter.drawEllipse(centre, radius * 0.90, radius * 0.90);
        painter.drawEllipse(centre, radius * 0.19, radius * 0.19);
        painter.setPen(QPen(QColor(0xff, 0xf4, 0xd0, 120), std::max(radius * 0.015, 0.6)));
        painter.drawEllipse(centre, radius * 0.92, radius * 0.92);
        // Rivets between the petals.
        painter.setPen(Qt::NoPen);
        for (int k = 0; k < kPetals; ++k) {
            const double angle = (-90 + (k + 0.5) * 360.0 / kPetals) * std::numbers::pi / 180;
            const QPointF at = centre + QPointF(std::cos(angle), std::sin(angle)) * radius * 0.70;
            painter.setBrush(QColor(0x5a, 0x3c, 0x12));
            painter.drawEllipse(at, radius * 0.045, radius * 0.045);
            painter.setBrush(QColor(0xff, 0xf0, 0xc0, 200));
            painter.drawEllipse(at - QPointF(radius * 0.012, radius * 0.012), radius * 0.02,
                                radius * 0.02);
        }
    }
    painter.restore();
}

QImage NewOpaqueImage(QSize size, const QColor& fill)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(fill);
    return image;
}

}  // namespace kinoverd::artwork
