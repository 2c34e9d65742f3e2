#pragma once
// File names are UTF-8 inside the program. They reach the file system as paths made from UTF-8 (char8_t), which
// Windows gets as wide strings: a path made from a plain std::string would be read in the ANSI code page there,
// which cannot hold every name.

#include <filesystem>
#include <string>
#include <string_view>

namespace torvex {

std::filesystem::path pathFromUtf8(std::string_view utf8);
std::string pathToUtf8(const std::filesystem::path &path);

} // namespace torvex
