// SPDX-License-Identifier: GPL-3.0-or-later
// A real audio output for tests: a private PulseAudio daemon with one null
// sink, and this process's ALSA "default" PCM and mixer pointed at it. What
// the sink plays can be recorded from its monitor, its volume and mute read
// and changed from outside with pactl, as another program would.
//
// A null sink left idle works in blocks of two seconds, so a new stream would
// wait up to that long before it is heard. A silent keep-alive stream keeps
// it working in 20 ms steps; it is the one sink input present before a test
// plays anything.
//
// Needs pulseaudio, pulseaudio-utils (pactl, parec) and libasound2-plugins;
// no D-Bus, no X, no sound card. Works as root and inside tools/private-lan
// (the daemon speaks over a unix socket in a private temporary folder).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kinoverd::test {

class ChildProcess;

class PulseNullOutput {
public:
    static constexpr const char* kSinkName = "kinoverd_null";
    // PulseAudio's 100 %; the ALSA mixer element shows the same units.
    static constexpr int kFullVolume = 65536;
    // Recordings are interleaved 16-bit stereo at this rate.
    static constexpr int kRecordRate = 44100;

    // Starts the daemon and waits until it answers. Sets ALSA_CONFIG_PATH,
    // PULSE_SERVER and PULSE_CLIENTCONFIG for this process and its children.
    PulseNullOutput();
    // Stops the daemon, restores the environment, removes the folder.
    ~PulseNullOutput();
    PulseNullOutput(const PulseNullOutput&) = delete;
    PulseNullOutput& operator=(const PulseNullOutput&) = delete;

    // One daemon per test binary: started at first use, stopped at exit.
    static PulseNullOutput& Shared();

    bool running() const { return daemon_ > 0 && error_.empty(); }
    // Why it is not running, with the end of the daemon's log.
    const std::string& error() const { return error_; }
    // The ALSA configuration file this process uses while the daemon runs.
    const std::string& alsa_config_path() const { return alsa_config_path_; }

    // pactl with these arguments; its standard output, or empty when it failed.
    std::optional<std::string> Pactl(const std::vector<std::string>& arguments) const;
    // The sink's volume per channel (front left first), in PulseAudio's
    // units; empty when it cannot be read.
    std::vector<int> SinkVolume() const;
    // One value per channel, set as another program would.
    bool SetSinkVolume(const std::vector<int>& channels) const;
    std::optional<bool> SinkMuted() const;
    bool SetSinkMuted(bool muted) const;

    // Records the sink's monitor until StopRecording. Returns once the
    // recording stream runs, so that everything played afterwards is in it.
    bool StartRecording();
    // Interleaved left/right samples recorded since StartRecording, including
    // the sink's output of the last 100 ms (the monitor lags a little).
    std::vector<int16_t> StopRecording();

    // Root mean square of one channel (0 left, 1 right) of interleaved stereo.
    static double ChannelRms(const std::vector<int16_t>& samples, int channel);

private:
    bool StartDaemon();
    bool WaitUntilAnswering();
    bool StartKeepAlive();
    void Fail(const std::string& why);
    void StopDaemon();

    struct SavedVariable {
        std::string name;
        std::optional<std::string> value;
    };
    void SetVariable(const std::string& name, const std::string& value);

    std::string folder_;
    std::string socket_path_;
    std::string alsa_config_path_;
    std::string log_path_;
    pid_t daemon_ = -1;
    std::string error_;
    std::vector<SavedVariable> saved_;
    std::unique_ptr<ChildProcess> keep_alive_;
    std::unique_ptr<ChildProcess> recorder_;
    std::string recording_path_;
};

}  // namespace kinoverd::test
