// SPDX-License-Identifier: GPL-3.0-or-later
// Video CD images made by vcdimager from the test clips, read through the
// disc library: their tracks, the bytes of each, and the failures of
// damaged images.
#include <cdio/cdio.h>
#include <cdio/iso9660.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "broadcast/broadcaster.h"
#include "broadcast/media_stream_file.h"
#include "disc/disc_track.h"
#include "disc/track_name.h"
#include "disc/video_cd.h"
#include "disc/video_cd_drives.h"
#include "tests/support/test_streams.h"
#include "tools/vcd_track_writer.h"

namespace kinoverd {
namespace {

using test::TempDir;
using testing::HasSubstr;
using Bytes = std::vector<uint8_t>;
using Names = std::vector<std::string>;

constexpr uint32_t kSector = SectorSource::kSectorBytes;
constexpr uint32_t kUserData = SectorSource::kUserBytes;

std::string Media(const std::string& name) { return std::string(KINOVERD_TEST_MEDIA_DIR) + "/" + name; }

Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The whole stream a broadcast of `name` carries, read as the broadcaster
// reads it.
Bytes StreamOf(const std::string& name)
{
    MediaStreamFile stream;
    std::string error;
    if (const auto track = ParseTrackName(name)) {
        std::unique_ptr<SectorSource> source = DiscTrack::Open(track->disc, track->number, error);
        EXPECT_TRUE(source) << error;
        if (!source) return {};
        const auto layout = MediaStreamFile::ScanLayout(*source);
        EXPECT_TRUE(layout && stream.Open(std::move(source), layout->user_data_offset())) << stream.error();
    } else {
        const auto layout = MediaStreamFile::ScanLayout(name);
        EXPECT_TRUE(layout && stream.Open(name, layout->user_data_offset())) << stream.error();
    }
    Bytes bytes(stream.length());
    EXPECT_TRUE(stream.Read(bytes.data(), 0, stream.length())) << stream.error();
    return bytes;
}

// The track file MPEGAV/AVSEQ0n.DAT of the image, as a disc drive shows it:
// the RIFF/CDXA header, then the raw sectors of the file's extent in the
// image's ISO 9660 file system (found by libiso9660, not by the code under
// test).
std::string WriteDatFile(const std::string& cue, const std::string& bin, int number, const TempDir& dir)
{
    CdIo_t* image = cdio_open(cue.c_str(), DRIVER_BINCUE);
    const std::string iso_name = "/MPEGAV/AVSEQ0" + std::to_string(number) + ".DAT;1";
    iso9660_stat_t* file = image ? iso9660_fs_stat(image, iso_name.c_str()) : nullptr;
    EXPECT_TRUE(file) << iso_name;
    Bytes dat;
    if (file) {
        const Bytes raw = ReadFile(bin);
        dat = VcdTrackWriter::RiffHeader(uint32_t(file->secsize * kSector));
        dat.insert(dat.end(), raw.begin() + long(file->lsn) * kSector,
                   raw.begin() + long(file->lsn + lsn_t(file->secsize)) * kSector);
        iso9660_stat_free(file);
    }
    if (image) cdio_destroy(image);
    const std::string path = dir.File("AVSEQ0" + std::to_string(number) + ".DAT");
    EXPECT_TRUE(test::WriteBytes(path, dat));
    return path;
}

// A copy of the test image under `dir`, its .bin cut to `bin_bytes` when given.
std::string CopyImage(const TempDir& dir, std::optional<size_t> bin_bytes = std::nullopt)
{
    namespace fs = std::filesystem;
    fs::copy_file(Media("vcd.cue"), dir.File("vcd.cue"));
    fs::copy_file(Media("vcd.bin"), dir.File("vcd.bin"));
    if (bin_bytes) fs::resize_file(dir.File("vcd.bin"), *bin_bytes);
    return dir.File("vcd.cue");
}

TEST(VideoCdTest, AnImageListsItsMpegTracksInOrder)
{
    const std::string cue = Media("vcd.cue");
    const std::string bin = Media("vcd.bin");
    std::string error;
    EXPECT_EQ(VideoCdTrackNames(cue, error), (Names{cue + "#1", cue + "#2"})) << error;
    // The .bin names the same disc: its cue sheet is beside it.
    EXPECT_EQ(VideoCdTrackNames(bin, error), (Names{bin + "#1", bin + "#2"})) << error;

    // A play list takes an image as its tracks, anything else as itself.
    EXPECT_EQ(ExpandDiscPath(cue), (Names{cue + "#1", cue + "#2"}));
    EXPECT_EQ(ExpandDiscPath(Media("short.dat")), Names{Media("short.dat")});

    // Drives in the order given; those without a Video CD give nothing.
    EXPECT_EQ(VideoCdTracks({"/nonexistent/sr9", bin, Media("demo.mpg"), cue}),
              (Names{bin + "#1", bin + "#2", cue + "#1", cue + "#2"}));
    EXPECT_TRUE(VideoCdTracks({}).empty());
}

TEST(VideoCdTest, TrackNamesNameADiscAndATrackFromOne)
{
    EXPECT_EQ(FormatTrackName("/media/film.cue", 2), "/media/film.cue#2");
    const auto name = ParseTrackName("/media/film #1.cue#12");
    ASSERT_TRUE(name);
    EXPECT_EQ(name->disc, "/media/film #1.cue");
    EXPECT_EQ(name->number, 12);
    for (const char* not_a_track : {"film.cue", "#2", "film.cue#0", "film.cue#100", "film.cue#", "film.cue#2a"})
        EXPECT_FALSE(ParseTrackName(not_a_track)) << not_a_track;
    // A file that happens to be called so stays a file.
    TempDir dir;
    ASSERT_TRUE(test::WriteBytes(dir.File("clip#2"), {0}));
    EXPECT_FALSE(ParseTrackName(dir.File("clip#2")));
    // Any file may be called .bin: without a cue sheet it is no disc.
    EXPECT_FALSE(IsDisc(dir.File("clip.bin")));
    EXPECT_TRUE(IsDisc("film.CUE"));
}

// vcdxrip writes a track's MPEG sectors only. The track, like its .DAT file,
// goes on to the empty sectors of the margin after them: zeros to the end.
TEST(VideoCdTest, EachTrackIsTheMpegTrackVcdxripExtractsThenItsZeroMargin)
{
    for (int number : {1, 2}) {
        SCOPED_TRACE(number);
        const Bytes stream = StreamOf(FormatTrackName(Media("vcd.cue"), number));
        const Bytes ripped = ReadFile(Media("vcd-avseq0" + std::to_string(number) + ".mpg"));
        ASSERT_GT(ripped.size(), 0u);
        ASSERT_GE(stream.size(), ripped.size());
        EXPECT_TRUE(std::equal(ripped.begin(), ripped.end(), stream.begin()));
        EXPECT_TRUE(std::all_of(stream.begin() + long(ripped.size()), stream.end(), [](uint8_t b) { return b == 0; }));
        EXPECT_EQ(stream.size() % kUserData, 0u);
    }
}

TEST(VideoCdTest, ATrackGivesTheStreamOfItsDatFile)
{
    TempDir dir;
    for (int number : {1, 2}) {
        SCOPED_TRACE(number);
        const std::string dat = WriteDatFile(Media("vcd.cue"), Media("vcd.bin"), number, dir);
        const std::string track = FormatTrackName(Media("vcd.cue"), number);
        std::string error;
        const auto source = DiscTrack::Open(Media("vcd.cue"), number, error);
        ASSERT_TRUE(source) << error;
        // Past the track's empty leading sectors, as in its file.
        const auto dat_layout = MediaStreamFile::ScanLayout(dat);
        ASSERT_TRUE(dat_layout && dat_layout->video_cd_track);
        EXPECT_EQ(MediaStreamFile::ScanLayout(*source)->first_pack_offset, dat_layout->first_pack_offset);
        EXPECT_GT(dat_layout->first_pack_offset, MediaStreamFile::kTrackFileUserDataOffset);
        EXPECT_EQ(StreamOf(track), StreamOf(dat));
    }
}

TEST(VideoCdTest, ATruncatedImageIsRefusedWithTheReason)
{
    // Cut inside the second track.
    TempDir dir;
    const std::string cue = CopyImage(dir, 1300 * kSector);
    std::string error;
    EXPECT_TRUE(VideoCdTrackNames(cue, error).empty());
    EXPECT_THAT(error, HasSubstr("truncated"));
    // Played from a play list, it says so through the broadcaster's File Error.
    EXPECT_EQ(ExpandDiscPath(cue), Names{cue + "#1"});
    const DiscTrackOpener tracks;
    Broadcaster broadcaster(cue + "#1", 0, 2048, nullptr, &tracks);
    EXPECT_FALSE(broadcaster.Start(0));
    EXPECT_THAT(broadcaster.error(), HasSubstr("truncated"));

    // Neither a Video CD nor anything libcdio reads.
    EXPECT_TRUE(VideoCdTrackNames(Media("demo.mpg"), error).empty());
    EXPECT_TRUE(VideoCdTrackNames(dir.File("missing.cue"), error).empty());
    EXPECT_THAT(error, HasSubstr("No such file"));
}

TEST(VideoCdTest, ASectorThatCannotBeReadFailsTheReadWithTheReason)
{
    TempDir dir;
    const std::string cue = CopyImage(dir);
    std::string error;
    const auto track = DiscTrack::Open(cue, 2, error);
    ASSERT_TRUE(track) << error;
    Bytes user_data(4 * kUserData);
    ASSERT_TRUE(track->ReadUserData(user_data.data(), 0, 4)) << track->error();
    // The image shrinks under the open track, as a disc may go bad.
    std::filesystem::resize_file(dir.File("vcd.bin"), 1500 * kSector);
    EXPECT_FALSE(track->ReadUserData(user_data.data(), track->sector_count() - 4, 4));
    EXPECT_THAT(track->error(), HasSubstr("cannot read sectors"));
}

}  // namespace
}  // namespace kinoverd
