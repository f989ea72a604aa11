#include "aatext/aaeffect.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/exceptions.h"
#include "platform/inifile.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path &p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteAll(const fs::path &p, const std::string &s) {
  std::ofstream out(p, std::ios::binary);
  out << s;
}

class TempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    dir_ = fs::temp_directory_path() / ("vxosd_aatext_" + std::to_string(random()) + std::to_string(random()));
    ASSERT_TRUE(fs::create_directories(dir_));
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST(AAEffectDefaults, InitialValues) {
  TAAEffect e;
  EXPECT_EQ(e.Alpha(), 100);
  EXPECT_EQ(e.Blur(), 0);
  EXPECT_EQ(e.Angle(), 0);
  EXPECT_EQ(e.Noise(), 0);
  EXPECT_EQ(e.Spray(), 0);
  EXPECT_FALSE(e.Outline());
  EXPECT_FALSE(e.HorzMirror());
  EXPECT_FALSE(e.VertMirror());
  EXPECT_FALSE(e.Shadow().Enabled());
  EXPECT_EQ(e.Shadow().Blur(), 80);
  EXPECT_EQ(e.Shadow().Alpha(), 70);
  EXPECT_EQ(e.Shadow().Color(), 0x444444);
  EXPECT_EQ(e.Shadow().OffsetX(), 2);
  EXPECT_EQ(e.Shadow().OffsetY(), 2);
  EXPECT_FALSE(e.Gradual().Enabled());
  EXPECT_EQ(e.Gradual().Style(), gsLeftToRight);
  EXPECT_EQ(e.Gradual().StartColor(), 0xFFFFFF);
  EXPECT_EQ(e.Gradual().EndColor(), 0x000000);
  EXPECT_FALSE(e.Texture().Enabled());
  EXPECT_EQ(e.Texture().Mode(), tmTiled);
}

TEST(AAEffectRanges, ValuesAreClampedIntoTheirRanges) {
  TAAEffect e;
  e.SetAlpha(150);
  EXPECT_EQ(e.Alpha(), 100);
  e.SetBlur(-5);
  EXPECT_EQ(e.Blur(), 0);
  e.SetAngle(1000);
  EXPECT_EQ(e.Angle(), 360);
  e.SetAngle(-1000);
  EXPECT_EQ(e.Angle(), -360);
  e.SetNoise(300);
  EXPECT_EQ(e.Noise(), 255);
  e.SetSpray(101);
  EXPECT_EQ(e.Spray(), 100);
  e.Shadow().SetOffsetX(-25);
  EXPECT_EQ(e.Shadow().OffsetX(), -20);
  e.Shadow().SetOffsetY(21);
  EXPECT_EQ(e.Shadow().OffsetY(), 20);
  e.Gradual().SetStyle(static_cast<TGradualStyle>(9));
  EXPECT_EQ(e.Gradual().Style(), gsLeftToRight);
}

TEST(AAEffectNotify, ChangedValuesNotifyOnceUnchangedNever) {
  TAAEffect e;
  int count = 0;
  TNotifyClass *sender = nullptr;
  e.OnChanged = [&](TNotifyClass *s) {
    ++count;
    sender = s;
  };
  e.SetAlpha(100);
  EXPECT_EQ(count, 0);
  e.SetAlpha(50);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(sender, &e);
  e.SetOutline(true);
  e.SetOutline(true);
  EXPECT_EQ(count, 2);
}

TEST(AAEffectNotify, DisabledPartsStayQuietEnablingAlwaysNotifies) {
  TAAEffect e;
  int count = 0;
  e.OnChanged = [&](TNotifyClass *) { ++count; };
  e.Shadow().SetBlur(10);  // the shadow is off
  EXPECT_EQ(count, 0);
  EXPECT_EQ(e.Shadow().Blur(), 10);
  e.Shadow().SetEnabled(true);
  EXPECT_EQ(count, 1);
  e.Shadow().SetBlur(20);
  EXPECT_EQ(count, 2);
  e.Shadow().SetEnabled(false);
  EXPECT_EQ(count, 3);
  e.Gradual().SetEndColor(0x123456);
  EXPECT_EQ(count, 3);
  e.Texture().SetEnabled(true);
  TBitmap pic;
  pic.SetSize(2, 2);
  e.Texture().SetPicture(pic);
  EXPECT_EQ(count, 5);
}

