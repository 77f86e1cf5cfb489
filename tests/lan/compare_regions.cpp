// SPDX-License-Identifier: GPL-3.0-or-later
// compare-regions A.png B.png X Y WIDTH HEIGHT: whether the same rectangle
// of two screenshots differs. Exit status 0 when it differs, 1 when it is
// the same, 2 when a picture cannot be read.
#include <QImage>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 7) {
        std::fprintf(stderr, "usage: %s A.png B.png X Y WIDTH HEIGHT\n", argv[0]);
        return 2;
    }
    const QImage a(QString::fromLocal8Bit(argv[1]));
    const QImage b(QString::fromLocal8Bit(argv[2]));
    if (a.isNull() || b.isNull()) {
        std::fprintf(stderr, "compare-regions: cannot read the pictures\n");
        return 2;
    }
    const QRect region(std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]));
    const bool same = a.copy(region) == b.copy(region);
    std::printf("%s\n", same ? "same" : "differs");
    return same ? 1 : 0;
}
