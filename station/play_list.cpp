// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/play_list.h"

namespace kinoverd {

void PlayList::Set(const QStringList& paths)
{
    all_ = paths;
    pending_ = paths;
}

QString PlayList::TakeNext()
{
    return pending_.isEmpty() ? QString() : pending_.takeFirst();
}

}  // namespace kinoverd
