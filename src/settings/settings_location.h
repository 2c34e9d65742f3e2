#pragma once
// Where the settings file lives. Beside the executable, as always, when the program is a folder of its own (the
// build tree, a copied folder). A folder that cannot be written sends the file to the user's own settings folder,
// starting from the file beside the executable; so does, on Linux, an executable installed among the system's
// programs, whoever runs it, and without that start: nothing of ours belongs in a folder every package shares.
#include <filesystem>
#include <string>
#include <vector>

namespace torvex {

// Folder below the user's configuration folder that holds the settings file.
#ifdef _WIN32
inline constexpr const wchar_t *kUserSettingsFolderName = L"TORVEX PC";
#else
inline constexpr const char *kUserSettingsFolderName = "torvex-pc";
#endif

struct SettingsLocationInput {
    std::filesystem::path executableFolder;
    bool executableFolderWritable = true;
    // The executable is installed among the system's programs (Linux).
    bool systemProgramFolder = false;
    // The user's folder of program settings (Linux: $XDG_CONFIG_HOME or ~/.config; Windows: %APPDATA%); empty
    // when none is known.
    std::filesystem::path userConfigHome;
};

struct SettingsLocation {
    std::filesystem::path file;
    // A file whose content a missing `file` starts from; empty when there is none to copy.
    std::filesystem::path seed;
};

// The decision alone: no file is touched.
SettingsLocation chooseSettingsLocation(const SettingsLocationInput &input);

// Whether files can be created in `folder` by this process. Permission bits do not tell (root, access lists,
// read-only mounts and shares), so a probe file is created and removed.
bool canCreateFilesIn(const std::filesystem::path &folder);

#ifndef _WIN32
// The user's configuration folder from $XDG_CONFIG_HOME and the home folder as found ("" when unset); relative
// values are not valid there and are passed over. Empty when neither gives one.
std::filesystem::path userConfigHomeFrom(const std::string &xdgConfigHome, const std::string &home);

// The folders of the system's programs: the ones every package shares, and the one this build installs into.
std::vector<std::filesystem::path> systemProgramFolders();

// Whether `executableFolder` is one of `systemFolders`, symbolic links resolved on both sides (/bin is /usr/bin on
// most systems; a link in a system folder to a build tree is still the build tree's program).
bool isSystemProgramFolder(const std::filesystem::path &executableFolder,
                           const std::vector<std::filesystem::path> &systemFolders);

// The decision's input from this machine: the environment, and the folder itself (a system folder is not even
// probed: nothing is created there, however briefly).
SettingsLocationInput settingsLocationInputFor(const std::filesystem::path &executableFolder,
                                               const std::vector<std::filesystem::path> &systemFolders);
#endif
SettingsLocationInput settingsLocationInputFor(const std::filesystem::path &executableFolder);

// Makes the folder of `location.file` (private to the user) and copies the seed into it when the file does not
// exist yet. Failures are left to the first write of the file, which names the path it could not write.
void prepareSettingsLocation(const SettingsLocation &location);

// The settings file of this process for an executable in `executableFolder`: the decision above made with this
// machine's environment and folder, the location prepared.
std::filesystem::path settingsFileForExecutableFolder(const std::filesystem::path &executableFolder);

} // namespace torvex
