// SPDX-License-Identifier: GPL-3.0-or-later
#include "broadcast/media_stream_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "broadcast/raw_sector_file.h"
#include "broadcast/read_fully.h"

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
    // Pipes and devices have no layout to find: opening them to play tells
    // why they cannot be, rather than "no pack" after an empty read.
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(fd);
        return std::nullopt;
    }
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
    const int32_t sector_start = layout.first_pack_offset.value_or(0) - kSectorUserDataStart;
    const bool synced = sector_start >= 0 &&
                        std::memcmp(head.data() + sector_start, kSectorSync, sizeof kSectorSync) == 0;
    layout.video_cd_track = riff || synced;
    return layout;
}

std::optional<MediaStreamFile::Layout> MediaStreamFile::ScanLayout(SectorSource& track)
{
    static constexpr uint8_t kPackStart[] = {0x00, 0x00, 0x01, 0xBA};
    static constexpr uint32_t kBatch = 16;
    // Codes the track file's scan would see: wholly within its first 512 KiB.
    const auto in_scan = [](uint64_t offset) { return offset + sizeof kPackStart <= kScanBytes; };
    std::vector<uint8_t> user_data(kBatch * kSectorUserBytes);
    for (uint32_t first = 0; first < track.sector_count(); first += kBatch) {
        const uint64_t first_offset = kTrackFileUserDataOffset + uint64_t(first) * kSectorBytes;
        if (!in_scan(first_offset)) break;
        const uint32_t count = std::min(kBatch, track.sector_count() - first);
        if (!track.ReadUserData(user_data.data(), first, count)) return std::nullopt;
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* sector = user_data.data() + size_t(i) * kSectorUserBytes;
            const uint8_t* found = std::search(sector, sector + kSectorUserBytes, std::begin(kPackStart),
                                               std::end(kPackStart));
            const uint64_t offset = first_offset + uint64_t(i) * kSectorBytes + uint64_t(found - sector);
            if (found != sector + kSectorUserBytes && in_scan(offset)) return Layout{int32_t(offset), true};
        }
    }
    return Layout{std::nullopt, true};
}

MediaStreamFile::~MediaStreamFile() { Close(); }

bool MediaStreamFile::Open(const std::string& path, int32_t user_data_offset)
{
    Close();
    error_.clear();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat status {};
    if (fd < 0 || fstat(fd, &status) != 0) {
        error_ = std::string("cannot open: ") + std::strerror(errno);
        if (fd >= 0) close(fd);
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        error_ = "not a regular file";
        close(fd);
        return false;
    }
    const uint64_t size = uint64_t(status.st_size);
    if (size > UINT32_MAX) {
        // The wire carries the stream length in 32 bits.
        error_ = "file is 4 GiB or larger";
        close(fd);
        return false;
    }
    user_data_offset_ = user_data_offset;
    if (!sector_mode()) {
        fd_ = fd;
        length_ = uint32_t(size);
    } else {
        // The user data of every sector from the first pack on.
        sectors_ = std::make_unique<RawSectorFile>(fd, size, uint64_t(user_data_offset));
        first_user_byte_ = 0;
        length_ = sectors_->sector_count() * kSectorUserBytes;
    }
    return true;
}

bool MediaStreamFile::Open(std::unique_ptr<SectorSource> track, int32_t user_data_offset)
{
    Close();
    error_.clear();
    // Where the stream begins in the track's user data, as sector and byte.
    const int64_t in_track = int64_t(user_data_offset) - kTrackFileUserDataOffset;
    if (in_track < 0 || in_track % kSectorBytes >= kSectorUserBytes) {
        error_ = "the stream does not begin in a sector's user data";
        return false;
    }
    const uint64_t first_user_byte =
        uint64_t(in_track) / kSectorBytes * kSectorUserBytes + uint64_t(in_track) % kSectorBytes;
    const uint64_t user_bytes = uint64_t(track->sector_count()) * kSectorUserBytes;
    const uint64_t length = user_bytes > first_user_byte ? user_bytes - first_user_byte : 0;
    if (length > UINT32_MAX) {
        error_ = "track is 4 GiB or larger";
        return false;
    }
    sectors_ = std::move(track);
    first_user_byte_ = first_user_byte;
    user_data_offset_ = user_data_offset;
    length_ = uint32_t(length);
    return true;
}

void MediaStreamFile::Close()
{
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    sectors_.reset();
}

bool MediaStreamFile::Read(uint8_t* destination, uint64_t position, uint32_t count) const
{
    if (!is_open() || position + count > length_) return false;
    if (sectors_) return ReadSectors(destination, position, count);
    return ReadFully(fd_, destination, count, position, error_);
}

bool MediaStreamFile::ReadSectors(uint8_t* destination, uint64_t position, uint32_t count) const
{
    if (count == 0) return true;
    const uint64_t begin = first_user_byte_ + position;
    const uint64_t first_sector = begin / kSectorUserBytes;
    const uint64_t last_sector = (begin + count - 1) / kSectorUserBytes;
    std::vector<uint8_t> user_data((last_sector - first_sector + 1) * kSectorUserBytes);
    if (!sectors_->ReadUserData(user_data.data(), uint32_t(first_sector),
                                uint32_t(last_sector - first_sector + 1))) {
        error_ = sectors_->error();
        return false;
    }
    std::memcpy(destination, user_data.data() + begin % kSectorUserBytes, count);
    return true;
}

}  // namespace kinoverd
