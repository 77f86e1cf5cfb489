// SPDX-License-Identifier: GPL-3.0-or-later
// Small pieces both player windows use: the local files of a drop.
#pragma once

#include <QStringList>


class QMimeData;

namespace kinoverd {


// The local files among a drop's URLs; empty when there are none.
QStringList LocalPaths(const QMimeData* data);

}  // namespace kinoverd
