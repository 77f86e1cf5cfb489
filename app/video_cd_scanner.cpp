#include "app/video_cd_scanner.h"

#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <string_view>

namespace kinoverd {

namespace {

constexpr int kMaxLinkHops = 40;  // as the kernel's own limit

struct Mount {
    std::string root;  // the file system's directory that the mount point shows
    std::string mount_point;
    std::string fs_type;
    std::string source;
};

struct Disc {
    std::string device;
    std::string mount_point;
};

struct Entry {
    std::string name;
    bool directory = false;
    bool regular_file = false;
};

std::string Lower(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

bool IsOctal(char c) { return c >= '0' && c <= '7'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Mount table fields carry space, tab, newline and backslash as \ooo.
std::string Unescape(std::string_view field)
{
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && IsOctal(field[i + 1]) && IsOctal(field[i + 2])
            && IsOctal(field[i + 3])) {
            const int value = (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
            if (value <= 255) {
                out += char(value);
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

std::vector<std::string_view> SplitAtSpaces(std::string_view line)
{
    std::vector<std::string_view> fields;
    size_t start = 0;
    while (start < line.size()) {
        size_t end = line.find(' ', start);
        if (end == std::string_view::npos) end = line.size();
        if (end > start) fields.push_back(line.substr(start, end - start));
        start = end + 1;
    }
    return fields;
}

// "id parent major:minor root mount-point options [optional fields...] -
// type source super-options"; a line that does not fit is skipped.
bool ParseMountInfoLine(std::string_view line, Mount& mount)
{
    const std::vector<std::string_view> fields = SplitAtSpaces(line);
    if (fields.size() < 6) return false;
    const auto separator = std::find(fields.begin() + 6, fields.end(), "-");
    if (fields.end() - separator < 3) return false;
    mount = {Unescape(fields[3]), Unescape(fields[4]), Unescape(separator[1]), Unescape(separator[2])};
    return true;
}

std::string ParentOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// An absolute path without ".", ".." or repeated slashes.
std::string Normalise(std::string_view path)
{
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        const std::string_view part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string normal;
    for (std::string_view part : parts) (normal += '/') += part;
    return normal.empty() ? "/" : normal;
}

// Follows the links of a device name (udev's /dev/cdrom -> sr0) inside
// `root`: absolute link targets are taken as inside it too.
std::string ResolveDevice(const std::string& root, std::string device)
{
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        char target[PATH_MAX];
        const ssize_t length = readlink((root + device).c_str(), target, sizeof target);
        if (length <= 0 || size_t(length) >= sizeof target) break;
        const std::string link(target, size_t(length));
        device = Normalise(link.front() == '/' ? link : ParentOf(device) + "/" + link);
    }
    return device;
}

bool HasNumberAfter(std::string_view name, std::string_view prefix)
{
    if (name.size() <= prefix.size() || !name.starts_with(prefix)) return false;
    return std::all_of(name.begin() + long(prefix.size()), name.end(), IsDigit);
}

// The drives of the machine: SCSI CD-ROM nodes (sr, and their old scd
// names) and the conventional cdrom names where they are nodes of their own.
bool IsOpticalDrive(const std::string& device)
{
    if (ParentOf(device) != "/dev") return false;
    const std::string name = NameOf(device);
    return HasNumberAfter(name, "sr") || HasNumberAfter(name, "scd") || name.starts_with("cdrom");
}

// Name order with digit runs compared as numbers: sr2 before sr10.
bool DeviceLess(const std::string& a, const std::string& b)
{
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            size_t end_a = i;
            size_t end_b = j;
            while (end_a < a.size() && IsDigit(a[end_a])) ++end_a;
            while (end_b < b.size() && IsDigit(b[end_b])) ++end_b;
            const std::string_view run_a = std::string_view(a).substr(i, end_a - i);
            const std::string_view run_b = std::string_view(b).substr(j, end_b - j);
            const std::string_view number_a = run_a.substr(std::min(run_a.find_first_not_of('0'), run_a.size()));
            const std::string_view number_b = run_b.substr(std::min(run_b.find_first_not_of('0'), run_b.size()));
            if (number_a.size() != number_b.size()) return number_a.size() < number_b.size();
            if (number_a != number_b) return number_a < number_b;
            i = end_a;
            j = end_b;
        } else {
            if (a[i] != b[j]) return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    if (i == a.size() && j == b.size()) return a < b;  // equal but for leading zeros
    return i == a.size();
}

// Ignoring case, as the disc's own directory order; equal names by bytes.
bool NameLess(const Entry& a, const Entry& b)
{
    const std::string lower_a = Lower(a.name);
    const std::string lower_b = Lower(b.name);
    return lower_a != lower_b ? lower_a < lower_b : a.name < b.name;
}

std::string Join(const std::string& directory, const std::string& name)
{
    return directory.ends_with('/') ? directory + name : directory + "/" + name;
}

// The entries of a directory in name order; none when it cannot be read.
std::vector<Entry> ReadDirectory(const std::string& path)
{
    std::vector<Entry> entries;
    DIR* directory = opendir(path.c_str());
    if (!directory) return entries;
    while (const dirent* item = readdir(directory)) {
        const std::string name = item->d_name;
        if (name == "." || name == "..") continue;
        struct stat status {};
        if (fstatat(dirfd(directory), item->d_name, &status, 0) != 0) continue;
        entries.push_back({name, S_ISDIR(status.st_mode), S_ISREG(status.st_mode)});
    }
    closedir(directory);
    std::sort(entries.begin(), entries.end(), NameLess);
    return entries;
}

void AppendTracks(const std::string& mount_point, std::vector<std::string>& tracks)
{
    for (const Entry& folder : ReadDirectory(mount_point)) {
        if (!folder.directory || Lower(folder.name) != "mpegav") continue;
        const std::string folder_path = Join(mount_point, folder.name);
        for (const Entry& file : ReadDirectory(folder_path)) {
            if (file.regular_file && Lower(file.name).ends_with(".dat")) {
                tracks.push_back(Join(folder_path, file.name));
            }
        }
        return;  // one MPEGAV per disc, as a case-blind file system has
    }
}

}  // namespace

VideoCdScanner::VideoCdScanner(std::string mount_table, std::string root)
    : mount_table_(std::move(mount_table)), root_(root.substr(0, root.find_last_not_of('/') + 1))
{
}

std::vector<std::string> VideoCdScanner::Scan() const
{
    std::vector<Disc> discs;
    std::ifstream table(mount_table_);
    std::string line;
    Mount mount;
    while (std::getline(table, line)) {
        if (!ParseMountInfoLine(line, mount)) continue;
        if (mount.fs_type != "iso9660" && mount.fs_type != "udf") continue;
        // A bind mount of a folder of the disc shows only part of it.
        if (mount.root != "/" || !mount.source.starts_with('/') || !mount.mount_point.starts_with('/')) {
            continue;
        }
        const std::string device = ResolveDevice(root_, Normalise(mount.source));
        if (!IsOpticalDrive(device)) continue;
        // A disc mounted twice is still one disc: its first mount serves.
        const bool known = std::any_of(discs.begin(), discs.end(),
                                       [&](const Disc& disc) { return disc.device == device; });
        if (!known) discs.push_back({device, root_ + mount.mount_point});
    }
    std::stable_sort(discs.begin(), discs.end(),
                     [](const Disc& a, const Disc& b) { return DeviceLess(a.device, b.device); });

    std::vector<std::string> tracks;
    for (const Disc& disc : discs) AppendTracks(disc.mount_point, tracks);
    return tracks;
}

}  // namespace kinoverd
