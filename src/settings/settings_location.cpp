#include "settings/settings_location.h"

#include <cstdlib>
#include <fstream>
#include <system_error>
#include <vector>

#include "settings/durable_write.h"
#include "settings/program_settings.h"

#ifdef _WIN32
#include <random>
#include <string>

#include <windows.h>
#else
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace torvex {

namespace fs = std::filesystem;

SettingsLocation chooseSettingsLocation(const SettingsLocationInput &input)
{
    const fs::path beside = input.executableFolder / kSettingsFileName;
    if (input.userConfigHome.empty())
        return {beside, {}}; // nowhere else: the first write tells the user which file it could not write
    const fs::path user = input.userConfigHome / kUserSettingsFolderName / kSettingsFileName;
    // A config.ini beside a system program was left by hand or by an older version, not put there for users.
    if (input.systemProgramFolder)
        return {user, {}};
    if (input.executableFolderWritable)
        return {beside, {}};
    return {user, beside};
}

namespace {

// Creates the missing folders down to `folder`, each readable by its owner only (on Windows the user's
// application-data folder already is).
void makeFolders(const fs::path &folder)
{
#ifdef _WIN32
    std::error_code ec;
    fs::create_directories(folder, ec);
#else
    std::vector<fs::path> missing;
    std::error_code ec;
    for (fs::path p = folder; !p.empty() && !fs::exists(p, ec); p = p.parent_path()) {
        missing.push_back(p);
        if (p == p.parent_path())
            break;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it)
        ::mkdir(it->c_str(), 0700);
#endif
}

} // namespace

#ifdef _WIN32

bool canCreateFilesIn(const fs::path &folder)
{
    std::random_device random;
    for (int attempt = 0; attempt < 4; ++attempt) {
        const fs::path probe = folder / (L".torvex-write-probe-" + std::to_wstring(random()));
        const HANDLE file = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            ::CloseHandle(file);
            return true;
        }
        if (::GetLastError() != ERROR_FILE_EXISTS)
            return false;
    }
    return false;
}

SettingsLocationInput settingsLocationInputFor(const fs::path &executableFolder)
{
    SettingsLocationInput input;
    input.executableFolder = executableFolder;
    input.executableFolderWritable = canCreateFilesIn(executableFolder);
    if (const wchar_t *appData = ::_wgetenv(L"APPDATA"); appData && fs::path(appData).is_absolute())
        input.userConfigHome = appData;
    return input;
}

#else

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

fs::path userConfigHomeFrom(const std::string &xdgConfigHome, const std::string &home)
{
    if (!xdgConfigHome.empty() && fs::path(xdgConfigHome).is_absolute())
        return xdgConfigHome;
    if (!home.empty() && fs::path(home).is_absolute())
        return fs::path(home) / ".config";
    return {};
}

std::vector<fs::path> systemProgramFolders()
{
    // Where packages and local installs put programs for everyone; no one keeps a program's own folder there.
    std::vector<fs::path> folders = {"/usr/bin",        "/bin",       "/usr/sbin",       "/sbin", "/usr/local/bin",
                                     "/usr/local/sbin", "/usr/games", "/usr/local/games"};
#ifdef TORVEX_INSTALL_BINDIR
    // A build installed under another prefix (/opt/torvex, ~/.local) knows its own programs folder.
    folders.emplace_back(TORVEX_INSTALL_BINDIR);
#endif
    return folders;
}

bool isSystemProgramFolder(const fs::path &executableFolder, const std::vector<fs::path> &systemFolders)
{
    std::error_code ec;
    const fs::path folder = fs::canonical(executableFolder, ec);
    if (ec)
        return false;
    for (const fs::path &candidate : systemFolders) {
        const fs::path resolved = fs::canonical(candidate, ec);
        if (!ec && resolved == folder)
            return true;
    }
    return false;
}

namespace {

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

SettingsLocationInput settingsLocationInputFor(const fs::path &executableFolder,
                                               const std::vector<fs::path> &systemFolders)
{
    SettingsLocationInput input;
    input.executableFolder = executableFolder;
    input.systemProgramFolder = isSystemProgramFolder(executableFolder, systemFolders);
    input.executableFolderWritable = !input.systemProgramFolder && canCreateFilesIn(executableFolder);
    const char *xdg = std::getenv("XDG_CONFIG_HOME");
    input.userConfigHome = userConfigHomeFrom(xdg ? xdg : "", homeFolder());
    return input;
}

SettingsLocationInput settingsLocationInputFor(const fs::path &executableFolder)
{
    return settingsLocationInputFor(executableFolder, systemProgramFolders());
}

#endif

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
    const SettingsLocation location = chooseSettingsLocation(settingsLocationInputFor(executableFolder));
    prepareSettingsLocation(location);
    return location.file;
}

} // namespace torvex
