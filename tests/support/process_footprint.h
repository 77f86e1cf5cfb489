// SPDX-License-Identifier: GPL-3.0-or-later
// What this process holds: resident memory, open descriptors, threads and,
// with GStreamer's leaks tracer on (GST_TRACERS=leaks before gst_init), the
// GStreamer objects alive. Read from /proc and the tracer.
#pragma once

#include <cstdint>
#include <optional>

namespace kinoverd::test {

struct ProcessFootprint {
    uint64_t resident_kib = 0;
    int descriptors = 0;
    int threads = 0;
    // GStreamer objects and mini objects alive; none without the tracer.
    std::optional<int> gst_objects;
};

ProcessFootprint ReadProcessFootprint();

}  // namespace kinoverd::test
