// SPDX-License-Identifier: GPL-3.0-or-later
// The brass push buttons of the main window: frame strips of four looks and
// the two-state images of the Full-screen and Loop toggles.
#pragma once

#include <QImage>
#include <QString>

namespace kinoverd::artwork {

inline constexpr int kButtonFrameWidth = 44;
inline constexpr int kButtonFrameHeight = 24;

// Four frames side by side: normal, pressed, hover, disabled.
QImage DrawFrameStrip(const QString& caption);

// One frame: a raised key with an unlit lamp, or a sunken key with a lit one.
QImage DrawToggle(const QString& caption, bool on);

}  // namespace kinoverd::artwork
