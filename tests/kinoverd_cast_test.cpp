// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the built kinoverd-cast as a user would and watches the channel it
// broadcasts on.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "broadcast/broadcaster.h"
#include "broadcast/channel_reception.h"
#include "broadcast/media_stream_file.h"
#include "broadcast/wire_format.h"
#include "tests/support/child_process.h"
#include "tests/support/recorded_events.h"
#include "tests/support/test_streams.h"
#include "tests/support/wire_capture.h"

extern char** environ;

namespace kinoverd {
namespace {

using namespace std::chrono_literals;
using test::TempDir;
using test::WireCapture;
using testing::HasSubstr;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kBlock = wire::kBlockSize;
// Exit codes of a clean stop on a signal.
constexpr int kStoppedBySigterm = 128 + SIGTERM;
constexpr int kStoppedBySigint = 128 + SIGINT;

// One run of kinoverd-cast with its standard output and error collected.
class CastProcess : public test::ChildProcess {
public:
    explicit CastProcess(const std::vector<std::string>& arguments, const std::string& directory = "")
        : ChildProcess(KINOVERD_CAST_PATH, arguments, directory)
    {
    }
};

// The kinds of the datagrams captured on one port, as a string of letters.
std::string KindsOn(const WireCapture::Records& records, uint16_t port)
{
    std::string kinds;
    for (const auto& datagram : records) {
        if (datagram.port == port && datagram.bytes.size() >= wire::kHeadBytes)
            kinds += wire::KindByte(datagram.bytes.data());
    }
    return kinds;
}

size_t CountOf(const std::string& kinds, char kind) { return size_t(std::count(kinds.begin(), kinds.end(), kind)); }

// One complete broadcast of a stream whose data fills `data_packets` packets.
std::string OneBroadcast(size_t data_packets)
{
    return "A" + std::string(wire::kHeaderBytes / kBlock, 'H') + std::string(data_packets, 'P') + "E";
}

// Header, then twelve chunks: about 1.4 s on the wire, with no repeated header series.
constexpr size_t kShortStreamBytes = wire::kHeaderBytes + 12 * wire::kChunkBytes;
constexpr size_t kShortStreamDataPackets = (kShortStreamBytes - wire::kHeaderBytes) / kBlock;
// Lasts about twelve seconds: longer than any test waits for it.
constexpr size_t kLongStreamBytes = 4 * 1024 * 1024;

class KinoverdCastTest : public testing::Test {
protected:
    std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        const std::string path = directory_.File(name);
        EXPECT_TRUE(test::WriteBytes(path, bytes));
        return path;
    }
    std::string ShortStream(const std::string& name, uint32_t seed = 1)
    {
        return WriteFile(name, test::MpegLikeStream(kShortStreamBytes, seed));
    }
    std::string LongStream(const std::string& name) { return WriteFile(name, test::MpegLikeStream(kLongStreamBytes)); }

    // Datagrams sent by a program that has exited are already queued on the
    // capture's sockets; the capture's thread only needs a moment to take them.
    static void LetCaptureCatchUp() { std::this_thread::sleep_for(200ms); }

