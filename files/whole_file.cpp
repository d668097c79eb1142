#include "whole_file.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vocalume {

namespace {

// ---- Messages -------------------------------------------------------------

// What the user can do about a failure the system reports as `error`.
const char* AdviceFor(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT: return "Free some space, or choose another place.";
    case EFBIG: return "The file is larger than this system lets the program write: choose another place.";
    case EACCES:
    case EPERM:
    case EROFS: return "Choose a folder you may write to.";
    case ENOENT: return "Choose a folder that exists.";
    case ENAMETOOLONG: return "Choose a shorter name.";
    case EIO: return "Check the disk, or choose another place.";
    default: return "Choose another place, or try again.";
    }
}

std::string Failure(const std::string& path, const std::string& reason, const char* advice)
{
    return "Cannot write \"" + path + "\": " + reason + ". " + advice;
}

std::string SystemFailure(const std::string& path, int error)
{
    return Failure(path, std::strerror(error), AdviceFor(error));
}

// Why a file of `mode` cannot be replaced; empty for a regular file.
std::string NotAFile(mode_t mode)
{
    if (S_ISREG(mode))
        return {};
    if (S_ISDIR(mode))
        return "it is a folder";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "it is a device, not a file";
    if (S_ISFIFO(mode))
        return "it is a pipe, not a file";
    return "it is not a regular file";
}

// ---- The signal handler's list of named temporaries -----------------------

// A write in progress on each thread that writes at the same time (the
// program saves a picture while exporting a frame table, say) has a slot.
// A slot's name is complete before it is armed and the slot is disarmed
// before its name changes, so the handler never reads half a name.
constexpr int kSlots = 8;
enum SlotState : int { kFree = 0, kFilling = 1, kArmed = 2 };
struct PendingFile {
    std::atomic<int> state{kFree};
    char path[4096];
};
PendingFile g_pending[kSlots];
std::atomic<bool> g_cleanupInstalled{false};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler reads the slots");

// Every signal whose default action ends the process and that a program may
// catch. SIGXFSZ is ignored instead, so that the write fails with a message.
constexpr int kEndingSignals[] = {SIGHUP,  SIGINT,  SIGQUIT, SIGILL,  SIGTRAP,   SIGABRT, SIGBUS,
                                  SIGFPE,  SIGSEGV, SIGUSR1, SIGUSR2, SIGPIPE,   SIGALRM, SIGTERM,
                                  SIGXCPU, SIGVTALRM, SIGPROF, SIGIO, SIGPWR, SIGSYS};

extern "C" void OnEndingSignal(int signal)
{
    const int saved = errno;
    for (PendingFile& file : g_pending)
        if (file.state.load() == kArmed)
            ::unlink(file.path);
    errno = saved;
    // The handler was reset on entry: the signal, held back until this
    // handler returns, then ends the process as it would have without us.
    ::raise(signal);
}

// Holds the ending signals back on this thread for its lifetime, so that a
// temporary is never left between being named and being armed, nor
// removed after it took the target's name.
class SignalsHeld {
public:
    SignalsHeld()
    {
        sigset_t set;
        sigemptyset(&set);
        for (int signal : kEndingSignals)
            sigaddset(&set, signal);
        pthread_sigmask(SIG_BLOCK, &set, &m_previous);
    }
    ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &m_previous, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t m_previous;
};

// Arms the handler for `temporary`; returns the slot, -1 when none was
// taken (no handler installed, every slot busy, a name too long).
int Arm(const std::string& temporary)
{
    if (!g_cleanupInstalled.load() || temporary.size() >= sizeof g_pending[0].path)
        return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (g_pending[i].state.compare_exchange_strong(expected, kFilling)) {
            std::memcpy(g_pending[i].path, temporary.c_str(), temporary.size() + 1);
            g_pending[i].state.store(kArmed);
            return i;
        }
    }
    return -1;
}

void Disarm(int slot)
{
    if (slot >= 0)
        g_pending[slot].state.store(kFree);
}

