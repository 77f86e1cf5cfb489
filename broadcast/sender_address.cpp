// SPDX-License-Identifier: GPL-3.0-or-later
#include "broadcast/sender_address.h"

namespace kinoverd {

std::string SenderAddress::ToString() const
{
    return std::to_string(address >> 24) + '.' + std::to_string((address >> 16) & 0xFF) + '.' +
           std::to_string((address >> 8) & 0xFF) + '.' + std::to_string(address & 0xFF) + ':' +
           std::to_string(port);
}

}  // namespace kinoverd
