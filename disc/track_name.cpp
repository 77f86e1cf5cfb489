// SPDX-License-Identifier: GPL-3.0-or-later
#include "disc/track_name.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>

#include "disc/video_cd.h"

namespace kinoverd {

namespace {

constexpr char kSeparator = '#';
constexpr int kMaxTrack = 99;  // a CD holds at most 99 tracks

bool Exists(const std::string& path)
{
    struct stat status {};
    return stat(path.c_str(), &status) == 0;
}

}  // namespace

std::string FormatTrackName(const std::string& disc, int number)
{
    return disc + kSeparator + std::to_string(number);
}

std::optional<int> ParseTrackNumber(std::string_view digits)
{
    if (digits.empty() || digits.size() > 2 ||
        !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); })) {
        return std::nullopt;
    }
    int number = 0;
    for (char digit : digits) number = number * 10 + (digit - '0');
    if (number < 1 || number > kMaxTrack) return std::nullopt;
    return number;
}

std::optional<TrackName> ParseTrackName(const std::string& name)
{
    const size_t separator = name.rfind(kSeparator);
    if (separator == std::string::npos || separator == 0) return std::nullopt;
    const std::optional<int> number = ParseTrackNumber(std::string_view(name).substr(separator + 1));
    if (!number || Exists(name)) return std::nullopt;
    return TrackName{name.substr(0, separator), *number};
}

bool IsDisc(const std::string& path)
{
    struct stat status {};
    if (stat(path.c_str(), &status) == 0 && S_ISBLK(status.st_mode)) return true;
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return false;
    std::string extension = path.substr(dot + 1);
    for (char& c : extension) c = char(std::tolower(static_cast<unsigned char>(c)));
    // Any file may be called .bin; only its cue sheet makes it a disc.
    if (extension == "bin") {
        const std::string stem = path.substr(0, dot + 1);
        return Exists(stem + "cue") || Exists(stem + "CUE");
    }
    return extension == "cue" || extension == "nrg" || extension == "toc";
}

std::vector<std::string> VideoCdTrackNames(const std::string& disc, std::string& error)
{
    std::vector<std::string> names;
    const std::unique_ptr<VideoCd> video_cd = VideoCd::Open(disc, error);
    if (!video_cd) return names;
    for (size_t i = 0; i < video_cd->tracks().size(); ++i) names.push_back(FormatTrackName(disc, int(i + 1)));
    return names;
}

std::vector<std::string> ExpandDiscPath(const std::string& path)
{
    if (!IsDisc(path)) return {path};
    std::string error;
    std::vector<std::string> names = VideoCdTrackNames(path, error);
    if (names.empty()) names.push_back(FormatTrackName(path, 1));
    return names;
}

}  // namespace kinoverd
