// SPDX-License-Identifier: GPL-3.0-or-later
// A track file's raw 2352-byte sectors as a sector source: sector k's user
// data begins at file offset (first user byte + k × 2352), and the 28 bytes
// after each user data area (check bytes, the next sector's head) are skipped.
#pragma once

#include <cstdint>
#include <string>

#include "broadcast/sector_source.h"

namespace kinoverd {

class RawSectorFile final : public SectorSource {
public:
    // Takes over `fd`, a file of `file_size` bytes. Only sectors whose user
    // data lies wholly in the file count; the last one's check bytes are
    // not needed.
    RawSectorFile(int fd, uint64_t file_size, uint64_t first_user_byte);
    ~RawSectorFile() override;
    RawSectorFile(const RawSectorFile&) = delete;
    RawSectorFile& operator=(const RawSectorFile&) = delete;

    uint32_t sector_count() const override { return sector_count_; }
    bool ReadUserData(uint8_t* destination, uint32_t first, uint32_t count) override;
    const std::string& error() const override { return error_; }

private:
    // Set at construction; the owner's stream reads one thread at a time.
    const int fd_;
    const uint64_t first_user_byte_;
    const uint32_t sector_count_;
    std::string error_;
};

}  // namespace kinoverd
