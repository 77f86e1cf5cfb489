// SPDX-License-Identifier: GPL-3.0-or-later
#include "resources/artwork/contact_sheet.h"

#include <QLinearGradient>
#include <QPainter>

#include "resources/artwork/art_kit.h"
#include "resources/artwork/button_art.h"
#include "resources/artwork/main_window_layout.h"
#include "resources/artwork/stage_art.h"

namespace kinoverd::artwork {

namespace {

constexpr QSize kSheetSize{1350, 1150};
const QColor kLabelColour(0xc8, 0xbc, 0xa8);

QImage Picture(const std::vector<DrawnPicture>& pictures, Bitmap bitmap)
{
    return FindPicture(pictures, BitmapPath(bitmap));
}

QString TitleOf(const std::vector<DrawnPicture>& pictures, const QString& path)
{
    for (const DrawnPicture& picture : pictures) {
        if (picture.path == path)
            return picture.title;
    }
    return path;
}

// Text whose ink starts at `left` and is centred on `middle` vertically.
QPainterPath TextFrom(Typeface face, qreal size, const QString& text, qreal left, qreal middle)
{
    QPainterPath path = CentredText(face, size, text, QPointF(0, middle));
    path.translate(left - path.boundingRect().left(), 0);
    return path;
}

void Label(QPainter& painter, const QString& text, QPointF topLeft)
{
    FillText(painter, TextFrom(Typeface::kCjk, 12, text, topLeft.x(), topLeft.y() + 7),
             kLabelColour);
}

enum class Caption { kWithSize, kTitleOnly };

// Draws a picture magnified `zoom` times without smoothing, with its label
// above; returns the bottom of the tile.
qreal Tile(QPainter& painter, const std::vector<DrawnPicture>& pictures, const QString& path,
           QPointF topLeft, int zoom = 1, Caption caption = Caption::kWithSize)
{
    const QImage image = FindPicture(pictures, path);
    QString label = TitleOf(pictures, path);
    if (caption == Caption::kWithSize)
        label += QStringLiteral("  %1×%2").arg(image.width()).arg(image.height());
    if (zoom > 1)
        label += QStringLiteral("  (×%1)").arg(zoom);
    Label(painter, label, topLeft);
    const QRectF target(topLeft + QPointF(0, 18), QSizeF(image.size() * zoom));
    if (!image.hasAlphaChannel())
        painter.fillRect(target.adjusted(-1, -1, 1, 1), QColor(0, 0, 0));
    painter.drawImage(target, image);
    return target.bottom();
}

void DrawSlider(QPainter& painter, const QRect& slider, const QImage& texture, double value)
{
    const QRectF channel(slider.left() + 8, slider.center().y() - 3, slider.width() - 16, 7);
    painter.fillRect(channel, QColor(0x20, 0x14, 0x0c));
    painter.fillRect(channel.adjusted(1, 1, 0, 0), QColor(0xf0, 0xe0, 0xb8));
    painter.drawImage(channel.adjusted(1, 1, -1, -1), texture);
    const QRectF thumb(channel.left() + value * (channel.width() - 11), slider.top() + 3, 11,
                       slider.height() - 6);
    painter.fillRect(thumb, QColor(0x20, 0x14, 0x0c));
    painter.fillRect(thumb.adjusted(0, 0, -1, -1), QColor(0xfa, 0xf0, 0xd4));
    painter.drawImage(thumb.adjusted(1, 1, -1, -1), texture, QRectF(90, 0, 20, 14));
}

// The docked pair as the player shows it at start-up: idle picture in the
// frame, "ready" and "no media" in the panes, the Channel button disabled.
QImage DrawMockUp(const std::vector<DrawnPicture>& pictures)
{
    using namespace layout;
    QImage mock(485, 480, QImage::Format_RGB32);
    mock.fill(Qt::black);
    QPainter painter(&mock);
    painter.drawImage(0, 0, Picture(pictures, Bitmap::VideoFrame));
    painter.drawImage(kVideoArea.topLeft(), Picture(pictures, Bitmap::IdlePicture));

    painter.translate(0, 360);
    painter.drawImage(QRectF(0, 0, 485, 120), Picture(pictures, Bitmap::MainSkin));
    painter.drawImage(kStatusPane.topLeft(), Picture(pictures, Bitmap::StatusPane));
    painter.drawImage(kMediaPane.topLeft(), Picture(pictures, Bitmap::MediaPane));
    FillText(painter,
             TextFrom(Typeface::kSerif, 22, QStringLiteral("ready"), kStatusPane.left() + 9,
                      kStatusPane.top() + 21),
             QColor(0, 220, 0));
    FillText(painter,
             TextFrom(Typeface::kCjk, 14, QStringLiteral("no media"), kMediaPane.left() + 8,
                      kMediaPane.top() + 13),
             QColor(71, 220, 187));

    const QImage texture = Picture(pictures, Bitmap::SliderTexture);
    DrawSlider(painter, kVolumeSlider, texture, 0.7);
    DrawSlider(painter, kPositionSlider, texture, 0.0);

    const Bitmap strips[] = {Bitmap::FileButton, Bitmap::DiscButton, Bitmap::StopButton,
                            Bitmap::ExitButton, Bitmap::AboutButton};
    for (int k = 0; k < 5; ++k)
        painter.drawImage(kButtonRow[k].topLeft(), Picture(pictures, strips[k]),
                          QRect(0, 0, kButtonFrameWidth, kButtonFrameHeight));
    painter.drawImage(kButtonRow[5].topLeft(), Picture(pictures, Bitmap::FullScreenOff));
    painter.drawImage(kButtonRow[6].topLeft(), Picture(pictures, Bitmap::LoopOff));
    painter.drawImage(kChannelButton.topLeft(), Picture(pictures, Bitmap::ChannelButton),
                      QRect(3 * kButtonFrameWidth, 0, kButtonFrameWidth, kButtonFrameHeight));
    const QPainterPath link = CentredText(Typeface::kCjk, 11.5, QStringLiteral("Kinoverd 2000.8"),
                                          QRectF(kLinkLabel).center());
    FillText(painter, link, QColor(0, 0, 255));
    return mock;
}

}  // namespace

QImage DrawContactSheet(const std::vector<DrawnPicture>& pictures)
{
    QImage sheet(kSheetSize, QImage::Format_RGB32);
    QPainter painter(&sheet);
    QLinearGradient backdrop(QPointF(0, 0), QPointF(0, kSheetSize.height()));
    backdrop.setColorAt(0, QColor(0x24, 0x1c, 0x18));
    backdrop.setColorAt(1, QColor(0x12, 0x0e, 0x0c));
    painter.fillRect(sheet.rect(), backdrop);
    painter.setRenderHint(QPainter::Antialiasing);

    const QPainterPath title =
        TextFrom(Typeface::kSerif, 24, QStringLiteral("Kinoverd artwork"), 30, 32);
    FillText(painter, title, palette::kBrassLight);
    FillText(painter,
             TextFrom(Typeface::kCjk, 13,
                      QStringLiteral("胶片花园 · drawn at build time by resources/artwork"),
                      title.boundingRect().right() + 24, 34),
             kLabelColour);

    Label(painter, QStringLiteral("The two windows docked, at start-up (mock-up)"),
          QPointF(30, 64));
    const QImage mock = DrawMockUp(pictures);
    painter.fillRect(QRectF(29, 81, mock.width() + 2, mock.height() + 2), QColor(0, 0, 0));
    painter.drawImage(30, 82, mock);

    const qreal strips = 545;
    qreal y = 64;
    for (const Bitmap strip : {Bitmap::FileButton, Bitmap::DiscButton, Bitmap::ExitButton,
                              Bitmap::StopButton, Bitmap::AboutButton, Bitmap::ChannelButton})
        y = Tile(painter, pictures, BitmapPath(strip), QPointF(strips, y), 2) + 12;
    Label(painter, QStringLiteral("frames: normal, pressed, hover, disabled"), QPointF(strips, y));

    const qreal side = 930;
    int index = 0;
    for (const Bitmap toggle :
         {Bitmap::FullScreenOff, Bitmap::FullScreenOn, Bitmap::LoopOff, Bitmap::LoopOn}) {
        const QPointF at(side + (index % 2) * 190, 64 + (index / 2) * 82);
        y = Tile(painter, pictures, BitmapPath(toggle), at, 2, Caption::kTitleOnly);
        ++index;
    }
    y = Tile(painter, pictures, BitmapPath(Bitmap::SliderTexture), QPointF(side, y + 14), 2) + 14;
    y = Tile(painter, pictures, BitmapPath(Bitmap::StatusPane), QPointF(side, y)) + 14;
    y = Tile(painter, pictures, BitmapPath(Bitmap::MediaPane), QPointF(side, y)) + 14;
    Tile(painter, pictures, BitmapPath(Bitmap::LogoBanner), QPointF(side, y));

    const qreal lower = 600;
    y = Tile(painter, pictures, BitmapPath(Bitmap::VideoFrame), QPointF(30, lower));
    Tile(painter, pictures, BitmapPath(Bitmap::MainSkin), QPointF(30, y + 16));
    Tile(painter, pictures, BitmapPath(Bitmap::IdlePicture), QPointF(545, lower));
    y = Tile(painter, pictures, ProgramIconPath(), QPointF(side, lower));
    qreal x = side;
    for (const int size : kSmallIconSizes) {
        Tile(painter, pictures, ProgramIconPath(size), QPointF(x, y + 16), 1,
             Caption::kTitleOnly);
        x += size + 40;
    }
    return sheet;
}

}  // namespace kinoverd::artwork