// A name beside `target` that is ours alone.
std::string TemporaryName(const std::string& target)
{
    static std::atomic<unsigned> serial{0};
    return target + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(serial.fetch_add(1));
}

// ---- Writing ----------------------------------------------------------------

// Switches for the tests: the named temporary even where an unnamed one is
// offered, and a stop (SIGSTOP) once the content is on disk, before it takes
// its name, so that a test can signal the writer at that very point.
bool NamedTemporaryForced() { return std::getenv("VOCALUME_TEST_NAMED_TEMPORARY") != nullptr; }
void PausePointForTests()
{
    if (std::getenv("VOCALUME_TEST_PAUSE_WRITE") != nullptr)
        ::raise(SIGSTOP);
}

// An unnamed file is given its name through /proc, which must be there.
bool UnnamedFilesUsable()
{
    static const bool proc = ::access("/proc/self/fd", X_OK) == 0;
    return proc && !NamedTemporaryForced();
}

std::string FolderOf(const std::string& target)
{
    const std::string folder = std::filesystem::path(target).parent_path().string();
    return folder.empty() ? "." : folder;
}

// The replaced file's permissions, and its owner and group where the system
// lets us. Where the group cannot be kept, the group's permissions go
// rather than being handed to another group.
void KeepAttributes(int fd, const struct stat& old)
{
    mode_t mode = old.st_mode & 0777;
    if (::fchown(fd, old.st_uid, old.st_gid) != 0 && ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
        struct stat now {};
        if (::fstat(fd, &now) == 0 && now.st_gid != old.st_gid)
            mode &= ~static_cast<mode_t>(S_IRWXG);
    }
    ::fchmod(fd, mode);
}

// Gives the complete content in `fd` (unnamed) or at `temporary` (named)
// the target's name. Returns 0, or the errno of the failure.
int Publish(int fd, const std::string& temporary, const std::string& target, bool replacing)
{
    if (temporary.empty()) {
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        if (!replacing) {
            if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) == 0)
                return 0;
            if (errno != EEXIST)
                return errno;
            // Made by someone else meanwhile: replaced, as a file found there.
        }
        // A name of its own for a moment, then over the old file in one step.
        const SignalsHeld held;
        std::string named;
        int error = EEXIST;
        for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
            named = TemporaryName(target);
            error = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, named.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
        }
        if (error != 0)
            return error;
        const int slot = Arm(named);
        error = std::rename(named.c_str(), target.c_str()) == 0 ? 0 : errno;
        if (error != 0)
            ::unlink(named.c_str());
        Disarm(slot);
        return error;
    }
    const SignalsHeld held;
    return std::rename(temporary.c_str(), target.c_str()) == 0 ? 0 : errno;
}

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

bool SameFile(const std::string& a, const std::string& b)
{
    struct stat first {}, second {};
    if (::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0)
        return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
    std::error_code ec1, ec2;
    const auto x = std::filesystem::weakly_canonical(FileTarget(a), ec1);
    const auto y = std::filesystem::weakly_canonical(FileTarget(b), ec2);
    return !ec1 && !ec2 && x == y;
}

std::string CheckFileWritable(const std::string& path)
{
    if (path.empty())
        return "Cannot write the file: no name was given. Choose a file name.";
    const std::string target = FileTarget(path);
    if (std::filesystem::path(target).filename().string().size() > kLongestFileName)
        return Failure(path, "its name is too long (at most " + std::to_string(kLongestFileName) + " characters)",
                       "Choose a shorter name.");
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0) {
        if (const std::string why = NotAFile(existing.st_mode); !why.empty())
            return Failure(path, why, "Choose another name.");
    } else if (errno != ENOENT) {
        return SystemFailure(path, errno);
    }
    const std::string folder = FolderOf(target);
    struct stat place {};
    if (::stat(folder.c_str(), &place) != 0)
        return SystemFailure(path, errno);
    if (!S_ISDIR(place.st_mode))
        return Failure(path, "\"" + folder + "\" is not a folder", AdviceFor(ENOENT));
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return SystemFailure(path, errno);
    return {};
}

