// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/vcd_track_writer.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace kinoverd {

namespace {

void PutLe32(uint8_t* at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) at[i] = uint8_t(value >> (8 * i));
}

uint8_t Bcd(uint32_t value) { return uint8_t((value / 10) << 4 | value % 10); }

// RIFF "CDXA" with a 16-byte "fmt " chunk and the "data" chunk header.
void WriteRiffHeader(uint8_t* header, uint32_t data_bytes)
{
    std::memcpy(header, "RIFF", 4);
    PutLe32(header + 4, VcdTrackWriter::kRiffHeaderBytes - 8 + data_bytes);
    std::memcpy(header + 8, "CDXAfmt ", 8);
    PutLe32(header + 16, 16);
    // Owner ids and attributes of a Mode 2 Form 2 track; "XA" signature.
    const uint8_t format[16] = {0, 0, 0, 0, 0x15, 0x55, 'X', 'A', 1, 0, 0, 0, 0, 0, 0, 0};
    std::memcpy(header + 20, format, sizeof format);
    std::memcpy(header + 36, "data", 4);
    PutLe32(header + 40, data_bytes);
}

// Sync pattern, MSF address (counted from 00:02:00 as on a disc), mode 2,
// and a Form 2 real-time subheader given twice.
void WriteSectorHead(uint8_t* sector, uint32_t index)
{
    static constexpr uint8_t kSync[12] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                          0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    std::memcpy(sector, kSync, sizeof kSync);
    const uint32_t frame = index + 150;
    sector[12] = Bcd(frame / 75 / 60);
    sector[13] = Bcd(frame / 75 % 60);
    sector[14] = Bcd(frame % 75);
    sector[15] = 2;
    const uint8_t subheader[4] = {1, 1, 0x62, 0x0F};
    std::memcpy(sector + 16, subheader, 4);
    std::memcpy(sector + 20, subheader, 4);
}

}  // namespace

std::vector<uint8_t> VcdTrackWriter::RiffHeader(uint32_t data_bytes)
{
    std::vector<uint8_t> header(kRiffHeaderBytes);
    WriteRiffHeader(header.data(), data_bytes);
    return header;
}

std::vector<uint8_t> VcdTrackWriter::Wrap(const std::vector<uint8_t>& stream)
{
    const uint32_t sectors = uint32_t((stream.size() + kUserDataBytes - 1) / kUserDataBytes);
    std::vector<uint8_t> track(kRiffHeaderBytes + size_t(sectors) * kSectorBytes, 0);
    WriteRiffHeader(track.data(), sectors * kSectorBytes);
    for (uint32_t i = 0; i < sectors; ++i) {
        uint8_t* sector = track.data() + kRiffHeaderBytes + size_t(i) * kSectorBytes;
        WriteSectorHead(sector, i);
        const size_t from = size_t(i) * kUserDataBytes;
        const size_t count = std::min<size_t>(kUserDataBytes, stream.size() - from);
        std::memcpy(sector + kUserDataOffset, stream.data() + from, count);
    }
    return track;
}

bool VcdTrackWriter::WriteFile(const std::string& mpeg_path, const std::string& track_path,
                               std::string* error)
{
    std::ifstream in(mpeg_path, std::ios::binary);
    if (!in) {
        *error = "cannot read " + mpeg_path;
        return false;
    }
    const std::vector<uint8_t> stream((std::istreambuf_iterator<char>(in)),
                                      std::istreambuf_iterator<char>());
    const std::vector<uint8_t> track = Wrap(stream);
    std::ofstream out(track_path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(track.data()), std::streamsize(track.size()));
    if (!out.flush()) {
        *error = "cannot write " + track_path;
        return false;
    }
    return true;
}

}  // namespace kinoverd
