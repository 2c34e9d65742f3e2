#include "measure/log_writer.h"

#include "child_process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <sys/resource.h>
#endif

namespace torvex {
namespace {

namespace fs = std::filesystem;

class LogWriterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() / (std::string("torvex_log_") + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        path_ = (dir_ / "pomiary.csv").string();
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    static std::string contents(const std::string &path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    fs::path dir_;
    std::string path_;
};

TEST_F(LogWriterTest, WritesNothingWhileOff)
{
    LogWriter w;
    w.writeLine(path_, "1;\r\n");
    w.tick();
    w.close();
    EXPECT_FALSE(fs::exists(path_));
}

TEST_F(LogWriterTest, AppendsToExistingContentAndAfterRestart)
{
    {
        std::ofstream(path_, std::ios::binary) << "old;\r\n";
    }
    LogWriter w;
    w.setActive(true);
    w.writeLine(path_, "1;\r\n");
    w.writeLine(path_, "2;\r\n");
    w.setActive(false); // stop puts the lines into the file and closes it
    EXPECT_FALSE(w.isOpen());
    EXPECT_EQ(contents(path_), "old;\r\n1;\r\n2;\r\n");

    w.writeLine(path_, "dropped;\r\n");
    w.setActive(true);
    w.writeLine(path_, "3;\r\n");
    w.close();
    EXPECT_EQ(contents(path_), "old;\r\n1;\r\n2;\r\n3;\r\n");
}

TEST_F(LogWriterTest, LineAfterTickClosesAndNextLineReopens)
{
    LogWriter w;
    w.setActive(true);
    w.writeLine(path_, "1;\r\n");
    EXPECT_TRUE(w.isOpen());
    w.tick();
    w.writeLine(path_, "2;\r\n");
    EXPECT_FALSE(w.isOpen());
    EXPECT_EQ(contents(path_), "1;\r\n2;\r\n");
    w.writeLine(path_, "3;\r\n");
    EXPECT_TRUE(w.isOpen());
    w.close();
    EXPECT_EQ(contents(path_), "1;\r\n2;\r\n3;\r\n");
}

// The file is closed every second, but no other writer gets in between: only a stop lets one in.
TEST_F(LogWriterTest, OtherWritersAreKeptOutFromStartToStop)
{
    LogWriter w;
    w.setActive(true);
    ASSERT_TRUE(w.open(path_));
    LogFile other;
    EXPECT_FALSE(other.open(path_));
    w.writeLine(path_, "1;\r\n");
    w.tick();
    w.tick(); // a quiet file is closed
    ASSERT_FALSE(w.isOpen());
    EXPECT_FALSE(other.open(path_));
    w.setActive(false);
    EXPECT_TRUE(other.open(path_));
}

TEST_F(LogWriterTest, TickAloneBringsBufferedLinesToDiskAndClosesAQuietFile)
{
    LogWriter w;
    w.setActive(true);
    w.tick(); // close request pending from before the first line, as at 1 kHz right after a start
    w.writeLine(path_, "1;\r\n");
    w.writeLine(path_, "2;\r\n");
    w.writeLine(path_, "3;\r\n");
    // The instrument falls silent: no line follows.
    w.tick();
    EXPECT_EQ(contents(path_), "1;\r\n2;\r\n3;\r\n");
    EXPECT_TRUE(w.isOpen());
    w.tick();
    EXPECT_FALSE(w.isOpen());
    EXPECT_EQ(contents(path_), "1;\r\n2;\r\n3;\r\n");
}

TEST_F(LogWriterTest, FullBufferGoesToTheFileWithoutLosingLines)
{
    LogWriter w(16);
    w.setActive(true);
    std::string expected;
    for (int i = 0; i < 20; ++i) {
        const std::string line = std::to_string(1000 + i) + ";\r\n"; // 7 bytes: two fit, the third spills
        expected += line;
        w.writeLine(path_, line);
    }
    w.writeLine(path_, "a line longer than the whole buffer;\r\n");
    expected += "a line longer than the whole buffer;\r\n";
    w.close();
    EXPECT_EQ(contents(path_), expected);
    EXPECT_EQ(w.droppedLines(), 0u);
}

TEST_F(LogWriterTest, MissingFolderFailsRetriesOncePerTickAndRecovers)
{
    const std::string path = (dir_ / "missing" / "pomiary.csv").string();
    LogWriter w;
    w.setActive(true);
    w.writeLine(path, "1;\r\n");
    EXPECT_TRUE(w.failing());
    EXPECT_TRUE(w.active());
    EXPECT_FALSE(w.isOpen());

    fs::create_directories(dir_ / "missing");
    w.writeLine(path, "2;\r\n"); // no new attempt before the next tick
    EXPECT_FALSE(fs::exists(path));
    EXPECT_TRUE(w.failing());

    w.tick();
    w.writeLine(path, "3;\r\n");
    EXPECT_FALSE(w.failing());
    w.writeLine(path, "4;\r\n");
    w.close();
    EXPECT_EQ(contents(path), "3;\r\n4;\r\n");
    EXPECT_EQ(w.droppedLines(), 2u);
}

TEST_F(LogWriterTest, StopClearsTheErrorAndStartTriesAtOnce)
{
    const std::string path = (dir_ / "missing" / "pomiary.csv").string();
    LogWriter w;
    w.setActive(true);
    w.writeLine(path, "1;\r\n");
    ASSERT_TRUE(w.failing());
    w.setActive(false);
    EXPECT_FALSE(w.failing());
    fs::create_directories(dir_ / "missing");
    w.setActive(true);
    w.writeLine(path, "2;\r\n");
    w.close();
    EXPECT_FALSE(w.failing());
    EXPECT_EQ(contents(path), "2;\r\n");
}

// Deleting the open log file. On Linux only: Wine reports neither a pending delete nor a link count of 0 for an
// open file, and Windows refuses to remove a folder that holds one.
#ifndef _WIN32
// The user deletes the log file while it is open: the lines still buffered go to a new file at the path, and
// the deletion shows as a write failure until a line reaches the new file.
TEST_F(LogWriterTest, FileDeletedWhileOpenIsReopenedAtItsPath)
{
    LogWriter w;
    w.setActive(true);
    w.writeLine(path_, "1;\r\n");
    w.tick();
    w.writeLine(path_, "2;\r\n"); // closes after the tick
    w.writeLine(path_, "3;\r\n"); // opens again
    ASSERT_TRUE(w.isOpen());
    fs::remove(path_);
    w.writeLine(path_, "4;\r\n");
    w.tick();
    EXPECT_TRUE(w.failing());
    EXPECT_EQ(contents(path_), "3;\r\n4;\r\n");
    w.writeLine(path_, "5;\r\n");
    EXPECT_FALSE(w.failing());
    w.close();
    EXPECT_EQ(contents(path_), "3;\r\n4;\r\n5;\r\n");
    EXPECT_EQ(w.droppedLines(), 0u);
}

// With a one-byte buffer every line is written at once, so lines do go into the deleted file: each one written
// since the last tick that still found the file's name is counted as lost.
TEST_F(LogWriterTest, LinesWrittenIntoADeletedFileAreCountedAsLost)
{
    LogWriter w(1);
    w.setActive(true);
    w.writeLine(path_, "1;\r\n");
    w.tick();                     // the name is still there: line 1 is safe
    w.writeLine(path_, "2;\r\n"); // closes
    w.writeLine(path_, "3;\r\n"); // opens again
    fs::remove(path_);
    w.writeLine(path_, "4;\r\n");
    EXPECT_FALSE(w.failing()) << "noticed only at the tick";
    w.tick();
    EXPECT_TRUE(w.failing());
    EXPECT_EQ(w.droppedLines(), 2u);
    w.writeLine(path_, "5;\r\n");
    EXPECT_FALSE(w.failing());
    w.close();
    EXPECT_EQ(contents(path_), "5;\r\n");
}

TEST_F(LogWriterTest, DeletedFolderFailsUntilItIsBack)
{
    const fs::path folder = dir_ / "logs";
    fs::create_directories(folder);
    const std::string path = (folder / "pomiary.csv").string();
    LogWriter w;
    w.setActive(true);
    w.writeLine(path, "1;\r\n");
    fs::remove_all(folder);
    w.writeLine(path, "2;\r\n");
    w.tick(); // lines 1 and 2 were still buffered: no new file can take them
    EXPECT_TRUE(w.failing());
    EXPECT_FALSE(w.isOpen());
    EXPECT_EQ(w.droppedLines(), 2u);
    w.writeLine(path, "3;\r\n"); // not tried before the next tick
    w.tick();
    w.writeLine(path, "4;\r\n"); // tried, the folder is still missing
    EXPECT_TRUE(w.failing());
    EXPECT_EQ(w.droppedLines(), 4u);

    fs::create_directories(folder);
    w.tick();
    w.writeLine(path, "5;\r\n");
    EXPECT_FALSE(w.failing());
    w.close();
    EXPECT_EQ(contents(path), "5;\r\n");
}

TEST_F(LogWriterTest, StopAfterTheFileWasDeletedPutsTheBufferedLinesIntoANewFile)
{
    LogWriter w;
    w.setActive(true);
    w.writeLine(path_, "1;\r\n");
    fs::remove(path_);
    w.writeLine(path_, "2;\r\n");
    w.setActive(false);
    EXPECT_EQ(contents(path_), "1;\r\n2;\r\n");
    EXPECT_EQ(w.droppedLines(), 0u);
}

TEST_F(LogWriterTest, DiskFullFailsWithoutCrashAndRecoversWhenWritable)
{
    // The log path first leads to a device that is always full, later to an ordinary file.
    fs::create_symlink("/dev/full", path_);
    LogWriter w;
    w.setActive(true);
    w.writeLine(path_, "1;\r\n");
    w.writeLine(path_, "2;\r\n");
    w.tick(); // the buffered lines meet the full disk
    EXPECT_TRUE(w.failing());
    EXPECT_FALSE(w.isOpen());
    EXPECT_TRUE(w.active());
    w.tick();
    w.writeLine(path_, "3;\r\n"); // reopened, still full: the error stays, the handle is dropped again
    EXPECT_TRUE(w.failing());
    EXPECT_FALSE(w.isOpen());

    fs::remove(path_);
    w.writeLine(path_, "4;\r\n"); // before the next tick: not tried
    EXPECT_FALSE(fs::exists(path_));
    w.tick();
    w.writeLine(path_, "5;\r\n");
    EXPECT_FALSE(w.failing());
    w.close();
    EXPECT_EQ(contents(path_), "5;\r\n");
    EXPECT_EQ(w.droppedLines(), 4u);
}

// A file-size limit stands in for a disk that fills up in the middle of a line.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { lift(); }
    void lift()
    {
        if (lifted_)
            return;
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
        lifted_ = true;
    }

private:
    rlimit saved_{};
    void (*previous_)(int) = SIG_DFL;
    bool lifted_ = false;
};

TEST_F(LogWriterTest, LineCutByFullDiskIsEndedBeforeTheNextOne)
{
    LogWriter w;
    w.setActive(true);
    {
        FileSizeLimit limit(10);
        w.writeLine(path_, "first;\r\n");  // 8 bytes fit
        w.writeLine(path_, "second;\r\n"); // cut after 2 bytes
        w.tick();
        EXPECT_TRUE(w.failing());
    }
    w.tick();
    w.writeLine(path_, "third;\r\n");
    w.close();
    EXPECT_FALSE(w.failing());
    EXPECT_EQ(contents(path_), "first;\r\nse\r\nthird;\r\n");
    EXPECT_EQ(w.droppedLines(), 1u);
}
#endif

constexpr char kHoldLogFile[] = "TORVEX_TEST_HOLD_LOG_FILE";

// The child: writes one line into the log file and closes it, keeping the writer's lock as a logging program
// does between its closes.
const int logFileChild = childRole(kHoldLogFile, [](const std::string &path) {
    auto *file = new LogFile;
    if (!file->open(path) || file->write("child;\r\n", 8) != 8 || !file->close())
        std::_Exit(2);
});

std::string programName()
{
#ifdef _WIN32
    wchar_t module[MAX_PATH];
    return fs::path(std::wstring(module, GetModuleFileNameW(nullptr, module, MAX_PATH))).stem().string();
#else
    return fs::read_symlink("/proc/self/exe").filename().string().substr(0, 15); // as the kernel keeps it
#endif
}

// The lock of LogFile between processes; the writer keeps it from start to stop.
using LogFileLock = LogWriterTest;

// Refused while the child lives, with the child named; readers are not stopped; once the child is killed its
// lock is gone with it.
TEST_F(LogFileLock, AnotherProcessIsRefusedUntilItIsKilled)
{
    ChildProcess child(kHoldLogFile, path_);
    ASSERT_TRUE(child.started());
    ASSERT_TRUE(waitForFile(path_ + ".ready"));

    LogFile file;
    EXPECT_FALSE(file.open(path_));
    EXPECT_FALSE(file.isOpen());
    EXPECT_TRUE(file.failure().otherWriter);
    EXPECT_EQ(file.failure().writer, programName() + ", PID " + std::to_string(child.pid()));
    EXPECT_EQ(contents(path_), "child;\r\n");

    child.kill();
    ASSERT_TRUE(file.open(path_));
    EXPECT_FALSE(file.failure().otherWriter);
    EXPECT_EQ(file.write("parent;\r\n", 9), 9u);
    file.close();
    EXPECT_EQ(contents(path_), "child;\r\nparent;\r\n");
}

} // namespace
} // namespace torvex
