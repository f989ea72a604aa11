// vxosd-play: runs a scene (a script of library calls) through the public C interface, as a
// host would, and writes what the library composes: PNG snapshots, raw RGBA frames, an
// animated GIF preview. On Windows it loads vxosd.dll at run time, as a third-party host does.
#include <unistd.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "entry_points.h"
#include "images.h"
#include "tools/common/output_path.h"
#include "platform/lsan_fontconfig.h"
#include "scene/frame.h"
#include "scene/run.h"
#include "scene/scene.h"
#include "text_boxes.h"

namespace fs = std::filesystem;
using namespace vxplay;
using namespace vxscene;

namespace {

constexpr int kW = 640, kH = 480;
constexpr std::size_t kStreamBytes = 1032 + kW * kH;

// The library's and the software card's functions, linked or loaded.
vxscene::Library g_lib;
CardFunctions g_card;

const char kUsage[] =
    "usage: vxosd-play [options] SCENE\n"
    "  --card=virtual|none  through the software capture card (default) or without a card\n"
    "  --fast               run on a manual clock, as fast as the machine goes\n"
    "                       (default: real time)\n"
    "  --out=DIR            existing folder for the scene's snapshots (default: the current\n"
    "                       folder)\n"
    "  --no-snapshots       skip the scene's snapshot steps\n"
    "  --rgba=FILE|-        every frame as raw 640x480 RGBA (A = colour level)\n"
    "  --frame=WxH          play into a true-colour frame of W x H pixels (16x16 to\n"
    "                       7680x4320) without a card: snapshots are RGBA PNGs and --rgba\n"
    "                       writes W x H RGBA (straight alpha)\n"
    "  --gif=FILE           an animated preview of the run\n"
    "  --inspect            with each snapshot FILE, the frame stream it shows (FILE.frame)\n"
    "                       and the boxes of the text components (FILE.boxes), for\n"
    "                       comparing runs (vxosd-play-compare)\n"
    "  --quiet              no warnings for calls that return 0\n"
    "  -h, --help           this text\n";

struct Options {
  bool card = true;
  int frame_w = 0, frame_h = 0;  // a true-colour frame; 0: the card's palette frame
  bool TrueColour() const { return frame_w > 0; }
  bool fast = false;
  bool quiet = false;
  bool snapshots = true;
  bool inspect = false;
  std::string out;
  std::string rgba;
  std::string gif;
  std::string scene;
};

enum class Parsed { Run, Help, Error };

// Reads the command line; an error names the argument at fault and what would be valid.
Parsed ParseOptions(int argc, char **argv, Options &o) {
  auto bad = [](const std::string &arg, const std::string &why) {
    std::cerr << "vxosd-play: " << arg << ": " << why << " (vxosd-play --help lists the options)\n";
    return Parsed::Error;
  };
  bool out_given = false, card_given = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const std::size_t eq = a.find('=');
    const std::string key = a.substr(0, eq),
                      value = eq == std::string::npos ? "" : a.substr(eq + 1);
    const bool has_value = eq != std::string::npos;
    if (a == "-h" || a == "--help") return Parsed::Help;
    if (a == "--fast") {
      o.fast = true;
    } else if (a == "--quiet") {
      o.quiet = true;
    } else if (a == "--no-snapshots") {
      o.snapshots = false;
    } else if (a == "--inspect") {
      o.inspect = true;
    } else if (key == "--card") {
      if (value != "virtual" && value != "none")
        return bad(a, "the card is virtual or none, as --card=virtual or --card=none");
      o.card = value == "virtual";
      card_given = true;
    } else if (key == "--frame") {
      int w = 0, h = 0;
      char x = 0, rest = 0;
      if (!has_value || std::sscanf(value.c_str(), "%d%c%d%c", &w, &x, &h, &rest) != 3 || x != 'x' ||
          w < 16 || h < 16 || w > 7680 || h > 4320)
        return bad(a, "the frame is WxH, 16x16 to 7680x4320, as --frame=1920x1080");
      o.frame_w = w;
      o.frame_h = h;
    } else if (key == "--out" || key == "--rgba" || key == "--gif") {
      static const char *const kForms[] = {"--out=DIR", "--rgba=FILE or --rgba=- (standard output)",
                                           "--gif=FILE"};
      const int which = key == "--out" ? 0 : key == "--rgba" ? 1 : 2;
      if (!has_value || value.empty())
        return bad(a, std::string("needs a value: ") + kForms[which]);
      (which == 0 ? o.out : which == 1 ? o.rgba : o.gif) = value;
      out_given |= which == 0;
    } else if (!a.empty() && a[0] == '-') {
      return bad(a, "unknown option");
    } else if (o.scene.empty()) {
      o.scene = a;
    } else {
      return bad(a, "one scene only (the scene is " + o.scene + ")");
    }
  }
  if (o.scene.empty()) {
    std::cerr << "vxosd-play: no scene given\n" << kUsage;
    return Parsed::Error;
  }
  if (out_given && !o.snapshots) return bad("--out=" + o.out, "has no use with --no-snapshots");
  if (o.inspect && !o.snapshots) return bad("--inspect", "has no use with --no-snapshots");
  if (o.TrueColour()) {
    // The card takes the palette frame only; the preview and the frame streams are palette too.
    if (card_given && o.card) return bad("--card=virtual", "the card takes no true-colour frame (--frame)");
    if (!o.gif.empty()) return bad("--gif=" + o.gif, "has no use with --frame");
    if (o.inspect) return bad("--inspect", "has no use with --frame");
    o.card = false;
  }
  if (o.out.empty()) o.out = ".";
  return Parsed::Run;
}

