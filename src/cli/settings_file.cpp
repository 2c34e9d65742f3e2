#include "cli/settings_file.h"

#include "settings/profile_file.h"
#include "settings/program_settings.h"
#include "text/utf8_path.h"

#include <fstream>

namespace torvex::cli {

std::optional<WindowSettings> readSettingsFile(const std::string &path, std::ostream &err)
{
    // The settings store reads a missing or unreadable file as empty; a file named by the user must exist.
    const std::filesystem::path file = pathFromUtf8(path);
    if (!ProfileFile::fileExists(file) || !std::ifstream(file, std::ios::binary)) {
        err << "torvex-cli: cannot read the settings file " << path << "\n";
        return std::nullopt;
    }
    const StartupSettings s = readStartupSettings(ProfileFile(file), "");
    WindowSettings w;
    w.names = s.encNames;
    w.units = s.encUnits;
    w.columns = logColumnsOf(s.logChecks);
    w.modulo = s.mod;
    return w;
}

} // namespace torvex::cli