    TempDir directory_;
};

TEST_F(KinoverdCastTest, HelpAndVersionPrintAndSucceed)
{
    for (const char* option : {"--help", "-h"}) {
        CastProcess cast({option});
        ASSERT_TRUE(cast.started());
        EXPECT_EQ(cast.WaitForExit(10s), 0);
        EXPECT_THAT(cast.out(), HasSubstr("Usage: kinoverd-cast"));
        EXPECT_EQ(cast.err(), "");
    }
    CastProcess version({"--version"});
    EXPECT_EQ(version.WaitForExit(10s), 0);
    EXPECT_EQ(version.out(), "kinoverd-cast " KINOVERD_VERSION "\n");
}

TEST_F(KinoverdCastTest, BadUsageExitsWithTwoBeforeAnythingIsSent)
{
    const std::string file = ShortStream("a.mpg");
    WireCapture capture(0);
    ASSERT_TRUE(capture.Start());
    const std::vector<std::vector<std::string>> bad_usages = {
        {},
        {"--loop"},
        {"--channel", "0"},
        {"--bogus", file},
        {"-x", file},
        {file, "--channel"},
        {"--channel", "4", file},
        {"--channel", "-1", file},
        {"--channel", "one", file},
        {"--channel", "1x", file},
        {"--channel", "", file},
        {"--channel=", file},
        {"--channel=9", file},
    };
    for (const auto& arguments : bad_usages) {
        SCOPED_TRACE(testing::PrintToString(arguments));
        CastProcess cast(arguments);
        EXPECT_EQ(cast.WaitForExit(10s), 2);
        EXPECT_EQ(cast.out(), "");
        EXPECT_THAT(cast.err(), HasSubstr("kinoverd-cast: "));
    }
    LetCaptureCatchUp();
    EXPECT_EQ(capture.count(), 0u);
}

TEST_F(KinoverdCastTest, UnreadableFilesAreRefusedBeforeTheFirstFileIsSent)
{
    const std::string good = ShortStream("good.mpg");
    const std::string missing = directory_.File("missing.mpg");
    const std::string unreadable = ShortStream("unreadable.mpg");
    chmod(unreadable.c_str(), 0);
    WireCapture capture(0);
    ASSERT_TRUE(capture.Start());

    {
        CastProcess cast({"--channel", "0", good, missing});
        EXPECT_EQ(cast.WaitForExit(10s), 1);
        EXPECT_THAT(cast.err(), HasSubstr(missing + ": No such file or directory"));
    }
    {
        CastProcess cast({"--channel", "0", good, directory_.path()});
        EXPECT_EQ(cast.WaitForExit(10s), 1);
        EXPECT_THAT(cast.err(), HasSubstr(directory_.path() + ": not a regular file"));
    }
    // Root in the private namespace reads whatever the mode says.
    if (access(unreadable.c_str(), R_OK) != 0) {
        CastProcess cast({"--channel", "0", good, unreadable});
        EXPECT_EQ(cast.WaitForExit(10s), 1);
        EXPECT_THAT(cast.err(), HasSubstr(unreadable + ": Permission denied"));
    }
    LetCaptureCatchUp();
    EXPECT_EQ(capture.count(), 0u);
}

TEST_F(KinoverdCastTest, AFileWithoutAPackStartCodeIsRefused)
{
    const std::string noise = WriteFile("noise.bin", test::NonMpegBytes(600 * 1024));
    WireCapture capture(0);
    ASSERT_TRUE(capture.Start());

    CastProcess cast({"--channel", "0", noise});
    EXPECT_EQ(cast.WaitForExit(10s), 1);
    EXPECT_THAT(cast.err(), HasSubstr(noise + ": no MPEG pack start code in the first 512 KiB: "
                                              "not an MPEG system stream or Video CD track"));
    LetCaptureCatchUp();
    EXPECT_EQ(capture.count(), 0u);
}

TEST_F(KinoverdCastTest, AnEmptyFileIsNotAnMpegStream)
{
    const std::string empty = WriteFile("empty.mpg", {});
    CastProcess cast({"--channel", "0", empty});
    EXPECT_EQ(cast.WaitForExit(10s), 1);
    EXPECT_THAT(cast.err(), HasSubstr(empty + ": no MPEG pack start code"));
}

TEST_F(KinoverdCastTest, AFileTheBroadcasterRefusesIsAFileError)
{
    // A track header and a pack start code at 100: a Video CD track too
    // short for one sector.
    std::vector<uint8_t> bytes = test::NonMpegBytes(200);
    std::copy_n("RIFF\0\0\0\0CDXA", 12, bytes.begin());
    const uint8_t pack_start[] = {0x00, 0x00, 0x01, 0xBA};
    std::copy(std::begin(pack_start), std::end(pack_start), bytes.begin() + 100);
    const std::string stub = WriteFile("stub.dat", bytes);

    CastProcess cast({"--channel", "0", stub});
    EXPECT_EQ(cast.WaitForExit(10s), 1);
    EXPECT_THAT(cast.err(), testing::StartsWith("File Error: " + stub + ": "));
}

TEST_F(KinoverdCastTest, FilesAreSentOneAfterAnotherOnTheChosenChannel)
{
    const std::string first = ShortStream("first.mpg", 1);
    const std::vector<uint8_t> second_stream = test::MpegLikeStream(kShortStreamBytes - wire::kChunkBytes, 2);
    const std::string second = WriteFile("second.dat", test::VcdTrackOf(second_stream));
    WireCapture capture(2);
    ASSERT_TRUE(capture.Start());

    CastProcess cast({"--channel", "2", first, second});
    EXPECT_EQ(cast.WaitForExit(30s), 0);
    EXPECT_EQ(cast.err(), "");
    EXPECT_THAT(cast.out(), testing::StartsWith("channel 2 (group 234.5.6.9, data port 4004, control port 4005)\n"));
    // Each file's last line reports its whole stream as sent: 458,752 bytes
    // play for 2.99 s at 153,600 bytes a second.
    EXPECT_THAT(cast.out(), HasSubstr(first + ": 458752 / 458752 bytes, 00:02\n"));
    EXPECT_THAT(cast.out(), testing::ContainsRegex(second + ": [0-9]+ / [0-9]+ bytes, 00:0[0-9]\n"));

    LetCaptureCatchUp();
    const std::string kinds = KindsOn(capture.records(), capture.data_port());
    ASSERT_THAT(kinds, testing::StartsWith(OneBroadcast(kShortStreamDataPackets)));
    const std::string rest = kinds.substr(OneBroadcast(kShortStreamDataPackets).size());
    EXPECT_THAT(rest, testing::MatchesRegex("AH{32}P+E"));
    // The end of a file is not a close: no control packet at all.
    EXPECT_EQ(KindsOn(capture.records(), capture.control_port()), "");
}

// A test stream whose first pack, an MPEG-1 pack header, names its rate.
std::vector<uint8_t> StreamAtRate(size_t bytes, uint32_t bytes_per_second, uint32_t seed)
{
    std::vector<uint8_t> stream = test::MpegLikeStream(bytes, seed);
    const uint32_t units = bytes_per_second / 50;
    const uint8_t pack[] = {0x00, 0x00, 0x01, 0xBA, 0x21, 0x00, 0x01, 0x00, 0x01,
                            uint8_t(0x80 | (units >> 15)), uint8_t(units >> 7), uint8_t((units << 1) | 1)};
    std::copy(std::begin(pack), std::end(pack), stream.begin());
    return stream;
}

// A station plays a stream from the moment half its ring is filled, at the
// stream's rate, and only then waits for the next stream: the next file of
// a list must not start before, or its opening is lost.
TEST_F(KinoverdCastTest, TheNextFileStartsOnceStationsCanHavePlayedOutTheLast)
{
    constexpr uint32_t kRate = 250000;
    const auto second_stream = StreamAtRate(400 * 1024, kRate, 2);
    const std::string first = WriteFile("first.mpg", StreamAtRate(1024 * 1024, kRate, 1));
    const std::string second = WriteFile("second.mpg", second_stream);
    WireCapture capture(0);
    ASSERT_TRUE(capture.Start());
    test::RecordedEvents events;
    ChannelReception station(kBlock);
    ASSERT_TRUE(station.Start(0, &events));
    CastProcess cast({"--channel", "0", first, second});

    // The first file, taken at its rate from the moment playback may start.
    ASSERT_TRUE(events.WaitFor(test::Event::kPlaybackReady, 20s));
    const auto reading = Clock::now();
    std::vector<uint8_t> block(kBlock);
    uint64_t taken = 0;
    for (;;) {
        const ChannelReception::Block got = station.TakeBlock(block.data());
        if (got.take == ChannelReception::Take::kEnd) break;
        if (got.take == ChannelReception::Take::kEmpty) {
            station.WaitForPacket(100ms, [] { return false; });
            continue;
        }
        taken += got.bytes;
        std::this_thread::sleep_until(
            reading + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(double(taken) / kRate)));
    }
    const auto played_out = Clock::now();
    station.Reset();

