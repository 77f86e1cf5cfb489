// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/pulse_null_output.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <thread>

#include "tests/support/child_process.h"

extern char** environ;

namespace kinoverd::test {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kStartTimeout = 20s;
constexpr auto kToolTimeout = 10s;
// What the sink's latency falls below once it works in short steps.
constexpr long kSettledLatencyUsec = 100000;
// The monitor runs this far behind what the sink plays.
constexpr auto kRecordingTail = 100ms;
constexpr const char* kSystemAlsaConfig = "/usr/share/alsa/alsa.conf";

// The full path of a program on PATH (execve and posix_spawn do not search).
std::string FindProgram(const std::string& name)
{
    const char* path = getenv("PATH");
    std::stringstream folders(path ? path : "/usr/bin:/bin");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const std::string candidate = folder + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return name;
}

bool WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream file(path, std::ios::trunc);
    file << text;
    return bool(file.flush());
}

std::string Tail(const std::string& path, size_t bytes)
{
    std::ifstream file(path);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return text.size() > bytes ? text.substr(text.size() - bytes) : text;
}

// This process's environment with `overrides` replacing or adding variables
// and the variables named in `removed` left out.
std::vector<std::string> ChildEnvironment(const std::vector<std::string>& overrides,
                                          const std::vector<std::string>& removed)
{
    const auto name_of = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    std::vector<std::string> result;
    for (char** entry = environ; *entry; ++entry) {
        const std::string name = name_of(*entry);
        bool drop = std::find(removed.begin(), removed.end(), name) != removed.end();
        for (const auto& o : overrides) drop = drop || name_of(o) == name;
        if (!drop) result.push_back(*entry);
    }
    result.insert(result.end(), overrides.begin(), overrides.end());
    return result;
}

}  // namespace

PulseNullOutput& PulseNullOutput::Shared()
{
    static PulseNullOutput output;
    return output;
}

PulseNullOutput::PulseNullOutput()
{
    // Short: the socket path must fit a sockaddr_un.
    char folder[] = "/tmp/kinoverd-pulse-XXXXXX";
    if (!mkdtemp(folder)) {
        Fail(std::string("cannot create a temporary folder: ") + std::strerror(errno));
        return;
    }
    folder_ = folder;
    socket_path_ = folder_ + "/native";
    alsa_config_path_ = folder_ + "/asound.conf";
    log_path_ = folder_ + "/pulseaudio.log";
    for (const char* sub : {"/run", "/home", "/state"}) mkdir((folder_ + sub).c_str(), 0700);

    // ALSA's own configuration first (card definitions, plugin types), then
    // the default PCM and mixer on this daemon.
    std::string alsa_config;
    if (access(kSystemAlsaConfig, R_OK) == 0) alsa_config += std::string("<") + kSystemAlsaConfig + ">\n";
    const std::string server = "server \"unix:" + socket_path_ + "\"";
    alsa_config += "pcm.!default { type pulse " + server + " }\n";
    alsa_config += "ctl.!default { type pulse " + server + " }\n";
    const std::string client_config = folder_ + "/client.conf";
    if (!WriteFile(alsa_config_path_, alsa_config) || !WriteFile(client_config, "autospawn = no\n")) {
        Fail("cannot write the configuration files in " + folder_);
        return;
    }
    if (!StartDaemon()) return;
    SetVariable("ALSA_CONFIG_PATH", alsa_config_path_);
    SetVariable("PULSE_SERVER", "unix:" + socket_path_);
    SetVariable("PULSE_CLIENTCONFIG", client_config);
    if (WaitUntilAnswering()) StartKeepAlive();
}

PulseNullOutput::~PulseNullOutput()
{
    recorder_.reset();
    keep_alive_.reset();
    StopDaemon();
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
        if (it->value) {
            setenv(it->name.c_str(), it->value->c_str(), 1);
        } else {
            unsetenv(it->name.c_str());
        }
    }
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
}

