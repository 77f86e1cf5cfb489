// SPDX-License-Identifier: GPL-3.0-or-later
// check-tuned-output STREAM OUTPUT [--from-start]
//
// Checks what a tuner wrote against the stream that was broadcast: first
// the header blocks 0..31, then live blocks in strictly consecutive order up
// to the stream's last byte.
// With --from-start the live blocks must begin right after the header
// (block 32): the station listened before the broadcast began.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr size_t kBlock = 2048;
constexpr size_t kHeaderBlocksKept = 32;
constexpr size_t kFirstLiveBlock = 32;

std::vector<unsigned char> ReadAll(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int Fail(const std::string& why)
{
    std::fprintf(stderr, "check-tuned-output: %s\n", why.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || argc > 4 || (argc == 4 && std::strcmp(argv[3], "--from-start") != 0)) {
        std::fprintf(stderr, "usage: check-tuned-output STREAM OUTPUT [--from-start]\n");
        return 2;
    }
    std::vector<unsigned char> stream = ReadAll(argv[1]);
    std::vector<unsigned char> output = ReadAll(argv[2]);
    // The last block is cut to the stream's end: compare it zero-padded.
    const size_t stream_bytes = stream.size();
    const size_t output_bytes = output.size();
    stream.resize((stream.size() + kBlock - 1) / kBlock * kBlock, 0);
    output.resize((output.size() + kBlock - 1) / kBlock * kBlock, 0);
    const size_t stream_blocks = stream.size() / kBlock;
    const size_t output_blocks = output.size() / kBlock;
    auto same = [&](size_t out_block, size_t stream_block) {
        return std::memcmp(output.data() + out_block * kBlock, stream.data() + stream_block * kBlock,
                           kBlock) == 0;
    };

    if (output_blocks <= kHeaderBlocksKept) return Fail("output holds no live block");
    for (size_t i = 0; i < kHeaderBlocksKept; ++i) {
        if (!same(i, i)) return Fail("header block " + std::to_string(i) + " differs");
    }
    size_t first_live = kFirstLiveBlock;
    while (first_live < stream_blocks && !same(kHeaderBlocksKept, first_live)) ++first_live;
    if (first_live == stream_blocks) return Fail("first live block matches no stream block");
    if (argc == 4 && first_live != kFirstLiveBlock)
        return Fail("live blocks start at " + std::to_string(first_live) + ", not right after the header");
    const size_t live_blocks = output_blocks - kHeaderBlocksKept;
    if (output_bytes != kHeaderBlocksKept * kBlock + stream_bytes - first_live * kBlock)
        return Fail("output of " + std::to_string(output_bytes) + " bytes does not end at the stream's end");
    if (first_live + live_blocks != stream_blocks)
        return Fail("live blocks " + std::to_string(first_live) + ".." +
                    std::to_string(first_live + live_blocks - 1) + " do not end at the stream's last block " +
                    std::to_string(stream_blocks - 1));
    for (size_t i = 0; i < live_blocks; ++i) {
        if (!same(kHeaderBlocksKept + i, first_live + i))
            return Fail("live block " + std::to_string(first_live + i) + " differs or is missing");
    }
    std::printf("ok: header blocks 0..%zu, live blocks %zu..%zu\n", kHeaderBlocksKept - 1, first_live,
                stream_blocks - 1);
    return 0;
}
