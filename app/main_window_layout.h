// SPDX-License-Identifier: GPL-3.0-or-later
// Where the main window's controls sit: one table, in layout units, for the
// window and its tests.
#pragma once

#include <QRect>

#include "controls/layout_units.h"

namespace kinoverd {

enum class Control {
    Options,
    Internet,
    File,
    Disc,
    Stop,
    Exit,
    About,
    FullScreen,
    Loop,
    Channel,
    Volume,
    Position,
    HomePage,
    StatusPane,
    MediaPane,
};

struct ControlPlace {
    Control control;
    QRect units;
};

inline constexpr ControlPlace kMainWindowLayout[] = {
    {Control::Options, QRect(5, 0, 6, 6)},
    {Control::Internet, QRect(12, 0, 6, 6)},
    {Control::File, QRect(13, 57, 29, 16)},
    {Control::Disc, QRect(45, 57, 29, 16)},
    {Control::Stop, QRect(77, 57, 29, 16)},
    {Control::Exit, QRect(109, 57, 29, 16)},
    {Control::About, QRect(141, 57, 29, 16)},
    {Control::FullScreen, QRect(173, 57, 29, 16)},
    {Control::Loop, QRect(205, 57, 29, 16)},
    {Control::Channel, QRect(273, 26, 29, 16)},
    {Control::Volume, QRect(140, 27, 128, 14)},
    {Control::Position, QRect(9, 42, 300, 14)},
    {Control::HomePage, QRect(237, 61, 68, 10)},
    {Control::StatusPane, QRect(13, 3, 125, 37)},
    {Control::MediaPane, QRect(143, 3, 163, 21)},
};

// The control's place in the window, in pixels.
inline QRect PlaceOf(Control control)
{
    for (const ControlPlace& place : kMainWindowLayout)
        if (place.control == control) return FromLayoutUnits(place.units);
    return {};
}

}  // namespace kinoverd