    // The second file from its first byte: its first second.
    ASSERT_TRUE(events.WaitFor(test::Event::kPlaybackReady, 20s, 2));
    std::vector<uint8_t> opening;
    while (opening.size() < kRate) {
        const ChannelReception::Block got = station.TakeBlock(block.data());
        ASSERT_EQ(got.take, ChannelReception::Take::kData);
        opening.insert(opening.end(), block.begin(), block.begin() + got.bytes);
    }
    EXPECT_TRUE(std::equal(opening.begin(), opening.begin() + kRate, second_stream.begin()));
    EXPECT_EQ(cast.WaitForExit(30s), 0) << cast.err();

    LetCaptureCatchUp();
    const WireCapture::Records records = capture.records();
    const auto first_end = std::find_if(records.begin(), records.end(), [](const auto& datagram) {
        return wire::HasHead(datagram.bytes.data(), wire::Kind::kEnd);
    });
    const auto second_start = std::find_if(first_end, records.end(), [](const auto& datagram) {
        return wire::HasHead(datagram.bytes.data(), wire::Kind::kStreamStart);
    });
    ASSERT_NE(second_start, records.end());
    EXPECT_GT(second_start->arrival, played_out);
}

// 65,924 is where a file without a pack was once said to have one; a real
// pack there must not be mistaken for none: a plain file, and a Video CD
// track whose first 28 sectors are empty.
TEST_F(KinoverdCastTest, AFirstPackAtByte65924IsBroadcast)
{
    const auto stream = test::MpegLikeStream(kShortStreamBytes, 3);
    std::vector<uint8_t> plain = test::NonMpegBytes(MediaStreamFile::kNoPackOffset, 4);
    plain.insert(plain.end(), stream.begin(), stream.end());
    std::vector<uint8_t> late_track_stream(28 * MediaStreamFile::kSectorUserBytes, 0);
    late_track_stream.insert(late_track_stream.end(), stream.begin(), stream.end());
    const std::string plain_path = WriteFile("late-pack.mpg", plain);
    const std::string track_path = WriteFile("late-pack.dat", test::VcdTrackOf(late_track_stream));
    for (const std::string& path : {plain_path, track_path}) {
        SCOPED_TRACE(path);
        WireCapture capture(3);
        ASSERT_TRUE(capture.Start());
        CastProcess cast({"--channel", "3", path});
        EXPECT_EQ(cast.WaitForExit(30s), 0) << cast.err();
        LetCaptureCatchUp();
        EXPECT_THAT(KindsOn(capture.records(), capture.data_port()), testing::MatchesRegex("AH{32}P+E"));
    }
}

