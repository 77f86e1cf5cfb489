// SPDX-License-Identifier: GPL-3.0-or-later
// make-test-stream PATH BYTES: writes a deterministic stream that begins
// with a pack start code and whose 2048-byte blocks all differ.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make-test-stream PATH BYTES\n");
        return 2;
    }
    const size_t bytes = std::strtoull(argv[2], nullptr, 10);
    std::vector<unsigned char> stream(bytes);
    uint64_t state = 0x9E3779B97F4A7C15u;
    for (auto& byte : stream) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        byte = static_cast<unsigned char>(state >> 56);
    }
    const unsigned char pack_start[] = {0x00, 0x00, 0x01, 0xBA};
    for (size_t i = 0; i < sizeof pack_start && i < bytes; ++i) stream[i] = pack_start[i];
    FILE* out = std::fopen(argv[1], "wb");
    if (!out || std::fwrite(stream.data(), 1, bytes, out) != bytes || std::fclose(out) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