// Every output path is checked before the run starts: the snapshot folder and the folder of
// each snapshot of the scene (neither is created), the RGBA file and the preview file.
bool CheckOutputs(const Options &o, const std::vector<Step> &steps) {
  bool ok = true;
  auto fail = [&ok](const std::string &where, const std::string &problem) {
    std::cerr << where << ": " << problem << "\n";
    ok = false;
  };
  if (o.snapshots) {
    if (const std::string p = vxtools::OutputFolderProblem(o.out); !p.empty()) {
      fail("vxosd-play: --out=" + o.out, p);
    } else {
      for (const Step &s : steps)
        if (s.call == "snapshot")
          if (const std::string p =
                  vxtools::OutputFileProblem((fs::path(o.out) / s.args[0].utf8).string());
              !p.empty())
            fail(o.scene + ":" + std::to_string(s.line) + ": snapshot " + s.args[0].utf8, p);
    }
  }
  if (!o.rgba.empty() && o.rgba != "-")
    if (const std::string p = vxtools::OutputFileProblem(o.rgba); !p.empty())
      fail("vxosd-play: --rgba=" + o.rgba, p);
  if (!o.gif.empty())
    if (const std::string p = vxtools::OutputFileProblem(o.gif); !p.empty())
      fail("vxosd-play: --gif=" + o.gif, p);
  return ok;
}

// Premultiplied B, G, R, A pixels to R, G, B, A with straight alpha.
void StraightRgba(const std::uint8_t *bgra, std::uint8_t *rgba, std::size_t pixels) {
  for (std::size_t i = 0; i < pixels; ++i, bgra += 4, rgba += 4) {
    const unsigned a = bgra[3];
    auto un = [a](unsigned c) { return static_cast<std::uint8_t>(a ? std::min(255u, (c * 255 + a / 2) / a) : 0); };
    rgba[0] = un(bgra[2]);
    rgba[1] = un(bgra[1]);
    rgba[2] = un(bgra[0]);
    rgba[3] = static_cast<std::uint8_t>(a);
  }
}

std::string LastError() {
  char message[512];
  return g_lib.VxOSD_GetLastError(message, sizeof message) ? message : "";
}

// Everything a run produces from the frames the library hands out.
class Outputs {
 public:
  bool Open(const Options &o) {
    frame_w_ = o.frame_w;
    frame_h_ = o.frame_h;
    if (!o.rgba.empty()) {
      if (o.rgba == "-") {
#ifdef _WIN32
        _setmode(_fileno(stdout), _O_BINARY);
#endif
        rgba_ = stdout;
      } else {
        rgba_ = std::fopen(o.rgba.c_str(), "wb");
        owns_rgba_ = true;
        if (!rgba_) {
          std::cerr << "vxosd-play: cannot create " << o.rgba << "\n";
          return false;
        }
      }
      rgba_buffer_.resize(frame_w_ > 0 ? std::size_t{4} * frame_w_ * frame_h_ : std::size_t{4} * kW * kH);
    }
    gif_path_ = o.gif;
    return true;
  }

