#include "measure/log_writer.h"

#include "child_process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

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

#ifndef _WIN32
// A device or pipe (a log to /dev/stdout, /dev/full) is no file two writers could tear: nobody is kept out of it.
TEST(LogFileDevice, IsNotLockedAgainstOtherWriters)
{
    LogFile first;
    ASSERT_TRUE(first.open("/dev/null"));
    LogFile second;
    EXPECT_TRUE(second.open("/dev/null"));
    EXPECT_FALSE(second.failure().otherWriter);
}
#endif

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

TEST_F(LogWriterTest, MissingFolderIsRetriedOncePerTickWhileItsLinesWait)
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
    EXPECT_EQ(w.waitingLines(), 2u);

    w.tick(); // tried, and the waiting lines go first
    EXPECT_FALSE(w.failing());
    EXPECT_EQ(w.waitingLines(), 0u);
    w.writeLine(path, "3;\r\n");
    w.close();
    EXPECT_EQ(contents(path), "1;\r\n2;\r\n3;\r\n");
    EXPECT_EQ(w.droppedLines(), 0u);
}

// A stop that cannot write leaves the lines waiting for the front end to rescue; one that does not rescue them
// has them written first at the next start.
TEST_F(LogWriterTest, StopClearsTheErrorAndStartTriesAtOnce)
{
    const std::string path = (dir_ / "missing" / "pomiary.csv").string();
    LogWriter w;
    w.setActive(true);
    w.writeLine(path, "1;\r\n");
    ASSERT_TRUE(w.failing());
    w.setActive(false);
    EXPECT_FALSE(w.failing());
    EXPECT_EQ(w.waitingLines(), 1u);
    fs::create_directories(dir_ / "missing");
    w.setActive(true);
    w.writeLine(path, "2;\r\n");
    w.close();
    EXPECT_FALSE(w.failing());
    EXPECT_EQ(contents(path), "1;\r\n2;\r\n");
}

// The lines handed to a writer by the tests below: fixed width, so that a line cut in two or glued to another
// shows.
std::string numberedLine(int n) { return std::to_string(1000 + n) + ";\r\n"; }

// The numbers of a file written with numberedLine(); a line of any other form fails the test.
std::vector<int> lineNumbers(const std::string &path)
{
    std::vector<int> numbers;
    std::ifstream in(path, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        if (line.size() != 6 || line.substr(4) != ";\r") {
            ADD_FAILURE() << "malformed line '" << line << "' in " << path;
            continue;
        }
        numbers.push_back(std::stoi(line.substr(0, 4)) - 1000);
    }
    return numbers;
}

std::vector<int> numbersFrom(int first, int end)
{
    std::vector<int> numbers;
    for (int n = first; n < end; ++n)
        numbers.push_back(n);
    return numbers;
}

// Lines beyond either bound of the backlog are dropped and counted; the oldest are kept, in order.
struct BoundCase {
    const char *name;
    std::size_t lines;
    std::size_t bytes;
};

class LogBacklogBoundTest : public LogWriterTest, public ::testing::WithParamInterface<BoundCase> {};

TEST_P(LogBacklogBoundTest, FullBacklogKeepsTheOldestAndCountsTheRest)
{
    const std::string path = (dir_ / "missing" / "pomiary.csv").string();
    LogWriter w(LogWriter::kDefaultBufferSize, GetParam().lines, GetParam().bytes);
    w.setActive(true);
    for (int n = 0; n < 8; ++n)
        w.writeLine(path, numberedLine(n));
    EXPECT_EQ(w.waitingLines(), 5u);
    EXPECT_EQ(w.droppedLines(), 3u);
    fs::create_directories(dir_ / "missing");
    w.tick();
    for (int n = 8; n < 10; ++n)
        w.writeLine(path, numberedLine(n));
    w.close();
    EXPECT_EQ(lineNumbers(path), (std::vector<int>{0, 1, 2, 3, 4, 8, 9}));
    EXPECT_EQ(w.droppedLines(), 3u);
}

INSTANTIATE_TEST_SUITE_P(Bounds, LogBacklogBoundTest,
                         ::testing::Values(BoundCase{"Lines", 5, 1 << 20}, BoundCase{"Bytes", 1000, 5 * 7}),
                         [](const auto &row) { return std::string(row.param.name); });

