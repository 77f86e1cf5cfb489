// SPDX-License-Identifier: GPL-3.0-or-later
// Positioned reads that either deliver every byte asked for or say why not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kinoverd {

// pread until `count` bytes are in; false, with `error` saying why, when the
// file ends first or cannot be read.
bool ReadFully(int fd, uint8_t* destination, size_t count, uint64_t offset, std::string& error);

}  // namespace kinoverd
