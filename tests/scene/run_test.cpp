#include "scene/run.h"

#include "vxosd/vxosd.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/bmp_builder.h"

namespace vxscene {
namespace {

// Records what a run asks of its host, in order.
struct Recorder : SceneHost {
  void Pass(std::uint32_t ms) override { log.push_back("pass " + std::to_string(ms)); }
  bool Snapshot(const Step &s) override {
    log.push_back("snapshot " + s.args[0].utf8);
    return s.args[0].utf8 != "stop.png";
  }
  void Refused(const Step &s, const std::string &) override { log.push_back("refused " + s.call); }
  void Note(const Step &, const std::string &note) override { log.push_back(note); }
  void Warned(const Step &s, const std::string &w) override {
    log.push_back("warned " + s.call + ": " + w);
  }
  std::vector<std::string> log;
};

using Log = std::vector<std::string>;

TEST(SceneRunTest, RunsStepsAsTheClockReachesThem) {
  // The library is not started, so its exports answer 0: each one shows as refused.
  SceneRun run(LinkedLibrary(), ParseScene("DelVxComponent a\nwait 100\nDelVxComponent b\nwait 50\n"),
               ".");
  Recorder host;
  EXPECT_TRUE(run.RunUntil(30, host));
  EXPECT_EQ(host.log, (Log{"refused DelVxComponent", "pass 30"}));
  EXPECT_EQ(run.now_ms(), 30u);
  host.log.clear();
  // Time never runs backwards.
  EXPECT_TRUE(run.RunUntil(10, host));
  EXPECT_TRUE(host.log.empty());
  // A step due exactly at the target runs.
  EXPECT_TRUE(run.RunUntil(100, host));
  EXPECT_EQ(host.log, (Log{"pass 70", "refused DelVxComponent"}));
  host.log.clear();
  EXPECT_FALSE(run.finished());
  // Past the end of the scene, time goes on for its timers.
  EXPECT_TRUE(run.RunUntil(400, host));
  EXPECT_EQ(host.log, (Log{"pass 50", "pass 250"}));
  EXPECT_TRUE(run.finished());
  EXPECT_EQ(run.now_ms(), 400u);
}

TEST(SceneRunTest, RunToEndStopsWhenTheHostSaysSo) {
  SceneRun run(LinkedLibrary(),
               ParseScene("wait 20\nsnapshot a.png\nwait 0\nsnapshot stop.png\nwait 20\n"), ".");
  Recorder host;
  EXPECT_FALSE(run.RunToEnd(host));
  EXPECT_EQ(host.log, (Log{"pass 20", "snapshot a.png", "snapshot stop.png"}));
  EXPECT_EQ(run.now_ms(), 20u);
}

TEST(SceneRunTest, AMissingPictureIsAWarningNamingTheFile) {
  VxOSD_UseManualClock(1);
  SceneRun run(LinkedLibrary(),
               ParseScene("InitVxOSD\nAddVxComponent logo 3\n"
                          "SetVxComponent_PicFile logo \"no-such.bmp\"\nFreeVxOSD\n"),
               ".");
  Recorder host;
  EXPECT_TRUE(run.RunToEnd(host));
  VxOSD_UseManualClock(0);
  ASSERT_EQ(host.log.size(), 1u);
  EXPECT_NE(host.log[0].find("warned SetVxComponent_PicFile: "), std::string::npos);
  EXPECT_NE(host.log[0].find("no-such.bmp"), std::string::npos);
}

// A host that loads the library hands its own table: the run calls through it, never the
// library it happens to be linked with.
std::vector<std::string> g_calls;
uint8_t VXOSD_CALL FakeDel(const char *name) {
  g_calls.push_back(std::string("del ") + name);
  return 1;
}
uint8_t VXOSD_CALL FakeTextRect(const char *name, const uint16_t *text, int32_t r[4]) {
  g_calls.push_back(std::string("rect ") + name + " " + std::to_string(text[0]));
  r[0] = 1, r[1] = 2, r[2] = 30, r[3] = 40;
  return 1;
}
uint32_t VXOSD_CALL FakeLastError(char *, uint32_t) { return 0; }

// InitVxOSD's 0: running without a card is no failure; a refused start is, and a card held by
// another library is a warning.
int32_t g_status = VXOSD_STATUS_NONE;
uint8_t VXOSD_CALL FakeInit() { return 0; }
int32_t VXOSD_CALL FakeStatus() { return g_status; }

TEST(SceneRunTest, ARefusedInitIsReportedAndRunningWithoutACardIsNot) {
  Library fake;
  fake.InitVxOSD = FakeInit;
  fake.VxOSD_GetStatus = FakeStatus;
  fake.VxOSD_GetLastError = FakeLastError;
  const std::vector<std::pair<int32_t, Log>> cases = {
      {VXOSD_STATUS_NO_CARD, {}},
      {VXOSD_STATUS_NONE, {"refused InitVxOSD"}},
      {VXOSD_STATUS_CARD_TAKEN, {"warned InitVxOSD: "}}};
  for (const auto &[status, expected] : cases) {
    g_status = status;
    SceneRun run(fake, ParseScene("InitVxOSD\n"), ".");
    Recorder host;
    EXPECT_TRUE(run.RunToEnd(host));
    EXPECT_EQ(host.log, expected) << status;
  }
}

TEST(SceneRunTest, CallsTheExportsThroughTheTableItIsGiven) {
  Library fake;
  fake.DelVxComponent = FakeDel;
  fake.GetVxComponent_TextRect = FakeTextRect;
  fake.VxOSD_GetLastError = FakeLastError;
  g_calls.clear();
  SceneRun run(fake, ParseScene("DelVxComponent a\nGetVxComponent_TextRect t \"A\"\n"), ".");
  Recorder host;
  EXPECT_TRUE(run.RunToEnd(host));
  EXPECT_EQ(g_calls, (Log{"del a", "rect t 65"}));
  EXPECT_EQ(host.log, (Log{"t text rect 1 2 30 40"}));
}

// Picture paths are built from the scene's UTF-8 on every system: a Chinese folder and file
// name reach the library whole (on Windows a narrow path would go through the ANSI code page).
TEST(SceneRunTest, PicturePathsWithChineseNamesReachTheLibrary) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / fs::path(u8"vxosd_场景_run_test");
  const fs::path pictures = dir / fs::path(u8"图片");
  fs::create_directories(pictures);
  {
    vx::testing::BmpSpec spec;
    spec.width = 2, spec.height = 2, spec.bpp = 24;
    spec.pixels = vx::testing::PadRows(std::vector<std::uint8_t>(12, 0x80), 6);
    const std::vector<std::byte> bmp = vx::testing::BuildBmp(spec);
    std::ofstream out(pictures / fs::path(u8"台标.bmp"), std::ios::binary);
    out.write(reinterpret_cast<const char *>(bmp.data()), static_cast<std::streamsize>(bmp.size()));
  }
  EXPECT_EQ(ScenePath(dir, "图片/台标.bmp"),
            (dir / fs::path(u8"图片/台标.bmp")).u16string());
  VxOSD_UseManualClock(1);
  SceneRun run(LinkedLibrary(),
               ParseScene("InitVxOSD\nAddVxComponent logo 3\n"
                          "SetVxComponent_PicFile logo \"图片/台标.bmp\"\nFreeVxOSD\n"),
               dir);
  Recorder host;
  EXPECT_TRUE(run.RunToEnd(host));
  VxOSD_UseManualClock(0);
  EXPECT_EQ(host.log, Log{}) << "the picture was not found under its Chinese name";
  std::error_code ec;
  fs::remove_all(dir, ec);
}

// A folder whose name cannot be joined into UTF-16 refuses the step instead of handing the
// library a path without its folder.
#ifndef _WIN32
uint8_t VXOSD_CALL FakePicFile(const char *name, const uint16_t *) {
  g_calls.push_back(std::string("pic ") + name);
  return 1;
}
#endif

TEST(SceneRunTest, APathThatCannotBeConvertedRefusesTheStep) {
#ifdef _WIN32
  GTEST_SKIP() << "a folder name on Windows is UTF-16 already";
#else
  Library fake;
  fake.VxOSD_GetLastError = FakeLastError;
  fake.SetVxComponent_PicFile = FakePicFile;
  g_calls.clear();
  SceneRun run(fake, ParseScene("SetVxComponent_PicFile logo \"a.bmp\"\n"), "/tmp/\xff\xfe");
  Recorder host;
  EXPECT_TRUE(run.RunToEnd(host));
  EXPECT_EQ(g_calls, Log{});
  EXPECT_EQ(host.log, (Log{"refused SetVxComponent_PicFile"}));
  EXPECT_THROW(ScenePath("/tmp/\xff", "a.bmp"), PathError);
#endif
}

}  // namespace
}  // namespace vxscene
