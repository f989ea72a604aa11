#include "live/asrun.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace vxlive {
namespace {

namespace fs = std::filesystem;

AsRunEntry Entry(std::int64_t wall_us, const std::string &line) {
  AsRunEntry e;
  e.wall_us = wall_us;
  e.running_time_ns = 40000000;
  e.source = "http";
  e.lines = {line};
  e.results = {1};
  e.messages = {""};
  e.changed = {"a: " + line};
  return e;
}

class AsRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    dir_ = fs::temp_directory_path() / ("vxosd-asrun-" + std::to_string(getpid()));
    fs::remove_all(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(AsRunTest, EntriesGoToOneFilePerChannelAndDay) {
  AsRunLog log("main", dir_.string());
  std::string error;
  const std::int64_t day1 = 1765276200LL * 1000000;  // 2025-12-09 10:30:00 UTC
  ASSERT_TRUE(log.Add(Entry(day1, "SetVxComponent_Visible a 0 1"), error)) << error;
  ASSERT_TRUE(log.Add(Entry(day1 + 1000, "SetVxComponent_Visible a 0 0"), error)) << error;
  ASSERT_TRUE(log.Add(Entry(day1 + 86400LL * 1000000, "DelVxComponent a"), error)) << error;
  std::ifstream first(dir_ / "asrun" / "main-2025-12-09.jsonl");
  std::string l1, l2, l3;
  ASSERT_TRUE(std::getline(first, l1) && std::getline(first, l2));
  EXPECT_FALSE(std::getline(first, l3));
  EXPECT_NE(l1.find("\"time\":\"2025-12-09T10:30:00.000+00:00\""), std::string::npos) << l1;
  EXPECT_NE(l1.find("\"source\":\"http\""), std::string::npos) << l1;
  EXPECT_NE(l2.find("Visible a 0 0"), std::string::npos) << l2;
  std::ifstream second(dir_ / "asrun" / "main-2025-12-10.jsonl");
  ASSERT_TRUE(std::getline(second, l3));
  EXPECT_NE(l3.find("DelVxComponent a"), std::string::npos);
}

TEST_F(AsRunTest, MemoryKeepsTheNewestAndTheLimitTakesTheLast) {
  AsRunLog log("main", dir_.string());
  std::string error;
  for (std::size_t i = 0; i < AsRunLog::kKept + 5; ++i) log.Add(Entry(1000000, "line " + std::to_string(i)), error);
  JsonNodePtr all(log.ToJson(AsRunLog::kKept));
  JsonArray *entries = json_object_get_array_member(json_node_get_object(all.get()), "entries");
  ASSERT_EQ(json_array_get_length(entries), AsRunLog::kKept);
  const std::string first = JsonText(json_array_get_element(entries, 0));
  EXPECT_NE(first.find("\"line 5\""), std::string::npos) << first;
  JsonNodePtr two(log.ToJson(2));
  entries = json_object_get_array_member(json_node_get_object(two.get()), "entries");
  ASSERT_EQ(json_array_get_length(entries), 2u);
  EXPECT_NE(JsonText(json_array_get_element(entries, 1)).find("line " + std::to_string(AsRunLog::kKept + 4)), std::string::npos);
}

TEST_F(AsRunTest, AnUnwritableFolderIsReportedAndTheEntryKept) {
  std::ofstream(dir_.string() + "-file") << "";
  AsRunLog log("main", dir_.string() + "-file");
  std::string error;
  EXPECT_FALSE(log.Add(Entry(1000000, "x"), error));
  EXPECT_FALSE(error.empty());
  JsonNodePtr all(log.ToJson(10));
  EXPECT_EQ(json_array_get_length(json_object_get_array_member(json_node_get_object(all.get()), "entries")), 1u);
  fs::remove(dir_.string() + "-file");
}

}  // namespace
}  // namespace vxlive
