// SPDX-License-Identifier: GPL-3.0-or-later
// Where the sound goes: the desktop's sound server if one answers, else
// ALSA's default device. Chosen deliberately, once per process, rather than
// by trying every output the media framework knows (which fills the
// terminal with the errors of each one missing). With neither, the picture
// plays silently and one line on standard error says why.
#pragma once

#include <gst/gst.h>

namespace kinoverd {

// A new element for the chosen output; with none, a sink that takes the
// sound in real time and drops it. Null only when elements cannot be made.
GstElement* CreateAudioSink();

}  // namespace kinoverd
