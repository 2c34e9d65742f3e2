#include "settings/profile_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "settings/durable_write.h"
#include "settings/program_settings.h"

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace torvex {
namespace {

namespace fs = std::filesystem;

class ProfileFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = fs::temp_directory_path() / ("torvex-settings-" + std::to_string(std::random_device{}()));
        fs::create_directories(folder_);
        path_ = folder_ / "config.ini";
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }

    void put(const std::string &bytes) const { std::ofstream(path_, std::ios::binary) << bytes; }
    std::string bytes(const fs::path &path = {}) const
    {
        std::ifstream in(path.empty() ? path_ : path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    fs::path folder_;
    fs::path path_;
};

TEST_F(ProfileFileTest, MissingFileReadsDefaultsAndFirstWriteCreatesIt)
{
    ProfileFile file(path_);
    EXPECT_FALSE(ProfileFile::fileExists(path_));
    EXPECT_EQ(file.readText("Options", "FileName", "pomiary.csv"), "pomiary.csv");
    EXPECT_EQ(file.readInteger("Options", "Mod", 1), 1);
    EXPECT_TRUE(file.readBool("Options", "SaveDate", true));
    file.writeInteger("Options", "Mod", -12);
    EXPECT_TRUE(ProfileFile::fileExists(path_));
    EXPECT_EQ(bytes(), "[Options]\r\nMod=-12\r\n");
    EXPECT_EQ(file.readInteger("Options", "Mod", 1), -12);
}

TEST_F(ProfileFileTest, TextIsWindows1250OnDiskAndUtf8InTheProgram)
{
    ProfileFile file(path_);
    file.writeText("Options", "EncName1", "Łódź żółć");
    file.writeText("Options", "EncName2", "日本 \xff"); // not in the code page, and a malformed byte
    EXPECT_EQ(bytes(), "[Options]\r\nEncName1=\xA3\xF3\x64\x9F \xBF\xF3\xB3\xE6\r\nEncName2=?? ?\r\n");
    EXPECT_EQ(file.readText("Options", "EncName1", ""), "Łódź żółć");
    EXPECT_EQ(file.readText("oPTIONS", "encname1", ""), "Łódź żółć");
}

TEST_F(ProfileFileTest, NamesMatchWithoutRegardToPolishLetterCase)
{
    put("[\xA3\xD3\x44\x8F]\r\nK\xA3UCZ=1\r\n"); // "[ŁÓDŹ]", "KŁUCZ=1" in Windows-1250
    ProfileFile file(path_);
    EXPECT_EQ(file.readInteger("łódź", "kłucz", 0), 1);
    file.writeInteger("łódź", "kłucz", 2);
    EXPECT_EQ(bytes(), "[\xA3\xD3\x44\x8F]\r\nK\xA3UCZ=2\r\n"); // the file's spelling stays
}

TEST_F(ProfileFileTest, LongTextIsStoredWholeAndReadBackCut)
{
    ProfileFile file(path_);
    const std::string name(3000, 'n');
    file.writeText("Options", "EncName1", name);
    EXPECT_NE(bytes().find(name), std::string::npos);
    EXPECT_EQ(file.readText("Options", "EncName1", ""), name.substr(0, 2047));
}

TEST_F(ProfileFileTest, UnwritableLocationGivesTheMessageWithTheFullPath)
{
    put("[Options]\r\nMod=1\r\n");
    const fs::path below = path_ / "config.ini"; // a folder that is a regular file cannot hold anything
    ProfileFile file(below);
    try {
        file.writeInteger("Options", "Mod", 2);
        FAIL() << "write below a regular file succeeded";
    } catch (const SettingsError &e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + pathToUtf8(below));
    }
    EXPECT_EQ(bytes(), "[Options]\r\nMod=1\r\n");
}

TEST_F(ProfileFileTest, FolderInPlaceOfTheFileReadsDefaultsAndRefusesWrites)
{
    fs::create_directory(path_);
    ProfileFile file(path_);
    EXPECT_FALSE(ProfileFile::fileExists(path_));
    EXPECT_EQ(file.readInteger("Options", "Mod", 3), 3);
    try {
        file.writeInteger("Options", "Mod", 2);
        FAIL() << "write over a folder succeeded";
    } catch (const SettingsError &e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + pathToUtf8(path_));
    }
    EXPECT_TRUE(fs::is_directory(path_));
}

