#pragma once
// Where the settings file lives. Beside the executable, as always; but an installed program's folder cannot be
// written by the user, so on Linux the file then moves to the user's configuration folder.
#include <filesystem>
#include <string>

namespace torvex {

// Folder below the user's configuration folder that holds the settings file.
inline constexpr const char *kUserSettingsFolderName = "torvex-pc";

struct SettingsLocationInput {
    std::filesystem::path executableFolder;
    bool executableFolderWritable = true;
    // Whether an unwritable executable folder sends the file to the user's configuration folder (Linux).
    bool userFolderFallback = false;
    // $XDG_CONFIG_HOME and $HOME as found ("" when unset).
    std::string xdgConfigHome;
    std::string home;
};

struct SettingsLocation {
    std::filesystem::path file;
    // A file whose content a missing `file` starts from; empty when there is none to copy.
    std::filesystem::path seed;
};

// The decision alone: no file is touched.
SettingsLocation chooseSettingsLocation(const SettingsLocationInput &input);

#ifndef _WIN32
// Whether files can be created in `folder` by this process. Permission bits do not tell (root, access lists,
// read-only mounts), so a probe file is created and removed.
bool canCreateFilesIn(const std::filesystem::path &folder);
#endif

// Makes the folder of `location.file` (private to the user) and copies the seed into it when the file does not
// exist yet. Failures are left to the first write of the file, which names the path it could not write.
void prepareSettingsLocation(const SettingsLocation &location);

// The settings file of this process for an executable in `executableFolder`: the decision above made with this
// machine's environment and folder, the location prepared.
std::filesystem::path settingsFileForExecutableFolder(const std::filesystem::path &executableFolder);

} // namespace torvex
