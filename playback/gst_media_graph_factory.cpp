// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/gst_media_graph_factory.h"

#include "playback/audio_decoder_pages_dialog.h"
#include "playback/gst_media_graph.h"

namespace kinoverd {

std::unique_ptr<MediaGraph> GstMediaGraphFactory::Render(ChannelReception& reception,
                                                         const VideoPlacement& placement,
                                                         PlaybackEvents* events)
{
    return GstMediaGraph::Render(reception, placement, events, &audio_output_);
}

void GstMediaGraphFactory::ShowAudioDecoderPages(QWidget* owner)
{
    AudioDecoderPagesDialog dialog(audio_output_, owner);
    dialog.exec();
}

}  // namespace kinoverd
