// The tools' command lines, run as a user runs them: help, refusals that name the argument at
// fault and what is valid, and output paths checked before any work is done.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

struct Result {
  int status = -1;
  std::string output;
};

// Runs a shell command; the output holds standard error too unless the command redirects it.
Result RunCommand(const std::string &command) {
  Result r;
  std::FILE *pipe = ::popen(("exec 2>&1; " + command).c_str(), "r");
  if (!pipe) return r;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    r.output.append(buffer, n);
  const int status = ::pclose(pipe);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

class ToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("vxosd-tools-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string &name) const { return (dir_ / name).string(); }
  std::string Scene(const std::string &text, const std::string &name = "t.scene") const {
    const std::string path = Path(name);
    std::ofstream(path) << text;
    return path;
  }
  fs::path dir_;
};

const std::string kPlay = VXOSD_PLAY_PATH;
const std::string kCalendar = VXOSD_CALENDAR_PATH;

TEST_F(ToolTest, HelpPrintsUsageAndSucceeds) {
  for (const std::string &tool : {kPlay, kCalendar}) {
    for (const char *flag : {" --help", " -h"}) {
      const Result r = RunCommand(tool + flag + " 2>/dev/null");
      EXPECT_EQ(r.status, 0) << tool << flag;
      EXPECT_EQ(r.output.rfind("usage: ", 0), 0u) << tool << flag << ": " << r.output;
    }
  }
}

TEST_F(ToolTest, PlayRefusalsNameTheArgumentAndWhatIsValid) {
  const std::string scene = Scene("AddVxComponent a 0\n");
  const struct {
    std::string args, says;
  } cases[] = {
      {"--card=foo " + scene, "--card=foo: the card is virtual or none"},
      {"--bogus " + scene, "--bogus: unknown option"},
      {"--out " + scene, "--out: needs a value: --out=DIR"},
      {"--gif= " + scene, "--gif=: needs a value"},
      {scene + " other.scene", "other.scene: one scene only"},
      {"--fast", "no scene given"},
  };
  for (const auto &c : cases) {
    const Result r = RunCommand(kPlay + " " + c.args);
    EXPECT_EQ(r.status, 2) << c.args;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << c.args << ": " << r.output;
  }
}

TEST_F(ToolTest, PlayChecksEveryOutputPathBeforeTheRunAndCreatesNoFolder) {
  const std::string scene = Scene(
      "AddVxComponent a 0\nwait 60\nsnapshot one.png\nwait 60\n"
      "snapshot missing/two.png\n");
  const std::string fast = kPlay + " --fast --card=none ";
  // A snapshot into a folder that does not exist: refused before the run, with its line.
  Result r = RunCommand(fast + "--out=" + dir_.string() + " " + scene);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("t.scene:5: snapshot missing/two.png: no such folder"), std::string::npos)
      << r.output;
  EXPECT_EQ(r.output.find("scene time"), std::string::npos) << "the run started: " << r.output;
  EXPECT_FALSE(fs::exists(dir_ / "missing"));
  EXPECT_FALSE(fs::exists(dir_ / "one.png"));

  // The snapshot folder, the preview and the RGBA file: refused before the run, by name.
  const std::string plain = Scene("AddVxComponent a 0\nwait 60\n", "plain.scene");
  for (const std::string &args : {"--out=" + Path("nowhere"), "--gif=" + Path("nowhere/run.gif"),
                                  "--rgba=" + dir_.string()}) {
    r = RunCommand(fast + args + " " + plain);
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_NE(r.output.find(args + ": "), std::string::npos) << args << ": " << r.output;
    EXPECT_EQ(r.output.find("scene time"), std::string::npos) << args << ": " << r.output;
  }
  EXPECT_FALSE(fs::exists(dir_ / "nowhere"));

  // Without snapshots, the same scene runs and writes nothing into the current folder.
  r = RunCommand("cd " + dir_.string() + " && " + fast + "--no-snapshots " + scene);
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_FALSE(fs::exists(dir_ / "one.png"));
  fs::create_directory(dir_ / "missing");
  r = RunCommand(fast + "--out=" + dir_.string() + " " + scene);
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(fs::exists(dir_ / "missing" / "two.png"));
}

