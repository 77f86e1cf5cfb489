// SPDX-License-Identifier: GPL-3.0-or-later
#include "broadcast/media_stream_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <optional>
#include <vector>

#include "tests/support/test_streams.h"

namespace kinoverd {
namespace {

using test::MpegLikeStream;
using test::NonMpegBytes;
using test::OpenDescriptorCount;
using test::TempDir;
using test::VcdTrackOf;
using test::VcdTrackStream;
using test::WriteBytes;
using test::WriteSparse;

constexpr uint32_t kSector = MediaStreamFile::kSectorBytes;
constexpr uint32_t kUserData = MediaStreamFile::kSectorUserBytes;

std::vector<uint8_t> WithPackStartAt(size_t bytes, size_t offset)
{
    std::vector<uint8_t> content = NonMpegBytes(bytes);
    const uint8_t code[] = {0x00, 0x00, 0x01, 0xBA};
    std::copy(std::begin(code), std::end(code), content.begin() + long(offset));
    return content;
}

// Empty when the scan found no pack start code.
std::optional<int32_t> FirstPackOffset(const std::string& path)
{
    return MediaStreamFile::ScanLayout(path).value().first_pack_offset;
}

std::vector<uint8_t> ReadAll(const MediaStreamFile& file, uint64_t position, uint32_t count)
{
    std::vector<uint8_t> bytes(count);
    EXPECT_TRUE(file.Read(bytes.data(), position, count)) << "at " << position << " for " << count;
    return bytes;
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t from, size_t count)
{
    return {bytes.begin() + long(from), bytes.begin() + long(from + count)};
}

class MediaStreamFileTest : public testing::Test {
protected:
    std::string Write(const std::string& name, const std::vector<uint8_t>& content)
    {
        const std::string path = dir_.File(name);
        EXPECT_TRUE(WriteBytes(path, content));
        return path;
    }
    TempDir dir_;
};

// ---- the pack scan ----

TEST_F(MediaStreamFileTest, ScanFindsTheFirstPackStartCode)
{
    EXPECT_EQ(FirstPackOffset(Write("at0", MpegLikeStream(10000))), 0);
    EXPECT_EQ(FirstPackOffset(Write("at68", WithPackStartAt(10000, 68))), 68);
    auto twice = WithPackStartAt(10000, 7000);
    twice[300] = 0, twice[301] = 0, twice[302] = 1, twice[303] = 0xBA;
    EXPECT_EQ(FirstPackOffset(Write("twice", twice)), 300);
}

TEST_F(MediaStreamFileTest, ScanLooksOnlyAtTheFirst512KiB)
{
    const size_t scan = MediaStreamFile::kScanBytes;
    // The last code that still lies wholly inside the scanned bytes.
    EXPECT_EQ(
        FirstPackOffset(Write("edge", WithPackStartAt(scan + 100, scan - 4))),
        int32_t(scan - 4));
    EXPECT_EQ(FirstPackOffset(Write("across", WithPackStartAt(scan + 100, scan - 3))), std::nullopt);
    EXPECT_EQ(FirstPackOffset(Write("beyond", WithPackStartAt(scan + 100, scan))), std::nullopt);
}

TEST_F(MediaStreamFileTest, ScanWithoutCodeFindsNone)
{
    EXPECT_EQ(FirstPackOffset(Write("noise", NonMpegBytes(70000))), std::nullopt);
    EXPECT_EQ(FirstPackOffset(Write("empty", {})), std::nullopt);
    EXPECT_EQ(FirstPackOffset(Write("tiny", {0x00, 0x00, 0x01})), std::nullopt);
}

// The offset a file without a pack was once given: a real pack found there
// is a pack like any other, in a plain file and in a track whose first 28
// sectors are empty.
TEST_F(MediaStreamFileTest, APackAtTheNoPackOffsetIsFound)
{
    const int32_t at = MediaStreamFile::kNoPackOffset;
    const auto plain = MediaStreamFile::ScanLayout(Write("plain.mpg", WithPackStartAt(200000, size_t(at))));
    EXPECT_EQ(plain->first_pack_offset, at);
    EXPECT_FALSE(plain->video_cd_track);

    std::vector<uint8_t> padded(28 * size_t(kUserData), 0);
    const auto stream = MpegLikeStream(10 * kUserData);
    padded.insert(padded.end(), stream.begin(), stream.end());
    const std::string track_path = Write("track.dat", VcdTrackOf(padded));
    const auto track = MediaStreamFile::ScanLayout(track_path);
    EXPECT_EQ(track->first_pack_offset, at);
    EXPECT_TRUE(track->video_cd_track);
    MediaStreamFile file;
    ASSERT_TRUE(file.Open(track_path, track->user_data_offset()));
    EXPECT_EQ(ReadAll(file, 0, 4000), Slice(stream, 0, 4000));
}

// A track says so by its RIFF/CDXA header or by a sector's sync pattern in
// front of the first pack; any other file is a plain stream from byte 0,
// whatever comes before its first pack.
TEST_F(MediaStreamFileTest, OnlyATrackHeaderOrSectorSyncMakesATrack)
{
    const auto stream = MpegLikeStream(10 * kUserData);
    auto layout_of = [&](const std::string& name, const std::vector<uint8_t>& content) {
        return MediaStreamFile::ScanLayout(Write(name, content)).value();
    };
    auto track = layout_of("track.dat", VcdTrackOf(stream));
    EXPECT_TRUE(track.video_cd_track);
    EXPECT_EQ(track.user_data_offset(), 68);

    auto headerless = VcdTrackOf(stream);
    headerless.erase(headerless.begin(), headerless.begin() + 44);  // raw sectors only
    const auto raw = layout_of("raw.bin", headerless);
    EXPECT_TRUE(raw.video_cd_track);
    EXPECT_EQ(raw.user_data_offset(), 24);

    std::vector<uint8_t> junk_first = NonMpegBytes(100);
    junk_first.insert(junk_first.end(), stream.begin(), stream.end());
    const auto junk = layout_of("junk.mpg", junk_first);
    EXPECT_FALSE(junk.video_cd_track);
    EXPECT_EQ(junk.first_pack_offset, 100);
    EXPECT_EQ(junk.user_data_offset(), 0);

    const auto cut = layout_of("cut.mpg", Slice(stream, 7, stream.size() - 7));
    EXPECT_FALSE(cut.video_cd_track);
    EXPECT_EQ(cut.user_data_offset(), 0);

    // A track whose first packs lie beyond the scan keeps the fixed offset;
    // a file without a pack or a track header is plain.
    std::vector<uint8_t> riff_only = NonMpegBytes(70000);
    std::copy_n("RIFF\0\0\0\0CDXA", 12, riff_only.begin());
    EXPECT_EQ(layout_of("late.dat", riff_only).user_data_offset(), MediaStreamFile::kNoPackOffset);
    EXPECT_FALSE(layout_of("noise.bin", NonMpegBytes(70000)).video_cd_track);
}

TEST_F(MediaStreamFileTest, ScanOfAMissingFileHasNoResult)
{
    EXPECT_FALSE(MediaStreamFile::ScanLayout(dir_.File("missing")).has_value());
}

// ---- plain mode ----

TEST_F(MediaStreamFileTest, PlainStreamIsTheFileItself)
{
    const auto content = MpegLikeStream(100000);
    MediaStreamFile file;
    ASSERT_TRUE(file.Open(Write("plain.mpg", content), 0));
    EXPECT_TRUE(file.is_open());
    EXPECT_FALSE(file.sector_mode());
    EXPECT_EQ(file.length(), 100000u);
    EXPECT_EQ(ReadAll(file, 0, 100000), content);
    EXPECT_EQ(ReadAll(file, 99999, 1), Slice(content, 99999, 1));
    EXPECT_EQ(ReadAll(file, 12345, 32768), Slice(content, 12345, 32768));
}

TEST_F(MediaStreamFileTest, ReadsPastTheEndFail)
{
    MediaStreamFile file;
    ASSERT_TRUE(file.Open(Write("plain.mpg", MpegLikeStream(5000)), 0));
    std::vector<uint8_t> buffer(8192);
    EXPECT_FALSE(file.Read(buffer.data(), 4999, 2));
    EXPECT_FALSE(file.Read(buffer.data(), 5000, 1));
    EXPECT_FALSE(file.Read(buffer.data(), 0xFFFFFFFFull, 2));
    EXPECT_FALSE(file.Read(buffer.data(), 0, 5001));
    EXPECT_TRUE(file.Read(buffer.data(), 5000, 0));
}

// ---- sector mode ----

TEST_F(MediaStreamFileTest, TrackStreamIsTheUserDataOfEverySector)
{
    const auto stream = MpegLikeStream(10 * kUserData + 1000);
    const auto expected = VcdTrackStream(stream);
    const std::string path = Write("track.dat", VcdTrackOf(stream));
    ASSERT_EQ(FirstPackOffset(path), 68);
    MediaStreamFile file;
    ASSERT_TRUE(file.Open(path, 68));
    EXPECT_TRUE(file.sector_mode());
    // Eleven sectors, the last one's user data included although the file
    // ends 4 bytes after it.
    EXPECT_EQ(file.length(), 11 * kUserData);
    EXPECT_EQ(ReadAll(file, 0, file.length()), expected);
}

TEST_F(MediaStreamFileTest, SectorReadsCrossSectorBoundaries)
{
    const auto stream = MpegLikeStream(45 * kUserData);
    MediaStreamFile file;
    ASSERT_TRUE(file.Open(Write("track.dat", VcdTrackOf(stream)), 68));
    ASSERT_EQ(file.length(), 45 * kUserData);
    for (uint32_t position : {0u, kUserData - 1, kUserData, kUserData + 1, 3 * kUserData - 2}) {
        for (uint32_t count : {1u, 2u, kUserData, kUserData + 1, 3 * kUserData + 7}) {
            EXPECT_EQ(ReadAll(file, position, count), Slice(stream, position, count))
                << "at " << position << " for " << count;
        }
    }
    EXPECT_EQ(ReadAll(file, 45 * kUserData - 1, 1), Slice(stream, 45 * kUserData - 1, 1));
    EXPECT_EQ(ReadAll(file, 65536, 32768), Slice(stream, 65536, 32768));
    std::vector<uint8_t> buffer(4);
    EXPECT_FALSE(file.Read(buffer.data(), 45 * kUserData - 1, 2));
}

TEST_F(MediaStreamFileTest, SectorLengthCountsOnlyWholeUserData)
{
    auto track = VcdTrackOf(MpegLikeStream(5 * kUserData));
    MediaStreamFile file;
    // Cut into the last sector's user data: that sector no longer counts.
    track.resize(track.size() - 4 - 1);
    ASSERT_TRUE(file.Open(Write("cut.dat", track), 68));
    EXPECT_EQ(file.length(), 4 * kUserData);
    // Only the first byte of a further sector: still four.
    track.resize(44 + 4 * kSector + 25);
    ASSERT_TRUE(file.Open(Write("cut2.dat", track), 68));
    EXPECT_EQ(file.length(), 4 * kUserData);
}

TEST_F(MediaStreamFileTest, NoPackCodeMeansSectorsFrom65924)
{
    auto content = NonMpegBytes(65924 + 3 * kSector);
    // Mark the first user data byte of each sector.
    for (uint32_t k = 0; k < 3; ++k) content[65924 + k * kSector] = uint8_t(0xA0 + k);
    MediaStreamFile file;
    ASSERT_TRUE(file.Open(Write("noise.bin", content), MediaStreamFile::kNoPackOffset));
    EXPECT_TRUE(file.sector_mode());
    EXPECT_EQ(file.length(), 3 * kUserData);
    const auto bytes = ReadAll(file, 0, file.length());
    EXPECT_EQ(bytes[0], 0xA0);
    EXPECT_EQ(bytes[kUserData], 0xA1);
    EXPECT_EQ(bytes[2 * kUserData], 0xA2);
    EXPECT_EQ(Slice(bytes, 1, kUserData - 1), Slice(content, 65925, kUserData - 1));
}

TEST_F(MediaStreamFileTest, NonMpegFileShorterThanTheFixedOffsetHasAnEmptyStream)
{
    MediaStreamFile file;
    ASSERT_TRUE(file.Open(Write("short.bin", NonMpegBytes(65923)), MediaStreamFile::kNoPackOffset));
    EXPECT_EQ(file.length(), 0u);
    ASSERT_TRUE(file.Open(Write("justover.bin", NonMpegBytes(65924 + 100)),
                          MediaStreamFile::kNoPackOffset));
    EXPECT_EQ(file.length(), 0u);
}

// ---- bad input ----

TEST_F(MediaStreamFileTest, MissingFileIsRefusedWithAReason)
{
    MediaStreamFile file;
    EXPECT_FALSE(file.Open(dir_.File("missing.mpg"), 0));
    EXPECT_FALSE(file.is_open());
    EXPECT_FALSE(file.error().empty());
    std::vector<uint8_t> buffer(16);
    EXPECT_FALSE(file.Read(buffer.data(), 0, 1));
}

TEST_F(MediaStreamFileTest, DirectoryIsRefused)
{
    MediaStreamFile file;
    EXPECT_FALSE(file.Open(dir_.path(), 0));
    EXPECT_FALSE(file.is_open());
    EXPECT_FALSE(file.error().empty());
    EXPECT_EQ(OpenDescriptorCount(dir_.path()), 0);
}

TEST_F(MediaStreamFileTest, NamedPipeIsRefusedWithoutBlocking)
{
    const std::string path = dir_.File("pipe");
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    // Nobody ever writes the pipe: a blocking open would never return.
    // Nor has it a layout to scan: "no pack" would name the wrong reason.
    auto scanned = std::async(std::launch::async, [&] {
        MediaStreamFile file;
        return MediaStreamFile::ScanLayout(path).has_value() || file.Open(path, 0);
    });
    if (scanned.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        ADD_FAILURE() << "opening a named pipe blocked";
        // Play the writer so that the blocked open returns.
        while (scanned.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
            const int writer = open(path.c_str(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0) close(writer);
        }
    }
    EXPECT_FALSE(scanned.get());
}

TEST_F(MediaStreamFileTest, UnreadableFileIsRefused)
{
    if (geteuid() == 0) GTEST_SKIP() << "permission bits do not stop root";
    const std::string path = Write("locked.mpg", MpegLikeStream(5000));
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
    MediaStreamFile file;
    EXPECT_FALSE(file.Open(path, 0));
    EXPECT_FALSE(file.error().empty());
    EXPECT_FALSE(FirstPackOffset(path).has_value());
}

TEST_F(MediaStreamFileTest, EmptyAndTinyFilesOpen)
{
    MediaStreamFile file;
    ASSERT_TRUE(file.Open(Write("empty.mpg", {}), 0));
    EXPECT_EQ(file.length(), 0u);
    std::vector<uint8_t> buffer(4);
    EXPECT_FALSE(file.Read(buffer.data(), 0, 1));
    ASSERT_TRUE(file.Open(Write("tiny.mpg", {0x00, 0x00, 0x01, 0xBA, 0x44}), 0));
    EXPECT_EQ(file.length(), 5u);
    EXPECT_EQ(ReadAll(file, 3, 2), (std::vector<uint8_t>{0xBA, 0x44}));
}

TEST_F(MediaStreamFileTest, FilesOf4GiBOrMoreAreRefused)
{
    const std::string big = dir_.File("big.mpg");
    ASSERT_TRUE(WriteSparse(big, uint64_t(1) << 32));
    MediaStreamFile file;
    EXPECT_FALSE(file.Open(big, 0));
    EXPECT_FALSE(file.is_open());
    EXPECT_NE(file.error().find("4 GiB"), std::string::npos) << file.error();
    EXPECT_FALSE(file.Open(big, 68));
    EXPECT_EQ(OpenDescriptorCount(big), 0);

    // One byte less still fits the 32-bit stream length.
    const std::string largest = dir_.File("largest.mpg");
    ASSERT_TRUE(WriteSparse(largest, (uint64_t(1) << 32) - 1));
    ASSERT_TRUE(file.Open(largest, 0));
    EXPECT_EQ(file.length(), 0xFFFFFFFFu);
    EXPECT_EQ(ReadAll(file, 0xFFFFFFFFu - 3, 3), (std::vector<uint8_t>{0, 0, 0}));
}

TEST_F(MediaStreamFileTest, OddPathsWork)
{
    const auto content = MpegLikeStream(3000);
    for (const char* name :
         {"with space.mpg", "影片 第一集.mpg", "-leading-dash.mpg", "--", "a'b\"c.mpg"}) {
        const std::string path = Write(name, content);
        EXPECT_EQ(FirstPackOffset(path), 0) << name;
        MediaStreamFile file;
        ASSERT_TRUE(file.Open(path, 0)) << name << ": " << file.error();
        EXPECT_EQ(ReadAll(file, 0, 3000), content) << name;
    }
}

// ---- descriptors ----

TEST_F(MediaStreamFileTest, ReopenAndCloseReleaseTheDescriptor)
{
    const std::string first = Write("first.mpg", MpegLikeStream(3000));
    const std::string second = Write("second.mpg", MpegLikeStream(3000, 2));
    {
        MediaStreamFile file;
        ASSERT_TRUE(file.Open(first, 0));
        EXPECT_EQ(OpenDescriptorCount(first), 1);
        ASSERT_TRUE(file.Open(second, 0));
        EXPECT_EQ(OpenDescriptorCount(first), 0);
        EXPECT_EQ(OpenDescriptorCount(second), 1);
        file.Close();
        EXPECT_FALSE(file.is_open());
        EXPECT_EQ(OpenDescriptorCount(second), 0);
        std::vector<uint8_t> buffer(4);
        EXPECT_FALSE(file.Read(buffer.data(), 0, 1));
        ASSERT_TRUE(file.Open(second, 0));
    }
    EXPECT_EQ(OpenDescriptorCount(second), 0);
    FirstPackOffset(first);
    EXPECT_EQ(OpenDescriptorCount(first), 0);
}

}  // namespace
}  // namespace kinoverd
