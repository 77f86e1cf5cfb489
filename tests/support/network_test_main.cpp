// Entry point of every test binary that opens multicast sockets: it runs
// only inside tools/private-lan, where loopback is the only interface.
#include <gtest/gtest.h>
#include <net/if.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

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

int main(int argc, char** argv)
{
    const char* marker = std::getenv("KINOVERD_PRIVATE_LAN");
    if (!marker || std::strcmp(marker, "1") != 0 || !OnlyLoopback()) {
        std::fprintf(stderr, "This test sends multicast: run it through tools/private-lan.\n");
        return 1;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
