// SPDX-License-Identifier: GPL-3.0-or-later
// Entry point of the tests of windows, widgets and the media engine: one
// QApplication for the whole binary. Built twice; the NETWORK variant also
// refuses to run outside tools/private-lan.
#include <QApplication>
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/support/private_lan_check.h"

int main(int argc, char** argv)
{
#ifdef KINOVERD_REQUIRE_PRIVATE_LAN
    if (!kinoverd::test::InsidePrivateLan()) {
        std::fprintf(stderr, "This test sends multicast: run it through tools/private-lan.\n");
        return 1;
    }
#endif
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
