// vxosd-play: runs a scene (a script of library calls) through the public C interface, as a
// host would, and writes what the library composes: PNG snapshots, raw RGBA frames, an
// animated GIF preview.
#include <unistd.h>

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

#include "drivers/virtualcard/virtualcard.h"
#include "images.h"
#include "platform/lsan_fontconfig.h"
#include "scene/frame.h"
#include "scene/run.h"
#include "scene/scene.h"
#include "vxosd/vxosd.h"

namespace fs = std::filesystem;
using namespace vxplay;
using namespace vxscene;

namespace {

constexpr int kW = 640, kH = 480;
constexpr std::size_t kStreamBytes = 1032 + kW * kH;

const char kUsage[] =
    "usage: vxosd-play [options] SCENE\n"
    "  --card=virtual|none  through the software capture card (default) or without a card\n"
    "  --fast               run on a manual clock, as fast as the machine goes\n"
    "                       (default: real time)\n"
    "  --out=DIR            folder for snapshots (default: the current folder)\n"
    "  --rgba=FILE|-        every frame as raw 640x480 RGBA (A = colour level)\n"
    "  --gif=FILE           an animated preview of the run\n"
    "  --quiet              no warnings for calls that return 0\n";

struct Options {
  bool card = true;
  bool fast = false;
  bool quiet = false;
  std::string out = ".";
  std::string rgba;
  std::string gif;
  std::string scene;
};

bool ParseOptions(int argc, char **argv, Options &o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](const char *prefix, std::string &into) {
      const std::size_t n = std::strlen(prefix);
      if (a.compare(0, n, prefix) != 0) return false;
      into = a.substr(n);
      return true;
    };
    std::string card;
    if (a == "--fast") o.fast = true;
    else if (a == "--quiet") o.quiet = true;
    else if (a == "-h" || a == "--help") return false;
    else if (value("--card=", card)) {
      if (card == "virtual") o.card = true;
      else if (card == "none") o.card = false;
      else {
        std::cerr << "vxosd-play: --card must be virtual or none\n";
        return false;
      }
    } else if (value("--out=", o.out) || value("--rgba=", o.rgba) || value("--gif=", o.gif)) {
    } else if (!a.empty() && a[0] == '-') {
      std::cerr << "vxosd-play: unknown option " << a << "\n";
      return false;
    } else if (o.scene.empty()) {
      o.scene = a;
    } else {
      std::cerr << "vxosd-play: one scene only\n";
      return false;
    }
  }
  if (o.scene.empty()) return false;
  if (o.out.empty()) o.out = ".";
  return true;
}

std::string LastError() {
  char message[512];
  return VxOSD_GetLastError(message, sizeof message) ? message : "";
}

// Everything a run produces from the frames the library hands out.
class Outputs {
 public:
  bool Open(const Options &o) {
    if (!o.rgba.empty()) {
      if (o.rgba == "-") {
        rgba_ = stdout;
      } else {
        rgba_ = std::fopen(o.rgba.c_str(), "wb");
        owns_rgba_ = true;
        if (!rgba_) {
          std::cerr << "vxosd-play: cannot create " << o.rgba << "\n";
          return false;
        }
      }
      rgba_buffer_.resize(std::size_t{4} * kW * kH);
    }
    gif_path_ = o.gif;
    return true;
  }

