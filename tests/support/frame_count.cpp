// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/frame_count.h"

#include <chrono>
#include <cstdlib>

#include "tests/support/child_process.h"

namespace kinoverd::test {

int FramesInFile(const std::string& file)
{
    ChildProcess probe("/usr/bin/ffprobe", {"-v", "quiet", "-count_frames", "-select_streams", "v:0",
                                            "-show_entries", "stream=nb_read_frames", "-of", "csv=p=0", file});
    if (probe.WaitForExit(std::chrono::minutes(2)) != 0) return -1;
    return std::atoi(probe.out().c_str());
}

}  // namespace kinoverd::test
