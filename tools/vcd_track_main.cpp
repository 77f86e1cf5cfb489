// SPDX-License-Identifier: GPL-3.0-or-later
// kinoverd-vcd-track MPEG_FILE TRACK_FILE: writes a Video CD track file
// (raw 2352-byte sectors) that carries the MPEG system stream's packs.
#include <cstdio>
#include <string>

#include "tools/vcd_track_writer.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: kinoverd-vcd-track MPEG_FILE TRACK_FILE\n");
        return 2;
    }
    std::string error;
    if (!kinoverd::VcdTrackWriter::WriteFile(argv[1], argv[2], &error)) {
        std::fprintf(stderr, "kinoverd-vcd-track: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
