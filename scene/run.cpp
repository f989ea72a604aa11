#include "scene/run.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <string_view>
#include <utility>

#include "scene/library.h"

namespace vxscene {

namespace fs = std::filesystem;

namespace {

std::string LastError(const Library &lib) {
  char message[512];
  return lib.VxOSD_GetLastError(message, sizeof message) ? message : "";
}

// These calls return 1 for a missing file too, and then leave a message naming it.
bool LoadsAPicture(const std::string &call) {
  return call == "SetVxComponent_PicFile" || call == "SetVxComponent_PicSplitFile" ||
         call == "SetVxComponent_PicMovie";
}

}  // namespace

std::u16string ScenePath(const fs::path &scene_dir, const std::string &utf8) {
  // The scene's text is UTF-8 on every system, so it becomes a path as UTF-8 (char8_t): a
  // plain std::string would be read in the ANSI code page on Windows.
  std::u16string out;
  try {
    fs::path p(std::u8string(utf8.begin(), utf8.end()));
    if (p.is_relative()) p = scene_dir / p;
    const std::u8string joined = p.u8string();
    if (Utf8ToUtf16(std::string_view(reinterpret_cast<const char *>(joined.data()), joined.size()),
                    out))
      return out;
  } catch (const std::exception &) {
    // A folder name the system cannot give as UTF-8: refused below like an invalid one.
  }
  throw PathError("the path \"" + utf8 + "\" in the scene's folder cannot be written as UTF-16");
}

int CallExport(const Library &lib, const Step &s, const fs::path &scene_dir, std::string &note) {
  auto name = [&](std::size_t i) { return s.args[i].utf8.c_str(); };
  auto n = [&](std::size_t i) { return s.args[i].number; };
  std::vector<std::vector<std::uint16_t>> texts;
  auto text = [&](std::size_t i) {
    std::u16string t = s.args[i].utf16;
    if (s.args[i].type == ArgType::Path && !t.empty()) t = ScenePath(scene_dir, s.args[i].utf8);
    texts.emplace_back(t.begin(), t.end());
    texts.back().push_back(0);
    return texts.back().data();
  };
  const std::string &c = s.call;
  if (c == "InitVxOSD") return lib.InitVxOSD();
  if (c == "FreeVxOSD") return lib.FreeVxOSD();
  if (c == "AddVxComponent") return lib.AddVxComponent(name(0), n(1));
  if (c == "DelVxComponent") return lib.DelVxComponent(name(0));
  if (c == "SetVxComponent_Pos") return lib.SetVxComponent_Pos(name(0), n(1), n(2), n(3), n(4));
  if (c == "SetVxComponent_Color") return lib.SetVxComponent_Color(name(0), n(1), n(2));
  if (c == "SetVxComponent_Font") return lib.SetVxComponent_Font(name(0), text(1), n(2), n(3));
  if (c == "SetVxComponent_Visible") return lib.SetVxComponent_Visible(name(0), n(1), n(2));
  if (c == "SetVxComponent_Text") return lib.SetVxComponent_Text(name(0), text(1));
  if (c == "SetVxComponent_Time") return lib.SetVxComponent_Time(name(0), n(1));
  if (c == "GetVxComponent_TextRect") {
    int32_t r[4] = {0, 0, 0, 0};
    const int ok = lib.GetVxComponent_TextRect(name(0), text(1), r);
    if (ok)
      note = std::string(name(0)) + " text rect " + std::to_string(r[0]) + " " +
             std::to_string(r[1]) + " " + std::to_string(r[2]) + " " + std::to_string(r[3]);
    return ok;
  }
  if (c == "SetVxComponent_TextStep") return lib.SetVxComponent_TextStep(name(0), n(1));
  if (c == "SetVxComponent_TextScroll") return lib.SetVxComponent_TextScroll(name(0), n(1));
  if (c == "SetVxComponent_TextMode") return lib.SetVxComponent_TextMode(name(0), n(1));
  if (c == "SetVxComponent_TextGradual") return lib.SetVxComponent_TextGradual(name(0), n(1), n(2));
  if (c == "SetVxComponent_TextHtml") return lib.SetVxComponent_TextHtml(name(0), n(1));
  if (c == "SetVxComponent_RandomColor")
    return lib.SetVxComponent_RandomColor(name(0), n(1), n(2), n(3), n(4), n(5));
  if (c == "SetVxComponent_RandomTextColor")
    return lib.SetVxComponent_RandomTextColor(name(0), n(1), n(2), n(3), n(4), n(5));
  if (c == "SetVxComponent_TextFile") return lib.SetVxComponent_TextFile(name(0), n(1));
  if (c == "SetVxComponent_PicFile") return lib.SetVxComponent_PicFile(name(0), text(1));
  if (c == "SetVxComponent_PicSplitFile") return lib.SetVxComponent_PicSplitFile(name(0), text(1), n(2));
  if (c == "SetVxComponent_PicSplitTextPos") return lib.SetVxComponent_PicSplitTextPos(name(0), n(1), n(2));
  if (c == "SetVxComponent_PicSplitShow") return lib.SetVxComponent_PicSplitShow(name(0), n(1));
  if (c == "SetVxComponent_PicMovie") return lib.SetVxComponent_PicMovie(name(0), text(1), n(2), n(3));
  if (c == "SetVxComponent_PicTime") return lib.SetVxComponent_PicTime(name(0), n(1));
  if (c == "SetVxComponent_MovieTime") return lib.SetVxComponent_MovieTime(name(0), n(1), n(2));
  if (c == "SetVxOSD_DebugView") return lib.SetVxOSD_DebugView(text(0));
  return 0;
}

SceneRun::SceneRun(const Library &lib, std::vector<Step> steps, fs::path scene_dir)
    : lib_(lib), steps_(std::move(steps)), scene_dir_(std::move(scene_dir)) {}

int SceneRun::Apply(const Step &step, SceneHost &host) {
  std::string note;
  int result = 0;
  try {
    result = CallExport(lib_, step, scene_dir_, note);
  } catch (const PathError &e) {
    host.Refused(step, e.what());
    host.Stepped(step);
    return 0;
  }
  if (!result) {
    // InitVxOSD's 0 is no failure when the library runs without a card; the status tells.
    if (step.call != "InitVxOSD" || !lib_.VxOSD_GetStatus || lib_.VxOSD_GetStatus() == VXOSD_STATUS_NONE)
      host.Refused(step, LastError(lib_));
    else if (lib_.VxOSD_GetStatus() == VXOSD_STATUS_CARD_TAKEN)
      host.Warned(step, LastError(lib_));
  } else if (LoadsAPicture(step.call)) {
    if (std::string warning = LastError(lib_); !warning.empty()) host.Warned(step, warning);
  }
  if (!note.empty()) host.Note(step, note);
  host.Stepped(step);
  return result;
}

bool SceneRun::RunStep(const Step &step, SceneHost &host) {
  if (step.call == "snapshot") {
    if (!host.Snapshot(step)) return false;
    host.Stepped(step);
  } else {
    Apply(step, host);
  }
  return true;
}

bool SceneRun::Run(bool to_end, std::uint64_t until_ms, SceneHost &host) {
  while (next_ < steps_.size()) {
    const Step &step = steps_[next_];
    if (step.call != "wait") {
      ++next_;
      if (!RunStep(step, host)) return false;
      continue;
    }
    if (!in_wait_) {
      in_wait_ = true;
      wait_left_ = static_cast<std::uint32_t>(step.args[0].number);
    }
    std::uint32_t slice = wait_left_;
    if (!to_end) slice = static_cast<std::uint32_t>(std::min<std::uint64_t>(slice, until_ms - now_ms_));
    if (slice > 0) host.Pass(slice);
    now_ms_ += slice;
    wait_left_ -= slice;
    if (wait_left_ > 0) return true;  // until_ms reached inside the wait
    in_wait_ = false;
    ++next_;
    host.Stepped(step);
  }
  if (!to_end && until_ms > now_ms_) {
    // The scene is over; its timers (scrolling, clocks, movies) keep running.
    for (std::uint64_t left = until_ms - now_ms_; left > 0;) {
      const auto slice = static_cast<std::uint32_t>(std::min<std::uint64_t>(left, 0x7FFFFFFF));
      host.Pass(slice);
      left -= slice;
    }
    now_ms_ = until_ms;
  }
  return true;
}

bool SceneRun::RunUntil(std::uint64_t until_ms, SceneHost &host) {
  if (until_ms < now_ms_) until_ms = now_ms_;
  return Run(false, until_ms, host);
}

bool SceneRun::RunToEnd(SceneHost &host) { return Run(true, 0, host); }

}  // namespace vxscene
