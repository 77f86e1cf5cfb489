// SPDX-License-Identifier: GPL-3.0-or-later
// Passes what is sent on one channel on to another from a socket of its
// own, doctored on the way: some data-port datagrams sent twice, some pairs
// swapped. A stand-in for a network that duplicates and reorders.
#pragma once

#include <atomic>
#include <thread>

#include "broadcast/multicast_socket.h"

namespace kinoverd::test {

class DatagramRelay {
public:
    struct Doctoring {
        int duplicate_every = 0;  // every nth data datagram goes out twice (0: none)
        int swap_every = 0;       // every nth goes out after the one behind it (0: none)
    };

    DatagramRelay(int from_channel, int to_channel, Doctoring doctoring);
    ~DatagramRelay();  // stops
    bool Start();
    void Stop();

private:
    void Run();

    const int from_channel_;
    const int to_channel_;
    const Doctoring doctoring_;
    MulticastSocket data_in_;
    MulticastSocket control_in_;
    MulticastSocket out_;
    std::thread thread_;
    std::atomic<bool> running_{false};
};

}  // namespace kinoverd::test
