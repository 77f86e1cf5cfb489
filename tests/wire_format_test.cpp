// SPDX-License-Identifier: GPL-3.0-or-later
#include "broadcast/wire_format.h"

#include <gtest/gtest.h>

#include <vector>

namespace kinoverd::wire {
namespace {

TEST(ChannelAddressing, FollowsTheChannelNumber)
{
    EXPECT_EQ(GroupAddress(0), "234.5.6.7");
    EXPECT_EQ(DataPort(0), 4000);
    EXPECT_EQ(ControlPort(0), 4001);
    EXPECT_EQ(GroupAddress(2), "234.5.6.9");
    EXPECT_EQ(DataPort(2), 4004);
    EXPECT_EQ(ControlPort(2), 4005);
    EXPECT_EQ(GroupAddress(3), "234.5.6.10");
    EXPECT_EQ(DataPort(3), 4006);
    EXPECT_EQ(ControlPort(3), 4007);
}

TEST(PacketLayout, SizesAndPacingFollowTheBlockSize)
{
    EXPECT_EQ(PacketSize(kBlockSize), 2060u);
    EXPECT_EQ(SocketBufferBytes(kBlockSize), 4120);
    EXPECT_EQ(PacingMilliseconds(kBlockSize), 6);
    EXPECT_EQ(PacingMilliseconds(1024), 3);
}

TEST(PacketLayout, HeadsUseTheMagicOfTheirKind)
{
    std::vector<uint8_t> packet(PacketSize(kBlockSize), 0xEE);
    WriteHead(packet.data(), Kind::kHeader);
    EXPECT_EQ(std::vector<uint8_t>(packet.begin(), packet.begin() + 4),
              (std::vector<uint8_t>{'R', 'B', 0, 'H'}));
    EXPECT_TRUE(HasHead(packet.data(), Kind::kHeader));
    EXPECT_FALSE(HasKvMagic(packet.data()));
    for (Kind kind : {Kind::kData, Kind::kEnd, Kind::kRestart, Kind::kClose}) {
        WriteHead(packet.data(), kind);
        EXPECT_TRUE(HasKvMagic(packet.data()));
        EXPECT_TRUE(HasHead(packet.data(), kind));
        EXPECT_EQ(KindByte(packet.data()), char(kind));
    }
    packet[2] = 1;
    EXPECT_FALSE(HasKvMagic(packet.data()));
    EXPECT_FALSE(HasHead(packet.data(), Kind::kClose));
}

TEST(PacketLayout, IndexAndLengthAreLittleEndian)
{
    std::vector<uint8_t> packet(PacketSize(kBlockSize), 0);
    WriteIndexAndLength(packet.data(), 0x01020304, 0xFFFFFFFE);
    EXPECT_EQ(packet[4], 0x04);
    EXPECT_EQ(packet[7], 0x01);
    EXPECT_EQ(packet[8], 0xFE);
    EXPECT_EQ(packet[11], 0xFF);
    EXPECT_EQ(BlockIndex(packet.data()), 0x01020304u);
    EXPECT_EQ(StreamLength(packet.data()), 0xFFFFFFFEu);
}

}  // namespace
}  // namespace kinoverd::wire
