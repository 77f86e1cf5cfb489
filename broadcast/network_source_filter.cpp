#include "broadcast/network_source_filter.h"

namespace kinoverd {

NetworkSourceFilter::NetworkSourceFilter(AsyncStream* stream, const MediaType& type)
    : media_type_(type), io_queue_(stream), output_pin_(io_queue_, media_type_, filter_lock_)
{
}

AsyncOutputPin* NetworkSourceFilter::GetPin(int index)
{
    return index == 0 ? &output_pin_ : nullptr;
}

}  // namespace kinoverd
