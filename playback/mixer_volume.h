// SPDX-License-Identifier: GPL-3.0-or-later
// The system's playback volume behind the main window's volume slider: one
// playback volume element of the ALSA mixer of the "default" card, read and
// written in the mixer's own units. Changes made anywhere else (other
// programs, the sound server) are noticed through the mixer's poll
// descriptors, watched by the event loop of the thread that made the
// object, and announced by volumeChanged().
//
// Not usable when no mixer or no playback volume element is found at
// construction: the range is then (-1, -1), GetVolume answers -1 and
// SetVolume does nothing. A mixer that goes away later (sound server ended,
// card removed) leaves it not usable the same way. There is no reopening.
#pragma once

#include <QObject>

#include <memory>
#include <vector>

class QSocketNotifier;
struct _snd_mixer;
struct _snd_mixer_elem;

namespace kinoverd {

class MixerVolume : public QObject {
    Q_OBJECT

public:
    // Opens the mixer and finds the element. The thread needs a Qt event
    // loop for volumeChanged() to be emitted.
    explicit MixerVolume(QObject* parent = nullptr);
    ~MixerVolume() override;

    bool IsAvailable() const;
    // Unmute and mute the element's playback switch, if it has one.
    void LineOn();
    void LineOff();
    // maximum - minimum, or -1 when not usable.
    int GetStepCount() const;
    int GetMinimum() const;
    int GetMaximum() const;
    // The first channel's value (front left, or mono), or -1. A change made
    // elsewhere shows here once the event loop has handled its notification.
    int GetVolume() const;
    // Sets every channel; a value below the minimum or above the maximum
    // does nothing. Not announced by volumeChanged(): not every mixer
    // reports a program's own changes back to it.
    void SetVolume(int value);

    // Releases the mixer; the object is then not usable. Repeating it, and
    // calling it from a slot of volumeChanged(), is harmless.
    void Close();

signals:
    // The element's volume was changed elsewhere; `value` is its first
    // channel's new value. A change of the mute switch alone is not one.
    void volumeChanged(int value);

private:
    bool Open();
    bool FindVolumeElement();
    void WatchMixer();
    void OnMixerActivity(int fd, short events);
    static int OnElementEvent(_snd_mixer_elem* element, unsigned int mask);
    std::vector<long> ReadChannels() const;

    // All fields belong to the thread that made the object.
    bool line_found_ = false;  // element_ is a playback volume element
    bool usable_ = false;      // ... and the element is active
    _snd_mixer* mixer_ = nullptr;
    _snd_mixer_elem* element_ = nullptr;
    int minimum_ = -1;
    int maximum_ = -1;
    // One per poll descriptor of the mixer; deleted before the mixer closes.
    std::vector<std::unique_ptr<QSocketNotifier>> notifiers_;
    // Set by the element callback while the mixer's events are handled.
    bool element_changed_ = false;
    // The channel values last reported, so that a change of another part of
    // the element (its switch) is not taken for a volume change.
    std::vector<long> reported_channels_;
};

}  // namespace kinoverd
