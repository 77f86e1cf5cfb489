// SPDX-License-Identifier: GPL-3.0-or-later
// The files of a programme: the whole list as the user chose it, kept so
// that a looping programme can start again, and the files not yet started.
// Kept as lists of paths rather than "a|b|" text, because a path may contain
// any byte but the null byte, "|" included.
#pragma once

#include "station/media_path.h"

namespace kinoverd {

class PlayList {
public:
    // A new programme: both lists become `paths`, in their order.
    void Set(const MediaPaths& paths);

    bool HasPending() const { return !pending_.isEmpty(); }
    // Removes the first file not yet started and returns it; empty when none is left.
    MediaPath TakeNext();
    // Every file of the programme is pending again (looping).
    void Rewind() { pending_ = all_; }

    const MediaPaths& all() const { return all_; }
    const MediaPaths& pending() const { return pending_; }

private:
    // User-interface thread only.
    MediaPaths all_;
    MediaPaths pending_;
};

}  // namespace kinoverd
