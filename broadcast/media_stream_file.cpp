#include "broadcast/media_stream_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace kinoverd {

namespace {

// A raw sector begins with this sync pattern; its user data (form 2)
// begins 24 bytes in.
constexpr uint8_t kSectorSync[] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
constexpr int32_t kSectorUserDataStart = 24;

}  // namespace

std::optional<MediaStreamFile::Layout> MediaStreamFile::ScanLayout(const std::string& path)
{
    // Non-blocking: a named pipe without a writer must not hang the caller.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    // Zero-filled beyond what the file holds, with room for a code that
    // starts at the last scanned offset.
    std::vector<uint8_t> head(kScanBytes + 4, 0);
    size_t filled = 0;
    while (filled < kScanBytes) {
        const ssize_t got = read(fd, head.data() + filled, kScanBytes - filled);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        filled += size_t(got);
    }
    close(fd);
    Layout layout;
    static constexpr uint8_t kPackStart[] = {0x00, 0x00, 0x01, 0xBA};
    const auto found = std::search(head.begin(), head.begin() + kScanBytes + 3,
                                   std::begin(kPackStart), std::end(kPackStart));
    if (found != head.begin() + kScanBytes + 3) layout.first_pack_offset = int32_t(found - head.begin());
    const bool riff = std::memcmp(head.data(), "RIFF", 4) == 0 && std::memcmp(head.data() + 8, "CDXA", 4) == 0;
    const int32_t sector_start = layout.first_pack_offset - kSectorUserDataStart;
    const bool synced = layout.first_pack_offset != kNoPackOffset && sector_start >= 0 &&
                        std::memcmp(head.data() + sector_start, kSectorSync, sizeof kSectorSync) == 0;
    layout.video_cd_track = riff || synced;
    return layout;
}

bool MediaStreamFile::ReadFile(uint8_t* destination, size_t count, uint64_t offset) const
{
    while (count > 0) {
        const ssize_t got = pread(fd_, destination, count, off_t(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            read_error_ = std::string("read error: ") + std::strerror(errno);
            return false;
        }
        if (got == 0) {
            struct stat status {};
            fstat(fd_, &status);
            read_error_ = "the file shrank to " + std::to_string(status.st_size) +
                          " bytes while it was being broadcast";
            return false;
        }
        destination += got;
        count -= size_t(got);
        offset += uint64_t(got);
    }
    return true;
}

MediaStreamFile::~MediaStreamFile() { Close(); }

bool MediaStreamFile::Open(const std::string& path, int32_t user_data_offset)
{
    Close();
    error_.clear();
    fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat status {};
    if (fd_ < 0 || fstat(fd_, &status) != 0) {
        error_ = std::string("cannot open: ") + std::strerror(errno);
        Close();
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        error_ = "not a regular file";
        Close();
        return false;
    }
    const uint64_t size = uint64_t(status.st_size);
    if (size > UINT32_MAX) {
        // The wire carries the stream length in 32 bits.
        error_ = "file is 4 GiB or larger";
        Close();
        return false;
    }
    user_data_offset_ = user_data_offset;
    if (!sector_mode()) {
        length_ = uint32_t(size);
    } else {
        // The user data of every sector from the first pack on whose user
        // data is wholly in the file; the last sector's trailing check bytes
        // are not needed.
        const uint64_t user_data_end = size + (kSectorBytes - kSectorUserBytes);
        const uint64_t sectors = user_data_end > uint64_t(user_data_offset)
                                     ? (user_data_end - user_data_offset) / kSectorBytes
                                     : 0;
        length_ = uint32_t(sectors * kSectorUserBytes);
    }
    return true;
}

void MediaStreamFile::Close()
{
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

bool MediaStreamFile::Read(uint8_t* destination, uint64_t position, uint32_t count) const
{
    if (fd_ < 0 || position + count > length_) {
        read_error_ = "read past the end of the stream";
        return false;
    }
    if (!sector_mode()) return ReadFile(destination, count, position);
    return ReadSectors(destination, position, count);
}

bool MediaStreamFile::ReadSectors(uint8_t* destination, uint64_t position, uint32_t count) const
{
    if (count == 0) return true;
    const uint64_t first_sector = position / kSectorUserBytes;
    const uint64_t last_sector = (position + count - 1) / kSectorUserBytes;
    // From the first sector's user data to the end of the last one's.
    std::vector<uint8_t> sectors((last_sector - first_sector) * kSectorBytes + kSectorUserBytes);
    if (!ReadFile(sectors.data(), sectors.size(),
                  uint64_t(user_data_offset_) + first_sector * kSectorBytes)) {
        return false;
    }
    uint32_t skip = uint32_t(position % kSectorUserBytes);
    for (uint64_t sector = 0; count > 0; ++sector, skip = 0) {
        const uint32_t take = std::min(count, kSectorUserBytes - skip);
        std::memcpy(destination, sectors.data() + sector * kSectorBytes + skip, take);
        destination += take;
        count -= take;
    }
    return true;
}

}  // namespace kinoverd
