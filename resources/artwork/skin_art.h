// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's 484 x 120 background: a dark console with brass-lipped
// wells under the panes and sliders, a tray for the button row, a plaque for
// the home-page link and film perforations down both sides.
#pragma once

#include <QImage>

namespace kinoverd::artwork {

QImage DrawMainSkin();

}  // namespace kinoverd::artwork
