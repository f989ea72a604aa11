// Forms on Windows are real windows: caption, frame, client size, painting from the client
// bitmap, hiding on close; and bitmaps copy into the system's device contexts.
// The platform headers come before <windows.h>: some of their names are macros there.
#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/forms.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

namespace vx {
namespace {

HWND WindowOf(const TForm &form) {
  return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(form.WindowId()));
}

// A 32-bit top-down memory DC of the test's own, as a host makes one.
struct MemoryDC {
  ::HDC dc = CreateCompatibleDC(nullptr);
  std::uint32_t *bits = nullptr;
  HBITMAP bitmap = nullptr;
  int width;
  MemoryDC(int w, int h) : width(w) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, reinterpret_cast<void **>(&bits), nullptr, 0);
    SelectObject(dc, bitmap);
  }
  ~MemoryDC() {
    DeleteDC(dc);
    DeleteObject(bitmap);
  }
  std::uint32_t At(int x, int y) const {
    GdiFlush();
    return bits[y * width + x] & 0xFFFFFF;
  }
};

TEST(Win32Forms, AFormIsAHiddenWindowUntilShownWithItsClientSize) {
  TForm form;
  ASSERT_TRUE(form.HasWindow());
  HWND hwnd = WindowOf(form);
  ASSERT_TRUE(IsWindow(hwnd));
  EXPECT_FALSE(IsWindowVisible(hwnd));

  form.Caption = "Debug View";
  form.BorderIcons = biSystemMenu;
  form.BorderStyle = TFormBorderStyle::bsSingle;
  form.SetClientHeight(480);
  form.SetClientWidth(640);
  form.Show();
  EXPECT_TRUE(IsWindowVisible(hwnd));
  EXPECT_EQ(FindWindowW(nullptr, L"Debug View"), hwnd);
  RECT client{}, outer{};
  GetClientRect(hwnd, &client);
  GetWindowRect(hwnd, &outer);
  EXPECT_EQ(client.right, 640);
  EXPECT_EQ(client.bottom, 480);
  EXPECT_GT(outer.bottom - outer.top, 480);  // the caption and border come around it
  const LONG style = GetWindowLongW(hwnd, GWL_STYLE);
  EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));

  // Closing hides the window and keeps it; showing again brings the same window back.
  SendMessageW(hwnd, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(hwnd));
  EXPECT_FALSE(IsWindowVisible(hwnd));
  EXPECT_FALSE(form.Visible());
  form.Show();
  EXPECT_TRUE(IsWindowVisible(hwnd));

  // A sizeable form follows the user's resizing.
  form.BorderStyle = TFormBorderStyle::bsSizeable;
  form.Repaint();
  EXPECT_TRUE(GetWindowLongW(hwnd, GWL_STYLE) & WS_THICKFRAME);
  RECT r{0, 0, 300, 200};
  AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongW(hwnd, GWL_EXSTYLE)));
  SetWindowPos(hwnd, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_EQ(form.ClientWidth(), 300);
  EXPECT_EQ(form.ClientHeight(), 200);
  EXPECT_EQ(form.ClientBitmap().Width(), 300);
}

TEST(Win32Forms, RepaintShowsTheClientBitmapAndDestroyingTheFormDestroysTheWindow) {
  HWND hwnd;
  {
    TForm form;
    form.BorderStyle = TFormBorderStyle::bsSingle;
    form.SetClientWidth(64);
    form.SetClientHeight(32);
    form.Show();
    hwnd = WindowOf(form);
    TCanvas &canvas = form.Canvas();
    canvas.Brush.Color = clBlue;
    canvas.FillRect({0, 0, 64, 32});
    canvas.Brush.Color = clRed;
    canvas.FillRect({32, 0, 64, 32});
    form.Repaint();
    MemoryDC copy(64, 32);
    ::HDC window = GetDC(hwnd);
    BitBlt(copy.dc, 0, 0, 64, 32, window, 0, 0, SRCCOPY);
    ReleaseDC(hwnd, window);
    EXPECT_EQ(copy.At(5, 5), 0x0000FFu);   // blue: 0x00RRGGBB in the DIB
    EXPECT_EQ(copy.At(40, 20), 0xFF0000u);  // red
  }
  EXPECT_FALSE(IsWindow(hwnd));
}

TEST(Win32Forms, CopyToSystemDCConvertsThroughThePaletteAndRefusesOtherHandles) {
  TBitmap frame;
  frame.SetPixelFormat(TPixelFormat::pf8bit);
  std::vector<TPaletteEntry> palette(256);
  palette[7] = {0x12, 0x34, 0x56, 0};
  palette[250] = {0x00, 0xFF, 0x00, 0};
  frame.SetPalette(palette);
  frame.SetSize(30, 7);  // rows of 30 bytes: not the DWORD-aligned rows of a DIB
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 30; ++x) frame.ScanLine(y)[x] = x < 10 ? 7 : 250;
  MemoryDC dc(40, 10);
  ASSERT_TRUE(CopyToSystemDC(dc.dc, frame));
  EXPECT_EQ(dc.At(0, 0), 0x123456u);
  EXPECT_EQ(dc.At(29, 6), 0x00FF00u);
  EXPECT_EQ(dc.At(35, 8), 0u);  // outside the frame: untouched

  EXPECT_FALSE(CopyToSystemDC(nullptr, frame));
  EXPECT_FALSE(CopyToSystemDC(reinterpret_cast<void *>(0x1234), frame));
  EXPECT_FALSE(CopyToSystemDC(GetStockObject(BLACK_BRUSH), frame));
  TBitmap empty;
  EXPECT_FALSE(CopyToSystemDC(dc.dc, empty));
}

}  // namespace
}  // namespace vx
