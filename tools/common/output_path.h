#pragma once
// Output paths of the tools are checked before a run starts, so that a typo fails at once
// rather than after the work is done. Nothing is created: a missing folder is an error, not
// something a tool makes up.

#include <unistd.h>

#include <filesystem>
#include <string>

namespace vxtools {

// Why `dir` cannot take new files, or empty when it can.
inline std::string OutputFolderProblem(const std::string &dir) {
  std::error_code ec;
  if (!std::filesystem::is_directory(dir.empty() ? "." : dir, ec)) return "no such folder";
  if (::access(dir.empty() ? "." : dir.c_str(), W_OK | X_OK) != 0)
    return "the folder is not writable";
  return {};
}

// Why a file cannot be written at `path`, or empty when it can.
inline std::string OutputFileProblem(const std::string &path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (path.empty()) return "no file name";
  const fs::path p(path);
  if (fs::is_directory(p, ec)) return "is a folder, not a file";
  const std::string dir = p.parent_path().string();
  if (std::string problem = OutputFolderProblem(dir); !problem.empty())
    return problem + " (" + (dir.empty() ? "." : dir) + ")";
  if (fs::exists(p, ec) && ::access(path.c_str(), W_OK) != 0) return "the file is not writable";
  return {};
}

}  // namespace vxtools
