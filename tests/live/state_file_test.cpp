#include "live/state_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace vxlive {
namespace {

namespace fs = std::filesystem;

class StateFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("vxosd-state-file-" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Read(const fs::path &p) {
    std::optional<std::string> content;
    std::string error;
    EXPECT_TRUE(ReadWholeFile(p, content, error)) << error;
    return content.value_or("<none>");
  }
  std::size_t Entries() { return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), fs::directory_iterator())); }
  fs::path dir_;
};

TEST_F(StateFileTest, WritesAndReplacesWholeFilesLeavingNoTemporary) {
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(dir_ / "a.json", "first", error)) << error;
  EXPECT_EQ(Read(dir_ / "a.json"), "first");
  ASSERT_TRUE(WriteFileAtomically(dir_ / "a.json", "second, longer", error)) << error;
  EXPECT_EQ(Read(dir_ / "a.json"), "second, longer");
  ASSERT_TRUE(WriteFileAtomically(dir_ / "a.json", "", error)) << error;
  EXPECT_EQ(Read(dir_ / "a.json"), "");
  EXPECT_EQ(Entries(), 1u);
}

TEST_F(StateFileTest, AFailedWriteKeepsTheOldFile) {
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(dir_ / "a.json", "old", error));
  // The target is a non-empty folder: the rename fails, after the temporary was written.
  fs::create_directories(dir_ / "b.json" / "inside");
  EXPECT_FALSE(WriteFileAtomically(dir_ / "b.json", "new", error));
  EXPECT_NE(error.find("b.json"), std::string::npos) << error;
  EXPECT_FALSE(WriteFileAtomically(dir_ / "missing" / "c.json", "new", error));
  EXPECT_NE(error.find("missing"), std::string::npos) << error;
  EXPECT_EQ(Read(dir_ / "a.json"), "old");
  EXPECT_EQ(Entries(), 2u);  // a.json and the folder: no temporary left behind
}

TEST_F(StateFileTest, AStaleTemporaryFromAKilledWriterDoesNotMatter) {
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(dir_ / "a.json", "whole", error));
  // A writer killed before its rename leaves only its temporary, half written.
  std::ofstream(dir_ / ".a.json.tmp-99999") << "{\"torn";
  EXPECT_EQ(Read(dir_ / "a.json"), "whole");
  ASSERT_TRUE(WriteFileAtomically(dir_ / "a.json", "next", error));
  EXPECT_EQ(Read(dir_ / "a.json"), "next");
}

TEST_F(StateFileTest, ReadingAMissingFileGivesNothingAndAFolderAnError) {
  std::optional<std::string> content = "x";
  std::string error;
  EXPECT_TRUE(ReadWholeFile(dir_ / "none.json", content, error));
  EXPECT_FALSE(content);
  EXPECT_FALSE(ReadWholeFile(dir_, content, error));
  EXPECT_FALSE(error.empty());
}

TEST_F(StateFileTest, MakeFoldersCreatesParents) {
  std::string error;
  EXPECT_TRUE(MakeFolders(dir_ / "x" / "y" / "z", error)) << error;
  EXPECT_TRUE(fs::is_directory(dir_ / "x" / "y" / "z"));
  std::ofstream(dir_ / "file") << "";
  EXPECT_FALSE(MakeFolders(dir_ / "file" / "sub", error));
}

}  // namespace
}  // namespace vxlive
