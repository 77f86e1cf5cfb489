// SPDX-License-Identifier: GPL-3.0-or-later
// One picture showing all the artwork with labels, and the two windows put
// together as the player shows them, for the documentation.
#pragma once

#include <QImage>

#include <vector>

#include "resources/artwork/artwork_catalog.h"

namespace kinoverd::artwork {

QImage DrawContactSheet(const std::vector<DrawnPicture>& pictures);

}  // namespace kinoverd::artwork