// At stop the file is tried once more; what it still cannot take goes to a recovery file beside it, else to
// the first other folder that takes it, else it is counted as lost.
struct RescueCase {
    const char *name;
    bool folderExists;     // the log's folder (then the log path itself is a folder, which no file can open)
    bool folderBackAtStop; // created between the last tick and the stop: the stop's own try succeeds
    int otherFolder;       // which of the two other folders exists: 0 none, 1 the first, 2 the second
    const char *expected;  // "log", "beside", "other" or "none"
};

class LogRescueTest : public LogWriterTest, public ::testing::WithParamInterface<RescueCase> {};

TEST_P(LogRescueTest, StopTriesOnceMoreThenSavesTheBacklogElsewhere)
{
    const RescueCase &c = GetParam();
    const fs::path folder = dir_ / "logs";
    const std::string path = (folder / "pomiary.csv").string();
    if (c.folderExists)
        fs::create_directories(path);
    const std::vector<fs::path> others{dir_ / "documents", dir_ / "home"};
    if (c.otherFolder > 0)
        fs::create_directories(others[std::size_t(c.otherFolder - 1)]);

    LogWriter w;
    w.setActive(true);
    for (int n = 0; n < 3; ++n)
        w.writeLine(path, numberedLine(n));
    w.tick();
    if (c.folderBackAtStop)
        fs::create_directories(folder);
    const bool written = w.close();
    EXPECT_EQ(written, std::string(c.expected) == "log");
    const LogWriter::Rescue rescue = w.saveBacklog({others[0].string(), others[1].string()});

    std::string expectedPath;
    if (std::string(c.expected) == "beside")
        expectedPath = (folder / "pomiary.recovered.csv").string();
    else if (std::string(c.expected) == "other")
        expectedPath = others[std::size_t(c.otherFolder - 1)].string() + "/pomiary.recovered.csv";
    EXPECT_EQ(rescue.path, expectedPath);
    EXPECT_EQ(rescue.lines, written ? 0u : 3u);
    if (std::string(c.expected) != "none") {
        EXPECT_EQ(lineNumbers(written ? path : expectedPath), numbersFrom(0, 3));
    }
    EXPECT_EQ(w.droppedLines(), std::string(c.expected) == "none" ? 3u : 0u);
    EXPECT_EQ(w.waitingLines(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Stops, LogRescueTest,
                         ::testing::Values(RescueCase{"FileBackAtStop", false, true, 0, "log"},
                                           RescueCase{"BesideTheLog", true, false, 1, "beside"},
                                           RescueCase{"FolderGone", false, false, 2, "other"},
                                           RescueCase{"Nowhere", false, false, 0, "none"}),
                         [](const auto &row) { return std::string(row.param.name); });

// Another program writing the file is no passing fault: lines handed over while the file is refused are lost,
// never added after that program's lines; lines already waiting from an earlier fault keep waiting, for the file
// once it is free again, else for the recovery file at stop.
class LogRefusedTest : public LogWriterTest, public ::testing::WithParamInterface<bool> {};

TEST_P(LogRefusedTest, LinesDuringTheRefusalAreLostAndEarlierOnesWait)
{
    const bool freedBeforeStop = GetParam();
    const fs::path folder = dir_ / "logs";
    const std::string path = (folder / "pomiary.csv").string();
    LogWriter w;
    w.setActive(true);
    w.writeLine(path, numberedLine(0)); // the folder is missing: both wait
    w.writeLine(path, numberedLine(1));
    fs::create_directories(folder);
    LogFile other;
    ASSERT_TRUE(other.open(path));
    ASSERT_EQ(other.write(numberedLine(100).data(), 7), 7u);
    other.close(); // keeps its lock, as a logging program does between its seconds
    w.tick();
    for (int n = 2; n < 4; ++n)
        w.writeLine(path, numberedLine(n));
    w.tick();
    EXPECT_TRUE(w.failing());
    EXPECT_TRUE(w.file().failure().otherWriter);
    EXPECT_EQ(w.waitingLines(), 2u);
    EXPECT_EQ(w.droppedLines(), 2u);

    if (freedBeforeStop) {
        other.unlock();
        w.tick();
        EXPECT_FALSE(w.failing());
        w.writeLine(path, numberedLine(4));
    }
    EXPECT_EQ(w.close(), freedBeforeStop);
    const LogWriter::Rescue rescue = w.saveBacklog({});
    if (freedBeforeStop) {
        EXPECT_EQ(lineNumbers(path), (std::vector<int>{100, 0, 1, 4}));
        EXPECT_EQ(rescue.lines, 0u);
    } else {
        EXPECT_EQ(lineNumbers(path), std::vector<int>{100});
        EXPECT_EQ(rescue.path, LogWriter::recoveryPath(path));
        EXPECT_EQ(lineNumbers(rescue.path), numbersFrom(0, 2));
    }
    EXPECT_EQ(w.droppedLines(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Stops, LogRefusedTest, ::testing::Bool(),
                         [](const auto &row) { return std::string(row.param ? "FreedBeforeStop" : "StillRefused"); });

TEST(LogRecoveryPath, InsertsBeforeTheExtensionOfTheNameOnly)
{
    EXPECT_EQ(LogWriter::recoveryPath("pomiary.csv"), "pomiary.recovered.csv");
    EXPECT_EQ(LogWriter::recoveryPath("/data/a.b/log"), "/data/a.b/log.recovered");
    EXPECT_EQ(LogWriter::recoveryPath("/data/.csv"), "/data/.csv.recovered");
    EXPECT_EQ(LogWriter::recoveryPath("/data/x.tar.csv"), "/data/x.tar.recovered.csv");
}

// Deleting the open log file, moving or deleting its folder, a file-size limit. On Linux only: Wine reports
// neither a pending delete nor a link count of 0 for an open file, and Windows refuses to move or remove a
// folder that holds one.
#ifndef _WIN32
// The user deletes the log file while it is open: the lines not yet known to be safe go to a new file at the
// path at the next tick.
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
    EXPECT_EQ(contents(path_), "3;\r\n4;\r\n");
    w.writeLine(path_, "5;\r\n");
    w.close();
    EXPECT_EQ(contents(path_), "3;\r\n4;\r\n5;\r\n");
    EXPECT_EQ(w.droppedLines(), 0u);
}

// With a one-byte buffer every line is written at once, so lines do go into the deleted file: each one written
// since the last tick that still found the file's name is written again into the new one.
TEST_F(LogWriterTest, LinesWrittenIntoADeletedFileAreWrittenAgain)
{
    LogWriter w(1);
    w.setActive(true);
    w.writeLine(path_, "1;\r\n");
    w.tick();                     // the name is still there: line 1 is safe
    w.writeLine(path_, "2;\r\n"); // closes
    w.writeLine(path_, "3;\r\n"); // opens again
    fs::remove(path_);
    w.writeLine(path_, "4;\r\n");
    EXPECT_FALSE(fs::exists(path_)) << "noticed only at the tick";
    w.tick();
    w.writeLine(path_, "5;\r\n");
    w.close();
    EXPECT_EQ(contents(path_), "3;\r\n4;\r\n5;\r\n");
    EXPECT_EQ(w.droppedLines(), 0u);
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

TEST_F(LogWriterTest, DiskFullKeepsTheLinesUntilTheFileIsWritable)
{
    // The log path first leads to a device that is always full, later to an ordinary file.
    fs::create_symlink("/dev/full", path_);
    LogWriter w;
    w.setActive(true);
    w.writeLine(path_, "1;\r\n");
    w.writeLine(path_, "2;\r\n");
    w.tick(); // the collected lines meet the full disk
    EXPECT_TRUE(w.failing());
    EXPECT_FALSE(w.isOpen());
    EXPECT_TRUE(w.active());
    w.writeLine(path_, "3;\r\n"); // not tried before the next tick

    fs::remove(path_);
    w.tick();
    EXPECT_FALSE(w.failing());
    w.writeLine(path_, "4;\r\n");
    w.close();
    EXPECT_EQ(contents(path_), "1;\r\n2;\r\n3;\r\n4;\r\n");
    EXPECT_EQ(w.droppedLines(), 0u);
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
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }

private:
    rlimit saved_{};
    void (*previous_)(int) = SIG_DFL;
};

// The log path stops taking lines for a few ticks and comes back: every line handed over reaches a file once,
// in order, the lines of the outage after the ones before it.
struct Outage {
    const char *name;
    void (*cut)(const fs::path &folder, const fs::path &file);
    void (*mend)(const fs::path &folder, const fs::path &file);
};

std::optional<FileSizeLimit> sizeLimit;

const Outage kOutages[] = {
    // The lines written before the move stay in the moved file; the open descriptor follows it.
    {"FolderMovedAway", [](const fs::path &folder, const fs::path &) { fs::rename(folder, folder.string() + ".away"); },
     [](const fs::path &folder, const fs::path &) { fs::create_directories(folder); }},
    {"FolderDeleted", [](const fs::path &folder, const fs::path &) { fs::remove_all(folder); },
     [](const fs::path &folder, const fs::path &) { fs::create_directories(folder); }},
    // The limit falls in the middle of the second line after the ones already in the file.
    {"FileSizeLimit", [](const fs::path &, const fs::path &file) { sizeLimit.emplace(fs::file_size(file) + 10); },
     [](const fs::path &, const fs::path &) { sizeLimit.reset(); }},
};

class LogOutageTest : public LogWriterTest, public ::testing::WithParamInterface<Outage> {};

TEST_P(LogOutageTest, EveryLineArrivesOnceInOrderAfterTheOutage)
{
    const fs::path folder = dir_ / "logs";
    const fs::path file = folder / "pomiary.csv";
    fs::create_directories(folder);
    LogWriter w;
    w.setActive(true);
    int handed = 0;
    auto hand = [&](int count) {
        for (int i = 0; i < count; ++i)
            w.writeLine(file.string(), numberedLine(handed++));
    };
    auto fileSize = [&] { return fs::exists(file) ? fs::file_size(file) : 0; };

    hand(25);
    w.tick();
    hand(25); // collected, not yet written
    GetParam().cut(folder, file);
    const int firstAfterCut = handed;
    // A moved folder shows only when the file is opened again, after the next tick.
    for (int tick = 0; tick < 2; ++tick) {
        hand(5);
        w.tick();
    }
    EXPECT_TRUE(w.failing());
    for (int tick = 0; tick < 3; ++tick) {
        const std::uint64_t waiting = w.waitingLines();
        hand(20);
        w.tick();
        EXPECT_TRUE(w.failing());
        EXPECT_EQ(w.waitingLines(), waiting + 20);
    }
    GetParam().mend(folder, file);
    const auto sizeAtMend = fileSize();
    hand(1);
    EXPECT_EQ(fileSize(), sizeAtMend) << "tried again before the next tick";
    w.tick();
    EXPECT_FALSE(w.failing());
    EXPECT_EQ(w.waitingLines(), 0u);
    hand(10);
    w.close();
    EXPECT_EQ(w.droppedLines(), 0u);

    std::vector<int> numbers = lineNumbers(fs::path(folder.string() + ".away").append("pomiary.csv").string());
    const std::vector<int> inFile = lineNumbers(file.string());
    numbers.insert(numbers.end(), inFile.begin(), inFile.end());
    if (std::string(GetParam().name) == "FolderDeleted") {
        // What was in the file when it was deleted is gone with it; from there on nothing is missing.
        ASSERT_FALSE(numbers.empty());
        EXPECT_LE(numbers.front(), firstAfterCut);
        EXPECT_EQ(numbers, numbersFrom(numbers.front(), handed));
    } else {
        EXPECT_EQ(numbers, numbersFrom(0, handed));
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, LogOutageTest, ::testing::ValuesIn(kOutages),
                         [](const auto &row) { return std::string(row.param.name); });

// A line cut by a full disk that is still full at the stop goes whole into the recovery file, and its start is
// cut off the log file again: the file ends in a whole line, and the next run's first line follows it.
TEST_F(LogWriterTest, CutLineRescuedAtStopIsCutOffTheLogFile)
{
    LogWriter w;
    w.setActive(true);
    {
        FileSizeLimit limit(10);
        w.writeLine(path_, "first;\r\n");  // 8 bytes fit
        w.writeLine(path_, "second;\r\n"); // cut after 2 bytes
        w.tick();
        EXPECT_TRUE(w.failing());
        w.setActive(false);
        EXPECT_EQ(w.saveBacklog({}).path, (dir_ / "pomiary.recovered.csv").string());
    }
    w.setActive(true);
    w.writeLine(path_, "third;\r\n");
    w.close();
    EXPECT_EQ(contents(path_), "first;\r\nthird;\r\n");
    EXPECT_EQ(contents((dir_ / "pomiary.recovered.csv").string()), "second;\r\n");
}

// A recovery file that takes only part of the lines is put back as it was; the next folder takes them all.
TEST_F(LogWriterTest, RecoveryFileTakesAllTheLinesOrNone)
{
    const fs::path folder = dir_ / "logs";
    const std::string path = (folder / "pomiary.csv").string();
    const fs::path other = dir_ / "home";
    fs::create_directories(other);
    LogWriter w;
    w.setActive(true);
    for (const char *line : {"first;\r\n", "second;\r\n", "third;\r\n"})
        w.writeLine(path, line); // the folder is missing: all three wait
    fs::create_directories(folder);
    fs::create_directories(path); // the log path is a folder now, but its own folder can take a recovery file
    const std::string beside = (folder / "pomiary.recovered.csv").string();
    std::ofstream(beside, std::ios::binary) << "earlier;\r\n"; // 10 bytes
    EXPECT_FALSE(w.close());
    LogWriter::Rescue rescue;
    {
        FileSizeLimit limit(30); // the recovery file beside takes 20 more bytes, not 25; a new one takes them
        rescue = w.saveBacklog({other.string()});
    }
    EXPECT_EQ(contents(beside), "earlier;\r\n");
    // Where not even a new file takes them all, none is left behind, and the one beside stays as it was.
    fs::create_directories(dir_ / "second");
    LogWriter tooLong;
    tooLong.setActive(true);
    for (int n = 0; n < 10; ++n)
        tooLong.writeLine(path, "a line that will not fit;\r\n");
    EXPECT_FALSE(tooLong.close());
    {
        FileSizeLimit limit(30);
        EXPECT_EQ(tooLong.saveBacklog({(dir_ / "second").string()}).path, "");
    }
    EXPECT_EQ(tooLong.droppedLines(), 10u);
    EXPECT_EQ(contents(beside), "earlier;\r\n");
    EXPECT_FALSE(fs::exists(dir_ / "second" / "pomiary.recovered.csv"));
    EXPECT_EQ(rescue.path, (other / "pomiary.recovered.csv").string());
    EXPECT_EQ(rescue.lines, 3u);
    EXPECT_EQ(contents(rescue.path), "first;\r\nsecond;\r\nthird;\r\n");
}

// A device takes no recovery file beside it (/dev/full.recovered): the other folders do.
TEST_F(LogWriterTest, NoRecoveryFileBesideADevice)
{
    LogWriter w;
    w.setActive(true);
    w.writeLine("/dev/full", "first;\r\n");
    EXPECT_FALSE(w.close());
    const LogWriter::Rescue rescue = w.saveBacklog({dir_.string()});
    EXPECT_EQ(rescue.path, (dir_ / "full.recovered").string());
    EXPECT_EQ(contents(rescue.path), "first;\r\n");
    EXPECT_FALSE(fs::exists("/dev/full.recovered"));
    std::error_code ec;
    fs::remove("/dev/full.recovered", ec);
}
#endif

// A file that ends in a part line (a crash, another program) gets a line end before the first line is added,
// so that no line is ever glued to another.
TEST_F(LogWriterTest, LinesAddedAfterAPartLineStartOnALineOfTheirOwn)
{
    std::ofstream(path_, std::ios::binary) << "old;\r\nhalf";
    LogWriter w;
    w.setActive(true);
    w.writeLine(path_, "1;\r\n");
    w.tick();
    w.writeLine(path_, "2;\r\n"); // reopened: ends in a whole line now, nothing more added
    w.close();
    EXPECT_EQ(contents(path_), "old;\r\nhalf\r\n1;\r\n2;\r\n");
}

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