  // One composed true-colour frame: premultiplied B, G, R, A.
  void TrueColourFrame(const std::uint8_t *pixels, std::size_t size) {
    ++frames_;
    if (!rgba_ || size != rgba_buffer_.size()) return;
    StraightRgba(pixels, rgba_buffer_.data(), size / 4);
    if (std::fwrite(rgba_buffer_.data(), 1, rgba_buffer_.size(), rgba_) != rgba_buffer_.size())
      write_error_ = true;
  }

  // One composed frame (a frame stream), from the card or the card-less output.
  void Frame(const std::uint8_t *stream, std::size_t size) {
    ++frames_;
    if (size != kStreamBytes) return;
    last_.assign(stream, stream + size);
    if (rgba_ && g_card.VxVirtualCard_FrameToRGBA(stream, size, rgba_buffer_.data())) {
      if (std::fwrite(rgba_buffer_.data(), 1, rgba_buffer_.size(), rgba_) != rgba_buffer_.size())
        write_error_ = true;
    }
    if (!gif_path_.empty()) {
      if (!gif_open_) {
        gif_open_ = true;
        if (!gif_.Open(gif_path_, kW, kH, FrameStreamPaletteRgb(stream))) write_error_ = true;
      }
      gif_.AddFrame(stream + 1032, 6);  // one cycle: 60 ms
    }
  }

  bool Close() {
    bool ok = !write_error_;
    if (gif_open_) ok &= gif_.Close();
    if (rgba_) ok &= std::fflush(rgba_) == 0;
    if (owns_rgba_ && rgba_) ok &= std::fclose(rgba_) == 0;
    rgba_ = nullptr;
    return ok;
  }
  long frames() const { return frames_; }
  int gif_frames() const { return gif_.frames(); }
  // The last frame stream, empty before the first.
  const std::vector<std::uint8_t> &last() const { return last_; }

 private:
  std::FILE *rgba_ = nullptr;
  bool owns_rgba_ = false;
  int frame_w_ = 0, frame_h_ = 0;
  std::vector<std::uint8_t> rgba_buffer_;
  std::string gif_path_;
  GifWriter gif_;
  bool gif_open_ = false;
  bool write_error_ = false;
  long frames_ = 0;
  std::vector<std::uint8_t> last_;
};

Outputs *g_outputs = nullptr;
std::vector<std::uint8_t> g_card_frame(kStreamBytes);

void OnCardlessFrame(const std::uint8_t *stream, std::uint32_t size, void *) {
  g_outputs->Frame(stream, size);
}

void OnTrueColourFrame(const std::uint8_t *pixels, std::uint32_t size, void *) {
  g_outputs->TrueColourFrame(pixels, size);
}

void OnCardFrame(void *) {
  const std::size_t n = g_card.VxVirtualCard_LastFrame(g_card_frame.data(), g_card_frame.size());
  g_outputs->Frame(g_card_frame.data(), n);
}

// The progress line, on a terminal only, for runs longer than a second.
class Progress {
 public:
  Progress(std::uint64_t total_ms, bool enabled) : total_(total_ms), enabled_(enabled && total_ms > 1000) {}
  void Show(std::uint64_t scene_ms, int line, long frames, bool force = false) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    std::fprintf(stderr, "\r  scene %7.2f s of %.2f s   line %-5d frames %-6ld", scene_ms / 1000.0,
                 total_ / 1000.0, line, frames);
    std::fflush(stderr);
    shown_ = true;
  }
  void Done() {
    if (shown_) std::fprintf(stderr, "\r%70s\r", "");
  }

 private:
  std::uint64_t total_;
  bool enabled_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point last_{};
};

