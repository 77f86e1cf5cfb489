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

std::optional<int> LiveGstObjects()
{
    if (!gst_is_initialized()) return std::nullopt;
    std::optional<int> count;
    GList* tracers = gst_tracing_get_active_tracers();
    for (GList* item = tracers; item; item = item->next) {
        if (count || !g_str_equal(G_OBJECT_TYPE_NAME(item->data), "GstLeaksTracer")) continue;
        GstStructure* info = nullptr;
        g_signal_emit_by_name(item->data, "get-live-objects", &info);
        if (!info) continue;
        const GValue* list = gst_structure_get_value(info, "live-objects-list");
        count = list ? int(gst_value_list_get_size(list)) : 0;
        gst_structure_free(info);
    }
    g_list_free_full(tracers, gst_object_unref);
    return count;
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
    footprint.gst_objects = LiveGstObjects();
    return footprint;
}

}  // namespace kinoverd::test
