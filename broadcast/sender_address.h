// SPDX-License-Identifier: GPL-3.0-or-later
// Where a datagram came from: the sender's IPv4 address and UDP port, both
// in host byte order. A broadcast is sent from one socket, so these two
// name one broadcast's sender for as long as it runs.
#pragma once

#include <cstdint>
#include <string>

namespace kinoverd {

struct SenderAddress {
    uint32_t address = 0;
    uint16_t port = 0;

    friend bool operator==(const SenderAddress&, const SenderAddress&) = default;
    // "a.b.c.d:port", for reports.
    std::string ToString() const;
};

}  // namespace kinoverd