  // One composed frame (a frame stream), from the card or the card-less output.
  void Frame(const std::uint8_t *stream, std::size_t size) {
    ++frames_;
    if (size != kStreamBytes) return;
    if (rgba_ && VxVirtualCard_FrameToRGBA(stream, size, rgba_buffer_.data())) {
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

 private:
  std::FILE *rgba_ = nullptr;
  bool owns_rgba_ = false;
  std::vector<std::uint8_t> rgba_buffer_;
  std::string gif_path_;
  GifWriter gif_;
  bool gif_open_ = false;
  bool write_error_ = false;
  long frames_ = 0;
};

Outputs *g_outputs = nullptr;
std::vector<std::uint8_t> g_card_frame(kStreamBytes);

void OnCardlessFrame(const std::uint8_t *stream, std::uint32_t size, void *) {
  g_outputs->Frame(stream, size);
}

void OnCardFrame(void *) {
  const std::size_t n = VxVirtualCard_LastFrame(g_card_frame.data(), g_card_frame.size());
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
      VxOSD_AdvanceClock(slice);
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
    VxOSD_ProcessMessages(static_cast<std::uint32_t>(left < 50 ? left : 50));
    tick();
  }
  VxOSD_ProcessMessages(0);
  scene_ms += ms;
}

std::string Snapshot(const Options &o, const std::string &file) {
  std::vector<std::uint32_t> bgra(static_cast<std::size_t>(kW) * kH, 0);
  HDC dc = VxOSD_CreateBufferDC(bgra.data(), kW, kH, kW * 4);
  if (!dc) return "cannot make a device context: " + LastError();
  SetVxOSD_Debug(dc);
  VxOSD_DeleteDC(dc);
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(kW) * kH * 3);
  for (std::size_t i = 0; i < bgra.size(); ++i) {
    rgb[3 * i] = static_cast<std::uint8_t>(bgra[i] >> 16);
    rgb[3 * i + 1] = static_cast<std::uint8_t>(bgra[i] >> 8);
    rgb[3 * i + 2] = static_cast<std::uint8_t>(bgra[i]);
  }
  const fs::path path = fs::path(o.out) / file;
  std::error_code ec;
  if (path.has_parent_path()) fs::create_directories(path.parent_path(), ec);
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
    const std::string error = ::Snapshot(o_, s.args[0].utf8);
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
    Tick();
  }

  std::uint64_t scene_ms = 0;
  int status = 0;

 private:
  void Tick() { progress_.Show(scene_ms, line_, outputs_.frames()); }

  const Options &o_;
  Progress &progress_;
  Outputs &outputs_;
  int line_ = 0;
};

}  // namespace

int main(int argc, char **argv) {
  Options o;
  if (!ParseOptions(argc, argv, o)) {
    std::cerr << kUsage;
    return 2;
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
  std::error_code ec;
  fs::create_directories(o.out, ec);
  if (!fs::is_directory(o.out)) {
    std::cerr << "vxosd-play: cannot create " << o.out << "\n";
    return 1;
  }

  Outputs outputs;
  if (!outputs.Open(o)) return 1;
  g_outputs = &outputs;

  if (o.card) {
    VxVirtualCardOptions card;
    VxVirtualCard_DefaultOptions(&card);
    card.on_frame = OnCardFrame;
    if (!VxVirtualCard_Install(&card)) {
      std::cerr << "vxosd-play: cannot install the software capture card\n";
      return 1;
    }
  } else {
    VxOSD_SetFrameCallback(OnCardlessFrame, nullptr);
  }
  VxOSD_UseManualClock(o.fast ? 1 : 0);
  const bool card_found = InitVxOSD() != 0;
  if (o.card && !card_found)
    std::cerr << "vxosd-play: the library found no card: " << LastError() << "\n";

  const fs::path scene_dir = fs::absolute(o.scene).parent_path();
  Progress progress(SceneDuration(steps), isatty(STDERR_FILENO) != 0);
  const int last_line = steps.back().line;
  SceneRun run(std::move(steps), scene_dir);
  PlayerHost host(o, progress, outputs);
  run.RunToEnd(host);
  progress.Show(host.scene_ms, last_line, outputs.frames(), true);
  progress.Done();
  int status = host.status;
  const std::uint64_t scene_ms = host.scene_ms;

  FreeVxOSD();
  VxOSD_SetFrameCallback(nullptr, nullptr);
  if (o.card) VxVirtualCard_Uninstall();
  if (!outputs.Close()) {
    std::cerr << "vxosd-play: writing the outputs failed\n";
    status = 1;
  }
  std::cerr << "vxosd-play: " << scene_ms / 1000.0 << " s of scene time, " << outputs.frames()
            << " frames" << (o.card ? " sent to the software card" : "") << "\n";
  if (!o.gif.empty()) std::cerr << "vxosd-play: preview " << o.gif << " (" << outputs.gif_frames() << " pictures)\n";
  return status;
}
