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
    // The first pack offset when no pack start code is found: in a track,
    // the user data of sector 28 after a RIFF header.
    static constexpr int32_t kNoPackOffset = 65924;

    // How a file holds its stream, judged from its first 512 KiB.
    struct Layout {
        // File offset of the first pack start code (00 00 01 BA), or kNoPackOffset.
        int32_t first_pack_offset = kNoPackOffset;
        // Raw sectors: a RIFF/CDXA header, or a sector's sync pattern right
        // before the first pack's user data. Anything else is a plain
        // stream, however much precedes its first pack.
        bool video_cd_track = false;
        // Where the stream begins, for Open: 0 for a plain stream.
        int32_t user_data_offset() const { return video_cd_track ? first_pack_offset : 0; }
    };
    // Empty when the file cannot be read.
    static std::optional<Layout> ScanLayout(const std::string& path);

    MediaStreamFile() = default;
    ~MediaStreamFile();
    MediaStreamFile(const MediaStreamFile&) = delete;
    MediaStreamFile& operator=(const MediaStreamFile&) = delete;

    // Opens the file as a stream whose user data starts at user_data_offset
    // (0: plain mode, anything else: sector mode). False, with error() set,
    // when the file cannot be opened or its length does not fit 32 bits.
    bool Open(const std::string& path, int32_t user_data_offset);
    void Close();

    // Exactly `count` stream bytes from stream offset `position`; false when
    // the range passes the stream's end or the file cannot be read, with
    // read_error() saying why. One thread reads at a time.
    bool Read(uint8_t* destination, uint64_t position, uint32_t count) const;
    // Why the last Read failed: a read error, or a file that shrank since Open.
    const std::string& read_error() const { return read_error_; }

    bool is_open() const { return fd_ >= 0; }
    bool sector_mode() const { return user_data_offset_ != 0; }
    uint32_t length() const { return length_; }
    const std::string& error() const { return error_; }

private:
    bool ReadSectors(uint8_t* destination, uint64_t position, uint32_t count) const;
    bool ReadFile(uint8_t* destination, size_t count, uint64_t offset) const;

    int fd_ = -1;
    int32_t user_data_offset_ = 0;
    uint32_t length_ = 0;
    std::string error_;
    mutable std::string read_error_;  // written by the one reading thread
};

}  // namespace kinoverd
