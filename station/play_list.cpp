// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/play_list.h"

namespace kinoverd {

void PlayList::Set(const MediaPaths& paths)
{
    all_ = paths;
    pending_ = paths;
}

MediaPath PlayList::TakeNext()
{
    return pending_.isEmpty() ? MediaPath() : pending_.takeFirst();
}

}  // namespace kinoverd
