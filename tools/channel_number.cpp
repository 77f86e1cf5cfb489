// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/channel_number.h"

#include <charconv>

#include "broadcast/wire_format.h"

namespace kinoverd {

std::optional<int> ParseChannelNumber(std::string_view text)
{
    int channel = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), channel);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (channel < wire::kFirstChannel || channel > wire::kLastChannel) return std::nullopt;
    return channel;
}

}  // namespace kinoverd
