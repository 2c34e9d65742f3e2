#include "cli/settings_file.h"

#include "settings/profile_file.h"
#include "settings/program_settings.h"

#include <fstream>

namespace torvex::cli {

std::optional<WindowSettings> readSettingsFile(const std::string &path, std::ostream &err)
{
    // The settings store reads a missing or unreadable file as empty; a file named by the user must exist.
    if (!ProfileFile::fileExists(path) || !std::ifstream(path, std::ios::binary)) {
        err << "torvex-cli: cannot read the settings file " << path << "\n";
        return std::nullopt;
    }
    const StartupSettings s = readStartupSettings(ProfileFile(path), "");
    WindowSettings w;
    w.names = s.encNames;
    w.units = s.encUnits;
    w.columns = logColumnsOf(s.logChecks);
    w.modulo = s.mod;
    return w;
}

} // namespace torvex::cli
