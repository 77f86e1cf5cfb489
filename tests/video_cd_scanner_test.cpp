// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/video_cd_scanner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "disc/video_cd_drives.h"

namespace kinoverd {
namespace {

using Names = std::vector<std::string>;

std::string Media(const std::string& name) { return std::string(KINOVERD_TEST_MEDIA_DIR) + "/" + name; }

TEST(VideoCdScannerTest, DrivesWithAVideoCdGiveTheirTracksInDriveOrder)
{
    // Disc images stand in for the drives of a machine.
    const std::string cue = Media("vcd.cue");
    const std::string bin = Media("vcd.bin");
    EXPECT_EQ(VideoCdScanner({bin, "/dev/nonexistent", Media("demo.mpg"), cue}).Scan(),
              (Names{bin + "#1", bin + "#2", cue + "#1", cue + "#2"}));
}

TEST(VideoCdScannerTest, NoDriveGivesNoTracks)
{
    EXPECT_TRUE(VideoCdScanner(Names{}).Scan().empty());
    // This machine's own drives, when it has none (a build machine).
    if (OpticalDrives().empty()) {
        EXPECT_TRUE(VideoCdScanner().Scan().empty());
    }
}

}  // namespace
}  // namespace kinoverd