TEST_F(KinoverdCastTest, OptionsEndAtDoubleDash)
{
    ShortStream("-clip.mpg");
    {
        CastProcess cast({"--channel", "3", "-clip.mpg"}, directory_.path());
        EXPECT_EQ(cast.WaitForExit(10s), 2);
    }
    WireCapture capture(3);
    ASSERT_TRUE(capture.Start());
    CastProcess cast({"--channel=3", "--", "-clip.mpg"}, directory_.path());
    EXPECT_EQ(cast.WaitForExit(30s), 0);
    LetCaptureCatchUp();
    EXPECT_EQ(KindsOn(capture.records(), capture.data_port()), OneBroadcast(kShortStreamDataPackets));
}

TEST_F(KinoverdCastTest, EachFileIsValidatedWhenItsTurnComes)
{
    const std::string good = ShortStream("good.mpg");
    const std::string noise = WriteFile("noise.bin", test::NonMpegBytes(4096));
    const std::string doomed = ShortStream("doomed.mpg");
    WireCapture capture(1);
    ASSERT_TRUE(capture.Start());

    {
        CastProcess cast({"--channel", "1", good, noise, good});
        EXPECT_EQ(cast.WaitForExit(30s), 1);
        EXPECT_THAT(cast.err(), HasSubstr(noise + ": no MPEG pack start code"));
        LetCaptureCatchUp();
        EXPECT_EQ(KindsOn(capture.records(), capture.data_port()), OneBroadcast(kShortStreamDataPackets));
    }
    capture.Clear();
    {
        // Present at the start, gone by its turn.
        CastProcess cast({"--channel", "1", good, doomed});
        ASSERT_TRUE(capture.WaitForCount(1, 10s));
        unlink(doomed.c_str());
        EXPECT_EQ(cast.WaitForExit(30s), 1);
        EXPECT_THAT(cast.err(), HasSubstr("File Error: " + doomed + ": "));
        EXPECT_THAT(cast.err(), HasSubstr("No such file or directory"));
        LetCaptureCatchUp();
        EXPECT_EQ(KindsOn(capture.records(), capture.data_port()), OneBroadcast(kShortStreamDataPackets));
    }
}

