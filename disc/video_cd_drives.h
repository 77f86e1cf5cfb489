// SPDX-License-Identifier: GPL-3.0-or-later
// The machine's optical drives, and the Video CD tracks in them, mounted or not.
#pragma once

#include <string>
#include <vector>

namespace kinoverd {

// The drives libcdio finds, each once (links such as /dev/cdrom -> sr0
// resolved), in device order with numbers compared as numbers: sr2 before
// sr10. None on a machine without drives.
std::vector<std::string> OpticalDrives();

// The track names of the Video CD in each of `drives`, drive by drive in
// the order given; a drive without a readable Video CD gives nothing.
std::vector<std::string> VideoCdTracks(const std::vector<std::string>& drives);

}  // namespace kinoverd