// Lets ms of scene time pass, in slices so the progress line moves.
void Wait(const Options &o, std::uint32_t ms, std::uint64_t &scene_ms, const std::function<void()> &tick) {
  if (o.fast) {
    while (ms > 0) {
      const std::uint32_t slice = ms < 600 ? ms : 600;
      g_lib.VxOSD_AdvanceClock(slice);
      ms -= slice;
      scene_ms += slice;
      tick();
    }
    return;
  }
  const auto start = std::chrono::steady_clock::now();
  const auto deadline = start + std::chrono::milliseconds(ms);
  for (;;) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) break;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
    g_lib.VxOSD_ProcessMessages(static_cast<std::uint32_t>(left < 50 ? left : 50));
    tick();
  }
  g_lib.VxOSD_ProcessMessages(0);
  scene_ms += ms;
}

bool WriteFile(const fs::path &path, const void *data, std::size_t size) {
  std::FILE *f = std::fopen(path.string().c_str(), "wb");
  if (!f) return false;
  const bool written = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && written;
}

// With --inspect: the frame stream the snapshot shows and the text components' boxes.
std::string Inspect(const Options &o, const std::string &file, const Outputs &outputs,
                    const TextBoxes &boxes) {
  const fs::path base = fs::path(o.out) / file;
  const fs::path frame = base.string() + ".frame", list = base.string() + ".boxes";
  if (outputs.last().empty()) return "no frame was composed yet";
  if (!WriteFile(frame, outputs.last().data(), outputs.last().size()))
    return "cannot write " + frame.string();
  const std::string text = FormatTextBoxes(boxes.Measure(g_lib));
  if (!WriteFile(list, text.data(), text.size())) return "cannot write " + list.string();
  return {};
}

std::string Snapshot(const Options &o, const std::string &file) {
  if (o.TrueColour()) {
    // The true-colour frame as it is, premultiplied B, G, R, A: a PNG with straight alpha.
    const int w = o.frame_w, h = o.frame_h;
    std::vector<std::uint8_t> bgra(std::size_t{4} * w * h, 0);
    HDC dc = g_lib.VxOSD_CreateBufferDC(bgra.data(), w, h, w * 4);
    if (!dc) return "cannot make a device context: " + LastError();
    g_lib.SetVxOSD_Debug(dc);
    g_lib.VxOSD_DeleteDC(dc);
    std::vector<std::uint8_t> rgba(bgra.size());
    StraightRgba(bgra.data(), rgba.data(), bgra.size() / 4);
    const fs::path path = fs::path(o.out) / file;
    const std::string error = WritePng(path.string(), rgba.data(), w, h, 4);
    if (error.empty()) std::cerr << "vxosd-play: snapshot " << path.string() << "\n";
    return error;
  }
  std::vector<std::uint32_t> bgra(static_cast<std::size_t>(kW) * kH, 0);
  HDC dc = g_lib.VxOSD_CreateBufferDC(bgra.data(), kW, kH, kW * 4);
  if (!dc) return "cannot make a device context: " + LastError();
  g_lib.SetVxOSD_Debug(dc);
  g_lib.VxOSD_DeleteDC(dc);
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(kW) * kH * 3);
  for (std::size_t i = 0; i < bgra.size(); ++i) {
    rgb[3 * i] = static_cast<std::uint8_t>(bgra[i] >> 16);
    rgb[3 * i + 1] = static_cast<std::uint8_t>(bgra[i] >> 8);
    rgb[3 * i + 2] = static_cast<std::uint8_t>(bgra[i]);
  }
  const fs::path path = fs::path(o.out) / file;
  const std::string error = WritePng(path.string(), rgb.data(), kW, kH);
  if (error.empty()) std::cerr << "vxosd-play: snapshot " << path.string() << "\n";
  return error;
}

// The player's side of a run: waits in real time or on the manual clock, snapshots as PNG
// files, warnings for calls that answer 0.
class PlayerHost : public SceneHost {
 public:
  PlayerHost(const Options &o, Progress &progress, Outputs &outputs)
      : o_(o), progress_(progress), outputs_(outputs) {}
  void Pass(std::uint32_t ms) override {
    Wait(o_, ms, scene_ms, [&] { Tick(); });
  }
  bool Snapshot(const Step &s) override {
    if (!o_.snapshots) return true;
    std::string error = ::Snapshot(o_, s.args[0].utf8);
    if (error.empty() && o_.inspect) error = Inspect(o_, s.args[0].utf8, outputs_, boxes_);
    if (error.empty()) return true;
    progress_.Done();
    std::cerr << o_.scene << ":" << s.line << ": snapshot: " << error << "\n";
    status = 1;
    return false;
  }
  void Refused(const Step &s, const std::string &error) override {
    if (o_.quiet) return;
    progress_.Done();
    std::cerr << o_.scene << ":" << s.line << ": warning: " << s.call << " returned 0: " << error
              << "\n";
  }
  void Warned(const Step &s, const std::string &warning) override {
    if (o_.quiet) return;
    progress_.Done();
    std::cerr << o_.scene << ":" << s.line << ": warning: " << warning << "\n";
  }
  void Note(const Step &s, const std::string &note) override {
    std::cerr << "line " << s.line << ": " << note << "\n";
  }
  void Stepped(const Step &s) override {
    line_ = s.line;
    if (o_.inspect) boxes_.Track(s);
    Tick();
  }

