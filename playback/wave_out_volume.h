// The system's playback volume behind the main window's volume slider: one
// playback volume element of the ALSA mixer of the "default" card, read and
// written in the mixer's own units. Changes made anywhere (other programs,
// the sound server) are noticed through the mixer's poll descriptors, watched
// on the user-interface thread, and reported to an optional change hook.
//
// Not usable when no mixer or no playback volume element is found at
// construction: the range is then (-1, -1), GetVolume answers -1 and
// SetVolume does nothing. A mixer that goes away later (sound server ended,
// card removed) leaves it not usable the same way. There is no reopening.
#pragma once

#include <memory>
#include <vector>

class QSocketNotifier;
struct _snd_mixer;
struct _snd_mixer_elem;

namespace kinoverd {

class WaveOutVolume {
public:
    // Called on the user-interface thread with the element's new value (its
    // first channel) and the user data given with it, whenever the mixer
    // announces a change of the element's volume made elsewhere. SetVolume's
    // own changes are not reported: not every mixer announces them.
    // It takes the place of the mixer's control-change window message (977,
    // MM_MIXM_CONTROL_CHANGE) of the original platform.
    using ChangeHook = void (*)(int value, void* user_data);

    // Opens the mixer and finds the element. Must run on a thread with a Qt
    // event loop: the change notifications are delivered by it.
    WaveOutVolume();
    virtual ~WaveOutVolume();
    WaveOutVolume(const WaveOutVolume&) = delete;
    WaveOutVolume& operator=(const WaveOutVolume&) = delete;

    virtual bool IsAvailable() const;
    // Unmute and mute the element's playback switch, if it has one.
    virtual void LineOn();
    virtual void LineOff();
    // maximum - minimum, or -1 when not usable.
    virtual int GetStepCount() const;
    virtual int GetMinimum() const;
    virtual int GetMaximum() const;
    // The first channel's value (front left, or mono), or -1. A change made
    // elsewhere shows here once the event loop has handled its notification.
    virtual int GetVolume() const;
    // Sets every channel; a value below the minimum or above the maximum
    // does nothing.
    virtual void SetVolume(int value);
    virtual void SetChangeHook(ChangeHook hook, void* user_data);

    // Releases the mixer; the object is then not usable. Repeating it, and
    // calling it from the change hook, is harmless.
    void Close();

private:
    bool Open();
    bool FindVolumeElement();
    void WatchMixer();
    void OnMixerActivity(int fd, short events);
    static int OnElementEvent(_snd_mixer_elem* element, unsigned int mask);
    std::vector<long> ReadChannels() const;

    // All fields belong to the user-interface thread.
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
    ChangeHook change_hook_ = nullptr;
    void* user_data_ = nullptr;
};

}  // namespace kinoverd
