// Code pages, locale and file names on Windows. Runs in the default ANSI code page (1252 under
// Wine's default locale) and again in code page 936 (LC_ALL=zh_CN.UTF-8 in a fresh Wine
// server; scripts/test-windows.sh does that run): VXOSD_EXPECT_ACP names the one expected.
#include "platform/codepage.h"
#include "platform/bitmap.h"
#include "platform/exceptions.h"
#include "platform/inifile.h"
#include "platform/stream.h"
#include "platform/sysutils.h"
#include "platform/win32/locale_win32.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace vx {
namespace {

namespace fs = std::filesystem;

std::u16string LocaleWide(LCTYPE type) {
  wchar_t buffer[128];
  const int n = GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buffer, 128);
  return n > 1 ? std::u16string(buffer, buffer + n - 1) : std::u16string();
}

// The user locale's text in the system code page, as the library's formats are.
std::string LocaleText(LCTYPE type) { return FromUtf16(LocaleWide(type)); }

TEST(Win32CodePage, TheSystemCodePageIsTheAnsiCodePage) {
  EXPECT_EQ(SystemCodePage(), GetACP());
  if (const char *expected = std::getenv("VXOSD_EXPECT_ACP")) {
    EXPECT_EQ(GetACP(), std::strtoul(expected, nullptr, 10));
  }
}

TEST(Win32CodePage, CodePage936BothWaysWhateverTheAnsiCodePage) {
  EXPECT_EQ(ToUtf16("\xCB\xCE\xCC\xE5", CP_GBK), u"宋体");
  EXPECT_EQ(FromUtf16(u"宋体", CP_GBK), "\xCB\xCE\xCC\xE5");
  // Bad input: a lead byte cut off at the end, a lead byte with a bad trail byte (the trail
  // byte then stands alone), characters the code page lacks, an unpaired surrogate.
  EXPECT_EQ(ToUtf16("\xCB\xCE\xCB", CP_GBK), u"宋\uFFFD");
  EXPECT_EQ(ToUtf16("\x81 A", CP_GBK), u"\uFFFD A");
  EXPECT_EQ(FromUtf16(u"A\u0E01B", CP_GBK), "A?B");
  EXPECT_EQ(FromUtf16(std::u16string(u"x") + char16_t(0xD800) + u"y", CP_GBK), "x?y");
  EXPECT_EQ(FromUtf16(u"\U0001F600", CP_GBK), "?");  // one character, one replacement
}

TEST(Win32CodePage, TheAnsiCodePageConvertsLikeTheSystem) {
  switch (GetACP()) {
    case 1252:
      EXPECT_EQ(ToUtf16("caf\xE9 \x80"), u"café €");
      EXPECT_EQ(FromUtf16(u"café €"), "caf\xE9 \x80");
      EXPECT_EQ(FromUtf16(u"宋"), "?");
      break;
    case 936:
      EXPECT_EQ(ToUtf16("\xCB\xCE\xCC\xE5"), u"宋体");
      EXPECT_EQ(FromUtf16(u"宋体"), "\xCB\xCE\xCC\xE5");
      EXPECT_EQ(FromUtf16(u"\u0E01"), "?");
      break;
    default:
      GTEST_SKIP() << "ANSI code page " << GetACP();
  }
  // An explicit system code page for tests works with the Windows names too.
  SetSystemCodePageForTesting("GBK");
  EXPECT_EQ(ToUtf16("\xCB\xCE"), u"宋");
  SetSystemCodePageForTesting("CP1252");
  EXPECT_EQ(ToUtf16("\xE9"), u"é");
  SetSystemCodePageForTesting("NO-SUCH-CHARSET");
  EXPECT_EQ(ToUtf16("a\xE9"), u"a\uFFFD");
  SetSystemCodePageForTesting("");
}

TEST(Win32Locale, FormatPicturesTranslateToFrameworkTokens) {
  EXPECT_EQ(os::FormatFromPicture(u"M/d/yyyy"), "m/d/yyyy");
  EXPECT_EQ(os::FormatFromPicture(u"dd.MM.yy"), "dd.mm.yy");
  EXPECT_EQ(os::FormatFromPicture(u"HH:mm:ss"), "hh:nn:ss");
  EXPECT_EQ(os::FormatFromPicture(u"h:mm:ss tt"), "h:nn:ss ampm");
  EXPECT_EQ(os::FormatFromPicture(u"dddd, MMMM d, yyyy"), "dddd, mmmm d, yyyy");
  EXPECT_EQ(os::FormatFromPicture(u"yyyy'年'M'月'd'日'"), "yyyy\"年\"m\"月\"d\"日\"");
  EXPECT_EQ(os::FormatFromPicture(u"d' de 'MMMM"), "d\" de \"mmmm");
  EXPECT_EQ(os::FormatFromPicture(u"gg yyyy/MM/dd"), " yyyy/mm/dd");
}

