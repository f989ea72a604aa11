// TOSDPicute: pictures, split pictures, movies, captions, timers and the refused inputs.

#include "components/picture.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <utility>

#include "platform/canvas.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/exceptions.h"
#include "platform/timer.h"
#include "tests/support/frame_probe.h"

namespace vx {
namespace {

namespace fs = std::filesystem;
using test::IndexAt;

constexpr TColor kWhite = 0xFFFFFF;
constexpr TColor kRed = 0x0000FF;
constexpr TColor kBlue = 0xFF0000;
// Part colours of the split files: distinct and exact in the frame palette.
constexpr TColor kPartColors[] = {0x0000FF, 0x00FF00, 0xFF0000, 0x00FFFF, 0xFF00FF};

class PictureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clock_ = std::make_shared<ManualClock>();
    MessageLoop::Current().SetClock(clock_);
    dir_ = fs::temp_directory_path() /
           ("vxosd_picture_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
    MessageLoop::Current().SetClock(std::make_shared<RealClock>());
  }

  // The library's (UTF-8) name of a file in the folder, on either system.
  std::string Path(const std::string &name) const {
    const std::u8string u8 = (dir_ / std::u8string(name.begin(), name.end())).u8string();
    return std::string(u8.begin(), u8.end());
  }

  // A 24-bit BMP of w x h, colour by paint(x, y).
  template <typename Paint>
  std::string WriteBmp(const std::string &name, int w, int h, Paint paint) {
    TBitmap b;
    b.SetPixelFormat(TPixelFormat::pf24bit);
    b.SetSize(w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) b.SetPixel(x, y, paint(x, y));
    b.SaveToFile(Path(name));
    return Path(name);
  }
  std::string WriteSolid(const std::string &name, int w, int h, TColor color) {
    return WriteBmp(name, w, h, [color](int, int) { return color; });
  }
  // parts x part_w wide, part i painted kPartColors[i], plus `extra` white columns at the end.
  std::string WriteSplit(const std::string &name, int parts, int part_w, int h, int extra = 0) {
    return WriteBmp(name, parts * part_w + extra, h, [=](int x, int) {
      return x / part_w < parts ? kPartColors[x / part_w] : kWhite;
    });
  }
  std::string WriteBytes(const std::string &name, const std::string &bytes) {
    std::ofstream(Path(name), std::ios::binary) << bytes;
    return Path(name);
  }

  void Advance(int ms) { MessageLoop::Current().Advance(ms); }

  // Replaces a picture as copies that keep time stamps do (cp -p, rsync -t, unpacked
  // archives): same size, same dimensions, same modification time, other pixels. In place
  // (the file rewritten) or renamed over the old one.
  void ReplaceKeepingTimes(const std::string &name, int w, int h, TColor color, bool rename) {
    const fs::path path = Path(name);
    const auto mtime = fs::last_write_time(path);
    const auto size = fs::file_size(path);
    const std::string written = WriteSolid(rename ? name + ".new" : name, w, h, color);
    fs::last_write_time(written, mtime);
    if (rename) fs::rename(written, path);
    ASSERT_EQ(fs::file_size(path), size);
    ASSERT_EQ(fs::last_write_time(path), mtime);
  }

