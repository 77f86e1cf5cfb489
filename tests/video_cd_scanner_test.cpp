#include "app/video_cd_scanner.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/test_streams.h"

namespace kinoverd {
namespace {

namespace fs = std::filesystem;

using Paths = std::vector<std::string>;

// Stages a machine in a temporary directory: its /dev links, its mounted
// disc trees and a mountinfo table that names them.
class VideoCdScannerTest : public testing::Test {
protected:
    std::string Staged(const std::string& path) const { return root_ + path; }

    void MakeFile(const std::string& path) const
    {
        std::error_code error;
        fs::create_directories(fs::path(Staged(path)).parent_path(), error);
        std::ofstream(Staged(path)) << "track";
    }

    void MakeDirectory(const std::string& path) const
    {
        std::error_code error;
        fs::create_directories(Staged(path), error);
    }

    void MakeLink(const std::string& path, const std::string& target) const
    {
        std::error_code error;
        fs::create_directories(fs::path(Staged(path)).parent_path(), error);
        fs::create_symlink(target, Staged(path), error);
        ASSERT_FALSE(error) << path;
    }

    // A Video CD tree under `mount_point`, tracks created in the given order.
    void MakeVideoCd(const std::string& mount_point, const Paths& tracks) const
    {
        MakeFile(mount_point + "/VCD/INFO.VCD");
        for (const std::string& track : tracks) MakeFile(mount_point + "/" + track);
    }

    // One mountinfo line; `mount_point` and `source` as the kernel escapes them.
    static std::string Line(const std::string& mount_point, const std::string& type, const std::string& source,
                            const std::string& root = "/")
    {
        return "36 25 11:0 " + root + " " + mount_point + " ro,nosuid,nodev,relatime shared:250 - " + type + " "
               + source + " ro,blocksize=2048,iocharset=utf8";
    }

    void WriteTable(const Paths& lines) const
    {
        std::ofstream table(table_);
        // The lines of every real table that are never discs.
        table << "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw,errors=remount-ro\n"
                 "23 22 0:21 / /proc rw,nosuid,nodev,noexec,relatime shared:12 - proc proc rw\n"
                 "24 22 0:5 / /dev rw,nosuid,relatime shared:2 - devtmpfs udev rw,size=4000k,mode=755\n";
        for (const std::string& line : lines) table << line << "\n";
    }

    Paths Scan() const { return VideoCdScanner(table_, root_).Scan(); }

