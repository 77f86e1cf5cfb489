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
    // User data offset assumed when no pack start code is found.
    static constexpr int32_t kNoPackOffset = 65924;
    // Where a track file's first sector's user data begins: after the
    // 44-byte RIFF/CDXA header and the sector's 24 bytes of sync, address,
    // mode and subheader.
    static constexpr int32_t kTrackFileUserDataOffset = 68;

    // File offset of the first pack start code (00 00 01 BA) within the
    // first 512 KiB, kNoPackOffset when there is none; empty when the file
    // cannot be read.
    static std::optional<int32_t> ScanFirstPackOffset(const std::string& path);
    // The same for a track read sector by sector: the offset its first pack
    // start code has in the track's file, so that both give one stream. Empty
    // when the track cannot be read.
    static std::optional<int32_t> ScanFirstPackOffset(SectorSource& track);

    MediaStreamFile() = default;
    ~MediaStreamFile();
    MediaStreamFile(const MediaStreamFile&) = delete;
    MediaStreamFile& operator=(const MediaStreamFile&) = delete;

    // Opens the file as a stream whose user data starts at first_pack_offset
    // (0: plain mode, anything else: sector mode). False, with error() set,
    // when the file cannot be opened or its length does not fit 32 bits.
    bool Open(const std::string& path, int32_t first_pack_offset);
    // Opens a track as the stream its file would give with this first pack
    // offset (from the track's ScanFirstPackOffset).
    bool Open(std::unique_ptr<SectorSource> track, int32_t first_pack_offset);
    void Close();

    // Exactly `count` stream bytes from stream offset `position`; false when
    // the range passes the stream's end or the file cannot be read (error()
    // then says why).
    bool Read(uint8_t* destination, uint64_t position, uint32_t count) const;

    bool is_open() const { return fd_ >= 0 || sectors_ != nullptr; }
    bool sector_mode() const { return first_pack_offset_ != 0; }
    uint32_t length() const { return length_; }
    const std::string& error() const { return error_; }

private:
    bool ReadSectors(uint8_t* destination, uint64_t position, uint32_t count) const;

    // Whoever opened the stream owns it; one thread reads at a time.
    int fd_ = -1;                            // plain mode
    std::unique_ptr<SectorSource> sectors_;  // sector mode
    uint64_t first_user_byte_ = 0;           // of the stream, in the user data of sectors_
    int32_t first_pack_offset_ = 0;
    uint32_t length_ = 0;
    mutable std::string error_;  // the last failed open or read
};

}  // namespace kinoverd
