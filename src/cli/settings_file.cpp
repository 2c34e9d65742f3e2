#include "cli/settings_file.h"

#include "settings/profile_file.h"
#include "settings/program_settings.h"
#include "text/utf8_path.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace torvex::cli {

std::string settingsFileProblem(const std::string &path)
{
    // The settings store reads a missing or unreadable file as empty; a file named by the user must exist.
    std::error_code error;
    if (std::filesystem::is_directory(pathFromUtf8(path), error))
        return "is a folder";
    errno = 0;
    if (!std::ifstream(pathFromUtf8(path), std::ios::binary))
        return errno != 0 ? std::strerror(errno) : "cannot be opened";
    return {};
}

std::optional<WindowSettings> readSettingsFile(const std::string &path, std::ostream &err)
{
    if (const std::string problem = settingsFileProblem(path); !problem.empty()) {
        err << "torvex-cli: cannot read the settings file " << path << ": " << problem << "\n";
        return std::nullopt;
    }
    const StartupSettings s = readStartupSettings(ProfileFile(pathFromUtf8(path)), "");
    WindowSettings w;
    w.names = s.encNames;
    w.units = s.encUnits;
    w.columns = logColumnsOf(s.logChecks);
    w.modulo = s.mod;
    return w;
}

} // namespace torvex::cli
