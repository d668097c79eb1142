// Files written whole or not at all: what a user finds on disk after a write
// that succeeded, failed, or was ended by a signal or a file-size limit.
#include "whole_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace vocalume {
namespace {

namespace fs = std::filesystem;

class WholeFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() /
              ("vocalume-files-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override
    {
        ::unsetenv("VOCALUME_TEST_NAMED_TEMPORARY");
        fs::remove_all(dir);
    }
    std::string Path(const std::string& name) const { return (dir / name).string(); }
    std::set<std::string> Entries() const
    {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(dir))
            names.insert(e.path().filename().string());
        return names;
    }
    static std::string Read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static mode_t Mode(const std::string& path)
    {
        struct stat s {};
        ::stat(path.c_str(), &s);
        return s.st_mode & 07777;
    }
    fs::path dir;
};

// Both ways of writing: through an unnamed file, and through a named
// temporary where the system offers no unnamed one.
const char* const kWays[] = {"unnamed", "named"};
void Use(const std::string& way)
{
    if (way == "named")
        ::setenv("VOCALUME_TEST_NAMED_TEMPORARY", "1", 1);
    else
        ::unsetenv("VOCALUME_TEST_NAMED_TEMPORARY");
}

// A private recording stays private when it is replaced, a read-only one
// stays read-only, a new file follows the umask, and a link is written
// through. While the content is being written, no name but the old file's
// is to be seen where the system offers unnamed files.
TEST_F(WholeFileTest, ReplacedFilesKeepTheirPermissionsAndNewOnesFollowTheUmask)
{
    for (const std::string way : kWays) {
        Use(way);
        std::ofstream(Path("private.wav")) << "old";
        fs::permissions(Path("private.wav"), fs::perms::owner_read | fs::perms::owner_write);
        std::ofstream(Path("fixed.csv")) << "old";
        fs::permissions(Path("fixed.csv"), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        fs::create_symlink("private.wav", Path("link.wav"));

        std::set<std::string> seenWhileWriting;
        ASSERT_EQ(WriteFileWhole(Path("link.wav"),
                                 [&](std::FILE* file) {
                                     seenWhileWriting = Entries();
                                     return std::fputs("new", file) >= 0 ? std::string() : std::string(kFillFailed);
                                 }),
                  "");
        EXPECT_EQ(Read(Path("private.wav")), "new") << way;
        EXPECT_TRUE(fs::is_symlink(Path("link.wav"))) << way;
        EXPECT_EQ(Mode(Path("private.wav")), 0600u) << way;
        if (way == "unnamed")
            EXPECT_EQ(seenWhileWriting, (std::set<std::string>{"private.wav", "fixed.csv", "link.wav"}));
        else
            EXPECT_EQ(seenWhileWriting.size(), 4u) << "the named temporary";

        ASSERT_EQ(WriteFileWhole(Path("fixed.csv"), "new"), "");
        EXPECT_EQ(Mode(Path("fixed.csv")), 0444u) << way;

        const mode_t old = ::umask(027);
        ASSERT_EQ(WriteFileWhole(Path("fresh.png"), "new"), "");
        ::umask(old);
        EXPECT_EQ(Mode(Path("fresh.png")), 0640u) << way;
        EXPECT_EQ(Entries(), (std::set<std::string>{"private.wav", "fixed.csv", "link.wav", "fresh.png"})) << way;
        for (const auto& e : fs::directory_iterator(dir))
            fs::remove(e.path());
    }
}

// What cannot be written is refused before any content is made, in one
// sentence that starts with a capital and says what to do.
TEST_F(WholeFileTest, FoldersDevicesPipesAndLongNamesAreRefusedBeforeAnyWork)
{
    fs::create_directory(Path("folder.png"));
    ASSERT_EQ(::mkfifo(Path("pipe.csv").c_str(), 0600), 0);
    const std::string longName = Path(std::string(kLongestFileName + 1, 'n') + ".wav");
    for (const std::string& path : {Path("folder.png"), Path("pipe.csv"), std::string("/dev/null"), longName,
                                     Path("missing/take.wav"), std::string()}) {
        const std::string checked = CheckFileWritable(path);
        EXPECT_EQ(checked.rfind("Cannot write ", 0), 0u) << checked;
        EXPECT_EQ(checked.back(), '.') << checked;
        bool filled = false;
        EXPECT_EQ(WriteFileWhole(path,
                                 [&](std::FILE*) {
                                     filled = true;
                                     return std::string();
                                 }),
                  checked);
        EXPECT_FALSE(filled) << path;
    }
    EXPECT_EQ(CheckFileWritable(Path(std::string(kLongestFileName - 4, 'n') + ".wav")), "");
    EXPECT_EQ(Entries(), (std::set<std::string>{"folder.png", "pipe.csv"}));
    EXPECT_TRUE(fs::is_empty(Path("folder.png")));
}

// Runs `child` in a forked process and returns its wait status.
template <class F>
int InChild(F child)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        child();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

// A file-size limit (ulimit -f) makes the write fail with the system's
// reason; the process lives on and the old file is as it was.
TEST_F(WholeFileTest, AFileSizeLimitFailsTheWriteAndLeavesTheOldFile)
{
    for (const std::string way : kWays) {
        Use(way);
        std::ofstream(Path("take.wav")) << "old";
        const int status = InChild([&] {
            RemoveUnfinishedFilesOnSignal();
            const rlimit small{4096, 4096};
            ::setrlimit(RLIMIT_FSIZE, &small);
            const std::string failure = WriteFileWhole(Path("take.wav"), std::string(100000, 'x'));
            ::_exit(failure.find("File too large") != std::string::npos ? 0 : 3);
        });
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << way << " status " << status;
        EXPECT_EQ(Read(Path("take.wav")), "old") << way;
        EXPECT_EQ(Entries(), std::set<std::string>{"take.wav"}) << way;
    }
}

// A signal that ends the writer once the content is on disk, at the pause
// point before it takes its name: nothing is left but the old file, with a
// named temporary (removed by the handler) and with an unnamed one (which
// even SIGKILL leaves nowhere).
TEST_F(WholeFileTest, AWriterEndedByASignalLeavesOnlyTheOldFile)
{
    struct Case {
        const char* way;
        int signal;
    };
    for (const Case c : {Case{"named", SIGTERM}, Case{"named", SIGQUIT}, Case{"unnamed", SIGKILL}}) {
        Use(c.way);
        std::ofstream(Path("big.csv")) << "old";
        const pid_t pid = ::fork();
        if (pid == 0) {
            const rlimit noCore{0, 0};  // SIGQUIT would leave a core file
            ::setrlimit(RLIMIT_CORE, &noCore);
            RemoveUnfinishedFilesOnSignal();
            ::setenv("VOCALUME_TEST_PAUSE_WRITE", "1", 1);
            WriteFileWhole(Path("big.csv"), std::string(1 << 20, 'x'));
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, WUNTRACED), pid);
        ASSERT_TRUE(WIFSTOPPED(status)) << "the writer stops at its pause point";
        EXPECT_EQ(Entries().size(), std::string(c.way) == "named" ? 2u : 1u) << c.way;
        ::kill(pid, c.signal);
        ::kill(pid, SIGCONT);
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << c.way << " status " << status;
        EXPECT_EQ(Entries(), std::set<std::string>{"big.csv"}) << c.way << " " << c.signal;
        EXPECT_EQ(Read(Path("big.csv")), "old");
    }
}

}  // namespace
}  // namespace vocalume
