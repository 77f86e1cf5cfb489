// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/disc_images.h"

#include "disc/track_name.h"

namespace kinoverd {

MediaPaths ExpandDiscImages(const MediaPaths& paths)
{
    MediaPaths expanded;
    for (const MediaPath& path : paths) {
        for (const std::string& name : ExpandDiscPath(path.toStdString()))
            expanded << MediaPath::fromStdString(name);
    }
    return expanded;
}

}  // namespace kinoverd