void RemoveUnfinishedFilesOnSignal()
{
    for (int signal : kEndingSignals) {
        struct sigaction previous {};
        // A signal ignored (by the parent) or handled by someone else (a
        // sanitizer's fault report) stays as it is.
        if (::sigaction(signal, nullptr, &previous) != 0 || (previous.sa_flags & SA_SIGINFO) != 0 ||
            previous.sa_handler != SIG_DFL)
            continue;
        struct sigaction action {};
        action.sa_handler = OnEndingSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        ::sigaction(signal, &action, nullptr);
    }
    struct sigaction sizeLimit {};
    if (::sigaction(SIGXFSZ, nullptr, &sizeLimit) == 0 && (sizeLimit.sa_flags & SA_SIGINFO) == 0 &&
        sizeLimit.sa_handler == SIG_DFL)
        std::signal(SIGXFSZ, SIG_IGN);
    g_cleanupInstalled.store(true);
}

std::string WriteFileWhole(const std::string& path, const FileFiller& fill)
{
    if (std::string problem = CheckFileWritable(path); !problem.empty())
        return problem;
    // The rename replaces whatever is at the target's name: only a regular
    // file may be replaced, and a link is followed so that it stays a link.
    const std::string target = FileTarget(path);
    struct stat existing {};
    const bool replacing = ::stat(target.c_str(), &existing) == 0;
    if (replacing && !S_ISREG(existing.st_mode))
        return Failure(path, NotAFile(existing.st_mode), "Choose another name.");

    // Unnamed where the system offers it, in the target's folder so that
    // taking the name stays within one file system.
    int fd = -1;
    std::string temporary;
    int slot = -1;
    if (UnnamedFilesUsable()) {
        fd = ::open(FolderOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            return SystemFailure(path, errno);
    }
    if (fd < 0) {
        const SignalsHeld held;
        int openError = EEXIST;
        for (int attempt = 0; attempt < 100 && fd < 0 && openError == EEXIST; ++attempt) {
            temporary = TemporaryName(target);
            fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            openError = errno;
        }
        if (fd < 0)
            return SystemFailure(path, openError);
        slot = Arm(temporary);
    }
    if (replacing)
        KeepAttributes(fd, existing);

    // The stream writes through a copy of the descriptor, so that closing it
    // reports the last write errors before the content takes its name.
    const int streamFd = ::dup(fd);
    std::FILE* file = streamFd >= 0 ? ::fdopen(streamFd, "wb") : nullptr;
    std::string error;
    if (file == nullptr) {
        error = SystemFailure(path, errno);
        if (streamFd >= 0)
            ::close(streamFd);
    } else {
        const std::string filled = fill(file);
        const int fillError = errno;
        // On disk before it takes the name: a crash then leaves the old file
        // or the new one, never an empty one.
        const bool flushed = filled.empty() && std::fflush(file) == 0 && std::ferror(file) == 0 &&
                             ::fsync(::fileno(file)) == 0;
        const int flushError = errno;
        const bool closed = std::fclose(file) == 0;
        const int closeError = errno;
        if (!filled.empty())
            error = filled == kFillFailed ? SystemFailure(path, fillError)
                                          : Failure(path, filled, "Choose another place, or try again.");
        else if (!flushed)
            error = SystemFailure(path, flushError);
        else if (!closed)
            error = SystemFailure(path, closeError);
    }
    if (error.empty()) {
        PausePointForTests();
        if (const int published = Publish(fd, temporary, target, replacing); published != 0)
            error = SystemFailure(path, published);
    }
    ::close(fd);
    if (!temporary.empty()) {
        const SignalsHeld held;
        if (!error.empty())
            ::unlink(temporary.c_str());
        Disarm(slot);
    }
    return error;
}

std::string WriteFileWhole(const std::string& path, std::string_view content)
{
    return WriteFileWhole(path, [content](std::FILE* file) -> std::string {
        return std::fwrite(content.data(), 1, content.size(), file) == content.size() ? std::string()
                                                                                       : std::string(kFillFailed);
    });
}

}  // namespace vocalume
