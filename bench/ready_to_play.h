// SPDX-License-Identifier: GPL-3.0-or-later
// What a bench that broadcasts and plays needs before it starts.
#pragma once

namespace kinoverd::bench {

// The private namespace (the bench sends multicast), Qt's offscreen
// platform unless another is chosen, and a sound server for the sound.
// Called before the QApplication is made. False, with the reason on
// standard error, when the bench cannot run here.
bool ReadyToPlay(const char* bench_name);

}  // namespace kinoverd::bench
