// SPDX-License-Identifier: GPL-3.0-or-later
// The player's pictures, compiled into the program (see resources/bitmap.h).
#pragma once

#include <QIcon>
#include <QPixmap>

#include "resources/bitmap.h"

namespace kinoverd {

QPixmap LoadBitmap(Bitmap bitmap);

// The program icon, with every size it was drawn in.
QIcon LoadProgramIcon();

}  // namespace kinoverd
