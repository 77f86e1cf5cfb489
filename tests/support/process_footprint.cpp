// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/process_footprint.h"

#include <dirent.h>
#include <gst/gst.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

namespace kinoverd::test {

namespace {

// Entries of a /proc folder, "." and ".." not counted.
int CountEntries(const char* folder)
{
    DIR* dir = opendir(folder);
    if (!dir) return -1;
    int count = 0;
    while (const dirent* entry = readdir(dir))
        count += std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0;
    closedir(dir);
    return count;
}

// The active leaks tracer, with a reference; null when there is none.
GstTracer* LeaksTracer()
{
    if (!gst_is_initialized()) gst_init(nullptr, nullptr);
    GstTracer* found = nullptr;
    GList* tracers = gst_tracing_get_active_tracers();
    for (GList* item = tracers; item; item = item->next)
        if (!found && g_str_equal(G_OBJECT_TYPE_NAME(item->data), "GstLeaksTracer"))
            found = GST_TRACER(gst_object_ref(item->data));
    g_list_free_full(tracers, gst_object_unref);
    return found;
}

int ListSize(const GstStructure* info, const char* field)
{
    const GValue* list = gst_structure_get_value(info, field);
    return list ? int(gst_value_list_get_size(list)) : 0;
}

}  // namespace

ProcessFootprint ReadProcessFootprint()
{
    ProcessFootprint footprint;
    std::ifstream statm("/proc/self/statm");
    uint64_t pages = 0;
    statm >> pages >> pages;
    footprint.resident_kib = pages * uint64_t(sysconf(_SC_PAGESIZE)) / 1024;
    // The folder read counts its own descriptor.
    footprint.descriptors = CountEntries("/proc/self/fd") - 1;
    footprint.threads = CountEntries("/proc/self/task");
    return footprint;
}

bool StartCountingGstObjects()
{
    GstTracer* tracer = LeaksTracer();
    if (!tracer) return false;
    g_signal_emit_by_name(tracer, "activity-start-tracking");
    gst_object_unref(tracer);
    return true;
}

std::optional<int> GstObjectsGained()
{
    GstTracer* tracer = LeaksTracer();
    if (!tracer) return std::nullopt;
    GstStructure* checkpoint = nullptr;
    g_signal_emit_by_name(tracer, "activity-get-checkpoint", &checkpoint);
    gst_object_unref(tracer);
    if (!checkpoint) return std::nullopt;
    const int gained = ListSize(checkpoint, "objects-created-list") - ListSize(checkpoint, "objects-removed-list");
    gst_structure_free(checkpoint);
    return gained;
}

}  // namespace kinoverd::test
