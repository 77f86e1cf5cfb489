// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/mixer_volume.h"

#include <alsa/asoundlib.h>
#include <poll.h>

#include <algorithm>
#include <limits>

#include <QSocketNotifier>

namespace kinoverd {

namespace {

constexpr const char* kCardName = "default";
// The element for the wave output, by preference; failing both, the first
// element that has a playback volume.
constexpr const char* kPreferredElements[] = {"PCM", "Master"};

snd_mixer_elem_t* FindElement(snd_mixer_t* mixer, const char* name)
{
    snd_mixer_selem_id_t* id = nullptr;
    if (snd_mixer_selem_id_malloc(&id) < 0) return nullptr;
    snd_mixer_selem_id_set_name(id, name);
    snd_mixer_selem_id_set_index(id, 0);
    snd_mixer_elem_t* element = snd_mixer_find_selem(mixer, id);
    snd_mixer_selem_id_free(id);
    return element;
}

std::vector<pollfd> PollDescriptors(snd_mixer_t* mixer)
{
    const int count = snd_mixer_poll_descriptors_count(mixer);
    if (count <= 0) return {};
    std::vector<pollfd> fds(static_cast<size_t>(count));
    const int filled = snd_mixer_poll_descriptors(mixer, fds.data(), unsigned(count));
    fds.resize(static_cast<size_t>(std::clamp(filled, 0, count)));
    return fds;
}

// ALSA prints its own errors unless told otherwise; every call here reports
// failure by its result, and a machine without a sound card is no fault.
void IgnoreAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

MixerVolume::MixerVolume(QObject* parent) : QObject(parent)
{
    snd_lib_error_set_handler(IgnoreAlsaErrors);
    if (!Open()) return;
    if (!FindVolumeElement()) {
        Close();
        return;
    }
    reported_channels_ = ReadChannels();
    WatchMixer();
}

MixerVolume::~MixerVolume() { Close(); }

bool MixerVolume::Open()
{
    if (snd_mixer_open(&mixer_, 0) < 0) {
        mixer_ = nullptr;
        return false;
    }
    if (snd_mixer_attach(mixer_, kCardName) < 0 || snd_mixer_selem_register(mixer_, nullptr, nullptr) < 0 ||
        snd_mixer_load(mixer_) < 0) {
        snd_mixer_close(mixer_);
        mixer_ = nullptr;
        return false;
    }
    return true;
}

bool MixerVolume::FindVolumeElement()
{
    snd_mixer_elem_t* element = nullptr;
    for (const char* name : kPreferredElements) {
        element = FindElement(mixer_, name);
        if (element && snd_mixer_selem_has_playback_volume(element)) break;
        element = nullptr;
    }
    for (snd_mixer_elem_t* e = snd_mixer_first_elem(mixer_); e && !element; e = snd_mixer_elem_next(e)) {
        if (snd_mixer_selem_has_playback_volume(e)) element = e;
    }
    if (!element) return false;

    long minimum = 0;
    long maximum = 0;
    // The slider works in ints; a range beyond them is taken as no volume.
    if (snd_mixer_selem_get_playback_volume_range(element, &minimum, &maximum) < 0 || minimum > maximum ||
        minimum < std::numeric_limits<int>::min() || maximum > std::numeric_limits<int>::max()) {
        return false;
    }
    element_ = element;
    line_found_ = true;
    // An inactive element is kept for LineOn/LineOff, like a disabled control.
    usable_ = snd_mixer_selem_is_active(element);
    minimum_ = int(minimum);
    maximum_ = int(maximum);
    snd_mixer_elem_set_callback_private(element, this);
    snd_mixer_elem_set_callback(element, &MixerVolume::OnElementEvent);
    return true;
}

// The mixer reports through its poll descriptors; QSocketNotifier watches
// them in the event loop of this thread.
void MixerVolume::WatchMixer()
{
    for (const pollfd& fd : PollDescriptors(mixer_)) {
        const auto watch = [&](short event, QSocketNotifier::Type type) {
            if (!(fd.events & event)) return;
            auto notifier = std::make_unique<QSocketNotifier>(fd.fd, type);
            connect(notifier.get(), &QSocketNotifier::activated, this,
                             [this, fd = fd.fd, event] { OnMixerActivity(fd, event); });
            notifiers_.push_back(std::move(notifier));
        };
        watch(POLLIN, QSocketNotifier::Read);
        watch(POLLOUT, QSocketNotifier::Write);
    }
}

void MixerVolume::OnMixerActivity(int fd, short events)
{
    // Some plugins need to see the activity before their events can be read.
    std::vector<pollfd> fds = PollDescriptors(mixer_);
    for (pollfd& entry : fds) entry.revents = entry.fd == fd ? events : 0;
    unsigned short revents = 0;
    if (!fds.empty()) snd_mixer_poll_descriptors_revents(mixer_, fds.data(), unsigned(fds.size()), &revents);

    element_changed_ = false;
    if (snd_mixer_handle_events(mixer_) < 0) {
        // The mixer is gone (card removed, sound server ended): stop
        // watching rather than wake up for it forever.
        Close();
        return;
    }
    if (!element_changed_ || !usable_) return;
    std::vector<long> channels = ReadChannels();
    if (channels == reported_channels_) return;  // the switch, not the volume
    reported_channels_ = std::move(channels);
    const int value = GetVolume();
    // Last: a slot may close or even destroy this object.
    if (value != -1) emit volumeChanged(value);
}

int MixerVolume::OnElementEvent(snd_mixer_elem_t* element, unsigned int mask)
{
    auto* self = static_cast<MixerVolume*>(snd_mixer_elem_get_callback_private(element));
    if (mask == SND_CTL_EVENT_MASK_REMOVE) {
        // The element is freed after this returns.
        self->element_ = nullptr;
        self->line_found_ = false;
        self->usable_ = false;
        self->minimum_ = -1;
        self->maximum_ = -1;
        return 0;
    }
    if (mask & (SND_CTL_EVENT_MASK_VALUE | SND_CTL_EVENT_MASK_INFO)) {
        self->element_changed_ = true;
        if (mask & SND_CTL_EVENT_MASK_INFO) self->usable_ = snd_mixer_selem_is_active(element);
    }
    return 0;
}

void MixerVolume::Close()
{
    notifiers_.clear();
    if (mixer_) snd_mixer_close(mixer_);
    mixer_ = nullptr;
    element_ = nullptr;
    line_found_ = false;
    usable_ = false;
    minimum_ = -1;
    maximum_ = -1;
}

std::vector<long> MixerVolume::ReadChannels() const
{
    std::vector<long> values;
    if (!element_) return values;
    for (int channel = 0; channel <= SND_MIXER_SCHN_LAST; ++channel) {
        const auto id = snd_mixer_selem_channel_id_t(channel);
        long value = 0;
        if (snd_mixer_selem_has_playback_channel(element_, id) &&
            snd_mixer_selem_get_playback_volume(element_, id, &value) == 0) {
            values.push_back(value);
        }
    }
    return values;
}

bool MixerVolume::IsAvailable() const { return usable_; }

void MixerVolume::LineOn()
{
    if (line_found_ && snd_mixer_selem_has_playback_switch(element_)) {
        snd_mixer_selem_set_playback_switch_all(element_, 1);
    }
}

void MixerVolume::LineOff()
{
    if (line_found_ && snd_mixer_selem_has_playback_switch(element_)) {
        snd_mixer_selem_set_playback_switch_all(element_, 0);
    }
}

int MixerVolume::GetStepCount() const { return usable_ ? maximum_ - minimum_ : -1; }

int MixerVolume::GetMinimum() const { return usable_ ? minimum_ : -1; }

int MixerVolume::GetMaximum() const { return usable_ ? maximum_ : -1; }

int MixerVolume::GetVolume() const
{
    if (!usable_) return -1;
    long value = 0;
    // Channel 0 is front left on a stereo element and the only one on a mono one.
    if (snd_mixer_selem_get_playback_volume(element_, SND_MIXER_SCHN_FRONT_LEFT, &value) < 0) return -1;
    return int(value);
}

void MixerVolume::SetVolume(int value)
{
    if (!usable_ || value < minimum_ || value > maximum_) return;
    if (snd_mixer_selem_set_playback_volume_all(element_, value) == 0) reported_channels_ = ReadChannels();
}

}  // namespace kinoverd
