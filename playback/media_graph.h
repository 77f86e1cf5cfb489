// A playback graph as the controller drives it once one has been built for
// the played stream.
#pragma once

namespace kinoverd {

class MediaGraph {
public:
    virtual ~MediaGraph() = default;
    virtual void Run() = 0;
    virtual void Pause() = 0;
};

}  // namespace kinoverd
