#include "platform/stream.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

#include "platform/exceptions.h"
#include "tests/support/bitmaps.h"

namespace vx {
namespace {

TEST(MemoryStream, ReadsWritesAndSeeksWithClamping) {
  TMemoryStream s;
  const char text[] = "hello";
  s.WriteBuffer(text, 5);
  EXPECT_EQ(s.Size(), 5);
  EXPECT_EQ(s.Seek(-100, TSeekOrigin::soCurrent), 0);
  char buf[8] = {};
  EXPECT_EQ(s.Read(buf, 8), 5u);
  EXPECT_EQ(std::string(buf, 5), "hello");
  EXPECT_EQ(s.Read(buf, 1), 0u);
  s.SetPosition(7);
  s.WriteBuffer("!", 1);  // the gap fills with zeros
  EXPECT_EQ(s.Size(), 8);
  EXPECT_EQ(s.Bytes()[5], std::byte{0});
  s.SetPosition(6);
  EXPECT_THROW(s.ReadBuffer(buf, 3), EReadError);
}

TEST(SpanStream, IsReadOnlyAndClampsAtTheEnd) {
  auto bytes = testing::Bytes({1, 2, 3});
  TSpanStream s(bytes);
  EXPECT_EQ(s.Seek(10, TSeekOrigin::soBeginning), 3);
  EXPECT_EQ(s.Seek(-1, TSeekOrigin::soEnd), 2);
  std::uint8_t b = 0;
  s.ReadBuffer(&b, 1);
  EXPECT_EQ(b, 3);
  EXPECT_EQ(s.Write(&b, 1), 0u);
  EXPECT_THROW(s.WriteBuffer(&b, 1), EWriteError);
}

TEST(FileStream, RoundTripAndErrorsNameThePath) {
  const auto dir = std::filesystem::temp_directory_path() / ("vxosd_stream_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "a.bin").string();
  WriteFileBytes(path, testing::Bytes({9, 8, 7, 6}));
  EXPECT_EQ(ReadFileBytes(path), testing::Bytes({9, 8, 7, 6}));
  EXPECT_THROW(ReadFileBytes(path, 3), EReadError);
  try {
    TFileStream f((dir / "missing").string(), TFileMode::fmOpenRead);
    FAIL();
  } catch (const EFOpenError &e) {
    EXPECT_NE(std::string(e.what()).find("missing"), std::string::npos);
  }
  EXPECT_THROW(TFileStream((dir / "no/such/dir").string(), TFileMode::fmCreate), EFCreateError);
  {
    TFileStream f(path, TFileMode::fmOpenReadWrite);
    EXPECT_EQ(f.Size(), 4);
    f.Seek(2, TSeekOrigin::soBeginning);
    f.WriteBuffer("\x01", 1);
  }
  EXPECT_EQ(ReadFileBytes(path), testing::Bytes({9, 8, 1, 6}));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace vx
