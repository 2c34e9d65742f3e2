#pragma once
// Replacing a small file so that a crash or a full disk never leaves it half written.
#include <filesystem>
#include <string>
#include <string_view>

namespace torvex {

enum class ReplaceMethod {
    ViaTemporary, // write a temporary file beside the target, flush it to disk, rename it over the target
    InPlace,      // rewrite the target itself (used when the temporary file route is not available)
};

// Writes `content` to `path` and flushes it to the disk before returning. The temporary route is tried first;
// when no temporary file can be made or the rename is refused, the file is rewritten in place, and if that
// fails part-way the previous content `previous` is written back. Throws std::system_error on failure.
// Returns the method that succeeded.
ReplaceMethod replaceFileDurably(const std::filesystem::path &path, std::string_view content,
                                 std::string_view previous);

// Links are followed only where they belong to the user running the program or to the owner of their folder;
// another's link ends the write with std::system_error (EACCES) before anything is written.

// The temporary route alone, for a file that must hold either all of `content` or what it held before (a
// backup): throws std::system_error, with nothing changed, where that route is not available.
void replaceFileWhole(const std::filesystem::path &path, std::string_view content);

// The in-place route alone (also the fallback of replaceFileDurably).
void rewriteFileInPlace(const std::filesystem::path &path, std::string_view content, std::string_view previous);

} // namespace torvex
