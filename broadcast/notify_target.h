// Where worker threads report to the user-interface side. Every report is a
// numbered message posted to a window's queue; the implementation must be
// safe to call from any thread and must never call back synchronously.
#pragma once

#include <cstdint>

namespace kinoverd {

// The private window messages of the player, by number.
enum PrivateMessage : int {
    kMsgPosition = 8106,        // wParam: byte position of the played stream
    kMsgRingHalfFull = 8107,    // build and run the playback graph
    kMsgRingEmpty = 8110,       // underrun: pause; wParam 0 or the stream position
    kMsgRestart = 8115,         // restart packet arrived
    kMsgClose = 8116,           // close packet arrived
    kMsgEndOfStream = 8117,     // the reader reached the end packet
    kMsgStartFailed = 8118,
    kMsgGraphFailed = 8119,     // the playing graph failed: tear down, tune again
    kMsgHoldSender = 8120,
    kMsgReleaseSender = 8121,
    kMsgProgrammeEnd = 8130,
    kMsgRingNearlyFull = 8202,  // hold the station's own sender for 500 ms
    kMsgFullScreen = 8300,
    kMsgWindowMode = 8301,
    kMsgDropFiles = 8302,
    kMsgBroadcastEnded = 9000,  // the send thread has sent the end packet
};

class NotifyTarget {
public:
    virtual ~NotifyTarget() = default;
    virtual void Post(int message, uintptr_t wparam, intptr_t lparam) = 0;
};

}  // namespace kinoverd
