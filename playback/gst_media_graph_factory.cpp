#include "playback/gst_media_graph_factory.h"

#include "playback/audio_decoder_pages_dialog.h"
#include "playback/gst_media_graph.h"

namespace kinoverd {

GstMediaGraphFactory::GstMediaGraphFactory(uint32_t block_size, uint64_t head_bytes)
    : block_size_(block_size), head_bytes_(head_bytes)
{
}

std::unique_ptr<MediaGraph> GstMediaGraphFactory::Render(NetworkSourceFilter& source,
                                                         const VideoPlacement& placement,
                                                         NotifyTarget* notify)
{
    return GstMediaGraph::Render(source, block_size_, head_bytes_, placement, notify,
                                 &audio_output_);
}

void GstMediaGraphFactory::ShowAudioDecoderPages(QWidget* owner)
{
    AudioDecoderPagesDialog dialog(audio_output_, owner);
    dialog.exec();
}

}  // namespace kinoverd
