#include "live/state_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace vxlive {

namespace fs = std::filesystem;

namespace {

std::string Why(const std::string &what, const fs::path &p) {
  return "cannot " + what + " " + p.string() + ": " + std::strerror(errno);
}

}  // namespace

bool WriteFileAtomically(const fs::path &path, std::string_view content, std::string &error) {
  const fs::path dir = path.has_parent_path() ? path.parent_path() : fs::path(".");
  const fs::path tmp = dir / ("." + path.filename().string() + ".tmp-" + std::to_string(getpid()));
  const int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    error = Why("create", tmp);
    return false;
  }
  auto fail = [&](const std::string &what) {
    error = Why(what, tmp);
    close(fd);
    unlink(tmp.c_str());
    return false;
  };
  for (std::size_t done = 0; done < content.size();) {
    const ssize_t n = write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return fail("write");
    done += static_cast<std::size_t>(n);
  }
  if (fsync(fd) != 0) return fail("sync");
  if (close(fd) != 0) {
    error = Why("close", tmp);
    unlink(tmp.c_str());
    return false;
  }
  if (rename(tmp.c_str(), path.c_str()) != 0) {
    error = Why("rename " + tmp.string() + " to", path);
    unlink(tmp.c_str());
    return false;
  }
  if (const int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dfd >= 0) {
    fsync(dfd);  // best effort: some file systems refuse to sync a folder
    close(dfd);
  }
  return true;
}

bool ReadWholeFile(const fs::path &path, std::optional<std::string> &content, std::string &error) {
  content.reset();
  std::error_code ec;
  const auto status = fs::status(path, ec);
  if (status.type() == fs::file_type::not_found) return true;
  if (status.type() != fs::file_type::regular) {
    error = path.string() + " is not a regular file";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = Why("read", path);
    return false;
  }
  std::ostringstream s;
  s << in.rdbuf();
  if (in.bad()) {
    error = Why("read", path);
    return false;
  }
  content = s.str();
  return true;
}

bool MakeFolders(const fs::path &dir, std::string &error) {
  std::error_code ec;
  if (fs::is_directory(dir, ec)) return true;
  fs::path built;
  for (const fs::path &part : dir) {
    built /= part;
    if (fs::is_directory(built, ec)) continue;
    if (mkdir(built.c_str(), 0700) != 0 && errno != EEXIST) {
      error = Why("create the folder", built);
      return false;
    }
  }
  return true;
}

}  // namespace vxlive