TEST_F(KinoverdCastTest, ASignalStopsTheBroadcastWithFourClosePackets)
{
    const std::string movie = LongStream("movie.mpg");
    for (int signal_number : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal_number);
        WireCapture capture(1);
        ASSERT_TRUE(capture.Start());
        CastProcess cast({"--channel", "1", movie});
        // The first progress line comes after one second of broadcasting.
        ASSERT_TRUE(cast.WaitForOutput(movie + ": ", 10s));
        cast.Signal(signal_number);
        const auto signalled = Clock::now();
        EXPECT_EQ(cast.WaitForExit(5s), 128 + signal_number);  // a clean stop, not a kill
        EXPECT_LT(Clock::now() - signalled, 2s);

        ASSERT_TRUE(capture.WaitFor(
            [&](const WireCapture::Records& records) {
                return KindsOn(records, capture.control_port()) == "DDDD";
            }, 2s));
        LetCaptureCatchUp();
        EXPECT_EQ(KindsOn(capture.records(), capture.control_port()), "DDDD");
        const std::string data = KindsOn(capture.records(), capture.data_port());
        EXPECT_EQ(CountOf(data, 'E'), 0u);
        EXPECT_GT(CountOf(data, 'P'), 0u);

        const size_t line = cast.out().find(movie + ": ");
        ASSERT_NE(line, std::string::npos);
        unsigned long position = 0, length = 0;
        unsigned minutes = 99, seconds = 99;
        ASSERT_EQ(std::sscanf(cast.out().c_str() + line + movie.size() + 2, "%lu / %lu bytes, %2u:%2u",
                              &position, &length, &minutes, &seconds),
                  4)
            << cast.out();
        EXPECT_GT(position, 0u);
        EXPECT_LT(position, kLongStreamBytes);
        EXPECT_EQ(length, kLongStreamBytes);
        EXPECT_EQ(minutes * 60 + seconds, position / 153600);
    }
}

TEST_F(KinoverdCastTest, LoopStartsTheListAgainUntilStopped)
{
    const std::string clip = ShortStream("clip.mpg");
    WireCapture capture(0);
    ASSERT_TRUE(capture.Start());
    CastProcess cast({"--loop", "--channel", "0", clip});
    const auto two_ends = [&](const WireCapture::Records& records) {
        return CountOf(KindsOn(records, capture.data_port()), 'E') >= 2;
    };
    EXPECT_TRUE(capture.WaitFor(two_ends, 20s));
    cast.Signal(SIGTERM);
    EXPECT_EQ(cast.WaitForExit(5s), kStoppedBySigterm);
    LetCaptureCatchUp();
    EXPECT_THAT(KindsOn(capture.records(), capture.data_port()),
                testing::StartsWith(OneBroadcast(kShortStreamDataPackets) + OneBroadcast(kShortStreamDataPackets)));
}

TEST_F(KinoverdCastTest, WithoutAChannelTheFirstFreeOneIsTaken)
{
    const std::string movie = LongStream("movie.mpg");
    const std::string clip = ShortStream("clip.mpg");
    Broadcaster busy(movie, 0, kBlock, nullptr);
    ASSERT_TRUE(busy.Start(0));
    busy.Run();

    CastProcess cast({clip});
    EXPECT_EQ(cast.WaitForExit(30s), 0);
    EXPECT_THAT(cast.out(), testing::StartsWith("channel 1 ("));
    busy.StopAndClose();
}

TEST_F(KinoverdCastTest, NoFreeChannelIsReportedAndNothingIsSent)
{
    const std::string movie = LongStream("movie.mpg");
    const std::string clip = ShortStream("clip.mpg");
    std::vector<std::unique_ptr<Broadcaster>> broadcasts;
    for (int channel = wire::kFirstChannel; channel <= wire::kLastChannel; ++channel) {
        broadcasts.push_back(std::make_unique<Broadcaster>(movie, channel, kBlock, nullptr));
        ASSERT_TRUE(broadcasts.back()->Start(0));
        broadcasts.back()->Run();
    }

    CastProcess cast({clip});
    EXPECT_EQ(cast.WaitForExit(30s), 1);
    EXPECT_EQ(cast.err(), "没有空闲的频道.\n");
    EXPECT_EQ(cast.out(), "");
    for (auto& broadcast : broadcasts) broadcast->StopAndClose();
}

TEST_F(KinoverdCastTest, ASignalDuringTheChannelSearchStopsBeforeBroadcasting)
{
    const std::string clip = ShortStream("clip.mpg");
    CastProcess cast({clip});
    ASSERT_TRUE(cast.WaitUntilSignalsAreBlocked(10s));
    cast.Signal(SIGINT);
    EXPECT_EQ(cast.WaitForExit(10s), kStoppedBySigint);
    EXPECT_EQ(cast.err(), "");
    EXPECT_THAT(cast.out(), testing::Not(HasSubstr(clip)));
}

// A named pipe without a writer would block an open for ever; it is refused
// at once, like any file that is not a regular one.
TEST_F(KinoverdCastTest, ANamedPipeIsRefusedAtOnce)
{
    const std::string pipe = directory_.File("pipe.mpg");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    CastProcess cast({"--channel", "0", pipe});
    EXPECT_EQ(cast.WaitForExit(5s), 1);
    EXPECT_EQ(cast.err(), "kinoverd-cast: " + pipe + ": not a regular file\n");
}