TEST_F(ToolTest, CalendarRefusalsNameTheArgumentAndTheValidRange) {
  const std::string out = Path("month.png");
  const struct {
    std::string args, says;
  } cases[] = {
      {"--size 5x5 " + out, "--size 5x5: width 7 to 4000 and height 8 to 4000"},
      {"--size big " + out, "--size big: width 7 to 4000"},
      {"--month 2200-01 " + out, "--month 2200-01: a month from 1900-01 to 2100-12"},
      {"--select 2008-02-30 " + out, "--select 2008-02-30: a day from 1900-01-01 to 2100-12-31"},
      {"--hint-at 3 " + out, "--hint-at 3: a point"},
      {out + " --month", "--month: needs a value"},
      {"--colour " + out, "--colour: unknown option"},
      {out + " second.png", "second.png: one picture only"},
  };
  for (const auto &c : cases) {
    const Result r = RunCommand(kCalendar + " " + c.args);
    EXPECT_EQ(r.status, 2) << c.args;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << c.args << ": " << r.output;
  }
  const Result r = RunCommand(kCalendar + " --month 2008-08 " + Path("nowhere/month.png"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("no such folder"), std::string::npos) << r.output;
  EXPECT_FALSE(fs::exists(dir_ / "nowhere"));
  EXPECT_FALSE(fs::exists(out));
}

// A PNG's width, height and colour type, from its header; all -1 when it is no PNG.
struct PngHeader {
  long width = -1, height = -1;
  int colour_type = -1;
};
PngHeader ReadPngHeader(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  unsigned char h[26] = {};
  if (!in.read(reinterpret_cast<char *>(h), sizeof h) || h[1] != 'P' || h[12] != 'I') return {};
  auto u32 = [&](int at) { return (long{h[at]} << 24) | (long{h[at + 1]} << 16) | (h[at + 2] << 8) | h[at + 3]; };
  return {u32(16), u32(20), h[25]};
}

TEST_F(ToolTest, PlayFrameRefusesBadSizesAndTheCard) {
  const std::string scene = Scene("wait 60\n");
  const struct {
    std::string args, says;
  } cases[] = {
      {"--frame=15x100", "--frame=15x100: the frame is WxH, 16x16 to 7680x4320"},
      {"--frame=7681x100", "the frame is WxH"},
      {"--frame=1920x", "the frame is WxH"},
      {"--frame", "the frame is WxH"},
      {"--frame=64x48 --card=virtual", "--card=virtual: the card takes no true-colour frame"},
      {"--frame=64x48 --gif=" + Path("x.gif"), "has no use with --frame"},
  };
  for (const auto &c : cases) {
    const Result r = RunCommand(kPlay + " --fast " + c.args + " " + scene);
    EXPECT_EQ(r.status, 2) << c.args;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << c.args << ": " << r.output;
  }
}

TEST_F(ToolTest, PlayFrameWritesTrueColourSnapshotsAndRgbaOfThatSize) {
  const std::string scene = Scene(
      "AddVxComponent p 0\nSetVxComponent_Pos p 10 10 20 20\n"
      "SetVxComponent_Color p 0xFF0000 128\nSetVxComponent_Visible p 0 1\n"
      "wait 120\nsnapshot shot.png\n");
  const Result r = RunCommand(kPlay + " --fast --frame=64x48 --out=" + dir_.string() +
                              " --rgba=" + Path("frames.rgba") + " " + scene);
  ASSERT_EQ(r.status, 0) << r.output;
  const PngHeader png = ReadPngHeader(Path("shot.png"));
  EXPECT_EQ(png.width, 64);
  EXPECT_EQ(png.height, 48);
  EXPECT_EQ(png.colour_type, 6);  // RGBA
  // Two cycles of 64 x 48 RGBA: straight colour, the panel's level as alpha, the key clear.
  std::ifstream in(Path("frames.rgba"), std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(bytes.size(), 2u * 64 * 48 * 4);
  auto at = [&](int x, int y, int c) { return static_cast<unsigned char>(bytes[(y * 64 + x) * 4 + c]); };
  EXPECT_EQ(at(0, 0, 3), 0);
  EXPECT_EQ(at(20, 20, 3), 128);
  EXPECT_EQ(at(20, 20, 2), 255);  // blue, as drawn
  EXPECT_EQ(at(20, 20, 0), 0);
}

}  // namespace
