// Judges each datagram a receive thread gets: synchronises on the
// stream-start packet, acts on restart and close packets, keeps the first
// 64 KiB of the stream (the header packets, as data) and buffers the rest in
// the host's packet ring, asking for playback to start when the ring is half
// full and for the station's own sender to hold when it is nearly full.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kinoverd {

class ReceptionHost;

class DatagramAdmission {
public:
    enum class Outcome {
        kWrongLength,    // not exactly one packet long: dropped
        kRestart,        // restart packet: 8115 posted
        kClose,          // close packet: 8116 posted
        kNotAccepted,    // no stream-start packet seen yet: dropped
        kHeaderDropped,  // the header is already held, or playback asked for
        kPushed,
        kRingFull,       // dropped
    };

    explicit DatagramAdmission(ReceptionHost& host) : host_(host) {}

    // `datagram` holds `length` received bytes. A header packet that is kept
    // is rewritten in place into a data packet before it is buffered.
    Outcome Handle(uint8_t* datagram, size_t length);

private:
    ReceptionHost& host_;
};

}  // namespace kinoverd