TEST_F(KinoverdCastTest, AFileThatShrinksWhileSentIsAFileError)
{
    const std::string movie = LongStream("movie.mpg");
    CastProcess cast({"--channel", "1", movie});
    ASSERT_TRUE(cast.WaitForOutput(movie + ": ", 10s));
    ASSERT_EQ(truncate(movie.c_str(), 200000), 0);
    EXPECT_EQ(cast.WaitForExit(30s), 1);
    EXPECT_THAT(cast.err(), HasSubstr("File Error: " + movie + ": the file shrank to 200000 bytes"));
}

// The last channel a caster announced on its standard output.
int AnnouncedChannel(const std::string& out)
{
    int channel = -1;
    const std::regex announcement("channel ([0-3]) \\(");
    for (auto it = std::sregex_iterator(out.begin(), out.end(), announcement); it != std::sregex_iterator(); ++it)
        channel = std::stoi((*it)[1]);
    return channel;
}

// Another sender starts on the caster's channel: the caster says so and
// moves its broadcast to a free channel, on from where it was.
TEST_F(KinoverdCastTest, ACasterWhoseChannelIsTakenMovesToAFreeOne)
{
    const std::string movie = LongStream("movie.mpg");
    WireCapture taken(0);
    ASSERT_TRUE(taken.Start());
    CastProcess cast({"--channel", "0", movie});
    ASSERT_TRUE(cast.WaitForOutput(movie + ": ", 10s));
    std::this_thread::sleep_for(1s);
    Broadcaster intruder(movie, 0, kBlock, nullptr);
    ASSERT_TRUE(intruder.Start(0));
    intruder.Run();
    ASSERT_TRUE(cast.WaitForOutput("moved to channel 1 (", 15s)) << cast.err();
    EXPECT_THAT(cast.err(), HasSubstr("kinoverd-cast: channel 0 is taken by another sender ("));
    // It leaves without a close packet, which the intruder's listeners would obey.
    LetCaptureCatchUp();
    EXPECT_EQ(KindsOn(taken.records(), taken.control_port()), "");
    // A listener makes a channel busy for the probe: only now.
    WireCapture capture(1);
    ASSERT_TRUE(capture.Start());
    ASSERT_TRUE(capture.WaitFor([](const WireCapture::Records& records) {
        return std::count_if(records.begin(), records.end(), [](const auto& datagram) {
                   return wire::HasHead(datagram.bytes.data(), wire::Kind::kData);
               }) > 0;
    }, 5s));
    // The stream goes on where it was, not from its beginning.
    for (const auto& datagram : capture.records()) {
        if (!wire::HasHead(datagram.bytes.data(), wire::Kind::kData)) continue;
        EXPECT_GT(wire::BlockIndex(datagram.bytes.data()), 64u);
        break;
    }
    cast.Signal(SIGTERM);
    EXPECT_EQ(cast.WaitForExit(10s), kStoppedBySigterm);
    intruder.StopAndClose();
}

// Two casters that start together without a channel end up on two.
TEST_F(KinoverdCastTest, TwoCastersStartingTogetherEndOnDifferentChannels)
{
    const std::string movie = LongStream("movie.mpg");
    CastProcess first({movie});
    CastProcess second({movie});
    ASSERT_TRUE(first.WaitForOutput(movie + ": ", 15s));
    ASSERT_TRUE(second.WaitForOutput(movie + ": ", 15s));
    // Settled: apart and staying apart for two seconds.
    const auto give_up = Clock::now() + 12s;
    auto apart_since = Clock::now();
    while (Clock::now() < give_up && Clock::now() - apart_since < 2s) {
        first.WaitForOutput("\n\n", 100ms);  // takes in what was printed
        second.WaitForOutput("\n\n", 100ms);
        if (AnnouncedChannel(first.out()) == AnnouncedChannel(second.out())) apart_since = Clock::now();
    }
    EXPECT_NE(AnnouncedChannel(first.out()), AnnouncedChannel(second.out())) << first.err() << second.err();
    first.Signal(SIGTERM);
    second.Signal(SIGTERM);
    EXPECT_EQ(first.WaitForExit(10s), kStoppedBySigterm);
    EXPECT_EQ(second.WaitForExit(10s), kStoppedBySigterm);
}

}  // namespace
}  // namespace kinoverd