  std::shared_ptr<ManualClock> clock_;
  fs::path dir_;
};

TEST_F(PictureTest, ShownPictureHidesAfterHideTimeUnlessZero) {
  TOSDPicute p;
  p.SetPicFile(WriteSolid("a.bmp", 8, 6, kRed));
  EXPECT_EQ(p.Width(), 8);
  EXPECT_EQ(p.Height(), 6);
  EXPECT_EQ(p.splitcount(), 1);
  EXPECT_FALSE(p.movieon());
  p.SetVisible(true);
  Advance(1999);
  EXPECT_TRUE(p.visible);
  Advance(1);
  EXPECT_FALSE(p.visible);
  EXPECT_FALSE(p.hidetimer().Enabled());

  p.SethideTime(0);
  p.SetVisible(true);
  Advance(60000);
  EXPECT_TRUE(p.visible);
}

TEST_F(PictureTest, MissingFileGivesAnEmptyComponentWithoutError) {
  TOSDPicute p;
  p.SetPicFile(WriteSolid("a.bmp", 8, 6, kRed));
  EXPECT_EQ(p.MissingFile(), "");
  EXPECT_NO_THROW(p.SetPicFile(Path("missing.bmp")));
  EXPECT_EQ(p.Width(), 0);
  EXPECT_EQ(p.Height(), 0);
  EXPECT_EQ(p.MissingFile(), Path("missing.bmp"));
  EXPECT_NO_THROW(p.SetPicFile(dir_.string()));  // a directory is no picture either
  EXPECT_EQ(p.Width(), 0);
  EXPECT_EQ(p.MissingFile(), dir_.string());
  p.SetPicMovie(Path("a%d.bmp"), 7, 9);
  EXPECT_EQ(p.MissingFile(), Path("a7.bmp"));
  p.SetPicSplitFile(Path("a.bmp"), 2);
  EXPECT_EQ(p.MissingFile(), "");
}

TEST_F(PictureTest, UnreadableFileIsRefusedAndChangesNothing) {
  TOSDPicute p;
  p.SetPicMovie(WriteSolid("a.bmp", 8, 6, kRed), 0, 0);
  ASSERT_TRUE(p.movieon());
  const std::string bad = WriteBytes("bad.bmp", "BM this is not a bitmap");
  const std::string empty = WriteBytes("empty.bmp", "");
  for (const std::string &file : {bad, empty}) {
    try {
      p.SetPicFile(file);
      ADD_FAILURE() << "accepted " << file;
    } catch (const Exception &e) {
      EXPECT_NE(std::string(e.what()).find(file), std::string::npos) << e.what();
    }
    EXPECT_THROW(p.SetPicSplitFile(file, 2), Exception);
    EXPECT_THROW(p.SetPicMovie(file, 1, 3), Exception);
    EXPECT_EQ(p.Width(), 8);
    EXPECT_EQ(p.GetPixel(0, 0), kRed);
    EXPECT_TRUE(p.movieon());
    EXPECT_EQ(p.moviefile(), Path("a.bmp"));
  }
}

TEST_F(PictureTest, SplitFileShowsEqualPartsAndNeverTheRemainder) {
  TOSDPicute p;
  // 100 wide in 3 parts: 33 each, the last column never shown.
  p.SetPicSplitFile(WriteSplit("s.bmp", 3, 33, 10, 1), 3);
  EXPECT_EQ(p.Width(), 33);
  EXPECT_EQ(p.Height(), 10);
  EXPECT_EQ(p.splitcount(), 3);
  EXPECT_EQ(p.PixelFormat(), TPixelFormat::pf8bit);  // copied into the component's own bitmap
  EXPECT_EQ(p.GetPixel(0, 0), kPartColors[0]);
  EXPECT_EQ(p.GetPixel(32, 9), kPartColors[0]);
  p.SetPicSplitShow(2);
  EXPECT_EQ(p.splitindex(), 2);
  EXPECT_EQ(p.GetPixel(0, 0), kPartColors[2]);
  EXPECT_EQ(p.GetPixel(32, 0), kPartColors[2]);
  EXPECT_EQ(p.Width(), 33);

  p.SetPicSplitFile(Path("s.bmp"), 0);  // count 0: one picture
  EXPECT_EQ(p.Width(), 100);
  EXPECT_EQ(p.splitcount(), 1);
  EXPECT_EQ(p.splitfile(), "");
  EXPECT_NO_THROW(p.SetPicSplitShow(1));  // not split: ignored
  EXPECT_EQ(p.GetPixel(99, 0), kWhite);
}

TEST_F(PictureTest, SplitRequestsOutsideThePartsAreRefused) {
  TOSDPicute p;
  const std::string split = WriteSplit("s.bmp", 4, 5, 5);
  p.SetPicSplitFile(split, 4);
  p.SetPicSplitShow(1);
  for (int index : {-1, 4, 1 << 30}) {
    EXPECT_THROW(p.SetPicSplitShow(index), ERangeError) << index;
    EXPECT_EQ(p.splitindex(), 1);
    EXPECT_EQ(p.GetPixel(0, 0), kPartColors[1]);
  }
  EXPECT_THROW(p.SetPicSplitFile(split, -2), Exception);
  EXPECT_EQ(p.splitcount(), 4);
  // The split file is read again for every part: once gone, parts are refused.
  fs::remove(split);
  EXPECT_THROW(p.SetPicSplitShow(2), EFOpenError);
  EXPECT_EQ(p.GetPixel(0, 0), kPartColors[1]);
  // A missing split file empties the component and changes nothing else.
  p.SetPicSplitFile(split, 2);
  EXPECT_EQ(p.Width(), 0);
  EXPECT_EQ(p.splitcount(), 4);
}

TEST_F(PictureTest, SplitMovieShowsPartsInTurnThenHidesOrLoops) {
  for (bool loop : {false, true}) {
    TOSDPicute p;
    p.SetPicMovie(WriteSplit("m.bmp", 4, 6, 4), 1, 4);
    EXPECT_TRUE(p.movieon());
    EXPECT_TRUE(p.splitmovie());
    EXPECT_EQ(p.GetPixel(0, 0), kPartColors[0]);
    p.Loop = loop;
    p.SetVisible(true);
    EXPECT_TRUE(p.movietimer().Enabled());
    EXPECT_FALSE(p.hidetimer().Enabled());
    for (int part = 1; part < 4; ++part) {
      Advance(1000);
      EXPECT_EQ(p.GetPixel(0, 0), kPartColors[part]) << part;
    }
    Advance(1000);
    if (loop) {
      EXPECT_TRUE(p.visible);
      EXPECT_EQ(p.GetPixel(0, 0), kPartColors[0]);
    } else {
      EXPECT_FALSE(p.visible);
      EXPECT_FALSE(p.movieon());
      EXPECT_EQ(p.GetPixel(0, 0), kPartColors[3]);  // the last frame stays
    }
  }
}

TEST_F(PictureTest, SplitMovieStartingAtThreeStartsOnPartZero) {
  TOSDPicute p;
  p.SetPicMovie(WriteSplit("m.bmp", 5, 4, 4), 3, 5);
  EXPECT_EQ(p.GetPixel(0, 0), kPartColors[0]);
  p.SetVisible(true);
  Advance(1000);
  EXPECT_EQ(p.GetPixel(0, 0), kPartColors[3]);
}

TEST_F(PictureTest, NumberedMovieLoadsEachFileInOrder) {
  WriteSolid("f1.bmp", 4, 4, kPartColors[0]);
  WriteSolid("f2.bmp", 5, 4, kPartColors[1]);
  WriteSolid("f3.bmp", 6, 4, kPartColors[2]);
  TOSDPicute p;
  p.SetmovieTime(40);
  p.SetPicMovie(Path("f%d.bmp"), 1, 3);
  EXPECT_FALSE(p.splitmovie());
  EXPECT_EQ(p.Width(), 4);
  p.SetVisible(true);
  Advance(40);
  EXPECT_EQ(p.Width(), 5);
  EXPECT_EQ(p.GetPixel(0, 0), kPartColors[1]);
  Advance(40);
  EXPECT_EQ(p.Width(), 6);
  Advance(40);
  EXPECT_FALSE(p.visible);

  WriteSolid("g007.bmp", 7, 2, kBlue);
  p.SetPicMovie(Path("g%03d.bmp"), 7, 7);
  EXPECT_EQ(p.Width(), 7);
}

TEST_F(PictureTest, MovieWithLastZeroIsOnePictureInMovieMode) {
  TOSDPicute p;
  p.SetPicMovie(WriteSplit("m.bmp", 2, 3, 3), 0, 0);
  EXPECT_EQ(p.Width(), 6);
  EXPECT_TRUE(p.movieon());
  p.SetVisible(true);
  EXPECT_TRUE(p.movietimer().Enabled());
  Advance(1000);  // frame 1 exceeds last 0: the movie ends
  EXPECT_FALSE(p.visible);
}

TEST_F(PictureTest, MoviePatternsOtherThanOneIntegerPlaceholderAreRefused) {
  TOSDPicute p;
  p.SetPicFile(WriteSolid("a.bmp", 3, 3, kRed));
  for (const char *name : {"f%s.bmp", "f%d%d.bmp", "f%n.bmp", "f%.bmp", "f%", "%%.bmp",
                           "f%1$d.bmp", "f%*d.bmp", "f%ld.bmp", "f%f.bmp", "f%p.bmp",
                           "f%999d.bmp", "f%.99d.bmp"}) {
    EXPECT_THROW(p.SetPicMovie(Path(name), 1, 3), EConvertError) << name;
    EXPECT_FALSE(p.movieon()) << name;
    EXPECT_EQ(p.moviefile(), "") << name;
    EXPECT_EQ(p.Width(), 3) << name;
  }
}

TEST(MoviePattern, FormatsTheNumberWithoutAPrintfFormatter) {
  auto fmt = [](const char *pattern, int n) { return TMoviePattern::Parse(pattern)->Format(n); };
  EXPECT_EQ(fmt("f%d.bmp", 12), "f12.bmp");
  EXPECT_EQ(fmt("f%d.bmp", -5), "f-5.bmp");
  EXPECT_EQ(fmt("f%i", 0), "f0");
  EXPECT_EQ(fmt("%03d", 7), "007");
  EXPECT_EQ(fmt("%.4d", 42), "0042");
  EXPECT_EQ(fmt("[%4d]", 42), "[  42]");
  EXPECT_EQ(fmt("[%-4d]", 42), "[42  ]");
  EXPECT_EQ(fmt("%x/%%", 255), "ff/%");
  EXPECT_EQ(fmt("100%%-%X", 255), "100%-FF");
  EXPECT_EQ(fmt("%u", -1), "4294967295");
  EXPECT_EQ(fmt("%d", INT_MIN), "-2147483648");
  EXPECT_FALSE(TMoviePattern::Parse("no placeholder"));
}

// Widths and precisions: the width may be left out, a precision not; either is at most 64.
TEST(MoviePattern, WidthAndPrecisionFields) {
  EXPECT_TRUE(TMoviePattern::Parse("%64d"));
  EXPECT_TRUE(TMoviePattern::Parse("%.64d"));
  EXPECT_TRUE(TMoviePattern::Parse("%-0d"));
  EXPECT_FALSE(TMoviePattern::Parse("%65d"));
  EXPECT_FALSE(TMoviePattern::Parse("%.65d"));
  EXPECT_FALSE(TMoviePattern::Parse("%.d"));
  EXPECT_FALSE(TMoviePattern::Parse("%4.d"));
  EXPECT_FALSE(TMoviePattern::Parse("%999999999999d"));
}

TEST_F(PictureTest, ChineseFileNamesWorkOnAUtf8System) {
  SetSystemCodePageForTesting("UTF-8");
  const std::string name = "图片_标志.bmp";
  WriteSolid(name, 9, 4, kBlue);
  TOSDPicute p;
  p.SetPicFile(Utf8ToUtf16(Path(name)));
  EXPECT_EQ(p.Width(), 9);
  EXPECT_EQ(p.GetPixel(0, 0), kBlue);
  WriteSplit("分割.bmp", 2, 4, 4);
  p.SetPicSplitFile(Utf8ToUtf16(Path("分割.bmp")), 2);
  EXPECT_EQ(p.Width(), 4);
  WriteSolid("帧1.bmp", 5, 5, kRed);
  p.SetPicMovie(Utf8ToUtf16(Path("帧%d.bmp")), 1, 1);
  EXPECT_EQ(p.Width(), 5);
  SetSystemCodePageForTesting("");
}

TEST_F(PictureTest, SplitMovieDecodesItsFileOnceWhileUnchanged) {
  const std::string file = WriteSplit("m.bmp", 5, 4, 4);
  TOSDPicute p;
  p.SetmovieTime(40);
  p.Loop = true;
  p.SetPicMovie(file, 1, 5);
  p.SetVisible(true);
  Advance(40 * 25);
  EXPECT_EQ(p.Cache().Decodes(), 1u);
  // A changed file (other size) is read again.
  WriteSplit("m.bmp", 5, 5, 4);
  Advance(40);
  EXPECT_EQ(p.Cache().Decodes(), 2u);
  EXPECT_EQ(p.GetPixel(0, 0), kPartColors[p.frame() - 1]);
}

// Only a movie's own ticks reuse a cached picture: a slideshow's earlier pictures, and an
// earlier movie's frames, are not kept.
TEST_F(PictureTest, TheCacheKeepsOnlyWhatTheRunningMovieCanShowAgain) {
  TOSDPicute p;
  for (const char *name : {"s1.bmp", "s2.bmp", "s3.bmp"}) {
    p.SetPicFile(WriteSolid(name, 64, 64, kRed));
    EXPECT_EQ(p.Cache().Size(), 0u) << name;
    EXPECT_EQ(p.Cache().Bytes(), 0u) << name;
  }
  WriteSolid("f1.bmp", 4, 4, kRed);
  WriteSolid("f2.bmp", 4, 4, kBlue);
  p.SetmovieTime(40);
  p.Loop = true;
  p.SetPicMovie(Path("f%d.bmp"), 1, 2);
  p.SetVisible(true);
  Advance(40 * 4);
  EXPECT_EQ(p.Cache().Size(), 2u);  // the movie's two frames, reused while it runs
  const std::string split = WriteSplit("m.bmp", 3, 4, 4);
  p.SetPicMovie(split, 1, 3);
  EXPECT_EQ(p.Cache().Size(), 1u);  // the split movie's file only
  p.SetPicSplitFile(WriteSplit("t.bmp", 2, 4, 4), 2);
  p.SetPicSplitShow(1);
  EXPECT_EQ(p.Cache().Size(), 1u);  // the movie still runs on m.bmp
  p.SetPicFile(WriteSolid("s4.bmp", 8, 8, kBlue));
  EXPECT_EQ(p.Cache().Size(), 0u);  // no movie: nothing can be asked for again
}

TEST_F(PictureTest, HostLoadsReadAFileReplacedUnderTheSameSizeAndTime) {
  TOSDPicute p;
  const std::string file = WriteSolid("a.bmp", 8, 6, kRed);
  p.SetPicFile(file);
  ReplaceKeepingTimes("a.bmp", 8, 6, kBlue, false);
  p.SetPicFile(file);
  EXPECT_EQ(p.GetPixel(0, 0), kBlue);
  ReplaceKeepingTimes("a.bmp", 8, 6, kWhite, false);
  p.SetPicMovie(file, 0, 0);
  EXPECT_EQ(p.GetPixel(0, 0), kWhite);

  const std::string split = WriteSplit("s.bmp", 2, 4, 4);
  p.SetPicSplitFile(split, 2);
  EXPECT_EQ(p.GetPixel(0, 0), kPartColors[0]);
  ReplaceKeepingTimes("s.bmp", 8, 4, kWhite, false);
  p.SetPicSplitFile(split, 2);
  EXPECT_EQ(p.GetPixel(0, 0), kWhite);
  ReplaceKeepingTimes("s.bmp", 8, 4, kBlue, false);
  p.SetPicSplitShow(1);
  EXPECT_EQ(p.GetPixel(0, 0), kBlue);
}

TEST_F(PictureTest, MovieTicksNoticeAFileReplacedUnderTheSameSizeAndTime) {
  WriteSolid("f1.bmp", 4, 4, kRed);
  WriteSolid("f2.bmp", 4, 4, kBlue);
  TOSDPicute p;
  p.SetmovieTime(40);
  p.Loop = true;
  p.SetPicMovie(Path("f%d.bmp"), 1, 2);
  p.SetVisible(true);
  Advance(40 * 4);  // f2, f1, f2, f1
  EXPECT_EQ(p.GetPixel(0, 0), kRed);
  EXPECT_EQ(p.Cache().Decodes(), 2u);  // unchanged files are decoded once
  ReplaceKeepingTimes("f1.bmp", 4, 4, kWhite, true);
  Advance(40 * 2);
  EXPECT_EQ(p.GetPixel(0, 0), kWhite);
  EXPECT_EQ(p.Cache().Decodes(), 3u);
}

TEST_F(PictureTest, NumberedMovieEndingAtFrameZeroFormatsEveryTick) {
  WriteSolid("n-1.bmp", 4, 4, kRed);
  WriteSolid("n0.bmp", 5, 4, kBlue);
  TOSDPicute p;
  p.SetmovieTime(40);
  p.SetPicMovie(Path("n%d.bmp"), -2, 0);
  EXPECT_TRUE(p.movieon());
  EXPECT_EQ(p.Width(), 0);  // last 0 loads the name itself first: no such file
  p.SetVisible(true);
  Advance(40);
  EXPECT_EQ(p.Width(), 4);
  EXPECT_EQ(p.GetPixel(0, 0), kRed);
  Advance(40);
  EXPECT_EQ(p.Width(), 5);
  EXPECT_EQ(p.GetPixel(0, 0), kBlue);
  Advance(40);
  EXPECT_FALSE(p.visible);

  // With last 0 a name that is no pattern is still one picture, not a refused movie.
  p.SetPicMovie(WriteSolid("100%.bmp", 3, 3, kRed), 1, 0);
  EXPECT_EQ(p.Width(), 3);
  p.SetVisible(true);
  Advance(40);
  EXPECT_FALSE(p.visible);
}

TEST_F(PictureTest, UnreadableMovieFrameKeepsThePreviousFrame) {
  WriteSolid("f1.bmp", 4, 4, kRed);
  WriteBytes("f2.bmp", "garbage");
  WriteSolid("f3.bmp", 6, 4, kBlue);
  TOSDPicute p;
  p.SetPicMovie(Path("f%d.bmp"), 1, 3);
  p.SetVisible(true);
  Advance(1000);
  EXPECT_EQ(p.Width(), 4);
  EXPECT_NE(p.LastMovieError().find("f2.bmp"), std::string::npos);
  Advance(1000);
  EXPECT_EQ(p.Width(), 6);
}

// Captions: the measured caption size, as the component's canvas measures it.
TSize CaptionSize(TOSDPicute &p) {
  TRect r = Rect(0, 0, 0, 0);
  p.Canvas().DrawText(p.text, r, DT_CALCRECT | DT_VCENTER);
  return {r.Width() + 2, r.Height()};
}

class CaptionTest : public PictureTest {
 protected:
  void Prepare(TOSDPicute &p, int mode, int w = 40, int h = 30) {
    p.Canvas().Font.Name = "Liberation Sans";
    p.Canvas().Font.SetSize(10);
    p.Canvas().Font.Color = kRed;
    p.SetText(u"Hi");
    p.textmode = mode;
    p.SetPicFile(WriteSolid("c.bmp", w, h, kWhite));
  }
  // Columns and rows where caption ink (red) lies.
  static TRect Ink(const TBitmap &b) {
    TRect r{b.Width(), b.Height(), 0, 0};
    for (int y = 0; y < b.Height(); ++y)
      for (int x = 0; x < b.Width(); ++x)
        if (b.GetPixel(x, y) == kRed) {
          r.Left = std::min(r.Left, x), r.Top = std::min(r.Top, y);
          r.Right = std::max(r.Right, x + 1), r.Bottom = std::max(r.Bottom, y + 1);
        }
    return r;
  }
};

TEST_F(CaptionTest, ModesPlaceTheCaptionAndAddTheBandOnce) {
  for (int mode = 0; mode <= 4; ++mode) {
    TOSDPicute p;
    Prepare(p, mode);
    const TSize t = CaptionSize(p);
    ASSERT_GT(t.cx, 2);
    ASSERT_GT(t.cy, 0);
    ASSERT_LT(t.cy, 30);
    p.SetVisible(true);
    const int w = p.Width(), h = p.Height();
    switch (mode) {
      case 0: EXPECT_EQ(w, 40); EXPECT_EQ(h, 30); break;
      case 1:
      case 2: EXPECT_EQ(w, 40 + t.cx); EXPECT_EQ(h, 30); break;
      default: EXPECT_EQ(w, 40); EXPECT_EQ(h, 30 + t.cy); break;
    }
    const TRect ink = Ink(p);
    ASSERT_FALSE(ink.IsEmpty()) << mode;
    if (mode == 2) {
      EXPECT_GE(ink.Left, 40);
      EXPECT_EQ(p.GetPixel(40, 0), kKeyColor);  // the band is keyed
    }
    if (mode == 1) {
      EXPECT_LT(ink.Right, 40);
    }
    if (mode == 4) {
      EXPECT_GE(ink.Top, 30);
      EXPECT_EQ(p.GetPixel(0, 30), kKeyColor);
    }
    if (mode == 3) {
      EXPECT_LT(ink.Bottom, 30);
    }
    // Shown again: still one band.
    p.SetVisible(false);
    p.SetVisible(true);
    p.SetVisible(true);
    EXPECT_EQ(p.Width(), w) << mode;
    EXPECT_EQ(p.Height(), h) << mode;
  }
}

TEST_F(CaptionTest, SplitCaptionFollowsThePart) {
  TOSDPicute p;
  p.Canvas().Font.Name = "Liberation Sans";
  p.Canvas().Font.SetSize(8);
  p.Canvas().Font.Color = kRed;
  p.SetText(u"x");
  p.textmode = 2;
  p.SetPicSplitFile(WriteSplit("s.bmp", 4, 120, 20), 4);
  p.SetPicSplitTextPos(10, 40);
  p.SetPicSplitShow(2);
  p.SetVisible(true);
  const TRect ink = Ink(p);
  ASSERT_FALSE(ink.IsEmpty());
  EXPECT_GE(ink.Left, 90);
  EXPECT_LT(ink.Left, 90 + CaptionSize(p).cx);
}

TEST_F(CaptionTest, WideCaptionWidensThePictureInModeZero) {
  TOSDPicute p;
  Prepare(p, 0, 4, 30);
  p.SetText(u"A long caption");
  const TSize t = CaptionSize(p);
  ASSERT_GT(t.cx, 4);
  p.SetVisible(true);
  EXPECT_EQ(p.Width(), t.cx);
  EXPECT_EQ(p.Height(), 30);
}

TEST_F(PictureTest, DrawsKeyedAndMapsOncePerChange) {
  TOSDPicute p;
  // White background (bottom-left), one red square.
  p.SetPicFile(WriteBmp("k.bmp", 10, 10, [](int x, int y) {
    return x >= 3 && x < 6 && y >= 3 && y < 6 ? kRed : kWhite;
  }));
  p.x = 100, p.y = 50;
  p.SetVisible(true);
  TOSDGraphic frame;
  frame.SetSize(640, 480);
  for (int cycle = 0; cycle < 5; ++cycle) {
    frame.Canvas().Brush.Color = kKeyColor;
    frame.Canvas().FillRect(Rect(0, 0, 640, 480));
    p.DrawTo(frame);
  }
  EXPECT_EQ(p.KeyedCopy().Rebuilds(), 1u);
  EXPECT_EQ(test::InkBounds(frame, kKeyIndex), Rect(103, 53, 106, 56));
  EXPECT_EQ(IndexAt(frame, 104, 54), 249);
}

// Positions at the ends of the int range draw nothing and never overflow; one just inside
// the frame's left edge still shows its last column.
TEST_F(PictureTest, FarOffPositionsDrawNothing) {
  TOSDPicute p;
  p.SetPicFile(WriteBmp("far.bmp", 10, 10, [](int x, int) { return x == 0 ? kWhite : kRed; }));
  p.SetVisible(true);
  TOSDGraphic frame;
  frame.SetSize(640, 480);
  const int kMax = 2147483647, kMin = -kMax - 1;
  for (const auto &[x, y] : {std::pair{kMax, 0}, {0, kMax}, {kMax - 5, kMax - 5}, {kMin, kMin},
                             {kMin, 0}, {-9, -kMax}}) {
    frame.Canvas().Brush.Color = kKeyColor;
    frame.Canvas().FillRect(Rect(0, 0, 640, 480));
    p.x = x, p.y = y;
    p.DrawTo(frame);
    EXPECT_TRUE(test::InkBounds(frame, kKeyIndex).IsEmpty()) << x << "," << y;
  }
  p.x = -9, p.y = 470;
  p.DrawTo(frame);
  EXPECT_EQ(test::InkBounds(frame, kKeyIndex), Rect(0, 470, 1, 480));
}

// The example pictures the demo scene shows.
TEST_F(PictureTest, ExamplePicturesLoadAsTheDemoUsesThem) {
  const char *source = std::getenv("VXOSD_SOURCE_DIR");
  const fs::path dir = fs::path(source != nullptr ? source : ".") / "examples" / "pictures";
  if (!fs::exists(dir / "logo.bmp")) GTEST_SKIP() << "no example pictures at " << dir;
  TOSDPicute p;
  p.SetPicFile((dir / "logo.bmp").string());
  EXPECT_EQ(p.Width(), 96);
  EXPECT_EQ(p.TransparentColor(), 0xFF00FF);  // the magenta background is keyed out
  TOSDGraphic frame;
  frame.SetSize(200, 100);
  frame.Canvas().Brush.Color = kKeyColor;
  frame.Canvas().FillRect(Rect(0, 0, 200, 100));
  p.SetVisible(true);
  p.DrawTo(frame);
  EXPECT_EQ(test::CountIndex(frame, Rect(0, 0, 200, 100), 253), 0);  // no magenta
  EXPECT_GT(test::CountIndex(frame, Rect(0, 0, 96, 48), 249), 0);   // the red ring

  p.SetPicSplitFile((dir / "split4.bmp").string(), 4);
  EXPECT_EQ(p.Width(), 48);
  p.SetPicMovie((dir / "movie%d.bmp").string(), 1, 3);
  EXPECT_EQ(p.Width(), 64);
  EXPECT_EQ(p.Cache().Decodes(), 3u);
}

}  // namespace
}  // namespace vx
