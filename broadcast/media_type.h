// The one media type the pull source offers: a major type and a subtype,
// identified by the 128-bit ids the media framework's peers know them by.
#pragma once

#include <array>
#include <cstdint>

namespace kinoverd {

struct Guid {
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    std::array<uint8_t, 8> data4{};

    constexpr bool IsNull() const { return *this == Guid{}; }
    friend constexpr bool operator==(const Guid&, const Guid&) = default;
};

constexpr Guid kGuidNull{};
// MEDIATYPE_Stream {E436EB83-524F-11CE-9F53-0020AF0BA770}
constexpr Guid kMediaTypeStream{0xE436EB83, 0x524F, 0x11CE,
                                {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
// MEDIASUBTYPE_MPEG1System {E436EB84-524F-11CE-9F53-0020AF0BA770}
constexpr Guid kMediaSubtypeMpeg1System{0xE436EB84, 0x524F, 0x11CE,
                                        {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};

struct MediaType {
    Guid major;
    Guid subtype;  // null accepts any subtype of the major type

    friend constexpr bool operator==(const MediaType&, const MediaType&) = default;
};

// What the received broadcast is: an MPEG-1 system stream.
constexpr MediaType kMpeg1SystemStreamType{kMediaTypeStream, kMediaSubtypeMpeg1System};

}  // namespace kinoverd
