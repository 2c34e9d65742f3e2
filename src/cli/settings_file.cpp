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
    // kLogCheckKeys: the auto-start box first, then the columns in the line's order.
    const auto &c = s.logChecks;
    w.columns.date = c[1];
    w.columns.time = c[2];
    w.columns.count = c[3];
    w.columns.countModulo = c[4];
    w.columns.position = {c[5], c[6], c[7]};
    w.columns.velocity = {c[8], c[9], c[10]};
    w.columns.outputs = c[11];
    w.modulo = s.mod;
    return w;
}

} // namespace torvex::cli