    test::TempDir dir_;
    const std::string root_ = dir_.File("root");
    const std::string table_ = dir_.File("mountinfo");
};

// ---- what counts as a disc ----

TEST_F(VideoCdScannerTest, NoMountTableGivesNoTracks)
{
    MakeVideoCd("/media/cdrom0", {"MPEGAV/AVSEQ01.DAT"});
    EXPECT_TRUE(Scan().empty());
}

TEST_F(VideoCdScannerTest, NoOpticalDiscGivesNoTracks)
{
    // A Video CD copied to the hard disc is no drive.
    MakeVideoCd("", {"MPEGAV/AVSEQ01.DAT"});
    WriteTable({});
    EXPECT_TRUE(Scan().empty());
}

TEST_F(VideoCdScannerTest, DataDiscWithoutMpegAvGivesNoTracks)
{
    MakeFile("/media/cdrom0/README.TXT");
    MakeFile("/media/cdrom0/DATA/AVSEQ01.DAT");
    MakeFile("/media/cdrom0/AVSEQ02.DAT");
    WriteTable({Line("/media/cdrom0", "iso9660", "/dev/sr0")});
    EXPECT_TRUE(Scan().empty());
}

TEST_F(VideoCdScannerTest, LoopImagesAndOtherDevicesAreNotDrives)
{
    const Paths sources = {"/dev/loop0", "/dev/sdb", "/dev/nbd0", "/dev/mapper/sr0", "/dev/sr", "/dev/srx",
                           "none", "sr0"};
    Paths lines;
    for (size_t i = 0; i < sources.size(); ++i) {
        const std::string mount_point = "/media/image" + std::to_string(i);
        MakeVideoCd(mount_point, {"MPEGAV/AVSEQ01.DAT"});
        lines.push_back(Line(mount_point, i % 2 ? "udf" : "iso9660", sources[i]));
    }
    // A link to a block device that is no drive stays no drive.
    MakeLink("/dev/disk/by-label/STICK", "../../sdc1");
    MakeVideoCd("/media/stick", {"MPEGAV/AVSEQ01.DAT"});
    lines.push_back(Line("/media/stick", "iso9660", "/dev/disk/by-label/STICK"));
    // A drive with a file system a Video CD never has.
    MakeVideoCd("/media/odd", {"MPEGAV/AVSEQ01.DAT"});
    lines.push_back(Line("/media/odd", "vfat", "/dev/sr3"));
    lines.push_back(Line("/media/odd", "fuse.fuseiso", "/dev/sr3"));
    WriteTable(lines);
    EXPECT_TRUE(Scan().empty());
}

TEST_F(VideoCdScannerTest, DeviceLinksAreFollowedInsideTheRoot)
{
    MakeLink("/dev/cdrom", "sr0");
    MakeLink("/dev/dvd", "/dev/sr1");
    MakeLink("/dev/disk/by-label/VIDEOCD", "../../sr2");
    MakeLink("/dev/cdrw", "cdrom");
    MakeVideoCd("/media/a", {"MPEGAV/AVSEQ01.DAT"});
    MakeVideoCd("/media/b", {"MPEGAV/AVSEQ01.DAT"});
    MakeVideoCd("/media/c", {"MPEGAV/AVSEQ01.DAT"});
    WriteTable({Line("/media/c", "iso9660", "/dev/disk/by-label/VIDEOCD"),
                Line("/media/b", "udf", "/dev/dvd"),
                Line("/media/a", "iso9660", "/dev/cdrw")});
    EXPECT_EQ(Scan(), (Paths{Staged("/media/a/MPEGAV/AVSEQ01.DAT"), Staged("/media/b/MPEGAV/AVSEQ01.DAT"),
                             Staged("/media/c/MPEGAV/AVSEQ01.DAT")}));
}

TEST_F(VideoCdScannerTest, ADiscMountedTwiceIsListedOnce)
{
    MakeLink("/dev/cdrom", "sr0");
    MakeVideoCd("/media/first", {"MPEGAV/AVSEQ01.DAT"});
    MakeVideoCd("/media/second", {"MPEGAV/AVSEQ01.DAT"});
    MakeFile("/mnt/tracks/AVSEQ01.DAT");
    WriteTable({// A bind mount of the disc's MPEGAV folder shows only part of it.
                Line("/mnt/tracks", "iso9660", "/dev/sr0", "/MPEGAV"),
                Line("/media/first", "iso9660", "/dev/sr0"),
                Line("/media/second", "iso9660", "/dev/cdrom")});
    EXPECT_EQ(Scan(), (Paths{Staged("/media/first/MPEGAV/AVSEQ01.DAT")}));
}

// ---- tracks and their order ----

TEST_F(VideoCdScannerTest, TracksComeInNameOrder)
{
    MakeVideoCd("/media/cdrom0", {"MPEGAV/AVSEQ10.DAT", "MPEGAV/AVSEQ02.DAT", "MPEGAV/AVSEQ01.DAT",
                                  "MPEGAV/README.TXT", "MPEGAV/AVSEQ03.DAT.BAK", "SEGMENT/ITEM0001.DAT"});
    MakeDirectory("/media/cdrom0/MPEGAV/FOLDER.DAT");
    WriteTable({Line("/media/cdrom0", "iso9660", "/dev/sr0")});
    const std::string folder = Staged("/media/cdrom0/MPEGAV/");
    EXPECT_EQ(Scan(), (Paths{folder + "AVSEQ01.DAT", folder + "AVSEQ02.DAT", folder + "AVSEQ10.DAT"}));
}

TEST_F(VideoCdScannerTest, TwoDiscsComeInDeviceOrder)
{
    MakeVideoCd("/media/cdrom0", {"MPEGAV/AVSEQ02.DAT", "MPEGAV/AVSEQ01.DAT"});
    MakeVideoCd("/media/cdrom1", {"MPEGAV/AVSEQ01.DAT"});
    WriteTable({Line("/media/cdrom1", "iso9660", "/dev/sr1"), Line("/media/cdrom0", "iso9660", "/dev/sr0")});
    EXPECT_EQ(Scan(), (Paths{Staged("/media/cdrom0/MPEGAV/AVSEQ01.DAT"), Staged("/media/cdrom0/MPEGAV/AVSEQ02.DAT"),
                             Staged("/media/cdrom1/MPEGAV/AVSEQ01.DAT")}));
}

TEST_F(VideoCdScannerTest, DeviceNumbersCompareAsNumbers)
{
    for (const char* name : {"sr10", "sr2", "sr1"}) {
        MakeVideoCd(std::string("/media/") + name, {"MPEGAV/AVSEQ01.DAT"});
    }
    WriteTable({Line("/media/sr10", "iso9660", "/dev/sr10"), Line("/media/sr2", "udf", "/dev/sr2"),
                Line("/media/sr1", "iso9660", "/dev/sr1")});
    EXPECT_EQ(Scan(), (Paths{Staged("/media/sr1/MPEGAV/AVSEQ01.DAT"), Staged("/media/sr2/MPEGAV/AVSEQ01.DAT"),
                             Staged("/media/sr10/MPEGAV/AVSEQ01.DAT")}));
}

TEST_F(VideoCdScannerTest, NamesMatchInAnyCase)
{
    MakeVideoCd("/media/lower", {"mpegav/avseq02.dat", "mpegav/avseq01.dat"});
    MakeVideoCd("/media/mixed", {"MpegAv/Avseq02.Dat", "MpegAv/AVSEQ01.dat"});
    WriteTable({Line("/media/lower", "iso9660", "/dev/scd0"), Line("/media/mixed", "iso9660", "/dev/scd1")});
    EXPECT_EQ(Scan(), (Paths{Staged("/media/lower/mpegav/avseq01.dat"), Staged("/media/lower/mpegav/avseq02.dat"),
                             Staged("/media/mixed/MpegAv/AVSEQ01.dat"), Staged("/media/mixed/MpegAv/Avseq02.Dat")}));
}

// ---- reading the mount table ----

TEST_F(VideoCdScannerTest, EscapedMountPointsAreDecoded)
{
    MakeVideoCd("/media/user/My Video CD", {"MPEGAV/AVSEQ01.DAT"});
    MakeVideoCd("/media/back\\slash\ttab", {"MPEGAV/AVSEQ01.DAT"});
    WriteTable({Line("/media/user/My\\040Video\\040CD", "iso9660", "/dev/sr0"),
                Line("/media/back\\134slash\\011tab", "iso9660", "/dev/sr1")});
    EXPECT_EQ(Scan(), (Paths{Staged("/media/user/My Video CD/MPEGAV/AVSEQ01.DAT"),
                             Staged("/media/back\\slash\ttab/MPEGAV/AVSEQ01.DAT")}));
}

TEST_F(VideoCdScannerTest, MalformedLinesAreSkipped)
{
    MakeVideoCd("/media/cdrom0", {"MPEGAV/AVSEQ01.DAT"});
    WriteTable({"",
                "garbage",
                "36 25 11:0 / /media/cdrom0 ro - iso9660",
                "36 25 11:0 / /media/cdrom0 ro iso9660 /dev/sr0 ro",
                // Several optional fields before the separator.
                "40 25 11:0 / /media/cdrom0 ro,relatime shared:7 master:2 propagate_from:3 - iso9660 /dev/sr0 ro"});
    EXPECT_EQ(Scan(), (Paths{Staged("/media/cdrom0/MPEGAV/AVSEQ01.DAT")}));
}

// ---- discs that cannot be read ----

TEST_F(VideoCdScannerTest, DiscsThatCannotBeReadContributeNothing)
{
    MakeFile("/media/file/MPEGAV");                           // no folder
    MakeLink("/media/dangling/MPEGAV", "/nowhere/MPEGAV");   // a broken link
    MakeVideoCd("/media/good", {"MPEGAV/AVSEQ01.DAT"});
    WriteTable({Line("/media/file", "iso9660", "/dev/sr0"), Line("/media/dangling", "iso9660", "/dev/sr1"),
                Line("/media/absent", "iso9660", "/dev/sr2"), Line("/media/good", "iso9660", "/dev/sr3")});
    EXPECT_EQ(Scan(), (Paths{Staged("/media/good/MPEGAV/AVSEQ01.DAT")}));
}

// The scan as an unprivileged user, which permissions stop: in a child
// process that drops root's rights first, so that the test means the same
// under any account. True when the child's scan gave `expected`.
bool ScanAsUnprivilegedUser(const VideoCdScanner& scanner, const Paths& expected)
{
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
        _exit(scanner.Scan() == expected ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(VideoCdScannerTest, UnreadableFoldersSkipOnlyTheirDisc)
{
    MakeVideoCd("/media/locked", {"MPEGAV/AVSEQ01.DAT"});
    MakeVideoCd("/media/shut", {"MPEGAV/AVSEQ01.DAT"});
    MakeVideoCd("/media/open", {"MPEGAV/AVSEQ01.DAT"});
    WriteTable({Line("/media/locked", "iso9660", "/dev/sr0"), Line("/media/shut", "iso9660", "/dev/sr1"),
                Line("/media/open", "iso9660", "/dev/sr2")});
    // Let the unprivileged child reach the staged tree at all.
    ASSERT_EQ(chmod(dir_.path().c_str(), 0755), 0);
    ASSERT_EQ(chmod(Staged("/media/locked/MPEGAV").c_str(), 0), 0);
    ASSERT_EQ(chmod(Staged("/media/shut").c_str(), 0), 0);
    EXPECT_TRUE(ScanAsUnprivilegedUser(VideoCdScanner(table_, root_),
                                       {Staged("/media/open/MPEGAV/AVSEQ01.DAT")}));
    // Let the temporary directory be removed.
    chmod(Staged("/media/locked/MPEGAV").c_str(), 0755);
    chmod(Staged("/media/shut").c_str(), 0755);
}

}  // namespace
}  // namespace kinoverd
