// Every picture of the player, by its path inside the resources.
#pragma once

#include <QImage>
#include <QString>

#include <vector>

namespace kinoverd::artwork {

struct DrawnPicture {
    QString path;   // inside the resources, e.g. "bitmaps/185.png"
    QString title;  // what it is, for the contact sheet
    QImage image;
};

// "bitmaps/<id>.png": where bitmap `id` lies in the resources.
QString BitmapPath(int id);

// The program icon's sizes besides the 256-pixel "icons/128.png"; each is
// "icons/128-<size>.png".
inline constexpr int kSmallIconSizes[] = {16, 32, 48, 64};

std::vector<DrawnPicture> DrawAllArtwork();

// The picture at `path`; a null image when there is none.
QImage FindPicture(const std::vector<DrawnPicture>& pictures, const QString& path);

}  // namespace kinoverd::artwork
