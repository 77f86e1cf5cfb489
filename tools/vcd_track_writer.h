// SPDX-License-Identifier: GPL-3.0-or-later
// Wraps an MPEG system stream into a Video CD track file: a 44-byte
// RIFF/CDXA header, then one raw 2352-byte Mode 2 sector per 2324 stream
// bytes, so the first pack starts at file offset 68.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kinoverd {

class VcdTrackWriter {
public:
    static constexpr uint32_t kRiffHeaderBytes = 44;
    static constexpr uint32_t kSectorBytes = 2352;
    static constexpr uint32_t kUserDataOffset = 24;  // sync, address, mode, subheader
    static constexpr uint32_t kUserDataBytes = 2324;

    // The RIFF/CDXA header of a track file whose sectors hold `data_bytes`.
    static std::vector<uint8_t> RiffHeader(uint32_t data_bytes);

    // The track image of `stream`; the last sector's user data is zero-padded.
    static std::vector<uint8_t> Wrap(const std::vector<uint8_t>& stream);

    // Reads `mpeg_path`, writes its track image to `track_path`. False with
    // `error` set when either file cannot be used.
    static bool WriteFile(const std::string& mpeg_path, const std::string& track_path,
                          std::string* error);
};

}  // namespace kinoverd
