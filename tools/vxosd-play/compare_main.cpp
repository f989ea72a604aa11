// vxosd-play-compare: compares two runs of a scene by vxosd-play --inspect (for example the
// Linux and the Windows player on the same scene), snapshot by snapshot.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>

#include "compare.h"

namespace fs = std::filesystem;
using namespace vxplay;

namespace {

bool Read(const fs::path &path, std::string &out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::stringstream buffer;
  buffer << in.rdbuf();
  out = buffer.str();
  return !in.bad();
}

// The snapshot files of a run (PNG and the --inspect outputs).
std::set<std::string> Outputs(const fs::path &dir) {
  std::set<std::string> names;
  for (const auto &e : fs::directory_iterator(dir)) {
    const std::string ext = e.path().extension().string();
    if (ext == ".png" || ext == ".frame" || ext == ".boxes") names.insert(e.path().filename().string());
  }
  return names;
}

bool Load(const fs::path &frame, InspectedFrame &f, std::string &error) {
  std::string bytes, boxes;
  fs::path list = frame;
  list.replace_extension(".boxes");
  if (!Read(frame, bytes)) return error = "cannot read " + frame.string(), false;
  if (!Read(list, boxes) || !ParseTextBoxes(boxes, f.boxes))
    return error = "cannot read " + list.string(), false;
  f.stream.assign(bytes.begin(), bytes.end());
  return true;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    std::cerr << "usage: vxosd-play-compare RUN1 RUN2   (folders of vxosd-play --inspect)\n";
    return 2;
  }
  const fs::path a = argv[1], b = argv[2];
  std::error_code ec;
  if (!fs::is_directory(a, ec) || !fs::is_directory(b, ec)) {
    std::cerr << "vxosd-play-compare: " << (fs::is_directory(a, ec) ? b : a).string()
              << ": no such folder\n";
    return 2;
  }
  const std::set<std::string> in_a = Outputs(a), in_b = Outputs(b);
  int status = 0, frames = 0;
  for (const std::string &n : in_a)
    if (!in_b.count(n)) std::cout << n << ": only in " << a.string() << "\n", status = 1;
  for (const std::string &n : in_b)
    if (!in_a.count(n)) std::cout << n << ": only in " << b.string() << "\n", status = 1;
  for (const std::string &n : in_a) {
    if (fs::path(n).extension() != ".frame" || !in_b.count(n)) continue;
    InspectedFrame fa, fb;
    std::string error;
    if (!Load(a / n, fa, error) || !Load(b / n, fb, error)) {
      std::cout << n << ": " << error << "\n";
      status = 1;
      continue;
    }
    ++frames;
    const FrameComparison c = CompareFrames(fa, fb);
    for (const std::string &fault : c.faults) std::cout << n << ": " << fault << "\n";
    if (c.faults.empty() && c.text_pixels_differing == 0)
      std::cout << n << ": agrees (identical)\n";
    else if (c.faults.empty())
      std::cout << n << ": agrees (" << c.text_pixels_differing << " pixels differ, all in text boxes)\n";
    status |= c.faults.empty() ? 0 : 1;
  }
  if (frames == 0) {
    std::cout << "vxosd-play-compare: no frames to compare (run vxosd-play with --inspect)\n";
    status = 1;
  }
  std::cout << "vxosd-play-compare: " << frames << " frames, " << (status ? "DIFFER" : "agree") << "\n";
  return status;
}
