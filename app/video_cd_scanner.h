// Finds the Video CD tracks on the mounted optical discs: the *.DAT files in
// the MPEGAV directory (names in any case) of every iso9660 or udf file
// system mounted from a CD-ROM device (/dev/sr*, /dev/scd*, /dev/cdrom*,
// after following links such as /dev/cdrom -> sr0). Loop-mounted images and
// other block devices are not drives and are left out. Discs come in device
// order, each disc's tracks in name order; no disc gives no tracks.
#pragma once

#include <string>
#include <vector>

namespace kinoverd {

class VideoCdScanner {
public:
    static constexpr const char* kMountTable = "/proc/self/mountinfo";

    // `mount_table` is read in the mountinfo format. `root` is put before
    // every absolute path the table names, mount points and devices alike,
    // so that a whole drive tree can be staged in a directory.
    explicit VideoCdScanner(std::string mount_table = kMountTable, std::string root = "");

    // Full paths of the tracks of every disc. A disc that cannot be read
    // contributes nothing; nothing is reported.
    std::vector<std::string> Scan() const;

private:
    const std::string mount_table_;
    const std::string root_;  // without a trailing slash
};

}  // namespace kinoverd
