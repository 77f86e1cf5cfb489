// SPDX-License-Identifier: GPL-3.0-or-later
// What the audio decoder stage sends to the speakers. Video CDs often carry
// two languages, one on each channel; the Channel button picks one.
#pragma once

namespace kinoverd {

enum class AudioOutput {
    kStereo,
    kLeftOnBoth,
    kRightOnBoth,
    kMonoMix,
};

}  // namespace kinoverd
