// The player's pictures, compiled into the program: bitmaps by number
// (":/bitmaps/<id>.png") and the program icon (":/icons/<id>.png").
#pragma once

#include <QIcon>
#include <QPixmap>

namespace kinoverd {

// The bitmap with this number; a null pixmap when there is none, and
// nothing is reported.
QPixmap LoadBitmapResource(int id);

// The icon with this number, with every size it was drawn in; a null icon
// when there is none.
QIcon LoadIconResource(int id);

}  // namespace kinoverd
