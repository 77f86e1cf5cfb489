// SPDX-License-Identifier: GPL-3.0-or-later
#include "disc/disc_track.h"

#include "disc/track_name.h"
#include "disc/video_cd.h"

namespace kinoverd {

std::unique_ptr<DiscTrack> DiscTrack::Open(const std::string& disc, int number, std::string& error)
{
    std::unique_ptr<VideoCd> video_cd = VideoCd::Open(disc, error);
    if (!video_cd) return nullptr;
    const size_t tracks = video_cd->tracks().size();
    if (number < 1 || size_t(number) > tracks) {
        error = "the Video CD has no track " + std::to_string(number) + ", only tracks 1 to " +
                std::to_string(tracks);
        return nullptr;
    }
    const VideoCd::Track track = video_cd->tracks()[size_t(number - 1)];
    return std::unique_ptr<DiscTrack>(new DiscTrack(std::move(video_cd), track.first_sector, track.sector_count));
}

DiscTrack::DiscTrack(std::unique_ptr<VideoCd> disc, uint32_t first_sector, uint32_t sector_count)
    : disc_(std::move(disc)), first_sector_(first_sector), sector_count_(sector_count)
{
}

DiscTrack::~DiscTrack() = default;

bool DiscTrack::ReadUserData(uint8_t* destination, uint32_t first, uint32_t count)
{
    if (count == 0) return true;
    if (uint64_t(first) + count > sector_count_) {
        error_ = "read past the end of the track";
        return false;
    }
    return disc_->ReadUserData(destination, first_sector_ + first, count, error_);
}

bool DiscTrackOpener::IsTrackName(const std::string& name) const { return ParseTrackName(name).has_value(); }

std::unique_ptr<SectorSource> DiscTrackOpener::Open(const std::string& name, std::string& error) const
{
    const std::optional<TrackName> track = ParseTrackName(name);
    if (!track) {
        error = "not a track name";
        return nullptr;
    }
    return DiscTrack::Open(track->disc, track->number, error);
}

}  // namespace kinoverd
