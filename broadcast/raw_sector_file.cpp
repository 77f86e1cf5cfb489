// SPDX-License-Identifier: GPL-3.0-or-later
#include "broadcast/raw_sector_file.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "broadcast/read_fully.h"

namespace kinoverd {

namespace {

uint32_t WholeSectors(uint64_t file_size, uint64_t first_user_byte)
{
    const uint64_t user_data_end = file_size + (SectorSource::kSectorBytes - SectorSource::kUserBytes);
    if (user_data_end <= first_user_byte) return 0;
    return uint32_t(std::min<uint64_t>((user_data_end - first_user_byte) / SectorSource::kSectorBytes,
                                       UINT32_MAX));
}

}  // namespace

RawSectorFile::RawSectorFile(int fd, uint64_t file_size, uint64_t first_user_byte)
    : fd_(fd), first_user_byte_(first_user_byte), sector_count_(WholeSectors(file_size, first_user_byte))
{
}

RawSectorFile::~RawSectorFile() { close(fd_); }

bool RawSectorFile::ReadUserData(uint8_t* destination, uint32_t first, uint32_t count)
{
    if (count == 0) return true;
    if (uint64_t(first) + count > sector_count_) {
        error_ = "read past the end of the track";
        return false;
    }
    // From the first sector's user data to the end of the last one's.
    std::vector<uint8_t> sectors(size_t(count - 1) * kSectorBytes + kUserBytes);
    if (!ReadFully(fd_, sectors.data(), sectors.size(), first_user_byte_ + uint64_t(first) * kSectorBytes,
                   error_)) {
        return false;
    }
    for (uint32_t i = 0; i < count; ++i)
        std::memcpy(destination + size_t(i) * kUserBytes, sectors.data() + size_t(i) * kSectorBytes, kUserBytes);
    return true;
}

}  // namespace kinoverd
