// The byte stream a broadcast carries, read from its file. A plain MPEG
// system stream is the file itself; a Video CD track (raw 2352-byte sectors)
// contributes the 2324 user-data bytes of each sector, laid end to end.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kinoverd {

class MediaStreamFile {
public:
    static constexpr uint32_t kSectorBytes = 2352;
    static constexpr uint32_t kSectorUserBytes = 2324;
    static constexpr uint32_t kScanBytes = 524288;
    // User data offset assumed when no pack start code is found.
    static constexpr int32_t kNoPackOffset = 65924;

    // File offset of the first pack start code (00 00 01 BA) within the
    // first 512 KiB, kNoPackOffset when there is none; empty when the file
    // cannot be read.
    static std::optional<int32_t> ScanFirstPackOffset(const std::string& path);

    MediaStreamFile() = default;
    ~MediaStreamFile();
    MediaStreamFile(const MediaStreamFile&) = delete;
    MediaStreamFile& operator=(const MediaStreamFile&) = delete;

    // Opens the file as a stream whose user data starts at first_pack_offset
    // (0: plain mode, anything else: sector mode). False, with error() set,
    // when the file cannot be opened or its length does not fit 32 bits.
    bool Open(const std::string& path, int32_t first_pack_offset);
    void Close();

    // Exactly `count` stream bytes from stream offset `position`; false when
    // the range passes the stream's end or the file cannot be read.
    bool Read(uint8_t* destination, uint64_t position, uint32_t count) const;

    bool is_open() const { return fd_ >= 0; }
    bool sector_mode() const { return first_pack_offset_ != 0; }
    uint32_t length() const { return length_; }
    const std::string& error() const { return error_; }

private:
    bool ReadSectors(uint8_t* destination, uint64_t position, uint32_t count) const;

    int fd_ = -1;
    int32_t first_pack_offset_ = 0;
    uint32_t length_ = 0;
    std::string error_;
};

}  // namespace kinoverd
