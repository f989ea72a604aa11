// The public C API as a host could drive it at its worst: any sequence of exports with any
// arguments (null and absurd values, bad UTF-16, missing, corrupt and odd picture files),
// with and without the software card, on the manual clock so that timers and cycles run.
// Every call must return; nothing may crash, leak or read out of bounds.
//
// Input: byte 0 chooses the card (bit 0) and the frame callback (bit 1); then one call per
// operation byte, its arguments read from the bytes that follow.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "drivers/virtualcard/virtualcard.h"
#include "platform/lsan_fontconfig.h"
#include "vxosd/vxosd.h"

namespace {

std::string g_dir;  // the pictures the calls may name

void WriteFile(const std::string &name, const std::vector<std::uint8_t> &bytes) {
  if (std::FILE *f = std::fopen((g_dir + "/" + name).c_str(), "wb")) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
}

void Put32(std::vector<std::uint8_t> &v, std::size_t at, std::uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(x >> (8 * i));
}

// A 24-bit bottom-up BMP of w x h with a pattern that depends on seed.
std::vector<std::uint8_t> Bmp24(int w, int h, int seed) {
  const std::size_t stride = (static_cast<std::size_t>(w) * 3 + 3) & ~std::size_t{3};
  std::vector<std::uint8_t> v(54 + stride * static_cast<std::size_t>(h), 0);
  v[0] = 'B';
  v[1] = 'M';
  Put32(v, 2, static_cast<std::uint32_t>(v.size()));
  Put32(v, 10, 54);
  Put32(v, 14, 40);
  Put32(v, 18, static_cast<std::uint32_t>(w));
  Put32(v, 22, static_cast<std::uint32_t>(h));
  v[26] = 1;
  v[28] = 24;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t *p = v.data() + 54 + stride * static_cast<std::size_t>(y) + 3 * static_cast<std::size_t>(x);
      p[0] = static_cast<std::uint8_t>(x * 8 + seed * 40);
      p[1] = static_cast<std::uint8_t>((x + y) % 3 == 0 ? 255 : y * 8);  // some key green
      p[2] = static_cast<std::uint8_t>(seed * 90);
    }
  return v;
}

struct Reader {
  const std::uint8_t *data;
  std::size_t size;
  std::size_t pos = 0;

  bool More() const { return pos < size; }
  std::uint8_t U8() { return pos < size ? data[pos++] : 0; }
  // Small values mostly, and the edges now and then.
  std::int32_t I32() {
    switch (const std::uint8_t sel = U8(); sel % 8) {
      case 0: return INT32_MIN;
      case 1: return INT32_MAX;
      case 2: return -1;
      case 3: {
        std::uint32_t x = 0;
        for (int i = 0; i < 4; ++i) x |= static_cast<std::uint32_t>(U8()) << (8 * i);
        return static_cast<std::int32_t>(x);
      }
      default: return static_cast<std::int32_t>(static_cast<std::int8_t>(U8())) * ((sel >> 3) + 1);
    }
  }
  const char *Name() {
    static const std::string long_name(300, 'n');
    static const char *const names[] = {"a", "b", "c", "", nullptr, long_name.c_str()};
    return names[U8() % 6];
  }
  // UTF-16 of any units (lone surrogates included), zero-terminated; or null.
  const std::uint16_t *Text(std::u16string &keep) {
    const std::uint8_t n = U8();
    if (n == 255) return nullptr;
    keep.clear();
    for (int i = 0; i < n % 48; ++i) keep.push_back(static_cast<char16_t>(U8() | (U8() << 8)));
    return reinterpret_cast<const std::uint16_t *>(keep.c_str());
  }
  const std::uint16_t *Path(std::u16string &keep) {
    static const char *const files[] = {"pic.bmp", "m%d.bmp", "corrupt.bmp", "missing.bmp", "",
                                        "m%d%d.bmp", "m%s.bmp", "m%03d.bmp", "."};
    const std::uint8_t sel = U8();
    if (sel % 10 == 9) return Text(keep);
    const std::string path = g_dir + "/" + files[sel % 10];
    keep.assign(path.begin(), path.end());
    return reinterpret_cast<const std::uint16_t *>(keep.c_str());
  }
};

std::vector<std::uint8_t> g_host_pixels(640 * 480 * 4);
std::uint64_t g_frames = 0;

