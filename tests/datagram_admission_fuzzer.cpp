// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for the admission rules (clang builds only). The input
// is a script of datagrams, reads and stops; every slot read back must be
// exactly the next datagram that was admitted.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

#include "broadcast/datagram_admission.h"
#include "broadcast/packet_ring.h"
#include "tests/support/test_packets.h"

namespace {

using kinoverd::DatagramAdmission;
using kinoverd::SenderAddress;
using kinoverd::wire::Kind;
namespace wire = kinoverd::wire;

constexpr Kind kKinds[] = {Kind::kStreamStart, Kind::kHeader, Kind::kData,
                           Kind::kEnd,         Kind::kRestart, Kind::kClose};

class Script {
public:
    Script(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool done() const { return offset_ >= size_; }
    uint8_t Byte() { return offset_ < size_ ? data_[offset_++] : 0; }
    // Copies up to `count` script bytes over `destination`.
    void Over(uint8_t* destination, size_t count)
    {
        const size_t taken = std::min(count, size_ - std::min(offset_, size_));
        std::memcpy(destination, data_ + offset_, taken);
        offset_ += taken;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t offset_ = 0;
};

void Check(bool condition)
{
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const size_t packet_size = kinoverd::wire::PacketSize(kinoverd::wire::kBlockSize);
    kinoverd::PacketRing ring(64 * packet_size, uint32_t(packet_size));
    DatagramAdmission admission(ring, kinoverd::wire::kBlockSize);
    std::deque<std::vector<uint8_t>> expected;
    std::vector<uint8_t> slot(packet_size);

    Script script(data, size);
    while (!script.done()) {
        std::vector<uint8_t> datagram;
        switch (script.Byte() % 5) {
        case 0: {  // raw bytes of any length up to 5000
            const size_t low = script.Byte();
            const size_t length = (low | size_t(script.Byte()) << 8) % 5001;
            datagram.assign(length, 0);
            script.Over(datagram.data(), length);
            break;
        }
        case 1:  // a well-formed packet of some kind
            datagram = kinoverd::test::MakePacket(kKinds[script.Byte() % 6], script.Byte());
            break;
        case 2:  // a well-formed packet with a scripted head
            datagram = kinoverd::test::MakePacket(Kind::kData, script.Byte());
            script.Over(datagram.data(), 4);
            break;
        case 3:  // the reader takes some
            for (int n = script.Byte() % 16; n > 0 && !expected.empty(); --n) {
                Check(ring.Pop(slot.data()));
                Check(slot == expected.front());
                expected.pop_front();
            }
            continue;
        default:  // playback stops
            admission.Reset();
            expected.clear();
            continue;
        }
        const SenderAddress sender{0x7F000001, 40000};
        if (admission.Handle(datagram.data(), datagram.size(), sender, nullptr) ==
            DatagramAdmission::Outcome::kPushed) {
            Check(datagram.size() == packet_size);
            expected.push_back(datagram);
            // After a stream's last block the admission buffers an end packet.
            if (ring.Count() == expected.size() + 1) {
                std::vector<uint8_t> end(packet_size, 0);
                wire::WriteHead(end.data(), wire::Kind::kEnd);
                expected.push_back(end);
            }
        }
        Check(ring.Count() == expected.size());
    }
    return 0;
}
