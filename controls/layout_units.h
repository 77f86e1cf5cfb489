// SPDX-License-Identifier: GPL-3.0-or-later
// The about box and its credits are laid out on a grid of layout units,
// 1.5 pixels wide and 1.625 pixels high. Each edge is rounded on its own,
// so that neighbouring rectangles still meet in pixels.
#pragma once

#include <QRect>
#include <QtMath>

namespace kinoverd {

inline QRect FromLayoutUnits(int x, int y, int width, int height)
{
    const int left = qRound(x * 1.5);
    const int top = qRound(y * 1.625);
    const int right = qRound((x + width) * 1.5);
    const int bottom = qRound((y + height) * 1.625);
    return QRect(left, top, right - left, bottom - top);
}

inline QRect FromLayoutUnits(const QRect& units)
{
    return FromLayoutUnits(units.x(), units.y(), units.width(), units.height());
}

}  // namespace kinoverd
