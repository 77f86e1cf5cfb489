// SPDX-License-Identifier: GPL-3.0-or-later
// How many pictures a file's video holds, as ffprobe decodes them: the
// yardstick for what a player should show of it.
#pragma once

#include <string>

namespace kinoverd::test {

// Pictures of the first video stream of `file`; -1 when ffprobe cannot tell.
int FramesInFile(const std::string& file);

}  // namespace kinoverd::test
