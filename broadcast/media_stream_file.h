// SPDX-License-Identifier: GPL-3.0-or-later
// The byte stream a broadcast carries. A plain MPEG system stream is the file
// itself; a Video CD track (raw 2352-byte sectors, in a track file or on a
// disc) contributes the 2324 user-data bytes of each sector, laid end to end.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "broadcast/sector_source.h"

namespace kinoverd {

class MediaStreamFile {
public:
    static constexpr uint32_t kSectorBytes = SectorSource::kSectorBytes;
    static constexpr uint32_t kSectorUserBytes = SectorSource::kUserBytes;
    static constexpr uint32_t kScanBytes = 524288;
    // Where a track's user data is taken to begin when no pack start code
    // is found: sector 28 after a RIFF header.
    static constexpr int32_t kNoPackOffset = 65924;
    // Why a file with no pack is refused: sent, it would reach nobody as a picture.
    static constexpr const char* kNoPackText =
        "no MPEG pack start code in the first 512 KiB: not an MPEG system stream or Video CD track";
    // Where a track file's first sector's user data begins: after the
    // 44-byte RIFF/CDXA header and the sector's 24 bytes of sync, address,
    // mode and subheader.
    static constexpr int32_t kTrackFileUserDataOffset = 68;

    // How a file holds its stream, judged from its first 512 KiB.
    struct Layout {
        // File offset of the first pack start code (00 00 01 BA); empty when
        // there is none. Kept apart from kNoPackOffset, where a code may lie.
        std::optional<int32_t> first_pack_offset;
        // Raw sectors: a RIFF/CDXA header, or a sector's sync pattern right
        // before the first pack's user data. Anything else is a plain
        // stream, however much precedes its first pack.
        bool video_cd_track = false;
        // Where the stream begins, for Open: 0 for a plain stream.
        int32_t user_data_offset() const
        {
            return video_cd_track ? first_pack_offset.value_or(kNoPackOffset) : 0;
        }
    };

    // Empty when the file cannot be read or is no regular file.
    static std::optional<Layout> ScanLayout(const std::string& path);
    // A track read sector by sector: where its first pack start code lies
    // in the track's file, so that both give one stream. Empty when the
    // track cannot be read.
    static std::optional<Layout> ScanLayout(SectorSource& track);

    MediaStreamFile() = default;
    ~MediaStreamFile();
    MediaStreamFile(const MediaStreamFile&) = delete;
    MediaStreamFile& operator=(const MediaStreamFile&) = delete;

    // Opens the file as a stream whose user data starts at user_data_offset
    // (0: plain mode, anything else: sector mode). False, with error() set,
    // when the file cannot be opened or its length does not fit 32 bits.
    bool Open(const std::string& path, int32_t user_data_offset);
    // Opens a track as the stream its file would give from this offset
    // (from the track's ScanLayout).
    bool Open(std::unique_ptr<SectorSource> track, int32_t user_data_offset);
    void Close();

    // Exactly `count` stream bytes from stream offset `position`; false when
    // the range passes the stream's end or the file cannot be read, for
    // instance because it shrank since Open (error() then says why).
    bool Read(uint8_t* destination, uint64_t position, uint32_t count) const;

    bool is_open() const { return fd_ >= 0 || sectors_ != nullptr; }
    bool sector_mode() const { return user_data_offset_ != 0; }
    uint32_t length() const { return length_; }
    const std::string& error() const { return error_; }

private:
    bool ReadSectors(uint8_t* destination, uint64_t position, uint32_t count) const;

    // Whoever opened the stream owns it; one thread reads at a time.
    int fd_ = -1;                            // plain mode
    std::unique_ptr<SectorSource> sectors_;  // sector mode
    uint64_t first_user_byte_ = 0;           // of the stream, in the user data of sectors_
    int32_t user_data_offset_ = 0;
    uint32_t length_ = 0;
    mutable std::string error_;  // the last failed open or read
};

}  // namespace kinoverd
