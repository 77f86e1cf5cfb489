// SPDX-License-Identifier: GPL-3.0-or-later
#include "disc/video_cd_drives.h"

#include <cdio/cdio.h>
#include <cdio/device.h>
#include <limits.h>
#include <stdlib.h>

#include <algorithm>
#include <string_view>

#include "disc/track_name.h"

namespace kinoverd {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Name order with digit runs compared as numbers.
bool DeviceLess(const std::string& a, const std::string& b)
{
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (!IsDigit(a[i]) || !IsDigit(b[j])) {
            if (a[i] != b[j]) return a[i] < b[j];
            ++i;
            ++j;
            continue;
        }
        size_t end_a = i;
        size_t end_b = j;
        while (end_a < a.size() && IsDigit(a[end_a])) ++end_a;
        while (end_b < b.size() && IsDigit(b[end_b])) ++end_b;
        const std::string_view run_a = std::string_view(a).substr(i, end_a - i);
        const std::string_view run_b = std::string_view(b).substr(j, end_b - j);
        const std::string_view number_a = run_a.substr(std::min(run_a.find_first_not_of('0'), run_a.size()));
        const std::string_view number_b = run_b.substr(std::min(run_b.find_first_not_of('0'), run_b.size()));
        if (number_a.size() != number_b.size()) return number_a.size() < number_b.size();
        if (number_a != number_b) return number_a < number_b;
        i = end_a;
        j = end_b;
    }
    if (i == a.size() && j == b.size()) return a < b;  // equal but for leading zeros
    return i == a.size();
}

}  // namespace

std::vector<std::string> OpticalDrives()
{
    std::vector<std::string> drives;
    char** devices = cdio_get_devices(DRIVER_DEVICE);
    for (char** device = devices; device && *device; ++device) {
        char resolved[PATH_MAX];
        const std::string drive = realpath(*device, resolved) ? resolved : *device;
        if (std::find(drives.begin(), drives.end(), drive) == drives.end()) drives.push_back(drive);
    }
    cdio_free_device_list(devices);
    std::sort(drives.begin(), drives.end(), DeviceLess);
    return drives;
}

std::vector<std::string> VideoCdTracks(const std::vector<std::string>& drives)
{
    std::vector<std::string> tracks;
    for (const std::string& drive : drives) {
        std::string error;
        for (std::string& track : VideoCdTrackNames(drive, error)) tracks.push_back(std::move(track));
    }
    return tracks;
}

}  // namespace kinoverd
