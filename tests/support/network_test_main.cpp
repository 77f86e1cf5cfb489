// SPDX-License-Identifier: GPL-3.0-or-later
// Entry point of every test binary that opens multicast sockets: it runs
// only inside tools/private-lan, where loopback is the only interface.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/support/private_lan_check.h"

int main(int argc, char** argv)
{
    if (!kinoverd::test::InsidePrivateLan()) {
        std::fprintf(stderr, "This test sends multicast: run it through tools/private-lan.\n");
        return 1;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