  std::uint64_t scene_ms = 0;
  int status = 0;

 private:
  void Tick() { progress_.Show(scene_ms, line_, outputs_.frames()); }

  const Options &o_;
  Progress &progress_;
  Outputs &outputs_;
  TextBoxes boxes_;
  int line_ = 0;
};

}  // namespace

int main(int argc, char **argv) {
  Options o;
  switch (ParseOptions(argc, argv, o)) {
    case Parsed::Help: std::cout << kUsage; return 0;
    case Parsed::Error: return 2;
    case Parsed::Run: break;
  }
  std::vector<Step> steps;
  try {
    steps = LoadScene(o.scene);
  } catch (const SceneFileError &e) {
    std::cerr << "vxosd-play: " << e.what() << "\n";
    return 1;
  } catch (const SceneError &e) {
    std::cerr << o.scene << ":" << e.line << ": " << e.message << "\n";
    return 1;
  }
  if (!CheckOutputs(o, steps)) return 1;
  if (const std::string error = LoadEntryPoints(o.card, g_lib, g_card); !error.empty()) {
    std::cerr << "vxosd-play: " << error << "\n";
    return 1;
  }

  Outputs outputs;
  if (!outputs.Open(o)) return 1;
  g_outputs = &outputs;

  if (o.card) {
    VxVirtualCardOptions card;
    g_card.VxVirtualCard_DefaultOptions(&card);
    card.on_frame = OnCardFrame;
    if (!g_card.VxVirtualCard_Install(&card)) {
      std::cerr << "vxosd-play: cannot install the software capture card\n";
      return 1;
    }
  } else {
    g_lib.VxOSD_SetFrameCallback(o.TrueColour() ? OnTrueColourFrame : OnCardlessFrame, nullptr);
  }
  g_lib.VxOSD_UseManualClock(o.fast ? 1 : 0);
  if (o.TrueColour() && !g_lib.VxOSD_SetFrameFormat(o.frame_w, o.frame_h, VXOSD_FRAME_ARGB32)) {
    std::cerr << "vxosd-play: --frame: " << LastError() << "\n";
    return 1;
  }
  const bool card_found = g_lib.InitVxOSD() != 0;
  if (o.card && !card_found)
    std::cerr << "vxosd-play: the library found no card: " << LastError() << "\n";

  const fs::path scene_dir = fs::absolute(o.scene).parent_path();
  Progress progress(SceneDuration(steps), isatty(STDERR_FILENO) != 0);
  const int last_line = steps.back().line;
  SceneRun run(g_lib, std::move(steps), scene_dir);
  PlayerHost host(o, progress, outputs);
  run.RunToEnd(host);
  progress.Show(host.scene_ms, last_line, outputs.frames(), true);
  progress.Done();
  int status = host.status;
  const std::uint64_t scene_ms = host.scene_ms;

  g_lib.FreeVxOSD();
  g_lib.VxOSD_SetFrameCallback(nullptr, nullptr);
  if (o.card) g_card.VxVirtualCard_Uninstall();
  if (!outputs.Close()) {
    std::cerr << "vxosd-play: writing the outputs failed\n";
    status = 1;
  }
  std::cerr << "vxosd-play: " << scene_ms / 1000.0 << " s of scene time, " << outputs.frames()
            << " frames" << (o.card ? " sent to the software card" : "") << "\n";
  if (!o.gif.empty()) std::cerr << "vxosd-play: preview " << o.gif << " (" << outputs.gif_frames() << " pictures)\n";
  return status;
}
