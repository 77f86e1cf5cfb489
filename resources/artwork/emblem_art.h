// SPDX-License-Identifier: GPL-3.0-or-later
// The brand pictures: the program icon at any size and the maker's logo
// banner of the about box's credits.
#pragma once

#include <QImage>

namespace kinoverd::artwork {

// A square icon `size` pixels wide, transparent around its rounded tile.
QImage DrawProgramIcon(int size);

// 300 x 41 on black, the credits' background.
QImage DrawLogoBanner();

}  // namespace kinoverd::artwork
