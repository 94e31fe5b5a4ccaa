// The file a run writes its lines into, on a disk that fills up: a write that
// fails leaves the file ending at its last whole line.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <string>

#include "TestSupport.h"
#include "Unithread.h"

namespace teebasket {
namespace {

// Runs `body` in a child process whose files may grow to `maxFileBytes` only
// (a full disk, as far as the child can tell); returns the child's exit code.
template <typename Body>
int InChildWithFileLimit(rlim_t maxFileBytes, Body body) {
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);  // a write over the limit fails with EFBIG instead
        const rlimit limit{maxFileBytes, maxFileBytes};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(JournalFile, AWriteThatFailsCutsTheFileBackToItsLastWholeLine) {
    test::TempDir dir;
    const std::filesystem::path path = dir.path() / "out.csv";
    const std::string line(300, 'x');
    // Three lines of 302 bytes fit in 1000 bytes; the fourth is torn.
    const int code = InChildWithFileLimit(1000, [&] {
        JournalFile file;
        if (file.Open(path, {}) != 0) {
            return 10;
        }
        int written = 0;
        int error = 0;
        while (written < 10 && (error = file.WriteLine(line)) == 0) {
            ++written;
        }
        if (written != 3 || error != EFBIG || file.IsOpen()) {
            return 11;
        }
        // Later lines are refused, and the file stays as it was cut.
        return file.WriteLine("y") != 0 && file.Close() == 0 ? 0 : 12;
    });
    ASSERT_EQ(code, 0);
    EXPECT_EQ(test::ReadFileBytes(path), line + "\r\n" + line + "\r\n" + line + "\r\n");
}

TEST(JournalFile, FinishForExitLeavesWholeLinesAndRefusesMore) {
    test::TempDir dir;
    const std::filesystem::path path = dir.path() / "out.csv";
    JournalFile file;
    ASSERT_EQ(file.Open(path, {}), 0);
    ASSERT_EQ(file.WriteLine("one"), 0);
    file.FinishForExit(std::chrono::milliseconds(100));
    EXPECT_NE(file.WriteLine("two"), 0);
    EXPECT_EQ(test::ReadFileBytes(path), "one\r\n");
    EXPECT_EQ(file.WholeLineBytes(), 5u);
}

TEST(JournalFile, AddsToAnEarlierFileAndCutsBackNoFurtherThanItsEnd) {
    test::TempDir dir;
    const std::filesystem::path path = dir.path() / "out.csv";
    const std::string earlier = "header\r\n" + std::string(300, 'e') + "\r\n";
    test::WriteFileBytes(path, earlier);
    const std::string line(300, 'x');
    // The earlier 310 bytes, two new lines of 302; the third is torn.
    const int code = InChildWithFileLimit(1000, [&] {
        JournalFile file;
        if (file.Open(path, {OutputOpening::AppendExisting, true}) != 0 ||
            file.WholeLineBytes() != earlier.size()) {
            return 10;
        }
        int written = 0;
        while (written < 10 && file.WriteLine(line) == 0) {
            ++written;
        }
        return written == 2 && !file.IsOpen() ? 0 : 11;
    });
    ASSERT_EQ(code, 0);
    EXPECT_EQ(test::ReadFileBytes(path), earlier + line + "\r\n" + line + "\r\n");

    // A write that fails at once leaves the earlier file whole.
    test::WriteFileBytes(path, earlier);
    ASSERT_EQ(InChildWithFileLimit(earlier.size() + 10,
                                   [&] {
                                       JournalFile file;
                                       return file.Open(path, {OutputOpening::AppendExisting}) ==
                                                          0 &&
                                                      file.WriteLine(line) != 0
                                                  ? 0
                                                  : 12;
                                   }),
              0);
    EXPECT_EQ(test::ReadFileBytes(path), earlier);
}

}  // namespace
}  // namespace teebasket