TEST_F(ProfileFileTest, SuccessfulWriteLeavesNoTemporaryFileBehind)
{
    ProfileFile file(path_);
    for (int i = 0; i < 3; ++i)
        file.writeInteger("Options", "Mod", i);
    int entries = 0;
    for ([[maybe_unused]] const auto &entry : fs::directory_iterator(folder_))
        ++entries;
    EXPECT_EQ(entries, 1);
}

#ifndef _WIN32
// Makes writes past `limit` bytes fail with EFBIG for the lifetime of the object: a real full-disk failure
// that root cannot bypass.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = saved_;
        lowered.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = nullptr;
};

TEST_F(ProfileFileTest, FullDiskLeavesTheOldFileIntact)
{
    const std::string old = "[Options]\r\nMod=1\r\n";
    put(old);
    ProfileFile file(path_);
    {
        FileSizeLimit limit(old.size() + 4);
        EXPECT_THROW(file.writeText("Options", "EncName1", std::string(100, 'x')), SettingsError);
    }
    EXPECT_EQ(bytes(), old);
    int entries = 0;
    for ([[maybe_unused]] const auto &entry : fs::directory_iterator(folder_))
        ++entries;
    EXPECT_EQ(entries, 1) << "temporary file left behind";
}

TEST_F(ProfileFileTest, FailedRewriteInPlacePutsTheOldContentBack)
{
    const std::string old = "[Options]\r\nMod=1\r\n";
    put(old);
    {
        FileSizeLimit limit(old.size() + 4);
        EXPECT_THROW(rewriteFileInPlace(path_, old + std::string(100, 'x'), old), std::system_error);
    }
    EXPECT_EQ(bytes(), old);
}

TEST_F(ProfileFileTest, ReplacementKeepsPermissionsAndLinks)
{
    put("[Options]\r\nMod=1\r\n");
    ASSERT_EQ(chmod(path_.c_str(), 0640), 0);
    const fs::path link = folder_ / "link.ini";
    fs::create_symlink(path_, link);
    ProfileFile(link).writeInteger("Options", "Mod", 2);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(bytes(), "[Options]\r\nMod=2\r\n");
    struct stat st {};
    ASSERT_EQ(stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

// config.ini is a link (or a chain of two) to the real file, which may not exist yet. Writes must go to the
// file at the end of the chain and leave every link as it is.
struct LinkCase {
    const char *name;
    bool relative;     // the first link's target is written relative to the link's folder
    bool twoLinks;     // config.ini -> middle.ini -> the real file
    bool targetExists; // the real file is there before the first write
    bool targetFolder; // the real file's folder exists
};

void PrintTo(const LinkCase &c, std::ostream *os) { *os << c.name; }

class SettingsLinkTest : public ProfileFileTest, public ::testing::WithParamInterface<LinkCase> {};

TEST_P(SettingsLinkTest, WritesGoThroughTheLinks)
{
    const LinkCase &c = GetParam();
    const fs::path realFolder = folder_ / "real";
    const fs::path target = realFolder / "settings.ini";
    if (c.targetFolder)
        fs::create_directories(realFolder);
    if (c.targetExists)
        std::ofstream(target, std::ios::binary) << "[Options]\r\nMod=1\r\n";
    const fs::path link = folder_ / "config.ini";
    const fs::path firstTarget = c.twoLinks ? fs::path("middle.ini")
        : c.relative                        ? fs::path("real/settings.ini")
                                            : target;
    fs::create_symlink(firstTarget, link);
    if (c.twoLinks)
        fs::create_symlink(c.relative ? fs::path("real/settings.ini") : target, folder_ / "middle.ini");

    ProfileFile file(link);
    if (!c.targetFolder) {
        EXPECT_THROW(file.writeInteger("Options", "Mod", 2), SettingsError);
    } else {
        file.writeInteger("Options", "Mod", 2);
        file.writeInteger("Options", "SaveAuto", 1); // the second write finds the file the first one made
    }

    ASSERT_TRUE(fs::is_symlink(link)) << "the link was replaced by a file";
    EXPECT_EQ(fs::read_symlink(link), firstTarget);
    if (c.twoLinks) {
        EXPECT_TRUE(fs::is_symlink(folder_ / "middle.ini"));
    }
    if (c.targetFolder) {
        std::ifstream in(target, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()),
                  "[Options]\r\nMod=2\r\nSaveAuto=1\r\n");
        EXPECT_EQ(file.readInteger("Options", "Mod", 0), 2);
    } else {
        EXPECT_FALSE(fs::exists(target));
    }
}

INSTANTIATE_TEST_SUITE_P(Links, SettingsLinkTest,
                         ::testing::Values(LinkCase{"ToExistingFile", false, false, true, true},
                                           LinkCase{"RelativeToExistingFile", true, false, true, true},
                                           LinkCase{"ToMissingFile", false, false, false, true},
                                           LinkCase{"RelativeToMissingFile", true, false, false, true},
                                           LinkCase{"ChainToMissingFile", false, true, false, true},
                                           LinkCase{"RelativeChainToMissingFile", true, true, false, true},
                                           LinkCase{"ToMissingFolder", false, false, false, false}),
                         [](const auto &param) { return std::string(param.param.name); });

// In a folder shared with others, someone else's link named config.ini must not make the program overwrite a
// file of the user's own: a link is followed only when it is the user's or the folder owner's.
struct PlantedLinkCase {
    const char *name;
    bool linkMine;
    bool folderMine;
    bool followed;
};

class PlantedLinkTest : public ProfileFileTest, public ::testing::WithParamInterface<PlantedLinkCase> {};

TEST_P(PlantedLinkTest, OnlyTheUsersOrTheFolderOwnersLinkIsFollowed)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "a link of another user takes root to make";
    const PlantedLinkCase &c = GetParam();
    constexpr uid_t kOther = 54321;
    const fs::path victim = folder_ / "profile";
    std::ofstream(victim, std::ios::binary) << "secret\n";
    const fs::path shared = folder_ / "shared";
    fs::create_directories(shared);
    const fs::path link = shared / "config.ini";
    fs::create_symlink(victim, link);
    ASSERT_EQ(::lchown(link.c_str(), c.linkMine ? ::geteuid() : kOther, -1), 0);
    ASSERT_EQ(::chown(shared.c_str(), c.folderMine ? ::geteuid() : kOther, -1), 0);

    ProfileFile file(link);
    if (c.followed) {
        file.writeInteger("Options", "Mod", 2);
        EXPECT_EQ(bytes(victim), "secret\n[Options]\nMod=2\n");
    } else {
        EXPECT_THROW(file.writeInteger("Options", "Mod", 2), SettingsError);
        EXPECT_EQ(bytes(victim), "secret\n");
        EXPECT_EQ(std::distance(fs::directory_iterator(shared), {}), 1) << "nothing written beside the link";
    }
    EXPECT_TRUE(fs::is_symlink(link));
}

