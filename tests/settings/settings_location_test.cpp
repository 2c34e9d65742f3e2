#include "settings/settings_location.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
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
// The paths below are absolute only on Linux; the Windows folder is tested with real files further down.
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
                         ::testing::Values(ChoiceCase{"folderOfItsOwnKeepsTheFileBesideTheExecutable",
                                                      {"/opt/t/bin", true, false, "/x/cfg"},
                                                      "/opt/t/bin/config.ini",
                                                      ""},
                                           ChoiceCase{"unwritableFolderStartsTheUserFileFromTheOneBeside",
                                                      {"/opt/t/bin", false, false, "/x/cfg"},
                                                      "/x/cfg/torvex-pc/config.ini",
                                                      "/opt/t/bin/config.ini"},
                                           ChoiceCase{"systemFolderWritableByRootUsesTheUserFileAlone",
                                                      {"/usr/bin", true, true, "/root/.config"},
                                                      "/root/.config/torvex-pc/config.ini",
                                                      ""},
                                           ChoiceCase{"systemFolderOfAnotherUserUsesTheUserFileAlone",
                                                      {"/usr/bin", false, true, "/x/cfg"},
                                                      "/x/cfg/torvex-pc/config.ini",
                                                      ""},
                                           ChoiceCase{"withoutAUserFolderTheFileStaysBesideTheExecutable",
                                                      {"/opt/t/bin", false, false, ""},
                                                      "/opt/t/bin/config.ini",
                                                      ""}),
                         [](const ::testing::TestParamInfo<ChoiceCase> &c) { return std::string(c.param.name); });

TEST(SettingsLocationTest, UserConfigHomeFollowsTheEnvironment)
{
    EXPECT_EQ(userConfigHomeFrom("/x/cfg", "/home/u"), fs::path("/x/cfg"));
    EXPECT_EQ(userConfigHomeFrom("", "/home/u"), fs::path("/home/u/.config"));
    EXPECT_EQ(userConfigHomeFrom("cfg", "/home/u"), fs::path("/home/u/.config")) << "relative values are ignored";
    EXPECT_EQ(userConfigHomeFrom("", "home"), fs::path());
}

TEST(SettingsLocationTest, SharedProgramFoldersAreSystemFoldersAndTheBuildTreeIsNot)
{
    EXPECT_TRUE(isSystemProgramFolder("/usr/bin", systemProgramFolders()));
    EXPECT_TRUE(isSystemProgramFolder("/usr/local/bin", systemProgramFolders()));
    EXPECT_FALSE(isSystemProgramFolder(fs::read_symlink("/proc/self/exe").parent_path(), systemProgramFolders()));
}
#endif

// Sets an environment variable for one test and gives the old value back.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char *name, const fs::path &value) : name_(name)
    {
        if (const char *old = std::getenv(name))
            saved_ = old;
#ifdef _WIN32
        ::_wputenv_s(fs::path(name).c_str(), value.c_str());
#else
        ::setenv(name, value.c_str(), 1);
#endif
    }
    ~ScopedEnvironment()
    {
#ifdef _WIN32
        ::_putenv_s(name_.c_str(), saved_ ? saved_->c_str() : "");
#else
        saved_ ? ::setenv(name_.c_str(), saved_->c_str(), 1) : ::unsetenv(name_.c_str());
#endif
    }
    ScopedEnvironment(const ScopedEnvironment &) = delete;
    ScopedEnvironment &operator=(const ScopedEnvironment &) = delete;

private:
    std::string name_;
    std::optional<std::string> saved_;
};

class SettingsLocationFilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A name beyond ASCII catches a path that loses its characters on the way to the system.
        folder_ = fs::temp_directory_path()
            / (fs::path(u8"torvex-location-\u017c\u00f3\u0142w-") += std::to_string(std::random_device{}()));
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
#ifndef _WIN32
    {
        const UnwritableFolder locked(bin());
        EXPECT_FALSE(canCreateFilesIn(bin()));
    }
    EXPECT_TRUE(canCreateFilesIn(bin())) << "the folder was not given back";
