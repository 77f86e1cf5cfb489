// SPDX-License-Identifier: GPL-3.0-or-later
// How fast a Video CD track is read from a disc image, through libcdio, as
// the broadcaster reads it: 32 KiB stream chunks, each costing whole form 2
// sectors. Compared with the rate a Video CD plays at (75 sectors a second:
// 176,400 raw bytes, 174,300 user-data bytes) and with the same stream read
// from its track file.
//
//   disc_read_bench [TRACK [TRACK_FILE]]
//
// TRACK defaults to track 1 of the test image (DISC#N, disc/track_name.h),
// TRACK_FILE to the test clip's .dat. The image is in the page cache after
// the first pass, so this is the cost of the read path itself; a drive adds
// its own seek and spin-up.
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "broadcast/media_stream_file.h"
#include "disc/disc_track.h"
#include "disc/track_name.h"

namespace {

using namespace kinoverd;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kChunkBytes = 32768;
constexpr double kPlayingRawBytesPerSecond = 75.0 * 2352;
constexpr int kPasses = 20;

struct Result {
    double open_ms = 0;  // open and scan for the first pack, as every start does
    double bytes_per_second = 0;
};

bool Open(const std::string& name, MediaStreamFile& stream)
{
    std::string error;
    if (const auto track = ParseTrackName(name)) {
        std::unique_ptr<SectorSource> source = DiscTrack::Open(track->disc, track->number, error);
        const auto layout = source ? MediaStreamFile::ScanLayout(*source) : std::nullopt;
        if (layout && stream.Open(std::move(source), layout->user_data_offset())) return true;
        std::fprintf(stderr, "disc_read_bench: %s: %s\n", name.c_str(), error.c_str());
        return false;
    }
    const auto layout = MediaStreamFile::ScanLayout(name);
    if (layout && stream.Open(name, layout->user_data_offset())) return true;
    std::fprintf(stderr, "disc_read_bench: %s: %s\n", name.c_str(), stream.error().c_str());
    return false;
}

std::optional<Result> Measure(const std::string& name)
{
    Result result;
    std::vector<uint8_t> chunk(kChunkBytes);
    double seconds = 0;
    uint64_t bytes = 0;
    for (int pass = 0; pass < kPasses; ++pass) {
        MediaStreamFile stream;
        const auto opening = Clock::now();
        if (!Open(name, stream)) return std::nullopt;
        const auto reading = Clock::now();
        if (pass > 0) result.open_ms += std::chrono::duration<double, std::milli>(reading - opening).count();
        for (uint64_t at = 0; at + kChunkBytes <= stream.length(); at += kChunkBytes) {
            if (!stream.Read(chunk.data(), at, kChunkBytes)) {
                std::fprintf(stderr, "disc_read_bench: %s: %s\n", name.c_str(), stream.error().c_str());
                return std::nullopt;
            }
            bytes += pass > 0 ? kChunkBytes : 0;
        }
        // The first pass only warms the page cache.
        if (pass > 0) seconds += std::chrono::duration<double>(Clock::now() - reading).count();
    }
    result.open_ms /= kPasses - 1;
    result.bytes_per_second = double(bytes) / seconds;
    return result;
}

void Report(const char* what, const std::string& name, const Result& result)
{
    std::printf("%-10s %s\n  open and scan %.2f ms; read %.1f MB/s = %.0f x the playing rate (176,400 B/s raw)\n",
                what, name.c_str(), result.open_ms, result.bytes_per_second / 1e6,
                result.bytes_per_second / kPlayingRawBytesPerSecond);
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string media = KINOVERD_TEST_MEDIA_DIR;
    const std::string track = argc > 1 ? argv[1] : FormatTrackName(media + "/vcd.cue", 1);
    const std::string track_file = argc > 2 ? argv[2] : media + "/demo.dat";
    const auto disc = Measure(track);
    const auto file = Measure(track_file);
    if (!disc || !file) return 1;
    Report("disc track", track, *disc);
    Report("track file", track_file, *file);
    return 0;
}
