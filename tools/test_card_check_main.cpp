// SPDX-License-Identifier: GPL-3.0-or-later
// kinoverd-test-card-check SHOT.png X Y WIDTH HEIGHT: whether that rectangle
// of a screenshot shows the test card the generated clips carry, as the
// playing picture does and the idle artwork (gold on black) never does.
// Exit status 0 when it does, 1 when not, 2 when the picture cannot be read.
#include <QImage>

#include <array>
#include <cstdio>
#include <cstdlib>

namespace {

// Three of the card's bars that no part of the skin comes near.
struct Bar {
    const char* name;
    bool (*matches)(QRgb);
};
constexpr int kHigh = 170;
constexpr int kLow = 90;
const std::array<Bar, 3> kBars = {{
    {"blue", [](QRgb c) { return qRed(c) < kLow && qGreen(c) < kLow && qBlue(c) > kHigh; }},
    {"cyan", [](QRgb c) { return qRed(c) < kLow && qGreen(c) > kHigh && qBlue(c) > kHigh; }},
    {"magenta", [](QRgb c) { return qRed(c) > kHigh && qGreen(c) < kLow && qBlue(c) > kHigh; }},
}};
// Each bar is a seventh of the card's width; scaled and cut by the
// picture's frame, it still covers well over this share of the area.
constexpr double kLeastShare = 0.04;

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 6) {
        std::fprintf(stderr, "usage: kinoverd-test-card-check SHOT.png X Y WIDTH HEIGHT\n");
        return 2;
    }
    const QImage shot(QString::fromLocal8Bit(argv[1]));
    if (shot.isNull()) {
        std::fprintf(stderr, "kinoverd-test-card-check: cannot read %s\n", argv[1]);
        return 2;
    }
    const QImage area = shot.copy(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]))
                            .convertToFormat(QImage::Format_RGB32);
    const double pixels = double(area.width()) * area.height();
    bool shown = pixels > 0;
    for (const Bar& bar : kBars) {
        int count = 0;
        for (int y = 0; y < area.height(); ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(area.constScanLine(y));
            for (int x = 0; x < area.width(); ++x) count += bar.matches(line[x]);
        }
        const double share = pixels > 0 ? count / pixels : 0.0;
        std::printf("%s %.1f%%\n", bar.name, share * 100.0);
        shown = shown && share >= kLeastShare;
    }
    std::printf("%s\n", shown ? "the test card is shown" : "no test card");
    return shown ? 0 : 1;
}
