#pragma once
// Files that must never be seen half written: the new content goes to a temporary file in the
// same folder, is flushed to the disk (fsync), and replaces the old file by rename, which is
// atomic; the folder is synced too, so that the rename itself survives a power cut. A kill at
// any moment leaves the old content or the new one.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vxlive {

// Writes content to path as described; false with error set (naming the file and the failed
// step) when any step fails, in which case the old file is untouched and no temporary is left.
bool WriteFileAtomically(const std::filesystem::path &path, std::string_view content, std::string &error);

// The whole file, or nothing when it does not exist; false with error when it cannot be read.
bool ReadWholeFile(const std::filesystem::path &path, std::optional<std::string> &content, std::string &error);

// Creates a folder and its parents (mode 0700 for the ones it makes).
bool MakeFolders(const std::filesystem::path &dir, std::string &error);

}  // namespace vxlive
