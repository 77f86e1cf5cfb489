// SPDX-License-Identifier: GPL-3.0-or-later
// Finds the Video CD tracks in the optical drives, mounted or not, through
// libcdio. Tracks come as play-list names (disc/track_name.h) such as
// "/dev/sr0#1": drives in device order, each disc's tracks in disc order.
// No drive, no disc or no Video CD gives no tracks, and nothing is reported.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kinoverd {

class VideoCdScanner {
public:
    // Looks in the machine's drives as they are at each scan.
    VideoCdScanner() = default;
    // Looks only in `drives` (devices or disc images), in this order.
    explicit VideoCdScanner(std::vector<std::string> drives);

    std::vector<std::string> Scan() const;

private:
    const std::optional<std::vector<std::string>> drives_;  // none: the machine's
};

}  // namespace kinoverd