INSTANTIATE_TEST_SUITE_P(Owners, PlantedLinkTest,
                         ::testing::Values(PlantedLinkCase{"AnothersLinkInMyFolder", false, true, false},
                                           PlantedLinkCase{"TheFolderOwnersLink", false, false, true},
                                           PlantedLinkCase{"MyLinkInAnothersFolder", true, false, true}),
                         [](const auto &param) { return std::string(param.param.name); });
#endif

// The program's keys.

TEST_F(ProfileFileTest, NewDefaultFileIsByteExact)
{
    ProfileFile file(path_);
    writeDefaultSettings(file, "pomiary.csv");
    EXPECT_EQ(bytes(),
              "[Options]\r\nEncName1=\r\nEncName2=\r\nEncName3=\r\nEncUnit1=\r\nEncUnit2=\r\nEncUnit3=\r\n"
              "ScreenTop=0\r\nScreenLeft=0\r\nFileName=pomiary.csv\r\nMod=1\r\nSaveAuto=0\r\nSaveDate=1\r\n"
              "SaveTime=1\r\nSaveCnt=1\r\nSaveCntMod=1\r\nSaveEnc1p=1\r\nSaveEnc2p=1\r\nSaveEnc3p=1\r\n"
              "SaveEnc1v=1\r\nSaveEnc2v=1\r\nSaveEnc3v=1\r\nSaveOutput=1\r\nChart1=1\r\nChart2=1\r\nChart3=1\r\n"
              "Chart4=1\r\nChart5=1\r\nChart6=1\r\nChartTime=1\r\nLanguage=0\r\n");
    const auto s = readStartupSettings(file, "ignored.csv");
    EXPECT_EQ(s.fileName, "pomiary.csv");
    EXPECT_FALSE(s.logChecks[0]);
    EXPECT_FALSE(s.loggingActive);
    EXPECT_EQ(s.chartTimeText, "1");
}

