// SPDX-License-Identifier: GPL-3.0-or-later
// Parsing of a channel number given on a command line.
#pragma once

#include <optional>
#include <string_view>

namespace kinoverd {

// The channel (0 to 3) that `text` names exactly, if it names one.
std::optional<int> ParseChannelNumber(std::string_view text);

}  // namespace kinoverd
