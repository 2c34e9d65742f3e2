#include "settings/profile_file.h"

#include <fstream>
#include <iterator>
#include <system_error>

#include "settings/cp1250.h"
#include "settings/durable_write.h"
#include "settings/profile_format.h"

namespace torvex {

ProfileFile::ProfileFile(std::filesystem::path path) : path_(std::move(path)) {}

namespace {

// Whole file as bytes; false when it cannot be read (a folder of that name, no permission, a read error).
bool readBytes(const std::filesystem::path &path, std::string &out)
{
    try {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            return false;
        // In blocks, not byte by byte: a file of any size reads at the disk's pace.
        out.clear();
        char block[65536];
        while (in.read(block, sizeof block) || in.gcount() > 0)
            out.append(block, static_cast<std::size_t>(in.gcount()));
        return !in.bad();
    } catch (const std::exception &) { // the stream reports some read errors by throwing
        return false;
    }
}

} // namespace

std::string ProfileFile::load() const
{
    std::string content;
    if (!readBytes(path_, content))
        content.clear();
    return content;
}

std::string ProfileValues::readText(std::string_view section, std::string_view key, std::string_view defaultValue) const
{
    const auto value = index_.find(utf8ToCp1250(section), utf8ToCp1250(key));
    return value ? cp1250ToUtf8(*value) : std::string(defaultValue);
}

std::int32_t ProfileValues::readInteger(std::string_view section, std::string_view key, std::int32_t defaultValue) const
{
    const auto value = index_.find(utf8ToCp1250(section), utf8ToCp1250(key));
    if (!value)
        return defaultValue;
    return profile::parseInteger(*value).value_or(defaultValue);
}

bool ProfileValues::readBool(std::string_view section, std::string_view key, bool defaultValue) const
{
    return readInteger(section, key, defaultValue ? 1 : 0) != 0;
}

ProfileValues ProfileFile::values() const { return ProfileValues(load()); }

std::string ProfileFile::readText(std::string_view section, std::string_view key, std::string_view defaultValue) const
{
    return values().readText(section, key, defaultValue);
}

std::int32_t ProfileFile::readInteger(std::string_view section, std::string_view key, std::int32_t defaultValue) const
{
    return values().readInteger(section, key, defaultValue);
}

bool ProfileFile::readBool(std::string_view section, std::string_view key, bool defaultValue) const
{
    return values().readBool(section, key, defaultValue);
}

std::string ProfileFile::loadForUpdate() const
{
    // A file that exists but cannot be read must not be replaced by one holding only the new keys.
    std::error_code ec;
    std::string content;
    if (std::filesystem::exists(path_, ec) && !readBytes(path_, content)) {
        throw SettingsError("Unable to write to " + pathToUtf8(path_));
    }
    return content;
}

void ProfileFile::store(const std::string &next, const std::string &previous)
{
    try {
        replaceFileDurably(path_, next, previous);
    } catch (const std::system_error &) { // also std::filesystem::filesystem_error
        throw SettingsError("Unable to write to " + pathToUtf8(path_));
    }
}

void ProfileFile::writeText(std::string_view section, std::string_view key, std::string_view value)
{
    const std::string previous = loadForUpdate();
    store(profile::setValue(previous, utf8ToCp1250(section), utf8ToCp1250(key), utf8ToCp1250(value)), previous);
}

void ProfileFile::writeTexts(std::string_view section, const std::vector<Entry> &entries)
{
    const std::string previous = loadForUpdate();
    const std::string sectionBytes = utf8ToCp1250(section);
    std::string next = previous;
    for (const Entry &entry : entries) {
        next = profile::setValue(next, sectionBytes, utf8ToCp1250(entry.key), utf8ToCp1250(entry.value));
    }
    store(next, previous);
}

void ProfileFile::writeInteger(std::string_view section, std::string_view key, std::int32_t value)
{
    writeText(section, key, std::to_string(value));
}

void ProfileFile::writeBool(std::string_view section, std::string_view key, bool value)
{
    writeText(section, key, value ? "1" : "0");
}

bool ProfileFile::fileExists(const std::filesystem::path &path)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

} // namespace torvex
