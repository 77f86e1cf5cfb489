// SPDX-License-Identifier: GPL-3.0-or-later
// Small pieces both player windows use: the local files of a drop.
#pragma once

#include "station/media_path.h"

class QMimeData;

namespace kinoverd {

// The local files among a drop's URLs, as the system names them; empty
// when there are none.
MediaPaths LocalPaths(const QMimeData* data);

}  // namespace kinoverd
