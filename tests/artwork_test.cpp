// SPDX-License-Identifier: GPL-3.0-or-later
// The artwork compiled into kinoverd_resources: every picture at its size,
// the frame strips' four looks, readable captions, and a generator that
// draws the same bytes every time.
#include <QColor>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "resources/bitmap_resource.h"

namespace kinoverd {
namespace {

struct Expected {
    Bitmap bitmap;
    int width;
    int height;
};

constexpr Expected kBitmaps[] = {
    {Bitmap::MainSkin, 484, 120},
    {Bitmap::FileButton, 176, 24},    {Bitmap::DiscButton, 176, 24},
    {Bitmap::ExitButton, 176, 24},    {Bitmap::StopButton, 176, 24},
    {Bitmap::AboutButton, 176, 24},   {Bitmap::ChannelButton, 176, 24},
    {Bitmap::FullScreenOff, 44, 24},  {Bitmap::FullScreenOn, 44, 24},
    {Bitmap::LoopOff, 44, 24},        {Bitmap::LoopOn, 44, 24},
    {Bitmap::SliderTexture, 200, 14}, {Bitmap::StatusPane, 188, 49},
    {Bitmap::MediaPane, 245, 31},     {Bitmap::VideoFrame, 485, 360},
    {Bitmap::IdlePicture, 377, 302},  {Bitmap::LogoBanner, 300, 41},
};
constexpr Bitmap kStrips[] = {Bitmap::FileButton, Bitmap::DiscButton,  Bitmap::ExitButton,
                              Bitmap::StopButton, Bitmap::AboutButton, Bitmap::ChannelButton};
constexpr int kFrameWidth = 44;
constexpr int kFrameHeight = 24;

QImage LoadImage(Bitmap bitmap)
{
    return LoadBitmap(bitmap).toImage().convertToFormat(QImage::Format_RGB32);
}

std::string Name(Bitmap bitmap) { return BitmapPath(bitmap).toStdString(); }

QImage Frame(const QImage& strip, int number)
{
    return strip.copy((number - 1) * kFrameWidth, 0, kFrameWidth, kFrameHeight);
}

double MeanSaturation(const QImage& image)
{
    double sum = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            sum += QColor(image.pixel(x, y)).hsvSaturation();
    return sum / (image.width() * image.height());
}

double MeanLightness(const QImage& image, const QRect& area)
{
    double sum = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            sum += QColor(image.pixel(x, y)).lightness();
    return sum / (area.width() * area.height());
}

// Pixels of the caption area, inside the key's bevel, that pass `isInk`.
template <typename Predicate>
int CountCaptionPixels(const QImage& frame, Predicate isInk)
{
    int count = 0;
    for (int y = 4; y < kFrameHeight - 4; ++y)
        for (int x = 5; x < kFrameWidth - 5; ++x)
            count += isInk(QColor(frame.pixel(x, y))) ? 1 : 0;
    return count;
}

bool IsRed(const QColor& c)
{
    return c.red() - c.green() > 60 && c.red() - c.blue() > 60;
}
bool IsBlue(const QColor& c)
{
    return c.blue() - c.red() > 30 && c.blue() - c.green() > 10;
}
bool IsDarkGrey(const QColor& c)
{
    return c.lightness() < 160 && c.hsvSaturation() < 40;
}

// A two-letter caption covers far more than this many pixels; a missing
// font leaves none (or empty boxes of another colour).
constexpr int kCaptionPixels = 40;

TEST(ArtworkTest, EveryBitmapLoadsAtItsSize)
{
    for (const Expected& expected : kBitmaps) {
        const QPixmap bitmap = LoadBitmap(expected.bitmap);
        ASSERT_FALSE(bitmap.isNull()) << Name(expected.bitmap);
        EXPECT_EQ(bitmap.size(), QSize(expected.width, expected.height)) << Name(expected.bitmap);
    }
}

TEST(ArtworkTest, ProgramIconHasEverySize)
{
    const QIcon icon = LoadProgramIcon();
    ASSERT_FALSE(icon.isNull());
    const QList<QSize> sizes = icon.availableSizes();
    for (const int size : {16, 32, 48, 64, 256})
        EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
    EXPECT_EQ(icon.pixmap(256).size(), QSize(256, 256));
}

TEST(ArtworkTest, FrameStripsHaveFourDistinctLooks)
{
    for (const Bitmap id : kStrips) {
        const QImage strip = LoadImage(id);
        for (int a = 1; a <= 4; ++a)
            for (int b = a + 1; b <= 4; ++b)
                EXPECT_NE(Frame(strip, a), Frame(strip, b)) << Name(id) << ": frames " << a << ", " << b;
        EXPECT_LT(MeanSaturation(Frame(strip, 4)), MeanSaturation(Frame(strip, 1)) * 0.6) << Name(id);
    }
}

TEST(ArtworkTest, FrameStripCaptionsAreDrawnInTheirColours)
{
    for (const Bitmap id : kStrips) {
        const QImage strip = LoadImage(id);
        EXPECT_GT(CountCaptionPixels(Frame(strip, 1), IsRed), kCaptionPixels) << Name(id);
        EXPECT_GT(CountCaptionPixels(Frame(strip, 2), IsBlue), kCaptionPixels) << Name(id);
        EXPECT_GT(CountCaptionPixels(Frame(strip, 3), IsBlue), kCaptionPixels) << Name(id);
        EXPECT_GT(CountCaptionPixels(Frame(strip, 4), IsDarkGrey), kCaptionPixels) << Name(id);
        // Only the pressed and hover looks are blue, only the normal one red.
        EXPECT_EQ(CountCaptionPixels(Frame(strip, 1), IsBlue), 0) << Name(id);
        EXPECT_EQ(CountCaptionPixels(Frame(strip, 3), IsRed), 0) << Name(id);
    }
}

TEST(ArtworkTest, TogglesLightUpWhenOn)
{
    auto lit = [](const QColor& c) { return c.red() > 240 && c.green() > 170 && c.blue() < 130; };
    for (const auto& [off, on] : {std::pair{Bitmap::FullScreenOff, Bitmap::FullScreenOn},
                                  std::pair{Bitmap::LoopOff, Bitmap::LoopOn}}) {
        const QImage offImage = LoadImage(off);
        const QImage onImage = LoadImage(on);
        EXPECT_NE(offImage, onImage);
        EXPECT_GT(CountCaptionPixels(offImage, IsRed), kCaptionPixels) << Name(off);
        EXPECT_GT(CountCaptionPixels(onImage, IsBlue), kCaptionPixels) << Name(on);
        EXPECT_EQ(CountCaptionPixels(offImage, lit), 0) << Name(off);
        EXPECT_GT(CountCaptionPixels(onImage, lit), 4) << Name(on);
        // Sunken: the pressed-in face is darker.
        const QRect face(3, 3, kFrameWidth - 6, kFrameHeight - 6);
        EXPECT_LT(MeanLightness(onImage, face), MeanLightness(offImage, face)) << Name(on);
    }
}

TEST(ArtworkTest, TextsHaveContrastOnTheirBackgrounds)
{
    // The panes carry bright green and cyan text: their glass is dark.
    EXPECT_LT(MeanLightness(LoadImage(Bitmap::StatusPane), QRect(8, 8, 160, 29)), 40);
    EXPECT_LT(MeanLightness(LoadImage(Bitmap::MediaPane), QRect(7, 6, 233, 19)), 40);
    // The home-page link is blue or red text on the skin: its plate is light.
    EXPECT_GT(MeanLightness(LoadImage(Bitmap::MainSkin), QRect(356, 100, 100, 14)), 160);
    // The credits are coloured text on black, and so is the logo's ground.
    EXPECT_EQ(QColor(LoadImage(Bitmap::LogoBanner).pixel(299, 0)), QColor(Qt::black));
}

TEST(ArtworkTest, IdlePictureAndVideoAreaMatch)
{
    // The frame's video area is covered by the idle picture or the video;
    // its surround is drawn.
    const QImage frame = LoadImage(Bitmap::VideoFrame);
    EXPECT_EQ(QColor(frame.pixel(54, 29)), QColor(Qt::black));
    EXPECT_EQ(QColor(frame.pixel(430, 330)), QColor(Qt::black));
    EXPECT_GT(MeanLightness(frame, QRect(0, 100, 50, 200)), 20);
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::set<QString> PngFilesUnder(const QString& root)
{
    std::set<QString> files;
    QDirIterator it(root, {QStringLiteral("*.png")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.insert(QDir(root).relativeFilePath(it.next()));
    return files;
}

bool RunGenerator(const QString& outputDir)
{
    QProcess generator;
    generator.start(QStringLiteral(KINOVERD_ARTWORK_GENERATOR), {outputDir});
    return generator.waitForFinished(60000) && generator.exitStatus() == QProcess::NormalExit &&
           generator.exitCode() == 0;
}

TEST(ArtworkTest, GeneratorDrawsTheSameBytesEveryTime)
{
    QTemporaryDir first;
    QTemporaryDir second;
    ASSERT_TRUE(RunGenerator(first.path()));
    ASSERT_TRUE(RunGenerator(second.path()));
    const std::set<QString> files = PngFilesUnder(first.path());
    ASSERT_EQ(files, PngFilesUnder(second.path()));
    ASSERT_GT(files.size(), 17u);
    for (const QString& file : files) {
        const QByteArray bytes = ReadAll(QDir(first.path()).filePath(file));
        EXPECT_FALSE(bytes.isEmpty()) << file.toStdString();
        EXPECT_EQ(bytes, ReadAll(QDir(second.path()).filePath(file))) << file.toStdString();
    }
    // What the program carries is what the generator draws now.
    LoadBitmap(Bitmap::MainSkin);  // registers the resources
    const QString skin = BitmapPath(Bitmap::MainSkin);
    EXPECT_EQ(ReadAll(QStringLiteral(":/") + skin), ReadAll(QDir(first.path()).filePath(skin)));
    EXPECT_EQ(ReadAll(QStringLiteral(":/") + ProgramIconPath()),
              ReadAll(QDir(first.path()).filePath(QStringLiteral("kinoverd.png"))));
}

}  // namespace
}  // namespace kinoverd
