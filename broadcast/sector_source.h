// SPDX-License-Identifier: GPL-3.0-or-later
// Where a Video CD track's sectors come from: the raw sectors of a track
// file, or a disc read through a CD-ROM library that the broadcast core does
// not know about. Either way the broadcast sees the 2324 user-data bytes of
// each Mode 2 Form 2 sector, so a track from a disc and the same track's
// file make the same stream.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace kinoverd {

class SectorSource {
public:
    static constexpr uint32_t kSectorBytes = 2352;  // raw, as a track file holds them
    static constexpr uint32_t kUserBytes = 2324;

    virtual ~SectorSource() = default;

    virtual uint32_t sector_count() const = 0;
    // The user data of sectors [first, first + count), laid end to end.
    // False, with error() saying why, when any of them cannot be read.
    virtual bool ReadUserData(uint8_t* destination, uint32_t first, uint32_t count) = 0;
    virtual const std::string& error() const = 0;
};

// Opens the tracks that some names stand for (for example a track of a disc
// image); the broadcaster takes every other name as a file's path.
class TrackOpener {
public:
    virtual ~TrackOpener() = default;

    virtual bool IsTrackName(const std::string& name) const = 0;
    // Null, with `error` saying why, when the track cannot be read.
    virtual std::unique_ptr<SectorSource> Open(const std::string& name, std::string& error) const = 0;
};

}  // namespace kinoverd
