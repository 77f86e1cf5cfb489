// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/private_lan_check.h"

#include <net/if.h>

#include <cstdlib>
#include <cstring>

namespace kinoverd::test {

namespace {

bool OnlyLoopback()
{
    struct if_nameindex* interfaces = if_nameindex();
    if (!interfaces) return false;
    bool only_lo = true;
    for (struct if_nameindex* i = interfaces; i->if_index != 0; ++i) {
        if (std::strcmp(i->if_name, "lo") != 0) only_lo = false;
    }
    if_freenameindex(interfaces);
    return only_lo;
}

}  // namespace

bool InsidePrivateLan()
{
    const char* marker = std::getenv("KINOVERD_PRIVATE_LAN");
    return marker && std::strcmp(marker, "1") == 0 && OnlyLoopback();
}

}  // namespace kinoverd::test
