#include "settings/settings_location.h"

#include <cstdlib>
#include <fstream>
#include <system_error>
#include <vector>

#include "settings/durable_write.h"
#include "settings/program_settings.h"

#ifndef _WIN32
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace torvex {

namespace fs = std::filesystem;

SettingsLocation chooseSettingsLocation(const SettingsLocationInput &input)
{
    const fs::path beside = input.executableFolder / kSettingsFileName;
    if (input.executableFolderWritable || !input.userFolderFallback)
        return {beside, {}};
    // Relative values are not valid there and are ignored.
    fs::path configHome;
    if (!input.xdgConfigHome.empty() && fs::path(input.xdgConfigHome).is_absolute())
        configHome = input.xdgConfigHome;
    else if (!input.home.empty() && fs::path(input.home).is_absolute())
        configHome = fs::path(input.home) / ".config";
    else
        return {beside, {}}; // nowhere better: the first write tells the user which file it could not write
    return {configHome / kUserSettingsFolderName / kSettingsFileName, beside};
}

#ifndef _WIN32

bool canCreateFilesIn(const fs::path &folder)
{
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return false;
    std::string probe = (folder / ".torvex-write-probe-XXXXXX").string();
    const int fd = ::mkstemp(probe.data());
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

namespace {

// Creates the missing folders down to `folder`, each readable by its owner only.
void makeFolders(const fs::path &folder)
{
    std::vector<fs::path> missing;
    std::error_code ec;
    for (fs::path p = folder; !p.empty() && !fs::exists(p, ec); p = p.parent_path()) {
        missing.push_back(p);
        if (p == p.parent_path())
            break;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it)
        ::mkdir(it->c_str(), 0700);
}

std::string homeFolder()
{
    if (const char *home = std::getenv("HOME"); home && *home)
        return home;
    // A session without $HOME still has an account entry.
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd *found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
        return found->pw_dir;
    return {};
}

} // namespace

void prepareSettingsLocation(const SettingsLocation &location)
{
    std::error_code ec;
    makeFolders(location.file.parent_path());
    if (location.seed.empty() || fs::exists(location.file, ec) || !fs::is_regular_file(location.seed, ec))
        return;
    // An unreadable seed is passed over: the defaults are written instead.
    const auto size = fs::file_size(location.seed, ec);
    if (ec)
        return;
    std::string content(static_cast<std::size_t>(size), '\0');
    std::ifstream in(location.seed, std::ios::binary);
    if (!in.read(content.data(), static_cast<std::streamsize>(content.size())))
        return;
    try {
        replaceFileDurably(location.file, content, {});
    } catch (const std::system_error &) {
        // A half-written copy would be taken for settings; without it the defaults are written.
        fs::remove(location.file, ec);
    }
}

fs::path settingsFileForExecutableFolder(const fs::path &executableFolder)
{
    SettingsLocationInput input;
    input.executableFolder = executableFolder;
    input.userFolderFallback = true;
    input.executableFolderWritable = canCreateFilesIn(executableFolder);
    if (!input.executableFolderWritable) {
        if (const char *xdg = std::getenv("XDG_CONFIG_HOME"))
            input.xdgConfigHome = xdg;
        input.home = homeFolder();
    }
    const SettingsLocation location = chooseSettingsLocation(input);
    prepareSettingsLocation(location);
    return location.file;
}

#else

void prepareSettingsLocation(const SettingsLocation &) {}

// Windows keeps the file beside the executable, writable or not.
fs::path settingsFileForExecutableFolder(const fs::path &executableFolder)
{
    return chooseSettingsLocation({executableFolder, true, false, {}, {}}).file;
}

#endif

} // namespace torvex
