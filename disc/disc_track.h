// SPDX-License-Identifier: GPL-3.0-or-later
// One MPEG track of a Video CD as the broadcaster's sector source, and the
// opener that turns track names ("film.cue#2", "/dev/sr0#1") into them.
#pragma once

#include <memory>
#include <string>

#include "broadcast/sector_source.h"

namespace kinoverd {

class VideoCd;

class DiscTrack final : public SectorSource {
public:
    // Null, with `error` saying why, when the disc cannot be read or has no
    // such track (`number` counts from 1).
    static std::unique_ptr<DiscTrack> Open(const std::string& disc, int number, std::string& error);
    ~DiscTrack() override;

    uint32_t sector_count() const override { return sector_count_; }
    bool ReadUserData(uint8_t* destination, uint32_t first, uint32_t count) override;
    const std::string& error() const override { return error_; }

private:
    DiscTrack(std::unique_ptr<VideoCd> disc, uint32_t first_sector, uint32_t sector_count);

    // Owned by whoever reads the track, one thread at a time.
    const std::unique_ptr<VideoCd> disc_;
    const uint32_t first_sector_;  // on the disc
    const uint32_t sector_count_;
    std::string error_;
};

class DiscTrackOpener final : public TrackOpener {
public:
    bool IsTrackName(const std::string& name) const override;
    std::unique_ptr<SectorSource> Open(const std::string& name, std::string& error) const override;
};

}  // namespace kinoverd
