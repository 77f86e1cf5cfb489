// SPDX-License-Identifier: GPL-3.0-or-later
// What the receive side of a station reports to its owner, by name. The
// receive threads call the first six; the reader of the stream (the
// playback source) calls the other two. Implementations must return
// promptly and must not call back into the reception, except that
// ResumePlayback may run a paused playback.
#pragma once

#include <cstdint>

#include "broadcast/sender_address.h"

namespace kinoverd {

class ReceptionEvents {
public:
    virtual ~ReceptionEvents() = default;

    // Half the ring is filled, or the whole of a short stream is in: build
    // the playback and start reading. Once per stream.
    virtual void PlaybackReady() = 0;
    // A packet arrived while playback was asked for: a playback paused by an
    // underrun may go on. Called for every such packet, so it must be cheap.
    virtual void ResumePlayback() = 0;
    // The ring is more than four fifths full: the station's own sender holds.
    virtual void RingNearlyFull() = 0;
    // Restart and close packets of the sender reception keeps to; nobody
    // else's count.
    virtual void RestartReceived() = 0;
    virtual void CloseReceived() = 0;
    // Another sender keeps sending stream packets on this channel (at least
    // DatagramAdmission::kConflictDatagrams within its conflict window): the
    // channel is taken. Reported at most once a window while it goes on;
    // its datagrams are dropped all the same.
    virtual void SenderConflict(SenderAddress other) = 0;

    // The reader found the ring empty at this position: an underrun.
    virtual void RingEmpty(uint32_t position) = 0;
    // The stream is over: the reader reached the end packet (a playback
    // graph reports it once it has played out what it holds).
    virtual void EndOfStream() = 0;
};

}  // namespace kinoverd
