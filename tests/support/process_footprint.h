// SPDX-License-Identifier: GPL-3.0-or-later
// What this process holds: resident memory, open descriptors and threads,
// from /proc; and, with GStreamer's leaks tracer on (GST_TRACERS=leaks
// before gst_init), how many GStreamer objects it gained since a moment.
#pragma once

#include <cstdint>
#include <optional>

namespace kinoverd::test {

struct ProcessFootprint {
    uint64_t resident_kib = 0;
    int descriptors = 0;
    int threads = 0;
};

ProcessFootprint ReadProcessFootprint();

// Counts GStreamer objects and mini objects made and freed from now on;
// false without the leaks tracer.
bool StartCountingGstObjects();
// Objects made less objects freed since the start or the last call; empty
// without the leaks tracer. Only addresses are looked at, never the
// objects, which streaming threads may be freeing meanwhile.
std::optional<int> GstObjectsGained();

}  // namespace kinoverd::test
