#include "whole_file.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vocalume {

namespace {

std::string Failure(const std::string& what, const std::string& path, const char* why)
{
    return "cannot " + what + " " + path + ": " + why;
}

// The temporary file being written, for the signal handler. The name is
// written only while the signals are held back, and read only when armed.
std::atomic<bool> g_cleanupInstalled{false};
char g_pendingPath[4096];
volatile std::sig_atomic_t g_pendingArmed = 0;

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void OnEndingSignal(int signal)
{
    if (g_pendingArmed != 0)
        ::unlink(g_pendingPath);
    // The handler was reset on entry: the signal now ends the process as it
    // would have without us, once this handler returns.
    ::raise(signal);
}

// Holds the cleanup signals back for its lifetime, so that the handler never
// sees a half-recorded name or a name that is already someone else's file.
class SignalsHeld {
public:
    SignalsHeld()
    {
        sigset_t set;
        sigemptyset(&set);
        for (int signal : kCleanupSignals)
            sigaddset(&set, signal);
        pthread_sigmask(SIG_BLOCK, &set, &m_previous);
    }
    ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &m_previous, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t m_previous;
};

void ArmCleanup(const std::string& temporary)
{
    if (!g_cleanupInstalled.load() || temporary.size() >= sizeof g_pendingPath)
        return;
    std::memcpy(g_pendingPath, temporary.c_str(), temporary.size() + 1);
    g_pendingArmed = 1;
}

void DisarmCleanup() { g_pendingArmed = 0; }

}  // namespace

std::string FileTarget(const std::string& path)
{
    namespace fs = std::filesystem;
    fs::path target(path);
    // As many links as the system itself follows; a longer chain is left for
    // the writing to fail on.
    for (int hop = 0; hop < 40; ++hop) {
        struct stat info {};
        if (::lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return target.string();
        std::error_code ec;
        fs::path next = fs::read_symlink(target, ec);
        if (ec)
            return target.string();
        target = next.is_relative() ? target.parent_path() / next : next;
    }
    return path;
}

void RemoveUnfinishedFilesOnSignal()
{
    for (int signal : kCleanupSignals) {
        struct sigaction previous {};
        if (::sigaction(signal, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN)
            continue;  // a signal the caller's parent chose to ignore stays ignored
        struct sigaction action {};
        action.sa_handler = OnEndingSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        ::sigaction(signal, &action, nullptr);
    }
    g_cleanupInstalled.store(true);
}

std::string WriteFileWhole(const std::string& path, const FileFiller& fill)
{
    if (path.empty())
        return "cannot write the file: no file name given";

    // The rename replaces whatever is at the target's name: only a regular
    // file may be replaced, and a link is followed so that it stays a link.
    const std::string target = FileTarget(path);
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0) {
        if (S_ISDIR(existing.st_mode))
            return Failure("write", path, "it is a folder");
        if (!S_ISREG(existing.st_mode))
            return Failure("write", path, "it is not a regular file");
    } else if (errno != ENOENT) {
        return Failure("write", path, std::strerror(errno));
    }

    // A name of our own next to the target, so that the final rename stays
    // within one file system.
    static std::atomic<unsigned> serial{0};
    std::string temporary;
    int fd = -1;
    int openError = 0;
    {
        const SignalsHeld held;
        for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
            temporary = target + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(serial.fetch_add(1));
            fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            openError = errno;
            if (fd < 0 && openError != EEXIST)
                break;
        }
        if (fd >= 0)
            ArmCleanup(temporary);
    }
    if (fd < 0)
        return Failure("create", path, std::strerror(openError));

    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        const int error = errno;
        ::close(fd);
        const SignalsHeld held;
        ::unlink(temporary.c_str());
        DisarmCleanup();
        return Failure("write", path, std::strerror(error));
    }

    const std::string filled = fill(file);
    const int fillError = errno;
    // On disk before it takes the name: a crash then leaves the old file or
    // the new one, never an empty one.
    const bool flushed = filled.empty() && std::fflush(file) == 0 && std::ferror(file) == 0 &&
                         ::fsync(::fileno(file)) == 0;
    const int flushError = errno;
    const bool closed = std::fclose(file) == 0;
    const int closeError = errno;
    std::string error;
    if (!filled.empty())
        error = Failure("write", path, filled == kFillFailed ? std::strerror(fillError) : filled.c_str());
    else if (!flushed)
        error = Failure("write", path, std::strerror(flushError));
    else if (!closed)
        error = Failure("write", path, std::strerror(closeError));
    const SignalsHeld held;
    if (error.empty() && std::rename(temporary.c_str(), target.c_str()) != 0)
        error = Failure("replace", path, std::strerror(errno));
    if (!error.empty())
        ::unlink(temporary.c_str());
    DisarmCleanup();
    return error;
}

}  // namespace vocalume
