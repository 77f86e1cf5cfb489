// SPDX-License-Identifier: GPL-3.0-or-later
// How a play list or a command line names one MPEG track of a Video CD:
// the disc (an image's path or a drive's device), "#", and the track's
// number counted from 1 in disc order, as the disc's MPEGAV/AVSEQnn.DAT
// files count them:
//
//   /home/me/film.cue#2    the second MPEG track of an image
//   /dev/sr0#1             the first MPEG track of the disc in drive sr0
//
// A name that is itself an existing file stays that file.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kinoverd {

struct TrackName {
    std::string disc;
    int number = 0;  // from 1
};

std::string FormatTrackName(const std::string& disc, int number);
std::optional<TrackName> ParseTrackName(const std::string& name);
// A track number as a name carries it: 1 to 99 in decimal digits.
std::optional<int> ParseTrackNumber(std::string_view digits);

// Whether `path` is taken as a disc: a drive's device (a block device) or
// an image named *.cue, *.nrg or *.toc (any case), or *.bin with a cue sheet
// of the same name beside it.
bool IsDisc(const std::string& path);

// The names of the MPEG tracks of `disc`, in disc order; empty, with `error`
// saying why, when it cannot be read or holds no Video CD.
std::vector<std::string> VideoCdTrackNames(const std::string& disc, std::string& error);

// What a path the user chose stands for in a play list: a disc's tracks in
// order, anything else itself. A disc that cannot be read stands for its
// first track, so that playing it reports why.
std::vector<std::string> ExpandDiscPath(const std::string& path);

}  // namespace kinoverd