TEST(AAEffectAssign, CopiesEveryValueWithTheParts) {
  TAAEffect a, b;
  a.SetAlpha(40);
  a.SetBlur(30);
  a.SetAngle(-45);
  a.SetNoise(12);
  a.SetSpray(3);
  a.SetHorzMirror(true);
  a.Shadow().SetEnabled(true);
  a.Shadow().SetOffsetX(-3);
  a.Gradual().SetStyle(gsCenterToTB);
  a.Texture().SetMode(tmCenter);
  TBitmap pic;
  pic.SetSize(3, 5);
  a.Texture().SetPicture(pic);
  b.Assign(a);
  EXPECT_EQ(b.Alpha(), 40);
  EXPECT_EQ(b.Blur(), 30);
  EXPECT_EQ(b.Angle(), -45);
  EXPECT_EQ(b.Noise(), 12);
  EXPECT_EQ(b.Spray(), 3);
  EXPECT_TRUE(b.HorzMirror());
  EXPECT_TRUE(b.Shadow().Enabled());
  EXPECT_EQ(b.Shadow().OffsetX(), -3);
  EXPECT_EQ(b.Gradual().Style(), gsCenterToTB);
  EXPECT_EQ(b.Texture().Mode(), tmCenter);
  EXPECT_EQ(b.Texture().Picture().Width(), 3);
  EXPECT_EQ(b.Texture().Picture().Height(), 5);
}

TEST(AAEffectAssign, NotifiesOnlyForAChangeThatShows) {
  TAAEffect a, b;
  int count = 0;
  b.OnChanged = [&](TNotifyClass *) { ++count; };
  b.Assign(a);  // nothing differs
  EXPECT_EQ(count, 0);
  // A disabled part takes other values silently; switching it on notifies.
  a.Shadow().SetOffsetY(-7);
  a.Gradual().SetEndColor(0x123456);
  b.Assign(a);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(b.Shadow().OffsetY(), -7);
  a.Shadow().SetEnabled(true);
  b.SetShadow(a.Shadow());
  EXPECT_EQ(count, 1);
  b.SetShadow(a.Shadow());
  EXPECT_EQ(count, 1);
  // Switching a part off notifies too.
  b.Gradual().SetEnabled(true);
  count = 0;
  b.SetGradual(a.Gradual());
  EXPECT_EQ(count, 1);
  // The effect's own values notify once for any number of changes.
  a.SetAlpha(10);
  a.SetOutline(true);
  count = 0;
  b.Assign(a);
  EXPECT_EQ(count, 1);
  // A texture is not compared: assigning one that is or was enabled always notifies.
  a.Texture().SetEnabled(true);
  count = 0;
  b.SetTexture(a.Texture());
  b.SetTexture(a.Texture());
  EXPECT_EQ(count, 2);
}

TEST_F(TempDir, SettingsRoundTripKeepsOtherSectionsAndKeyOrder) {
  fs::path file = dir_ / "effects.ini";
  WriteAll(file, "; my settings\n[Other]\nAlpha=7\nName=keep me\n\n[Title]\nExtra=1\nBlur=99\n");
  TAAEffect a;
  a.SetAlpha(60);
  a.SetBlur(25);
  a.SetNoise(8);
  a.SetSpray(4);
  a.SetAngle(-30);
  a.SetOutline(true);
  a.SetVertMirror(true);
  a.Shadow().SetEnabled(true);
  a.Shadow().SetAlpha(55);
  a.Shadow().SetBlur(5);
  a.Shadow().SetColor(0x102030);
  a.Shadow().SetOffsetX(-3);
  a.Shadow().SetOffsetY(2);
  a.Gradual().SetEnabled(true);
  a.Gradual().SetStartColor(0x0000FF);
  a.Gradual().SetEndColor(0xFF0000);
  a.Gradual().SetStyle(gsBottomToTop);
  a.Texture().SetMode(tmStretched);
  {
    TIniFile ini(file.string());
    a.SaveToIni(ini, "Title");
  }
  std::string text = ReadAll(file);
  EXPECT_NE(text.find("; my settings\n[Other]\nAlpha=7\nName=keep me\n"), std::string::npos);
  EXPECT_NE(text.find("[Title]\nExtra=1\nBlur=25\nAlpha=60\nNoise=8\nSpray=4\nAngle=-30\n"
                      "Outline=1\nHorzMirror=0\nVertMirror=1\nShadow=1\nShadowAlpha=55\n"
                      "ShadowBlur=5\nShadowColor=1056816\nShadowOffsetX=-3\nShadowOffsetY=2\n"
                      "Gradual=1\nGradualStartColor=255\nGradualEndColor=16711680\n"
                      "GradualStyle=3\nTexture=0\nTextureMode=1\n"),
            std::string::npos)
      << text;

  TAAEffect b;
  int count = 0;
  b.OnChanged = [&](TNotifyClass *) { ++count; };
  TIniFile ini(file.string());
  b.LoadFromIni(ini, "title");  // sections compare case-insensitively
  EXPECT_EQ(count, 0);          // reading does not notify
  EXPECT_EQ(b.Alpha(), 60);
  EXPECT_EQ(b.Blur(), 25);
  EXPECT_EQ(b.Noise(), 8);
  EXPECT_EQ(b.Spray(), 4);
  EXPECT_EQ(b.Angle(), -30);
  EXPECT_TRUE(b.Outline());
  EXPECT_FALSE(b.HorzMirror());
  EXPECT_TRUE(b.VertMirror());
  EXPECT_TRUE(b.Shadow().Enabled());
  EXPECT_EQ(b.Shadow().Alpha(), 55);
  EXPECT_EQ(b.Shadow().Blur(), 5);
  EXPECT_EQ(b.Shadow().Color(), 0x102030);
  EXPECT_EQ(b.Shadow().OffsetX(), -3);
  EXPECT_EQ(b.Shadow().OffsetY(), 2);
  EXPECT_TRUE(b.Gradual().Enabled());
  EXPECT_EQ(b.Gradual().StartColor(), 0x0000FF);
  EXPECT_EQ(b.Gradual().EndColor(), 0xFF0000);
  EXPECT_EQ(b.Gradual().Style(), gsBottomToTop);
  EXPECT_FALSE(b.Texture().Enabled());
  EXPECT_EQ(b.Texture().Mode(), tmStretched);
}

