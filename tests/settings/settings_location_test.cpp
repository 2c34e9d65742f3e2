#include "settings/settings_location.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <random>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>

#include "unwritable_folder.h"
#endif

namespace torvex {
namespace {

namespace fs = std::filesystem;

#ifndef _WIN32
// The fallback is Linux's, and the paths below are absolute only there.
struct ChoiceCase {
    const char *name;
    SettingsLocationInput input;
    const char *file;
    const char *seed;
};

void PrintTo(const ChoiceCase &c, std::ostream *os) { *os << c.name; }

class SettingsLocationChoiceTest : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(SettingsLocationChoiceTest, Decides)
{
    const SettingsLocation location = chooseSettingsLocation(GetParam().input);
    EXPECT_EQ(location.file.generic_string(), GetParam().file);
    EXPECT_EQ(location.seed.generic_string(), GetParam().seed);
}

INSTANTIATE_TEST_SUITE_P(Cases, SettingsLocationChoiceTest,
                         ::testing::Values(ChoiceCase{"writableFolderKeepsTheFileBesideTheExecutable",
                                                      {"/opt/t/bin", true, true, "/x/cfg", "/home/u"},
                                                      "/opt/t/bin/config.ini",
                                                      ""},
                                           ChoiceCase{"withoutTheFallbackAnUnwritableFolderIsKept",
                                                      {"/opt/t/bin", false, false, "/x/cfg", "/home/u"},
                                                      "/opt/t/bin/config.ini",
                                                      ""},
                                           ChoiceCase{"unwritableFolderUsesXdgConfigHome",
                                                      {"/usr/bin", false, true, "/x/cfg", "/home/u"},
                                                      "/x/cfg/torvex-pc/config.ini",
                                                      "/usr/bin/config.ini"},
                                           ChoiceCase{"withoutXdgConfigHomeTheDotConfigOfHome",
                                                      {"/usr/bin", false, true, "", "/home/u"},
                                                      "/home/u/.config/torvex-pc/config.ini",
                                                      "/usr/bin/config.ini"},
                                           ChoiceCase{"relativeXdgConfigHomeIsIgnored",
                                                      {"/usr/bin", false, true, "cfg", "/home/u"},
                                                      "/home/u/.config/torvex-pc/config.ini",
                                                      "/usr/bin/config.ini"},
                                           ChoiceCase{"neitherVariableUsableKeepsTheFileBesideTheExecutable",
                                                      {"/usr/bin", false, true, "", "home"},
                                                      "/usr/bin/config.ini",
                                                      ""}),
                         [](const ::testing::TestParamInfo<ChoiceCase> &c) { return std::string(c.param.name); });

class SettingsLocationFilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = fs::temp_directory_path() / ("torvex-location-" + std::to_string(std::random_device{}()));
        fs::create_directories(folder_ / "bin");
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }

    fs::path bin() const { return folder_ / "bin"; }
    fs::path userFile() const { return folder_ / "cfg" / "torvex-pc" / "config.ini"; }

    static void put(const fs::path &path, const std::string &bytes) { std::ofstream(path, std::ios::binary) << bytes; }
    static std::string bytes(const fs::path &path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    std::size_t entriesIn(const fs::path &folder) const
    {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
    }

    fs::path folder_;
};

TEST_F(SettingsLocationFilesTest, ProbeTellsAWritableFolderAndLeavesNothingBehind)
{
    EXPECT_TRUE(canCreateFilesIn(bin()));
    EXPECT_EQ(entriesIn(bin()), 0u);
}

TEST_F(SettingsLocationFilesTest, ProbeRefusesWhatCannotHoldNewFiles)
{
    EXPECT_FALSE(canCreateFilesIn(folder_ / "missing"));
    put(folder_ / "plain", "x");
    EXPECT_FALSE(canCreateFilesIn(folder_ / "plain"));
    {
        const UnwritableFolder locked(bin());
        EXPECT_FALSE(canCreateFilesIn(bin()));
    }
    EXPECT_TRUE(canCreateFilesIn(bin())) << "the folder was not given back";
}

TEST_F(SettingsLocationFilesTest, SeedIsCopiedByteForByteIntoANewPrivateFolder)
{
    const std::string seed = "[Options]\r\nEncName1=\xb9\x9c\r\nMod=7\r\n"; // Windows-1250 text stays as it is
    put(bin() / "config.ini", seed);
    prepareSettingsLocation({userFile(), bin() / "config.ini"});
    EXPECT_EQ(bytes(userFile()), seed);
    struct stat st {};
    ASSERT_EQ(::stat(userFile().parent_path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat((folder_ / "cfg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(SettingsLocationFilesTest, ExistingUserFileIsNeverOverwrittenBySeed)
{
    put(bin() / "config.ini", "[Options]\r\nMod=7\r\n");
    fs::create_directories(userFile().parent_path());
    put(userFile(), "[Options]\r\nMod=3\r\n");
    prepareSettingsLocation({userFile(), bin() / "config.ini"});
    EXPECT_EQ(bytes(userFile()), "[Options]\r\nMod=3\r\n");
}

TEST_F(SettingsLocationFilesTest, WithoutUsableSeedOnlyTheFolderIsMade)
{
    prepareSettingsLocation({userFile(), bin() / "config.ini"}); // no seed at all
    EXPECT_TRUE(fs::is_directory(userFile().parent_path()));
    EXPECT_FALSE(fs::exists(userFile()));

    fs::create_directory(bin() / "config.ini"); // a folder of that name is no seed
    prepareSettingsLocation({userFile(), bin() / "config.ini"});
    EXPECT_FALSE(fs::exists(userFile()));
}

#else

TEST(SettingsLocationTest, WindowsKeepsTheFileBesideTheExecutable)
{
    const fs::path folder = fs::temp_directory_path() / "no-such-folder";
    EXPECT_EQ(settingsFileForExecutableFolder(folder), folder / "config.ini");
}

#endif

} // namespace
} // namespace torvex
