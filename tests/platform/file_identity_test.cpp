#include "platform/file_identity.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

namespace vx {
namespace {

namespace fs = std::filesystem;

// The contract every backend keeps: only regular files have an identity, and a file renamed
// over another under the same size and modification time is told apart from it.
TEST(FileIdentity, TellsAReplacedFileFromTheOneItReplaced) {
  const fs::path dir = fs::temp_directory_path() / ("vxosd_identity_" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string file = (dir / "a.bmp").string(), copy = (dir / "b.bmp").string();
  std::ofstream(file, std::ios::binary) << "first";
  std::ofstream(copy, std::ios::binary) << "other";
  // The same whole second on both: some file systems and run-times keep no finer time stamp.
  const auto stamp = std::chrono::floor<std::chrono::seconds>(fs::last_write_time(file));
  fs::last_write_time(file, stamp);
  fs::last_write_time(copy, stamp);

  const auto before = RegularFileIdentity(file);
  ASSERT_TRUE(before);
  EXPECT_EQ(before->size, 5u);
  EXPECT_EQ(RegularFileIdentity(file), before);  // unchanged: the same identity
  fs::rename(copy, file);
  const auto after = RegularFileIdentity(file);
  ASSERT_TRUE(after);
  EXPECT_EQ(after->size, before->size);
  EXPECT_EQ(after->modified_ns, before->modified_ns);
  EXPECT_NE(after, before);

  EXPECT_FALSE(RegularFileIdentity(copy));  // gone
  EXPECT_FALSE(RegularFileIdentity(dir.string()));
  EXPECT_FALSE(RegularFileIdentity(""));
  EXPECT_FALSE(RegularFileIdentity(file + std::string(1, '\0') + "x"));
  std::error_code ec;
  fs::remove_all(dir, ec);
}

}  // namespace
}  // namespace vx
