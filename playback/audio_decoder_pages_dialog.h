// SPDX-License-Identifier: GPL-3.0-or-later
// The audio decoder's settings, captioned "Filter": the user picks what goes
// to the speakers. A choice applies at once, to the graph playing now and to
// the graphs built later.
#pragma once

#include <QDialog>

#include <atomic>

#include "playback/audio_output.h"

class QAbstractButton;
class QButtonGroup;

namespace kinoverd {

class AudioDecoderPagesDialog : public QDialog {
    Q_OBJECT

public:
    // `output` is the setting itself; it must outlive the dialog.
    AudioDecoderPagesDialog(std::atomic<AudioOutput>& output, QWidget* owner);

    // The choice's button, for tests.
    QAbstractButton* button(AudioOutput output) const;

private:
    std::atomic<AudioOutput>& output_;
    QButtonGroup* choices_;
};

}  // namespace kinoverd
