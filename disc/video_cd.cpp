// SPDX-License-Identifier: GPL-3.0-or-later
#include "disc/video_cd.h"

#include <cdio/cdio.h>
#include <cdio/logging.h>
#include <libvcd/info.h>
#include <libvcd/logging.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "broadcast/sector_source.h"

namespace kinoverd {

namespace {

// libcdio delivers a form 2 sector as its 8-byte subheader, the user data
// and 4 check bytes.
constexpr uint32_t kForm2SectorBytes = M2RAW_SECTOR_SIZE;
constexpr uint32_t kSubheaderBytes = 8;
constexpr uint32_t kSubmodeByte = 2;
constexpr uint8_t kForm2Submode = 0x20;  // set in every sector of an MPEG track
constexpr uint32_t kUserDataBytes = SectorSource::kUserBytes;

// The libraries' complaints go to this thread's messages instead of the
// terminal: the reason a failed call gives.
thread_local std::string library_messages;
cdio_log_handler_t default_cdio_handler = nullptr;
vcd_log_handler_t default_vcd_handler = nullptr;

void Note(const char message[])
{
    if (!library_messages.empty()) library_messages += "; ";
    library_messages += message;
}

void NoteCdioMessage(cdio_log_level_t level, const char message[])
{
    if (level >= CDIO_LOG_ASSERT) default_cdio_handler(level, message);
    if (level >= CDIO_LOG_WARN) Note(message);
}

void NoteVcdMessage(vcd_log_level_t level, const char message[])
{
    if (level >= VCD_LOG_ASSERT) default_vcd_handler(level, message);
    if (level >= VCD_LOG_WARN) Note(message);
}

void QuietLibraries()
{
    static std::once_flag once;
    std::call_once(once, [] {
        default_cdio_handler = cdio_log_set_handler(NoteCdioMessage);
        default_vcd_handler = vcd_log_set_handler(NoteVcdMessage);
    });
}

// `what`, and the libraries' words on it when they had any.
std::string Reason(const std::string& what)
{
    std::string reason = what;
    if (!library_messages.empty()) reason += " (" + library_messages + ")";
    library_messages.clear();
    return reason;
}

}  // namespace

std::unique_ptr<VideoCd> VideoCd::Open(const std::string& disc, std::string& error)
{
    QuietLibraries();
    library_messages.clear();
    struct stat status {};
    if (stat(disc.c_str(), &status) != 0) {
        error = std::string("cannot open: ") + std::strerror(errno);
        return nullptr;
    }
    vcdinfo_obj_t* info = nullptr;
    std::string name = disc;  // the library wants it writable
    char* source = name.data();
    switch (vcdinfo_open(&info, &source, DRIVER_UNKNOWN, nullptr)) {
    case VCDINFO_OPEN_VCD: break;
    case VCDINFO_OPEN_OTHER:
        error = Reason("not a Video CD");
        return nullptr;
    default:
        error = Reason("not a disc image or drive that can be read");
        return nullptr;
    }
    // libvcdinfo counts the file system track as track 0.
    const unsigned last_track = vcdinfo_get_num_tracks(info);
    const lsn_t disc_end = cdio_get_disc_last_lsn(vcdinfo_get_cd_image(info));  // the lead-out
    std::vector<Track> tracks;
    for (unsigned number = 1; last_track != unsigned(-1) && number <= last_track; ++number) {
        const lsn_t first = vcdinfo_get_track_lsn(info, track_t(number));
        const unsigned count = vcdinfo_get_track_sect_count(info, track_t(number));
        // Skipping one would give the later tracks the wrong numbers.
        if (first == VCDINFO_NULL_LSN || first < 0 || count == 0) {
            error = Reason("track " + std::to_string(number) + " cannot be located on the disc");
            vcdinfo_close(info);
            return nullptr;
        }
        if (disc_end != CDIO_INVALID_LSN && first + lsn_t(count) > disc_end) {
            error = "the disc ends at sector " + std::to_string(disc_end) + ", inside track " +
                    std::to_string(number) + " (sectors " + std::to_string(first) + " to " +
                    std::to_string(first + lsn_t(count) - 1) + "): is the image truncated?";
            vcdinfo_close(info);
            return nullptr;
        }
        tracks.push_back({uint32_t(first), uint32_t(count)});
    }
    if (tracks.empty()) {
        error = "the Video CD has no MPEG tracks";
        vcdinfo_close(info);
        return nullptr;
    }
    library_messages.clear();
    return std::unique_ptr<VideoCd>(new VideoCd(info, std::move(tracks)));
}

VideoCd::VideoCd(_VcdInfo* info, std::vector<Track> tracks) : info_(info), tracks_(std::move(tracks)) {}

VideoCd::~VideoCd() { vcdinfo_close(info_); }

bool VideoCd::ReadUserData(uint8_t* destination, uint32_t first_sector, uint32_t count, std::string& error)
{
    // Zeroed first: libcdio reports a read cut short by the end of an image
    // file as a success, and leaves the rest of the buffer as it was.
    sectors_.assign(size_t(count) * kForm2SectorBytes, 0);
    const std::string which = "sectors " + std::to_string(first_sector) + " to " +
                              std::to_string(first_sector + count - 1);
    if (cdio_read_mode2_sectors(vcdinfo_get_cd_image(info_), sectors_.data(), lsn_t(first_sector), true,
                                count) != DRIVER_OP_SUCCESS) {
        error = Reason("cannot read " + which);
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        if (!(sectors_[size_t(i) * kForm2SectorBytes + kSubmodeByte] & kForm2Submode)) {
            error = "cannot read " + which + ": sector " + std::to_string(first_sector + i) +
                    " holds no Mode 2 Form 2 data (has the image been cut short?)";
            return false;
        }
    }
    for (uint32_t i = 0; i < count; ++i) {
        std::memcpy(destination + size_t(i) * kUserDataBytes,
                    sectors_.data() + size_t(i) * kForm2SectorBytes + kSubheaderBytes, kUserDataBytes);
    }
    return true;
}

}  // namespace kinoverd
