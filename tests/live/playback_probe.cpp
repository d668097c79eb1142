// Plays a known sound through the program's sound output into the test's
// sound server and records the server's monitor of it with parec, stamping
// every piece of the recording as it arrives. Then checks that what was
// recorded is what was played (normalised cross-correlation at the best
// offset, or, where a busy machine made the device miss a moment, of nearly
// every half second in order) and that the position the output reported as
// heard agrees in time with when the sound reached the monitor.
//
//   playback_probe SOUND.raw          play 16-bit mono 11025 Hz samples, check
//   playback_probe --stop SOUND.raw   stop after a second: nothing more is heard
//   playback_probe --expect-no-device opening fails soon, with a reason
//   playback_probe --presses N SOUND.raw
//                                     play and stop N times in quick
//                                     succession, as P pressed over and over,
//                                     and tell how long each call kept the
//                                     caller (a measurement, not a check)
//   playback_probe --ends-with REASON SOUND.raw
//                                     say "playing" once the sound is heard;
//                                     the test then freezes or stops the
//                                     server, and playing must end within a
//                                     few seconds with REASON
//   playback_probe --compare HEARD.raw SESSION.raw
//                                     the loudest half second of the session's
//                                     first 1.5 s is in what a monitor heard
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "live_sound_output.h"

extern char** environ;

using namespace vocalume;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double kRate = kPlaybackRate;
constexpr double kAgreementMs = 30.0;

double Seconds(Clock::time_point t, Clock::time_point origin)
{
    return std::chrono::duration<double>(t - origin).count();
}

// parec on the monitor of the default sink, its samples and when each piece
// arrived.
class MonitorRecording {
public:
    bool Start()
    {
        int fds[2];
        if (pipe(fds) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        const char* argv[] = {"parec", "-d", "vsink.monitor", "--format=s16le", "--rate=11025",
                              "--channels=1", "--raw", "--latency-msec=5", nullptr};
        const int e = posix_spawnp(&m_pid, "parec", &actions, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (e != 0)
            return false;
        m_fd = fds[0];
        m_reader = std::thread([this] { Read(); });
        return true;
    }
    void Stop()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_reader.joinable())
            m_reader.join();
        if (m_fd >= 0)
            close(m_fd);
        m_fd = -1;
        m_pid = 0;
    }
    int64_t Size()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return static_cast<int64_t>(m_samples.size());
    }
    // When sample k reached the monitor: the piece it came in arrived at t,
    // its last sample just then, the ones before it a sample period each
    // earlier.
    double CapturedAt(int64_t k, Clock::time_point origin) const
    {
        const auto it = std::upper_bound(m_ends.begin(), m_ends.end(), k);
        if (it == m_ends.end())
            return -1.0;
        const size_t i = static_cast<size_t>(it - m_ends.begin());
        return Seconds(m_stamps[i], origin) - static_cast<double>(*it - k) / kRate;
    }
    const std::vector<int16_t>& Samples() const { return m_samples; }

private:
    void Read()
    {
        char buffer[4096];
        std::string carry;
        for (;;) {
            const ssize_t n = read(m_fd, buffer, sizeof buffer);
            const auto now = Clock::now();
            if (n <= 0)
                return;
            carry.append(buffer, static_cast<size_t>(n));
            const size_t whole = carry.size() / 2;
            std::lock_guard<std::mutex> lock(m_mutex);
            for (size_t i = 0; i < whole; ++i) {
                int16_t s;
                std::memcpy(&s, carry.data() + 2 * i, 2);
                m_samples.push_back(s);
            }
            carry.erase(0, whole * 2);
            if (whole > 0) {
                m_ends.push_back(static_cast<int64_t>(m_samples.size()));
                m_stamps.push_back(now);
            }
        }
    }

    pid_t m_pid = 0;
    int m_fd = -1;
    std::thread m_reader;
    std::mutex m_mutex;
    std::vector<int16_t> m_samples;
    std::vector<int64_t> m_ends;
    std::vector<Clock::time_point> m_stamps;
};

