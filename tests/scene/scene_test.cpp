#include "scene/scene.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace vxscene {
namespace {

int ErrorLine(std::string_view text, std::string *message = nullptr) {
  try {
    ParseScene(text);
  } catch (const SceneError &e) {
    if (message) *message = e.what();
    return e.line;
  }
  return 0;
}

TEST(SceneTest, ReadsCallsWaitsSnapshotsAndComments) {
  const auto steps = ParseScene(
      "# a comment\n"
      "\n"
      "AddVxComponent title 2   # trailing comment\n"
      "SetVxComponent_Pos \"title\", 20, -400, 0x10, 0\n"
      "SetVxComponent_Color title 0xFFFFFFFF 255\n"
      "SetVxComponent_Text title \"say \\\"hi\\\"\\\\\\n宋\"\r\n"
      "wait 1500\n"
      "snapshot shots/one.png\n");
  ASSERT_EQ(steps.size(), 6u);
  EXPECT_EQ(steps[0].line, 3);
  EXPECT_EQ(steps[0].call, "AddVxComponent");
  EXPECT_EQ(steps[0].args[0].utf8, "title");
  EXPECT_EQ(steps[0].args[1].number, 2);
  EXPECT_EQ(steps[1].args[2].number, -400);
  EXPECT_EQ(steps[1].args[3].number, 16);
  EXPECT_EQ(steps[2].args[1].number, -1);  // 0xFFFFFFFF as a 32-bit value
  EXPECT_EQ(steps[3].args[1].utf16, u"say \"hi\"\\\n宋");
  EXPECT_EQ(steps[4].args[0].number, 1500);
  EXPECT_EQ(steps[5].args[0].utf8, "shots/one.png");
  EXPECT_EQ(SceneDuration(steps), 1500u);
}

TEST(SceneTest, ErrorsNameTheLine) {
  std::string m;
  EXPECT_EQ(ErrorLine("wait 10\nSetVxComponent_Bogus a 1\n", &m), 2);
  EXPECT_NE(m.find("unknown call"), std::string::npos);
  EXPECT_EQ(ErrorLine("AddVxComponent a\n", &m), 1);
  EXPECT_NE(m.find("takes 2"), std::string::npos);
  EXPECT_EQ(ErrorLine("\n\nAddVxComponent a 1 2\n"), 3);
  EXPECT_EQ(ErrorLine("AddVxComponent a 12abc\n", &m), 1);
  EXPECT_NE(m.find("bad value"), std::string::npos);
  EXPECT_EQ(ErrorLine("AddVxComponent a 0x1FFFFFFFF\n"), 1);
  EXPECT_EQ(ErrorLine("wait -5\n"), 1);
  EXPECT_EQ(ErrorLine("SetVxComponent_Text a \"open\n"), 1);
  EXPECT_EQ(ErrorLine("SetVxComponent_Text a \"bad \\t\"\n"), 1);
  EXPECT_EQ(ErrorLine("SetVxComponent_Text a bare\n"), 1);  // texts are quoted
  EXPECT_EQ(ErrorLine("SetVxComponent_Text a \"\xff\xfe\"\n"), 1);
  EXPECT_EQ(ErrorLine("\"AddVxComponent\" a 1\n"), 1);
  EXPECT_EQ(ErrorLine("AddVxComponent a; 1\n"), 1);
  EXPECT_EQ(ErrorLine("SetVxOSD_Debug 5\n"), 1);  // takes a device context: not scriptable
  // A NUL would end the text the export receives: refused, not cut.
  EXPECT_EQ(ErrorLine(std::string("wait 1\nSetVxComponent_Text a \"ab\0cd\"\n", 37), &m), 2);
  EXPECT_NE(m.find("NUL"), std::string::npos) << m;
}

TEST(SceneTest, ReadsWhatEditorsWrite) {
  // A byte-order mark at the start is skipped; line numbers stay those of the editor.
  const auto steps = ParseScene("\xEF\xBB\xBFwait 10\r\n\r\nwait 20\r\n");
  ASSERT_EQ(steps.size(), 2u);
  EXPECT_EQ(steps[1].line, 3);
  // Only at the start: elsewhere it is an unknown call.
  EXPECT_EQ(ErrorLine("wait 10\n\xEF\xBB\xBFwait 20\n"), 2);
  // Control characters are shown escaped, so the message shows what the editor hides.
  std::string m;
  EXPECT_EQ(ErrorLine("wait 10\x1B[0m\n", &m), 1);
  EXPECT_NE(m.find("unexpected character '\\x1B'"), std::string::npos) << m;
  EXPECT_EQ(ErrorLine(std::string_view("AddVxComponent a\0 1\n", 19), &m), 1);
  EXPECT_NE(m.find("'\\x00'"), std::string::npos) << m;
  EXPECT_EQ(ErrorLine("SetVxComponent_Text a \"x\\\x7F\"\n", &m), 1);
  EXPECT_NE(m.find("unknown escape \\\\x7F"), std::string::npos) << m;
  EXPECT_EQ(Escaped("a\tb\x01" "c宋"), "a\\x09b\\x01c宋");
}

TEST(SceneTest, SceneFilesThatCannotRun) {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("vxosd-scene-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  std::filesystem::create_directories(dir);
  auto write = [&](const char *name, std::string_view text) {
    std::ofstream(dir / name, std::ios::binary) << text;
    return dir / name;
  };
  auto file_error = [](const std::filesystem::path &p) -> std::string {
    try {
      LoadScene(p);
    } catch (const SceneFileError &e) {
      return e.what();
    }
    return "";
  };
  EXPECT_NE(file_error(dir).find("is a directory"), std::string::npos);
  EXPECT_NE(file_error(dir / "missing.scene").find("cannot read"), std::string::npos);
  EXPECT_NE(file_error(write("empty.scene", "")).find("empty scene"), std::string::npos);
  EXPECT_NE(file_error(write("bom.scene", "\xEF\xBB\xBF")).find("empty scene"), std::string::npos);
  EXPECT_NE(file_error(write("comments.scene", "# nothing\n\n  \n")).find("empty scene"),
            std::string::npos);
  EXPECT_THROW(LoadScene(write("bad.scene", "wait 1\nwait x\n")), SceneError);
  EXPECT_EQ(LoadScene(write("good.scene", "\xEF\xBB\xBFwait 5\n")).size(), 1u);
  // Only regular files, and not larger than the limit: a device gives bytes for ever, a
  // named pipe none and never ends.
  const auto large = write("large.scene", "wait 5\n");
  std::filesystem::resize_file(large, kMaxSceneBytes + 1);
  EXPECT_NE(file_error(large).find("larger than 16 MiB"), std::string::npos);
#ifndef _WIN32
  EXPECT_NE(file_error("/dev/zero").find("not a regular file"), std::string::npos);
  const auto fifo = dir / "pipe.scene";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_NE(file_error(fifo).find("not a regular file"), std::string::npos);
#endif
  std::filesystem::remove_all(dir);
}

TEST(SceneTest, Utf8Conversion) {
  std::u16string out;
  EXPECT_TRUE(Utf8ToUtf16("a\xE5\xAE\x8B\xF0\x9F\x98\x80", out));
  EXPECT_EQ(out, u"a宋\U0001F600");
  EXPECT_FALSE(Utf8ToUtf16("\xC0\x80", out));      // overlong
  EXPECT_FALSE(Utf8ToUtf16("\xED\xA0\x80", out));  // surrogate
  EXPECT_FALSE(Utf8ToUtf16("\xE5\xAE", out));      // cut short
}

}  // namespace
}  // namespace vxscene
