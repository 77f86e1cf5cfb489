// SPDX-License-Identifier: GPL-3.0-or-later
// Every picture of the player, by its path inside the resources.
#pragma once

#include <QImage>
#include <QString>

#include <vector>

#include "resources/bitmap.h"

namespace kinoverd::artwork {

struct DrawnPicture {
    QString path;   // inside the resources, e.g. "bitmaps/main_skin.png"
    QString title;  // what it is, for the contact sheet
    QImage image;
};

std::vector<DrawnPicture> DrawAllArtwork();

// The picture at `path`; a null image when there is none.
QImage FindPicture(const std::vector<DrawnPicture>& pictures, const QString& path);

}  // namespace kinoverd::artwork