// The offset of `played` in `recorded` with the highest normalised
// correlation, and that correlation.
std::pair<int64_t, double> BestOffset(const std::vector<int16_t>& recorded, const std::vector<int16_t>& played)
{
    const size_t n = played.size();
    double pp = 0.0;
    for (const int16_t s : played)
        pp += static_cast<double>(s) * s;
    std::pair<int64_t, double> best{-1, 0.0};
    if (recorded.size() < n || pp <= 0.0)
        return best;
    // The recording's energy over a window of n, kept as it slides.
    double rr = 0.0;
    for (size_t i = 0; i < n; ++i)
        rr += static_cast<double>(recorded[i]) * recorded[i];
    for (size_t lag = 0; lag + n <= recorded.size(); ++lag) {
        if (lag > 0) {
            rr += static_cast<double>(recorded[lag + n - 1]) * recorded[lag + n - 1] -
                  static_cast<double>(recorded[lag - 1]) * recorded[lag - 1];
        }
        if (rr <= 0.0)
            continue;
        double rp = 0.0;
        for (size_t i = 0; i < n; ++i)
            rp += static_cast<double>(recorded[lag + i]) * played[i];
        const double c = rp / std::sqrt(rr * pp);
        if (c > best.second)
            best = {static_cast<int64_t>(lag), c};
    }
    return best;
}

// The share of the loud half seconds of `played` that `recorded` holds in
// order, each found (correlation at least 0.9) after the one before, the
// first among them included. A device that missed a moment on a busy
// machine leaves a gap, which shifts what follows; samples that are wrong,
// at the wrong rate, or missing, match none.
double ShareHeardInOrder(const std::vector<int16_t>& recorded, const std::vector<int16_t>& played)
{
    const auto piece = static_cast<size_t>(kRate / 2);
    const auto energy = [](auto begin, auto end) {
        double sum = 0.0;
        for (auto it = begin; it != end; ++it)
            sum += static_cast<double>(*it) * *it;
        return sum;
    };
    const double loud = 0.1 * energy(played.begin(), played.end()) / static_cast<double>(played.size()) *
                        static_cast<double>(piece);
    size_t from = 0;
    int pieces = 0, heard = 0;
    for (size_t at = 0; at + piece <= played.size(); at += piece) {
        const std::vector<int16_t> part(played.begin() + static_cast<std::ptrdiff_t>(at),
                                        played.begin() + static_cast<std::ptrdiff_t>(at + piece));
        if (energy(part.begin(), part.end()) < loud)
            continue;
        ++pieces;
        const size_t end = std::min(recorded.size(), from + piece + 3 * static_cast<size_t>(kRate));
        if (from >= end)
            break;
        const std::vector<int16_t> window(recorded.begin() + static_cast<std::ptrdiff_t>(from),
                                          recorded.begin() + static_cast<std::ptrdiff_t>(end));
        const auto [offset, correlation] = BestOffset(window, part);
        if (correlation >= 0.9) {
            ++heard;
            from += static_cast<size_t>(offset) + piece;
        } else if (pieces == 1) {
            return 0.0;
        }
    }
    return pieces > 0 ? static_cast<double>(heard) / pieces : 0.0;
}

