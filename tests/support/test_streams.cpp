// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/test_streams.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

#include "tools/vcd_track_writer.h"

namespace kinoverd::test {

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> RandomBytes(size_t bytes, uint32_t seed)
{
    std::mt19937 generator(seed);
    std::vector<uint8_t> out(bytes);
    for (size_t i = 0; i < bytes; i += 4) {
        const uint32_t word = generator();
        for (size_t k = 0; k < 4 && i + k < bytes; ++k) out[i + k] = uint8_t(word >> (8 * k));
    }
    return out;
}

}  // namespace

TempDir::TempDir()
{
    std::error_code error;
    std::string pattern = (fs::temp_directory_path(error) / "kinoverd-test-XXXXXX").string();
    if (mkdtemp(pattern.data())) path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code error;
    if (!path_.empty()) fs::remove_all(path_, error);
}

std::vector<uint8_t> MpegLikeStream(size_t bytes, uint32_t seed)
{
    std::vector<uint8_t> stream = RandomBytes(bytes, seed);
    for (size_t block = 0; block * kStampedBlockBytes < bytes; ++block) {
        for (size_t k = 0; k < 4; ++k) {
            const size_t at = block * kStampedBlockBytes + 4 + k;
            if (at < bytes) stream[at] = uint8_t(block >> (8 * k));
        }
    }
    static constexpr uint8_t kPackStart[] = {0x00, 0x00, 0x01, 0xBA};
    for (size_t k = 0; k < 4 && k < bytes; ++k) stream[k] = kPackStart[k];
    return stream;
}

std::vector<uint8_t> NonMpegBytes(size_t bytes, uint32_t seed)
{
    std::vector<uint8_t> out = RandomBytes(bytes, seed);
    // A 0x01 never follows two zeros, so no start code of any kind remains.
    for (size_t i = 2; i < bytes; ++i) {
        if (out[i] == 0x01 && out[i - 1] == 0 && out[i - 2] == 0) out[i] = 0x02;
    }
    return out;
}

std::vector<uint8_t> VcdTrackOf(const std::vector<uint8_t>& stream)
{
    return VcdTrackWriter::Wrap(stream);
}

std::vector<uint8_t> VcdTrackStream(const std::vector<uint8_t>& stream)
{
    const size_t sector = VcdTrackWriter::kUserDataBytes;
    std::vector<uint8_t> padded = stream;
    padded.resize((stream.size() + sector - 1) / sector * sector, 0);
    return padded;
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool written =
        bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

bool WriteSparse(const std::string& path, uint64_t bytes)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const bool sized = ftruncate(fd, off_t(bytes)) == 0;
    return close(fd) == 0 && sized;
}

int OpenDescriptorCount(const std::string& path)
{
    std::error_code error;
    const fs::path wanted = fs::weakly_canonical(path, error);
    int count = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd", error)) {
        std::error_code link_error;
        const fs::path target = fs::read_symlink(entry.path(), link_error);
        if (!link_error && target == wanted) ++count;
    }
    return count;
}

}  // namespace kinoverd::test
