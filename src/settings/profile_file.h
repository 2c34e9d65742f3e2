#pragma once
// The settings file store: key/value sections in a Windows-1250 text file, written through to the disk on every
// write. Callers pass and receive UTF-8.
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "text/utf8_path.h"
#include "settings/profile_format.h"

namespace torvex {

// A settings write that did not reach the disk. The message is shown to the user as it is.
class SettingsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The file's values as they were when it was read, for many reads in a row: the file is read once.
class ProfileValues {
public:
    explicit ProfileValues(std::string content) : content_(std::move(content)), index_(content_) {}
    // The index points into the content: not copied or moved (a short string moves its bytes).
    ProfileValues(const ProfileValues &) = delete;
    ProfileValues &operator=(const ProfileValues &) = delete;

    std::string readText(std::string_view section, std::string_view key, std::string_view defaultValue) const;
    std::int32_t readInteger(std::string_view section, std::string_view key, std::int32_t defaultValue) const;
    bool readBool(std::string_view section, std::string_view key, bool defaultValue) const;

private:
    std::string content_;
    profile::ValueIndex index_;
};

class ProfileFile {
public:
    explicit ProfileFile(std::filesystem::path path);

    const std::filesystem::path &path() const { return path_; }

    // Reads see the file as it is on disk at the moment of the call; a missing or unreadable file reads as empty.
    std::string readText(std::string_view section, std::string_view key, std::string_view defaultValue) const;
    std::int32_t readInteger(std::string_view section, std::string_view key, std::int32_t defaultValue) const;
    bool readBool(std::string_view section, std::string_view key, bool defaultValue) const;
    // The whole file read once, for reading many keys.
    ProfileValues values() const;

    // Each write has reached the disk when it returns; on failure the file keeps its previous content and
    // SettingsError("Unable to write to <path>") is thrown.
    void writeText(std::string_view section, std::string_view key, std::string_view value);
    void writeInteger(std::string_view section, std::string_view key, std::int32_t value);
    void writeBool(std::string_view section, std::string_view key, bool value);

    // Several keys in one durable write: the file holds what the same writes one by one would give, or on
    // failure stays as it was.
    struct Entry {
        std::string_view key;
        std::string value;
    };
    void writeTexts(std::string_view section, const std::vector<Entry> &entries);

    static bool fileExists(const std::filesystem::path &path);

private:
    std::string load() const;
    std::string loadForUpdate() const;
    void store(const std::string &next, const std::string &previous);

    std::filesystem::path path_;
};

} // namespace torvex