std::vector<int16_t> ReadRaw(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

// What the program played from the start of its session, as a monitor heard
// it, against the session's sound as saved: its loudest half second among
// the first 1.5 s (where playing from the start surely reached) must be in
// the recording.
int CompareWithSession(const char* heardPath, const char* sessionPath)
{
    const std::vector<int16_t> heard = ReadRaw(heardPath);
    const std::vector<int16_t> session = ReadRaw(sessionPath);
    const size_t rate = static_cast<size_t>(kRate);
    const size_t window = rate / 2, span = std::min(session.size(), rate * 3 / 2);
    if (span < window) {
        std::printf("FAIL: the session holds less than half a second\n");
        return 1;
    }
    size_t loudest = 0;
    double most = -1.0;
    for (size_t start = 0; start + window <= span; start += rate / 20) {
        double energy = 0.0;
        for (size_t i = start; i < start + window; ++i)
            energy += static_cast<double>(session[i]) * session[i];
        if (energy > most) {
            most = energy;
            loudest = start;
        }
    }
    const std::vector<int16_t> piece(session.begin() + static_cast<std::ptrdiff_t>(loudest),
                                     session.begin() + static_cast<std::ptrdiff_t>(loudest + window));
    const auto [offset, correlation] = BestOffset(heard, piece);
    std::printf("the session's %.2f-%.2f s heard at %.3f s of the monitor's %.2f s, correlation %.4f\n",
                static_cast<double>(loudest) / kRate, static_cast<double>(loudest + window) / kRate,
                static_cast<double>(offset) / kRate, static_cast<double>(heard.size()) / kRate, correlation);
    return correlation >= 0.9 ? 0 : 1;
}

int ExpectNoDevice()
{
    auto output = MakeLiveSoundOutput();
    const SoundChunks samples(std::vector<int16_t>(11025, int16_t{1000}));
    std::string reason;
    const auto start = Clock::now();
    // Play returns at once; the device opens, or fails to, in the background.
    const bool started = output->Play(samples, 0, reason);
    const double returned = Seconds(Clock::now(), start);
    while (!output->Finished() && Seconds(Clock::now(), start) < 5.0)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const double took = Seconds(Clock::now(), start);
    const std::string problem = output->Problem();
    const bool ok = started && output->Finished() && !problem.empty() && took < 2.5 && returned < 0.5;
    std::printf("play without a sound server: returned after %.3f s, failed after %.2f s: \"%s\": %s\n", returned,
                took, problem.c_str(), ok ? "PASS" : "FAIL");
    output->Stop();
    return ok ? 0 : 1;
}

// Playing must end, with `reason`, once the test has frozen or stopped the
// sound server (the line would otherwise stand still as if playing on).
int EndsWith(const std::string& reason, const SoundChunks& sound)
{
    auto output = MakeLiveSoundOutput();
    std::string refused;
    if (!output->Play(sound, 0, refused)) {
        std::printf("FAIL: the output refused to play: %s\n", refused.c_str());
        return 1;
    }
    const auto start = Clock::now();
    while (output->HeardPosition() < static_cast<int64_t>(kRate / 2) && !output->Finished() &&
           Seconds(Clock::now(), start) < 10.0)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::printf("playing\n");
    std::fflush(stdout);
    const auto told = Clock::now();
    while (!output->Finished() && Seconds(Clock::now(), told) < 10.0)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    const std::string problem = output->Problem();
    const bool ok = output->Finished() && problem == reason;
    std::printf("playing ended after %.2f s: \"%s\": %s\n", Seconds(Clock::now(), told), problem.c_str(),
                ok ? "PASS" : "FAIL");
    output->Stop();
    return ok ? 0 : 1;
}

// P pressed `presses` times, a press every 20 ms: the longest time a Play
// or a Stop kept its caller, which is the window's user-interface thread.
int Presses(int presses, const SoundChunks& sound)
{
    auto output = MakeLiveSoundOutput();
    std::vector<double> plays, stops;
    for (int i = 0; i < presses; ++i) {
        const auto before = Clock::now();
        std::string reason;
        if (i % 2 == 0)
            output->Play(sound, 0, reason);
        else
            output->Stop();
        (i % 2 == 0 ? plays : stops).push_back(1000.0 * Seconds(Clock::now(), before));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    output->Stop();
    const auto tell = [](const char* what, std::vector<double>& calls) {
        std::sort(calls.begin(), calls.end());
        double total = 0;
        for (const double c : calls)
            total += c;
        std::printf("%zu %s kept the caller %.1f ms in all; median %.2f ms, longest %.2f ms\n", calls.size(), what,
                    total, calls[calls.size() / 2], calls.back());
    };
    tell("plays", plays);
    tell("stops", stops);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--expect-no-device") == 0)
        return ExpectNoDevice();
    if (argc > 3 && std::strcmp(argv[1], "--compare") == 0)
        return CompareWithSession(argv[2], argv[3]);
    const bool stopEarly = argc > 2 && std::strcmp(argv[1], "--stop") == 0;
    const bool presses = argc > 3 && std::strcmp(argv[1], "--presses") == 0;
    const bool endsWith = argc > 3 && std::strcmp(argv[1], "--ends-with") == 0;
    const char* path = argv[presses || endsWith ? 3 : stopEarly ? 2 : 1];
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto sound = std::make_shared<std::vector<int16_t>>(bytes.size() / 2);
    std::memcpy(sound->data(), bytes.data(), sound->size() * 2);
    if (sound->size() < 11025) {
        std::printf("FAIL: no sound in %s\n", path);
        return 1;
    }
    if (presses)
        return Presses(std::atoi(argv[2]), SoundChunks(*sound));
    if (endsWith)
        return EndsWith(argv[2], SoundChunks(*sound));

    MonitorRecording monitor;
    if (!monitor.Start()) {
        std::printf("FAIL: parec did not start\n");
        return 1;
    }
    // The recording takes a moment to come; some silence before the sound.
    for (int i = 0; i < 500 && monitor.Size() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    auto output = MakeLiveSoundOutput();
    const auto origin = Clock::now();
    std::string reason;
    if (!output->Play(SoundChunks(*sound), 0, reason)) {
        monitor.Stop();
        std::printf("FAIL: the output refused to play: %s\n", reason.c_str());
        return 1;
    }
    // The position as the view would poll it, but finer.
    std::vector<std::pair<double, int64_t>> heard;
    const double stopAt = 1.0;
    bool stopped = false;
    while (!output->Finished()) {
        heard.emplace_back(Seconds(Clock::now(), origin), output->HeardPosition());
        if (stopEarly && heard.back().first > stopAt) {
            const auto before = Clock::now();
            output->Stop();
            std::printf("stop took %.1f ms\n", 1000.0 * Seconds(Clock::now(), before));
            stopped = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const double endedAt = Seconds(Clock::now(), origin);
    if (!stopped && !output->Problem().empty()) {
        monitor.Stop();
        std::printf("FAIL: playing failed: %s\n", output->Problem().c_str());
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    monitor.Stop();
    const std::vector<int16_t>& recorded = monitor.Samples();

    bool ok = true;
    auto check = [&](bool good, const std::string& what) {
        std::printf("%s: %s\n", good ? "PASS" : "FAIL", what.c_str());
        ok = ok && good;
    };
    if (stopped) {
        // From a little after the stop (what the server held may still be
        // on its way) the monitor hears silence.
        int64_t loudAfter = 0, loudBefore = 0;
        for (size_t k = 0; k < recorded.size(); ++k) {
            const double t = monitor.CapturedAt(static_cast<int64_t>(k), origin);
            const bool loud = std::abs(recorded[k]) > 300;
            if (t > endedAt + 0.1 && loud)
                ++loudAfter;
            if (t > 0.2 && t < stopAt - 0.1 && loud)
                ++loudBefore;
        }
        std::printf("loud samples before the stop %lld, from 0.1 s after it %lld\n",
                    static_cast<long long>(loudBefore), static_cast<long long>(loudAfter));
        check(loudBefore > 1000, "the sound was heard before the stop");
        check(loudAfter == 0, "nothing is heard after a stop");
        return ok ? 0 : 1;
    }

    const auto [offset, correlation] = BestOffset(recorded, *sound);
    std::printf("recorded %.2f s, played %.2f s; best correlation %.4f at offset %lld\n",
                static_cast<double>(recorded.size()) / kRate, static_cast<double>(sound->size()) / kRate,
                correlation, static_cast<long long>(offset));
    const double share = correlation >= 0.9 ? 1.0 : ShareHeardInOrder(recorded, *sound);
    if (correlation < 0.9)
        std::printf("of its loud half seconds, %.0f %% heard in order\n", 100.0 * share);
    check(share >= 0.8, "the monitor heard the sound played (correlation at least 0.9, whole or in pieces)");
    if (offset < 0)
        return 1;

    // For every 10 ms of the sound: when the output first said it was heard,
    // against when it reached the monitor.
    std::vector<double> differences;
    size_t j = 0;
    for (int64_t p = 0; p < static_cast<int64_t>(sound->size()); p += 110) {
        while (j < heard.size() && heard[j].second < p)
            ++j;
        if (j == 0 || j >= heard.size())
            continue;
        const double said = heard[j].first;
        const double reached = monitor.CapturedAt(offset + p, origin);
        if (reached >= 0.0)
            differences.push_back(1000.0 * (said - reached));
    }
    std::sort(differences.begin(), differences.end());
    if (differences.empty()) {
        check(false, "the heard position was reported");
        return 1;
    }
    const double median = differences[differences.size() / 2];
    const double low = differences[differences.size() / 20];
    const double high = differences[differences.size() - 1 - differences.size() / 20];
    std::printf("told heard minus reached the monitor, ms: median %.1f, 5%% %.1f, 95%% %.1f, min %.1f, max %.1f "
                "(%zu points, %zu polls)\n",
                median, low, high, differences.front(), differences.back(), differences.size(), heard.size());
    check(std::fabs(median) <= kAgreementMs && std::fabs(low) <= kAgreementMs + 10 &&
              std::fabs(high) <= kAgreementMs + 10,
          "the heard position agrees with the sound's timing");
    return ok ? 0 : 1;
}
