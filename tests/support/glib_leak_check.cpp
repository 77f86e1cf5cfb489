// SPDX-License-Identifier: GPL-3.0-or-later
// Linked into the tests whose leak check reaches into GLib and GStreamer.
// Under AddressSanitizer: GLib and GStreamer are built without frame
// pointers, so only the slow unwinder traces an allocation through them to
// its caller; and GLib's library constructor allocates for the whole
// process and never frees it, which is no leak of ours.
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }
extern "C" const char* __lsan_default_suppressions() { return "leak:_dl_init\n"; }