bool PulseNullOutput::StartDaemon()
{
    const std::string program = FindProgram("pulseaudio");
    std::vector<std::string> arguments = {
        program,
        "--daemonize=no",
        "--system=no",
        "--use-pid-file=no",
        "--exit-idle-time=-1",
        "--disallow-exit=yes",
        "--disable-shm=yes",
        "--realtime=no",
        "--high-priority=no",
        "--log-target=stderr",
        "-n",  // no default script: only the modules below
        "--load=module-null-sink sink_name=" + std::string(kSinkName) +
            " format=s16le rate=44100 channels=2 channel_map=front-left,front-right",
        "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket_path_,
    };
    // A private home and runtime folder; no session bus (an unreachable
    // address keeps libdbus from launching one) and no X server.
    std::vector<std::string> environment = ChildEnvironment(
        {"HOME=" + folder_ + "/home", "XDG_RUNTIME_DIR=" + folder_ + "/run",
         "XDG_CONFIG_HOME=" + folder_ + "/home/.config", "PULSE_RUNTIME_PATH=" + folder_ + "/run/pulse",
         "PULSE_STATE_PATH=" + folder_ + "/state", "DBUS_SESSION_BUS_ADDRESS=unix:path=" + folder_ + "/no-bus"},
        {"DISPLAY", "WAYLAND_DISPLAY", "PULSE_SERVER", "PULSE_CLIENTCONFIG", "PULSE_COOKIE"});

    std::vector<char*> argv;
    for (auto& word : arguments) argv.push_back(word.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);

    const int null_input = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int log = open(log_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const pid_t parent = getpid();
    daemon_ = null_input >= 0 && log >= 0 ? fork() : -1;
    if (daemon_ == 0) {
        // The daemon ends with this process, even when a test crashes: it
        // would otherwise run on for ever (it never exits when idle).
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(1);
        dup2(null_input, 0);
        dup2(log, 1);
        dup2(log, 2);
        execve(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    if (null_input >= 0) close(null_input);
    if (log >= 0) close(log);
    if (daemon_ < 0) {
        Fail("cannot start " + program + ": " + std::strerror(errno));
        return false;
    }
    return true;
}

bool PulseNullOutput::WaitUntilAnswering()
{
    const auto give_up = Clock::now() + kStartTimeout;
    while (Clock::now() < give_up) {
        int status = 0;
        if (waitpid(daemon_, &status, WNOHANG) == daemon_) {
            daemon_ = -1;
            Fail("pulseaudio ended at start");
            return false;
        }
        const auto info = Pactl({"info"});
        if (info && info->find(std::string("Default Sink: ") + kSinkName) != std::string::npos) return true;
        std::this_thread::sleep_for(50ms);
    }
    Fail("pulseaudio did not answer");
    return false;
}

bool PulseNullOutput::StartKeepAlive()
{
    keep_alive_ = std::make_unique<ChildProcess>(
        FindProgram("pacat"),
        std::vector<std::string>{"--playback", "--raw", "--format=s16le", "--rate=" + std::to_string(kRecordRate),
                                 "--channels=2", "--latency-msec=20", "--stream-name=keep-alive", "/dev/zero"});
    // The sink may be in the middle of a long idle block: wait until it has
    // caught up with the keep-alive stream's short latency.
    static const std::regex latency(R"(Latency: (\d+) usec)");
    const auto give_up = Clock::now() + kStartTimeout;
    while (Clock::now() < give_up) {
        const auto sinks = Pactl({"list", "sinks"});
        std::smatch match;
        if (sinks && std::regex_search(*sinks, match, latency) && std::stol(match[1].str()) < kSettledLatencyUsec) {
            return true;
        }
        std::this_thread::sleep_for(50ms);
    }
    Fail("the null sink did not take up the keep-alive stream");
    return false;
}

void PulseNullOutput::Fail(const std::string& why)
{
    error_ = why;
    if (!log_path_.empty()) error_ += "\n--- end of the daemon's log:\n" + Tail(log_path_, 2000);
}

void PulseNullOutput::StopDaemon()
{
    if (daemon_ <= 0) return;
    kill(daemon_, SIGTERM);
    const auto give_up = Clock::now() + 5s;
    while (waitpid(daemon_, nullptr, WNOHANG) == 0) {
        if (Clock::now() > give_up) {
            kill(daemon_, SIGKILL);
            waitpid(daemon_, nullptr, 0);
            break;
        }
        std::this_thread::sleep_for(10ms);
    }
    daemon_ = -1;
}

void PulseNullOutput::SetVariable(const std::string& name, const std::string& value)
{
    const char* old = getenv(name.c_str());
    saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
    setenv(name.c_str(), value.c_str(), 1);
}

std::optional<std::string> PulseNullOutput::Pactl(const std::vector<std::string>& arguments) const
{
    ChildProcess pactl(FindProgram("pactl"), arguments);
    if (!pactl.started() || pactl.WaitForExit(kToolTimeout) != 0) return std::nullopt;
    return pactl.out();
}

std::vector<int> PulseNullOutput::SinkVolume() const
{
    // "Volume: front-left: 32768 /  50% / -18.06 dB,   front-right: ..."
    std::vector<int> channels;
    const auto text = Pactl({"get-sink-volume", kSinkName});
    if (!text) return channels;
    const std::string first_line = text->substr(0, text->find('\n'));
    static const std::regex channel(R"(([a-z0-9-]+): (\d+) /)");
    for (std::sregex_iterator it(first_line.begin(), first_line.end(), channel), end; it != end; ++it) {
        channels.push_back(std::stoi((*it)[2].str()));
    }
    return channels;
}

bool PulseNullOutput::SetSinkVolume(const std::vector<int>& channels) const
{
    std::vector<std::string> arguments = {"set-sink-volume", kSinkName};
    for (int value : channels) arguments.push_back(std::to_string(value));
    return Pactl(arguments).has_value();
}

std::optional<bool> PulseNullOutput::SinkMuted() const
{
    const auto text = Pactl({"get-sink-mute", kSinkName});
    if (!text) return std::nullopt;
    if (text->find("Mute: yes") != std::string::npos) return true;
    if (text->find("Mute: no") != std::string::npos) return false;
    return std::nullopt;
}

bool PulseNullOutput::SetSinkMuted(bool muted) const
{
    return Pactl({"set-sink-mute", kSinkName, muted ? "1" : "0"}).has_value();
}

bool PulseNullOutput::StartRecording()
{
    if (!running() || recorder_) return false;
    recording_path_ = folder_ + "/recording.raw";
    recorder_ = std::make_unique<ChildProcess>(
        FindProgram("parec"),
        std::vector<std::string>{"--device=" + std::string(kSinkName) + ".monitor", "--raw", "--format=s16le",
                                 "--rate=" + std::to_string(kRecordRate), "--channels=2",
                                 "--channel-map=front-left,front-right", "--latency-msec=10",
                                 recording_path_});
    // Recording has begun once the server lists the stream.
    const auto give_up = Clock::now() + kToolTimeout;
    while (Clock::now() < give_up) {
        const auto streams = Pactl({"list", "short", "source-outputs"});
        if (streams && !streams->empty()) return true;
        std::this_thread::sleep_for(20ms);
    }
    recorder_.reset();
    return false;
}

std::vector<int16_t> PulseNullOutput::StopRecording()
{
    std::vector<int16_t> samples;
    if (!recorder_) return samples;
    std::this_thread::sleep_for(kRecordingTail);
    recorder_->Signal(SIGINT);  // parec writes out what it holds and ends
    recorder_->WaitForExit(kToolTimeout);
    recorder_.reset();

    std::ifstream file(recording_path_, std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    samples.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        samples.push_back(int16_t(uint16_t(bytes[i] | bytes[i + 1] << 8)));
    }
    std::remove(recording_path_.c_str());
    return samples;
}

double PulseNullOutput::ChannelRms(const std::vector<int16_t>& samples, int channel)
{
    double sum = 0;
    size_t count = 0;
    for (size_t i = size_t(channel); i < samples.size(); i += 2) {
        sum += double(samples[i]) * samples[i];
        ++count;
    }
    return count ? std::sqrt(sum / double(count)) : 0.0;
}

}  // namespace kinoverd::test
