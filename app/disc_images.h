// SPDX-License-Identifier: GPL-3.0-or-later
// The play list's view of the paths the user chose or dropped: a Video CD
// image (or drive) stands for its MPEG tracks in order, anything else for
// itself (disc/track_name.h).
#pragma once

#include "station/media_path.h"

namespace kinoverd {

MediaPaths ExpandDiscImages(const MediaPaths& paths);

}  // namespace kinoverd
