// vxosd-calendar: renders one month of the calendar control into a PNG, so that the control
// can be looked at without a window system. `vxosd-calendar --help` lists the options.

#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "lunar/calendar.h"
#include "platform/png.h"
#include "platform/sysutils.h"
#include "tools/common/output_path.h"

namespace {

const char kUsage[] =
    "usage: vxosd-calendar [options] OUT.png\n"
    "  --month YYYY-MM      month to show, 1900-01 to 2100-12 (default: the current month)\n"
    "  --select YYYY-MM-DD  selected day, 1900-01-01 to 2100-12-31 (default: the 1st of the\n"
    "                       month, or today in it)\n"
    "  --size WxH           control size, W 7 to 4000 and H 8 to 4000 (default 600x420)\n"
    "  --smooth             smooth (anti-aliased) text\n"
    "  --shadow             smooth text with a shadow (implies --smooth)\n"
    "  --chinese-ear        stem-branch title and day names\n"
    "  --iso8601            weeks start on Monday\n"
    "  --english            English month and weekday names\n"
    "  --grid, --border     grid lines, a border\n"
    "  --hint-at X,Y        moves the mouse to (X, Y) and draws the hint window there\n"
    "  -h, --help           this text\n";

// An argument at fault: says which and what would be valid.
int Bad(const std::string &arg, const std::string &why) {
  std::fprintf(stderr, "vxosd-calendar: %s: %s (vxosd-calendar --help lists the options)\n",
               arg.c_str(), why.c_str());
  return 2;
}

bool ParseInts(const char *text, const char *format, int *a, int *b, int *c = nullptr) {
  char tail = 0;
  int n = c ? std::sscanf(text, format, a, b, c, &tail) : std::sscanf(text, format, a, b, &tail);
  return n == (c ? 3 : 2);
}

}  // namespace

int main(int argc, char **argv) {
  using namespace vx;
  int year = 0, month = 0, sel_y = 0, sel_m = 0, sel_d = 0;
  int width = 600, height = 420, hint_x = -1, hint_y = -1;
  bool smooth = false, shadow = false, ear = false, iso = false, english = false;
  bool grid = false, border = false, hint = false;
  const char *out = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool takes_value = a == "--month" || a == "--select" || a == "--size" || a == "--hint-at";
    if (takes_value && i + 1 == argc) return Bad(a, "needs a value");
    const std::string value = takes_value ? argv[++i] : "";
    const std::string culprit = a + " " + value;
    if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "--month") {
      if (!ParseInts(value.c_str(), "%d-%d%c", &year, &month) || month < 1 || month > 12 ||
          year < 1900 || year > 2100)
        return Bad(culprit, "a month from 1900-01 to 2100-12, as YYYY-MM");
    } else if (a == "--select") {
      if (!ParseInts(value.c_str(), "%d-%d-%d%c", &sel_y, &sel_m, &sel_d) || sel_y < 1900 ||
          sel_y > 2100 || sel_m < 1 || sel_m > 12 || sel_d < 1 || sel_d > DaysInMonth(sel_y, sel_m))
        return Bad(culprit, "a day from 1900-01-01 to 2100-12-31, as YYYY-MM-DD");
    } else if (a == "--size") {
      if (!ParseInts(value.c_str(), "%dx%d%c", &width, &height) || width < 7 || height < 8 ||
          width > 4000 || height > 4000)
        return Bad(culprit, "width 7 to 4000 and height 8 to 4000, as WxH");
    } else if (a == "--hint-at") {
      if (!ParseInts(value.c_str(), "%d,%d%c", &hint_x, &hint_y))
        return Bad(culprit, "a point in the control, as X,Y");
      hint = true;
    } else if (a == "--smooth") {
      smooth = true;
    } else if (a == "--shadow") {
      smooth = shadow = true;
    } else if (a == "--chinese-ear") {
      ear = true;
    } else if (a == "--iso8601") {
      iso = true;
    } else if (a == "--english") {
      english = true;
    } else if (a == "--grid") {
      grid = true;
    } else if (a == "--border") {
      border = true;
    } else if (!a.empty() && a[0] == '-') {
      return Bad(a, "unknown option");
    } else if (out) {
      return Bad(a, std::string("one picture only (the picture is ") + out + ")");
    } else {
      out = argv[i];
    }
  }
  if (!out) {
    std::fprintf(stderr, "vxosd-calendar: no output picture given\n%s", kUsage);
    return 2;
  }
  if (const std::string problem = vxtools::OutputFileProblem(out); !problem.empty()) {
    std::fprintf(stderr, "vxosd-calendar: %s: %s\n", out, problem.c_str());
    return 1;
  }

  try {
    TYnrCalendar cal;
    TDateTime selected = cal.Date();
    if (sel_y) {
      selected = EncodeDate(sel_y, sel_m, sel_d);
    } else if (year) {
      int ty = 0, tm = 0, td = 0;
      DecodeDate(selected, ty, tm, td);
      selected = ty == year && tm == month ? selected : EncodeDate(year, month, 1);
    }
    cal.SetDate(selected);
    cal.SetBounds(width, height);
    cal.SetSmoothText(smooth);
    cal.SetShadowFont(shadow);
    cal.SetChineseEar(ear);
    cal.SetUseISO8601(iso);
    cal.SetEnWeekName(english);
    cal.SetShowGrid(grid);
    cal.SetShowBorder(border);
    cal.CreateWnd();

    TBitmap image;
    image.SetPixelFormat(TPixelFormat::pf24bit);
    image.SetSize(width, height);
    cal.Paint(image.Canvas());
    if (hint) {
      TCalendarHint &h = cal.Hint();
      h.Screen = {width, height};  // the picture is the screen
      cal.MouseMove(0, hint_x, hint_y);
      if (h.Visible()) {
        const double a = h.Layered() ? h.Alpha() / 255.0 : 1.0;
        TBitmap &s = h.Surface();
        for (int y = 0; y < s.Height(); ++y)
          for (int x = 0; x < s.Width(); ++x) {
            const TColor over = s.GetPixel(x, y), under = image.GetPixel(h.Left + x, h.Top + y);
            if (under < 0) continue;
            auto mix = [a](int o, int u) { return static_cast<int>(std::lround(o * a + u * (1 - a))); };
            image.SetPixel(h.Left + x, h.Top + y,
                           RGB(mix(GetRValue(over), GetRValue(under)),
                               mix(GetGValue(over), GetGValue(under)),
                               mix(GetBValue(over), GetBValue(under))));
          }
      }
    }
    SavePng(image, out);
  } catch (const std::exception &e) {
    std::fprintf(stderr, "vxosd-calendar: %s\n", e.what());
    return 1;
  }
  return 0;
}