TEST_F(ProfileFileTest, StartupReadsStoredForms)
{
    put("[Options]\r\nSaveDate=abc\r\nSaveTime=2\r\nSaveCnt=0\r\nMod=0x10\r\nScreenTop=-20\r\nScreenLeft=$10\r\n"
        "Chart4=0\r\nLanguage=7\r\nEncName2=  O\x9C X \r\nEncUnit3=mm\r\n");
    const auto s = readStartupSettings(ProfileFile(path_), "pomiary.csv");
    EXPECT_TRUE(s.logChecks[1]);
    EXPECT_TRUE(s.logChecks[2]);
    EXPECT_FALSE(s.logChecks[3]);
    EXPECT_EQ(s.mod, 16);
    EXPECT_EQ(s.screenTop, -20);
    EXPECT_EQ(s.screenLeft, 16);
    EXPECT_EQ(s.chartVisible, (std::array<bool, 6>{true, true, true, false, true, true}));
    EXPECT_EQ(s.language, 7); // out of range is the language switch's to report
    EXPECT_EQ(s.encNames[1], "Oś X");
    EXPECT_EQ(s.encUnits[2], "mm");
    EXPECT_EQ(s.fileName, "pomiary.csv");
}

TEST_F(ProfileFileTest, CloseWritesItsKeysAndLeavesTheOthersAlone)
{
    const std::string untouched = "EncName1=\"O\x9C\"\r\nEncUnit2= mm\r\nFileName=x.csv\r\nMod=0x10\r\n";
    put("; mine\r\n[Options]\r\n" + untouched + "ScreenTop=5\r\n[Other]\r\nA=1\r\n");
    ProfileFile file(path_);
    CloseSettings v;
    v.screenTop = 40;
    v.screenLeft = -8;
    v.logChecks.fill(true);
    v.logChecks[0] = false;
    v.chartVisible.fill(false);
    v.chartTime = 30;
    v.language = 1;
    writeCloseSettings(file, v);
    EXPECT_EQ(bytes(),
              "; mine\r\n[Options]\r\n" + untouched
                  + "ScreenTop=40\r\nScreenLeft=-8\r\nSaveAuto=0\r\nSaveDate=1\r\nSaveTime=1\r\nSaveCnt=1\r\n"
                    "SaveCntMod=1\r\nSaveEnc1p=1\r\nSaveEnc2p=1\r\nSaveEnc3p=1\r\nSaveEnc1v=1\r\nSaveEnc2v=1\r\n"
                    "SaveEnc3v=1\r\nSaveOutput=1\r\nChart1=0\r\nChart2=0\r\nChart3=0\r\nChart4=0\r\nChart5=0\r\n"
                    "Chart6=0\r\nChartTime=30\r\nLanguage=1\r\n[Other]\r\nA=1\r\n");
}

TEST_F(ProfileFileTest, CloseWithoutAKnownPositionKeepsTheStoredOne)
{
    put("[Options]\r\nScreenTop=5\r\nScreenLeft=6\r\n");
    ProfileFile file(path_);
    CloseSettings v;
    v.storePosition = false;
    writeCloseSettings(file, v);
    const auto s = readStartupSettings(file, "");
    EXPECT_EQ(s.screenTop, 5);
    EXPECT_EQ(s.screenLeft, 6);
}

// Names are UTF-8 in the program; on Windows a path made from the plain string would be read in the ANSI code
// page and miss every letter outside it.
TEST_F(ProfileFileTest, Utf8NamesWithPolishLettersReachTheFileSystemAndComeBack)
{
    const std::string name = "Micha\xc5\x82-pomiary.csv";
    std::ofstream(folder_ / pathFromUtf8(name)) << "x";
    std::vector<fs::path> found;
    for (const auto &entry : fs::directory_iterator(folder_))
        found.push_back(entry.path().filename());
    ASSERT_EQ(found.size(), 1u);
    EXPECT_TRUE(found[0].u8string() == u8"Micha\u0142-pomiary.csv");
#ifdef _WIN32
    EXPECT_EQ(found[0].wstring(), L"Micha\u0142-pomiary.csv"); // the name the system holds
#endif
    EXPECT_EQ(pathToUtf8(found[0]), name);
}

TEST(ChartTime, ConvertsStrictlyAndClampsToTheUpDownRange)
{
    EXPECT_EQ(convertChartTime("30"), 30);
    EXPECT_EQ(convertChartTime("0"), 1);
    EXPECT_EQ(convertChartTime("-5"), 1);
    EXPECT_EQ(convertChartTime("601"), 600);
    EXPECT_EQ(convertChartTime("$10"), 16);
    for (const char *bad : {"abc", "", "1.5", "10s"}) {
        try {
            convertChartTime(bad);
            FAIL() << bad;
        } catch (const InvalidIntegerError &e) {
            EXPECT_EQ(std::string(e.what()), "'" + std::string(bad) + "' is not a valid integer value");
        }
    }
}

} // namespace
} // namespace torvex
