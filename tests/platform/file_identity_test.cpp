#include "platform/file_identity.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <limits>
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

// Times are nanoseconds since 1970 on every system, whatever the system counts from.
TEST(FileIdentity, TimesCountFrom1970InNanosecondsOnEverySystem) {
  const fs::path dir = fs::temp_directory_path() / ("vxosd_identity_t_" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string file = (dir / "a.bmp").string();
  std::ofstream(file, std::ios::binary) << "first";
  using namespace std::chrono;
  const sys_seconds when = sys_days{year{2024} / 1 / 1} + hours{12};  // 1704110400 s
  fs::last_write_time(file, file_clock::from_sys(when));
  const auto id = RegularFileIdentity(file);
  ASSERT_TRUE(id);
  EXPECT_EQ(id->modified_ns, std::int64_t{1704110400} * 1'000'000'000);
  std::error_code ec;
  fs::remove_all(dir, ec);
}

TEST(FileIdentity, FileTimesConvertWithoutOverflow) {
  // 1601-01-01, 1970-01-01 and 2024-01-01 12:00 as Windows file times.
  EXPECT_EQ(FileTimeToUnixNanoseconds(116444736000000000), 0);
  EXPECT_EQ(FileTimeToUnixNanoseconds(116444736000000001), 100);
  EXPECT_EQ(FileTimeToUnixNanoseconds(133485840000000000), std::int64_t{1704110400} * 1'000'000'000);
  EXPECT_EQ(FileTimeToUnixNanoseconds(116444735999999999), -100);
  // Beyond what 64-bit nanoseconds hold: the nearest end, not a wrapped value.
  EXPECT_EQ(FileTimeToUnixNanoseconds(0), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(FileTimeToUnixNanoseconds(std::numeric_limits<std::int64_t>::max()),
            std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(UnixNanoseconds(9'223'372'036, 854'775'807), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(UnixNanoseconds(9'223'372'037, 0), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(UnixNanoseconds(-1, 999'999'999), -1);
}

}  // namespace
}  // namespace vx
