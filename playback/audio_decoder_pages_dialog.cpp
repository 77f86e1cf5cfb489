// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio_decoder_pages_dialog.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QRadioButton>
#include <QVBoxLayout>

namespace kinoverd {

AudioDecoderPagesDialog::AudioDecoderPagesDialog(std::atomic<AudioOutput>& output, QWidget* owner)
    : QDialog(owner), output_(output), choices_(new QButtonGroup(this))
{
    setWindowTitle("Filter");
    setModal(true);

    auto* page = new QGroupBox("MPEG Audio Decoder", this);
    auto* page_layout = new QVBoxLayout(page);
    const struct {
        AudioOutput output;
        const char* label;
    } options[] = {
        {AudioOutput::kStereo, "立体声 (Stereo)"},
        {AudioOutput::kLeftOnBoth, "左声道 (Left channel on both speakers)"},
        {AudioOutput::kRightOnBoth, "右声道 (Right channel on both speakers)"},
        {AudioOutput::kMonoMix, "单声道混合 (Mono mix)"},
    };
    for (const auto& option : options) {
        auto* radio = new QRadioButton(QString::fromUtf8(option.label), page);
        choices_->addButton(radio, int(option.output));
        page_layout->addWidget(radio);
    }
    choices_->button(int(output_.load()))->setChecked(true);
    connect(choices_, &QButtonGroup::idClicked, this,
            [this](int id) { output_ = AudioOutput(id); });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(page);
    layout->addWidget(buttons);
}

QAbstractButton* AudioDecoderPagesDialog::button(AudioOutput output) const
{
    return choices_->button(int(output));
}

}  // namespace kinoverd