#endif
}

TEST_F(SettingsLocationFilesTest, SeedIsCopiedByteForByteIntoANewPrivateFolder)
{
    const std::string seed = "[Options]\r\nEncName1=\xb9\x9c\r\nMod=7\r\n"; // Windows-1250 text stays as it is
    put(bin() / "config.ini", seed);
    prepareSettingsLocation({userFile(), bin() / "config.ini"});
    EXPECT_EQ(bytes(userFile()), seed);
#ifndef _WIN32
    struct stat st {};
    ASSERT_EQ(::stat(userFile().parent_path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat((folder_ / "cfg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
#endif
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

#ifndef _WIN32

TEST_F(SettingsLocationFilesTest, SystemProgramFolderIsKnownThroughLinksAndLeftAsItWas)
{
    const ScopedEnvironment xdg("XDG_CONFIG_HOME", folder_ / "cfg");
    const fs::path system = folder_ / "usr-bin";
    fs::create_directory(system);
    fs::create_directory_symlink("usr-bin", folder_ / "bin-link"); // as /bin is /usr/bin
    const std::string leftover = "[Options]\r\nMod=7\r\n";
    put(system / "config.ini", leftover);
    struct stat before {};
    ASSERT_EQ(::stat(system.c_str(), &before), 0);

    // Root may write there (as this test may): the folder is neither probed nor used, and the user's file does not
    // start from what was left in it.
    const SettingsLocationInput input = settingsLocationInputFor(system, {folder_ / "bin-link"});
    EXPECT_TRUE(input.systemProgramFolder);
    const SettingsLocation location = chooseSettingsLocation(input);
    prepareSettingsLocation(location);
    EXPECT_EQ(location.file, userFile());
    EXPECT_TRUE(fs::is_directory(userFile().parent_path()));
    EXPECT_FALSE(fs::exists(userFile()));
    EXPECT_EQ(entriesIn(system), 1u);
    EXPECT_EQ(bytes(system / "config.ini"), leftover);
    struct stat after {};
    ASSERT_EQ(::stat(system.c_str(), &after), 0);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec) << "a file was made in the folder and removed";

    EXPECT_TRUE(settingsLocationInputFor(folder_ / "bin-link", {system}).systemProgramFolder);
    EXPECT_FALSE(settingsLocationInputFor(bin(), {system, folder_ / "bin-link"}).systemProgramFolder);
}

#else

// Root under Wine writes anywhere, so the unwritable folder is told to the decision; the files are real.
TEST_F(SettingsLocationFilesTest, WindowsMovesToAppDataOnlyWhileTheFolderCannotBeWritten)
{
    const fs::path appData = folder_ / L"Dane aplikacji";
    fs::create_directory(appData);
    const ScopedEnvironment env("APPDATA", appData);
    const std::string seed = "[Options]\r\nEncName1=\xb9\x9c\r\nMod=7\r\n";
    put(bin() / "config.ini", seed);

    SettingsLocationInput input = settingsLocationInputFor(bin());
    EXPECT_TRUE(input.executableFolderWritable);
    EXPECT_EQ(input.userConfigHome, appData);
    EXPECT_EQ(settingsFileForExecutableFolder(bin()), bin() / "config.ini");
    EXPECT_EQ(entriesIn(appData), 0u) << "the file beside the executable keeps priority";

    input.executableFolderWritable = false;
    const SettingsLocation location = chooseSettingsLocation(input);
    EXPECT_EQ(location.file, appData / L"TORVEX PC" / L"config.ini");
    EXPECT_EQ(location.seed, bin() / "config.ini");
    prepareSettingsLocation(location);
    EXPECT_EQ(bytes(location.file), seed);
}

#endif

} // namespace
} // namespace torvex