void OnFrame(const std::uint8_t *frame, std::uint32_t size, void *) {
  if (!frame || size < 8) std::abort();
  g_frames += frame[size - 1] + 1u;  // touches the last byte: the stream is as long as it says
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  char tmpl[] = "/tmp/vxosd-api-fuzz-XXXXXX";
  if (!mkdtemp(tmpl)) std::abort();
  g_dir = tmpl;
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(g_dir, ignored);
  });
  WriteFile("pic.bmp", Bmp24(40, 30, 0));
  for (int i = 0; i < 4; ++i) WriteFile("m" + std::to_string(i) + ".bmp", Bmp24(16 + i, 12, i));
  std::vector<std::uint8_t> corrupt = Bmp24(20, 20, 1);
  Put32(corrupt, 22, 0x7FFFFFFF);  // a height far past the data
  WriteFile("corrupt.bmp", corrupt);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size == 0) return 0;
  Reader in{data, size, 1};
  const bool card = data[0] & 1;
  if (card) VxVirtualCard_Install(nullptr);
  VxOSD_SetFrameCallback(data[0] & 2 ? OnFrame : nullptr, nullptr);
  VxOSD_UseManualClock(1);
  InitVxOSD();
  HDC dc = VxOSD_CreateBufferDC(g_host_pixels.data(), 640, 480, 640 * 4);
  std::u16string t1, t2;
  std::uint32_t clock_ms = 0;
  for (int op = 0; op < 64 && in.More(); ++op) {
    switch (in.U8() % 32) {
      case 0: AddVxComponent(in.Name(), in.I32() % 8); break;
      case 1: DelVxComponent(in.Name()); break;
      case 2: {
        const char *n = in.Name();
        const std::int32_t x = in.I32(), y = in.I32(), w = in.I32(), h = in.I32();
        SetVxComponent_Pos(n, x, y, w, h);
        break;
      }
      case 3: {
        const char *n = in.Name();
        const std::int32_t c = in.I32(), l = in.I32();
        SetVxComponent_Color(n, c, l);
        break;
      }
      case 4: {
        const char *n = in.Name();
        const std::uint16_t *face = in.Text(t1);
        const std::int32_t c = in.I32(), s = in.I32();
        SetVxComponent_Font(n, face, c, s);
        break;
      }
      case 5: {
        const char *n = in.Name();
        const std::int32_t a = in.I32(), v = in.I32();
        SetVxComponent_Visible(n, a, v);
        break;
      }
      case 6: {
        const char *n = in.Name();
        SetVxComponent_Text(n, in.Text(t1));
        break;
      }
      case 7: {
        const char *n = in.Name();
        SetVxComponent_Time(n, in.I32());
        break;
      }
      case 8: {
        const char *n = in.Name();
        const std::uint16_t *text = in.Text(t1);
        std::int32_t rect[4] = {1, 2, 3, 4};
        if (GetVxComponent_TextRect(n, text, in.U8() % 4 ? rect : nullptr) &&
            (rect[2] < rect[0] || rect[3] < rect[1]))
          std::abort();
        break;
      }
      case 9: { const char *n = in.Name(); SetVxComponent_TextStep(n, in.I32()); break; }
      case 10: { const char *n = in.Name(); SetVxComponent_TextScroll(n, in.I32()); break; }
      case 11: { const char *n = in.Name(); SetVxComponent_TextMode(n, in.I32()); break; }
      case 12: {
        const char *n = in.Name();
        const std::int32_t a = in.I32(), b = in.I32();
        SetVxComponent_TextGradual(n, a, b);
        break;
      }
      case 13: { const char *n = in.Name(); SetVxComponent_TextHtml(n, in.I32()); break; }
      case 14:
      case 15: {
        const bool text = in.U8() & 1;
        const char *n = in.Name();
        std::int32_t c[5];
        for (auto &v : c) v = in.I32();
        text ? SetVxComponent_RandomTextColor(n, c[0], c[1], c[2], c[3], c[4])
             : SetVxComponent_RandomColor(n, c[0], c[1], c[2], c[3], c[4]);
        break;
      }
      case 16: { const char *n = in.Name(); SetVxComponent_TextFile(n, in.I32()); break; }
      case 17: { const char *n = in.Name(); SetVxComponent_PicFile(n, in.Path(t1)); break; }
      case 18: {
        const char *n = in.Name();
        const std::uint16_t *p = in.Path(t1);
        SetVxComponent_PicSplitFile(n, p, in.I32());
        break;
      }
      case 19: {
        const char *n = in.Name();
        const std::int32_t x = in.I32(), s = in.I32();
        SetVxComponent_PicSplitTextPos(n, x, s);
        break;
      }
      case 20: { const char *n = in.Name(); SetVxComponent_PicSplitShow(n, in.I32()); break; }
      case 21: {
        const char *n = in.Name();
        const std::uint16_t *p = in.Path(t1);
        const std::int32_t first = in.I32(), last = in.I32();
        SetVxComponent_PicMovie(n, p, first, last);
        break;
      }
      case 22: { const char *n = in.Name(); SetVxComponent_PicTime(n, in.I32()); break; }
      case 23: {
        const char *n = in.Name();
        const std::int32_t ms = in.I32(), loop = in.I32();
        SetVxComponent_MovieTime(n, ms, loop);
        break;
      }
      case 24: {
        const std::uint8_t which = in.U8() % 3;
        // A pointer the library never made must be refused without being followed.
        SetVxOSD_Debug(which == 0 ? dc : which == 1 ? nullptr : reinterpret_cast<HDC>(&t2));
        break;
      }
      case 25: SetVxOSD_DebugView(in.Text(t2)); break;
      case 26: {
        // At most 10 s of scene time an input: enough for hide, movie and scroll timers.
        const std::uint32_t ms = std::min<std::uint32_t>(in.U8() * 16u, 10000 - clock_ms);
        clock_ms += ms;
        VxOSD_AdvanceClock(ms);
        break;
      }
      case 27: VxOSD_ProcessMessages(0); break;
      case 28: {
        char buf[64];
        std::memset(buf, 'x', sizeof buf);
        const std::uint32_t cap = in.U8() % 65;
        const std::uint32_t n = VxOSD_GetLastError(cap ? buf : nullptr, cap);
        // Always terminated inside the buffer, never longer than the full message.
        if (cap && (!std::memchr(buf, 0, cap) || n < std::strlen(buf))) std::abort();
        break;
      }
      case 29: InitVxOSD(); break;
      case 30: FreeVxOSD(); break;
      case 31: VxOSD_SetFrameCallback(in.U8() & 1 ? OnFrame : nullptr, nullptr); break;
    }
  }
  FreeVxOSD();
  VxOSD_DeleteDC(dc);
  VxOSD_SetFrameCallback(nullptr, nullptr);
  VxOSD_UseManualClock(0);
  if (card) VxVirtualCard_Uninstall();
  return 0;
}