TEST(Win32Locale, FormatsAndNamesComeFromTheUserLocale) {
  const TDateTime monday = EncodeDateTime({2026, 1, 5, 19, 8, 9, 0});
  EXPECT_EQ(FormatDateTime("dddd", monday), LocaleText(LOCALE_SDAYNAME1));
  EXPECT_EQ(FormatDateTime("ddd", monday), LocaleText(LOCALE_SABBREVDAYNAME1));
  EXPECT_EQ(FormatDateTime("dddd", monday + 6), LocaleText(LOCALE_SDAYNAME7));  // Sunday
  EXPECT_EQ(FormatDateTime("mmmm", monday), LocaleText(LOCALE_SMONTHNAME1));
  EXPECT_EQ(FormatDateTime("mmm", monday), LocaleText(LOCALE_SABBREVMONTHNAME1));
  if (GetACP() == 936) {
    EXPECT_EQ(ToUtf16(FormatDateTime("dddd", monday)), u"星期一");
  } else if (GetACP() == 1252) {
    EXPECT_EQ(FormatDateTime("dddd mmmm", monday), "Monday January");
  }
  EXPECT_EQ(ShortDateFormat(), FromUtf16(Utf8ToUtf16(os::FormatFromPicture(LocaleWide(LOCALE_SSHORTDATE)))));
  EXPECT_NE(DateToStr(monday).find("2026"), std::string::npos);
}

class Win32Files : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    dir_ = fs::temp_directory_path() / ("vxosd_win32_" + std::to_string(random()));
    ASSERT_TRUE(fs::create_directories(dir_));
  }
  void TearDown() override { fs::remove_all(dir_); }
  // The library's name for a file in the folder, from UTF-16.
  std::string Name(std::u16string_view file) const {
    return FileNameFromUtf16(dir_.u16string() + u"\\" + std::u16string(file));
  }
  std::size_t Entries() const { return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), fs::directory_iterator())); }
  fs::path dir_;
};

// Thai is in neither code page 1252 nor 936: such a name only opens through the UTF-16 calls.
TEST_F(Win32Files, AFileNameOutsideTheAnsiCodePageStillOpens) {
  const std::u16string file = u"路径_\u0E01\u0E02.bmp";
  TBitmap bitmap;
  bitmap.SetPixelFormat(TPixelFormat::pf24bit);
  bitmap.SetSize(3, 2);
  bitmap.SaveToFile(Name(file));
  EXPECT_NE(GetFileAttributesW(reinterpret_cast<const wchar_t *>((dir_.u16string() + u"\\" + file).c_str())),
            INVALID_FILE_ATTRIBUTES);
  TBitmap loaded;
  loaded.LoadFromFile(Name(file));
  EXPECT_EQ(loaded.Width(), 3);
  EXPECT_EQ(loaded.Height(), 2);
  EXPECT_THROW(loaded.LoadFromFile(Name(u"\u0E03.bmp")), EFOpenError);
}

TEST_F(Win32Files, IniWritesReplaceTheFileInOneStep) {
  const std::string name = Name(u"設定_\u0E01.ini");
  {
    TIniFile ini(name);  // a new file reads as empty
    ini.WriteInteger("S", "A", 1);
    ini.UpdateFile();
  }
  TIniFile ini(name);
  EXPECT_EQ(ini.ReadInteger("S", "A", 0), 1);
  ini.WriteInteger("S", "A", 2);
  ini.UpdateFile();
  EXPECT_EQ(TIniFile(name).ReadInteger("S", "A", 0), 2);
  EXPECT_EQ(Entries(), 1u);  // no temporary file left

  // While another program holds the file without sharing it, the replacement fails cleanly:
  // the old contents stay, no temporary file is left, and the change is still pending.
  const std::u16string wide = Utf8ToUtf16(name);
  HANDLE held = CreateFileW(reinterpret_cast<const wchar_t *>(wide.c_str()), GENERIC_READ, FILE_SHARE_READ,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  ini.WriteInteger("S", "A", 3);
  EXPECT_THROW(ini.UpdateFile(), EWriteError);
  CloseHandle(held);
  EXPECT_EQ(TIniFile(name).ReadInteger("S", "A", 0), 2);
  EXPECT_EQ(Entries(), 1u);
  EXPECT_TRUE(ini.Modified());
  ini.UpdateFile();
  EXPECT_EQ(TIniFile(name).ReadInteger("S", "A", 0), 3);
}

}  // namespace
}  // namespace vx
