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

// pread until `count` bytes are in or the file ends.
bool ReadFully(int fd, uint8_t* destination, size_t count, uint64_t offset)
{
    while (count > 0) {
        const ssize_t got = pread(fd, destination, count, off_t(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        destination += got;
        count -= size_t(got);
        offset += uint64_t(got);
    }
    return true;
}

}  // namespace

std::optional<int32_t> MediaStreamFile::ScanFirstPackOffset(const std::string& path)
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
    static constexpr uint8_t kPackStart[] = {0x00, 0x00, 0x01, 0xBA};
    const auto found = std::search(head.begin(), head.begin() + kScanBytes + 3,
                                   std::begin(kPackStart), std::end(kPackStart));
    if (found == head.begin() + kScanBytes + 3) return kNoPackOffset;
    return int32_t(found - head.begin());
}

MediaStreamFile::~MediaStreamFile() { Close(); }

bool MediaStreamFile::Open(const std::string& path, int32_t first_pack_offset)
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
    first_pack_offset_ = first_pack_offset;
    if (!sector_mode()) {
        length_ = uint32_t(size);
    } else {
        // The user data of every sector from the first pack on whose user
        // data is wholly in the file; the last sector's trailing check bytes
        // are not needed.
        const uint64_t user_data_end = size + (kSectorBytes - kSectorUserBytes);
        const uint64_t sectors = user_data_end > uint64_t(first_pack_offset)
                                     ? (user_data_end - first_pack_offset) / kSectorBytes
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
    if (fd_ < 0 || position + count > length_) return false;
    if (!sector_mode()) return ReadFully(fd_, destination, count, position);
    return ReadSectors(destination, position, count);
}

bool MediaStreamFile::ReadSectors(uint8_t* destination, uint64_t position, uint32_t count) const
{
    if (count == 0) return true;
    const uint64_t first_sector = position / kSectorUserBytes;
    const uint64_t last_sector = (position + count - 1) / kSectorUserBytes;
    // From the first sector's user data to the end of the last one's.
    std::vector<uint8_t> sectors((last_sector - first_sector) * kSectorBytes + kSectorUserBytes);
    if (!ReadFully(fd_, sectors.data(), sectors.size(),
                   uint64_t(first_pack_offset_) + first_sector * kSectorBytes)) {
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
