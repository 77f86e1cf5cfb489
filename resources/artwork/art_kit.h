// SPDX-License-Identifier: GPL-3.0-or-later
// Shared pieces of the artwork generator: the palette of the skin, the two
// fonts loaded from fixed files (so the pictures come out the same on every
// machine), repeatable noise, and the bevels and lettering every picture uses.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>
#include <QString>

namespace kinoverd::artwork {

// Dark cinema: warm charcoal console, brass fittings, red velvet, parchment.
namespace palette {
inline const QColor kConsoleTop{0x2e, 0x25, 0x1f};
inline const QColor kConsoleBottom{0x17, 0x11, 0x0e};
inline const QColor kTray{0x12, 0x0d, 0x0b};  // behind buttons: their corners show it
inline const QColor kBrassLight{0xf6, 0xdc, 0x96};
inline const QColor kBrass{0xc9, 0x9c, 0x4a};
inline const QColor kBrassDark{0x6e, 0x4e, 0x1c};
inline const QColor kVelvet{0x86, 0x12, 0x1b};
inline const QColor kVelvetDark{0x2c, 0x03, 0x07};
inline const QColor kVelvetLight{0xc2, 0x2e, 0x36};
inline const QColor kIvory{0xf4, 0xe8, 0xc8};
inline const QColor kCaptionRed{0x8c, 0x16, 0x10};
inline const QColor kCaptionBlue{0x16, 0x3a, 0xa6};
inline const QColor kCaptionGrey{0x8c, 0x89, 0x84};
}  // namespace palette

// Registers the two font files; false when either cannot be read.
bool LoadArtFonts(const QString& cjkFontFile, const QString& serifFontFile);

enum class Typeface {
    kCjk,    // WenQuanYi Micro Hei: Chinese captions and plain Latin
    kSerif,  // DejaVu Serif Bold: the brand name
};

// Outline of a text `pixelSize` high (em), with its ink box centred on
// `centre`; `spacing` adds that many pixels between letters.
QPainterPath CentredText(Typeface face, qreal pixelSize, const QString& text, QPointF centre,
                         qreal spacing = 0);

// Fills a text outline; `weight` thickens thin strokes by outlining them in
// the same colour.
void FillText(QPainter& painter, const QPainterPath& text, const QColor& colour, qreal weight = 0);

// Text cut into a surface: a light edge below, the dark letters above.
void DrawEngravedText(QPainter& painter, const QPainterPath& text, const QColor& ink,
                      const QColor& lightEdge);

// Value noise in [0, 1], smooth over about `scale` pixels; same output for
// the same inputs everywhere.
double SmoothNoise(double x, double y, double scale, quint32 seed);
// Per-pixel noise in [0, 1].
double GrainNoise(int x, int y, quint32 seed);

QColor Mix(const QColor& a, const QColor& b, double t);
QColor Shade(const QColor& colour, double factor);  // <1 darker, >1 lighter

// Brass fill for a shape: a diagonal sweep with a bright band.
QBrush BrassBrush(const QRectF& box);

// A dark recessed well with a brass lip, for panes and slider grooves.
void DrawRecessedWell(QPainter& painter, const QRectF& outer, qreal radius, const QColor& floor);

// Film perforations down a vertical strip.
void DrawPerforatedStrip(QPainter& painter, const QRectF& strip, qreal holePitch);

// The emblem: a film reel whose cut-outs are petals, for the icon, the logo,
// the idle picture and the skin.
void DrawFilmReel(QPainter& painter, QPointF centre, qreal radius, bool detailed);

// A new image of `size`, filled with `fill`; RGB32 so the PNG is opaque.
QImage NewOpaqueImage(QSize size, const QColor& fill);

}  // namespace kinoverd::artwork
