// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/video_cd_scanner.h"

#include "disc/video_cd_drives.h"

namespace kinoverd {

VideoCdScanner::VideoCdScanner(std::vector<std::string> drives) : drives_(std::move(drives)) {}

std::vector<std::string> VideoCdScanner::Scan() const
{
    return VideoCdTracks(drives_ ? *drives_ : OpticalDrives());
}

}  // namespace kinoverd
