// SPDX-License-Identifier: GPL-3.0-or-later
// A Video CD in a drive or as a disc image (.cue; .bin with its .cue beside
// it; .nrg; cdrdao .toc), read through libvcdinfo and libcdio: its MPEG
// tracks, and the user data of their Mode 2 Form 2 sectors. libcdio reads a
// cue sheet's sectors from the .bin of the cue's own name, whatever its FILE
// line says.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct _VcdInfo;  // libvcdinfo's vcdinfo_obj_t

namespace kinoverd {

class VideoCd {
public:
    // An MPEG track's sectors: those of its MPEGAV/AVSEQnn.DAT file, the
    // empty margins before and after the MPEG sectors included.
    struct Track {
        uint32_t first_sector = 0;
        uint32_t sector_count = 0;
    };

    // Null, with `error` saying why, when `disc` (an image's path or a drive's
    // device) cannot be read, holds no Video CD, or ends before its last
    // track does (a truncated image).
    static std::unique_ptr<VideoCd> Open(const std::string& disc, std::string& error);
    ~VideoCd();
    VideoCd(const VideoCd&) = delete;
    VideoCd& operator=(const VideoCd&) = delete;

    // In disc order: tracks()[0] is AVSEQ01.DAT, the disc's second track.
    const std::vector<Track>& tracks() const { return tracks_; }

    // The 2324 user-data bytes of each of `count` sectors from `first_sector`
    // (counted from the start of the disc), laid end to end. False, with
    // `error` saying why, when a sector cannot be read: a damaged or
    // ejected disc, an image that has shrunk.
    bool ReadUserData(uint8_t* destination, uint32_t first_sector, uint32_t count, std::string& error);

private:
    VideoCd(_VcdInfo* info, std::vector<Track> tracks);

    // Used by one thread at a time: whoever owns the disc.
    _VcdInfo* const info_;
    const std::vector<Track> tracks_;
    std::vector<uint8_t> sectors_;  // form 2 sectors as libcdio delivers them
};

}  // namespace kinoverd
