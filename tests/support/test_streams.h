// SPDX-License-Identifier: GPL-3.0-or-later
// Deterministic media for tests: MPEG-like streams whose every block can be
// told apart, their Video CD track images, and a temporary directory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kinoverd::test {

// A fresh directory, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

constexpr size_t kStampedBlockBytes = 2048;

// `bytes` pseudo-random bytes from `seed` that begin with a pack start code
// (00 00 01 BA); bytes 4..7 of every 2048-byte block hold the block number
// (little-endian), so no two blocks are alike.
std::vector<uint8_t> MpegLikeStream(size_t bytes, uint32_t seed = 1);

// Pseudo-random bytes without a pack start code anywhere.
std::vector<uint8_t> NonMpegBytes(size_t bytes, uint32_t seed = 1);

// The Video CD track file that carries `stream` (first pack at offset 68).
std::vector<uint8_t> VcdTrackOf(const std::vector<uint8_t>& stream);
// The stream such a track carries: `stream` zero-padded to whole sectors.
std::vector<uint8_t> VcdTrackStream(const std::vector<uint8_t>& stream);

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
// A file of `bytes` length that takes no disk space (all zeros).
bool WriteSparse(const std::string& path, uint64_t bytes);

// How many of this process's file descriptors refer to `path`.
int OpenDescriptorCount(const std::string& path);

}  // namespace kinoverd::test