TEST_F(TempDir, MissingKeysKeepCurrentValuesBadStylesBecomeZero) {
  fs::path file = dir_ / "e.ini";
  WriteAll(file, "[FX]\r\nGradualStyle=9\r\nTextureMode=4\r\nAlpha=abc\r\nBlur=$1E\r\n"
                 "Spray=500\r\nShadowOffsetX=-99\r\n");
  TAAEffect e;
  e.SetAlpha(33);
  e.SetNoise(5);
  e.Gradual().SetStyle(gsCenterToLR);
  e.Texture().SetMode(tmNormal);
  TIniFile ini(file.string());
  e.LoadFromIni(ini, "FX");
  EXPECT_EQ(e.Gradual().Style(), gsLeftToRight);
  EXPECT_EQ(e.Texture().Mode(), tmTiled);
  EXPECT_EQ(e.Alpha(), 33);  // not a number: the current value stays
  EXPECT_EQ(e.Blur(), 30);   // hexadecimal
  EXPECT_EQ(e.Noise(), 5);   // missing
  EXPECT_EQ(e.Spray(), 100);
  EXPECT_EQ(e.Shadow().OffsetX(), -20);
  TAAEffect f;
  f.LoadFromIni(ini, "NoSuchSection");
  EXPECT_EQ(f.Alpha(), 100);
  EXPECT_EQ(f.Shadow().Blur(), 80);
}

TEST_F(TempDir, IniWritesKeepLineEndingsAndUnknownLines) {
  fs::path file = dir_ / "w.ini";
  WriteAll(file, "[A]\r\nx = 1\r\n# note\r\n[B]\r\ny=2\r\n");
  TIniFile ini(file.string());
  EXPECT_EQ(ini.ReadInteger("a", "X", 0), 1);
  ini.WriteInteger("A", "x", 5);
  ini.WriteString("A", "z", "two\nlines");
  ini.WriteString("C", "k=v", "v");
  ini.UpdateFile();
  EXPECT_EQ(ReadAll(file), "[A]\r\nx=5\r\n# note\r\nz=two lines\r\n[B]\r\ny=2\r\n\r\n[C]\r\nk v=v\r\n");
  EXPECT_EQ(ini.ReadSection("A"), (std::vector<std::string>{"x", "z"}));
  ini.EraseSection("B");
  ini.DeleteKey("A", "z");
  EXPECT_FALSE(ini.SectionExists("B"));
  EXPECT_FALSE(ini.ValueExists("A", "z"));
  EXPECT_TRUE(ini.ValueExists("C", "K V"));
}

TEST_F(TempDir, AFailedWriteLeavesTheOldFileWhole) {
#ifdef _WIN32
  GTEST_SKIP() << "made to fail by a file size limit, which Windows does not have";
#else
  fs::path file = dir_ / "keep.ini";
  std::string original = "[S]\nAlpha=10\n";
  WriteAll(file, original);
  TIniFile ini(file.string());
  for (int i = 0; i < 200; ++i) ini.WriteInteger("S", "Key" + std::to_string(i), i);

  // Limit the size of files this process may write, so the new file cannot be written.
  struct rlimit old {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 64;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  bool raised = false;
  try {
    ini.UpdateFile();
  } catch (const EWriteError &) {
    raised = true;
  }
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_TRUE(raised);
  EXPECT_EQ(ReadAll(file), original);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);  // no temp left
  EXPECT_TRUE(ini.Modified());
  ini.UpdateFile();  // with room again it goes through
  EXPECT_NE(ReadAll(file).find("Key199=199"), std::string::npos);
#endif
}

TEST_F(TempDir, AFileInAMissingFolderCannotBeCreated) {
  TIniFile ini((dir_ / "nope" / "x.ini").string());  // reads as empty
  EXPECT_FALSE(ini.SectionExists("A"));
  TAAEffect e;
  EXPECT_THROW(e.SaveToIni(ini, "A"), EFCreateError);
}

}  // namespace
}  // namespace vx
