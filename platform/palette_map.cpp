#include "platform/palette_map.h"

#include <algorithm>
#include <map>
#include <string>

namespace vx {

PaletteMap::PaletteMap(const TPalette &palette) : cells_(32 * 32 * 32, 0) {
  for (int i = 0; i < 256; ++i) {
    r_[i] = palette[i].peRed;
    g_[i] = palette[i].peGreen;
    b_[i] = palette[i].peBlue;
    bool seen = false;
    for (std::uint8_t j : distinct_)
      if (r_[j] == r_[i] && g_[j] == g_[i] && b_[j] == b_[i]) { seen = true; break; }
    if (!seen) distinct_.push_back(static_cast<std::uint8_t>(i));
  }
}

namespace {
int AxisMin(int v, int lo, int hi) { return v < lo ? lo - v : v > hi ? v - hi : 0; }
int AxisMax(int v, int lo, int hi) { return std::max(v > lo ? v - lo : lo - v, v > hi ? v - hi : hi - v); }
}  // namespace

std::uint32_t PaletteMap::BuildCell(std::uint32_t key) const {
  const int r0 = static_cast<int>(key >> 10) << 3, g0 = static_cast<int>((key >> 5) & 31) << 3,
            b0 = static_cast<int>(key & 31) << 3;
  int dmin[256];
  int best_max = 1 << 30;
  for (std::uint8_t i : distinct_) {
    int a = AxisMin(r_[i], r0, r0 + 7), b = AxisMin(g_[i], g0, g0 + 7),
        c = AxisMin(b_[i], b0, b0 + 7);
    dmin[i] = a * a + b * b + c * c;
    int x = AxisMax(r_[i], r0, r0 + 7), y = AxisMax(g_[i], g0, g0 + 7),
        z = AxisMax(b_[i], b0, b0 + 7);
    best_max = std::min(best_max, x * x + y * y + z * z);
  }
  std::uint8_t cand[256];
  int n = 0;
  for (std::uint8_t i : distinct_)
    if (dmin[i] <= best_max) cand[n++] = i;
  std::uint32_t cell;
  if (n == 1) {
    cell = (1u << 24) | cand[0];
  } else if (n > kMaxCandidates) {
    cell = kFullSearch << 24;
  } else {
    cell = (static_cast<std::uint32_t>(n) << 24) | static_cast<std::uint32_t>(pool_.size());
    pool_.insert(pool_.end(), cand, cand + n);
  }
  cells_[key] = cell;
  return cell;
}

std::uint8_t PaletteMap::Search(std::uint32_t cell, int r, int g, int b) const {
  const std::uint32_t count = cell >> 24;
  const std::uint8_t *list;
  std::size_t n;
  if (count == kFullSearch) {
    list = distinct_.data();
    n = distinct_.size();
  } else {
    list = pool_.data() + (cell & 0xFFFFFF);
    n = count;
  }
  int best = 1 << 30;
  std::uint8_t index = 0;
  for (std::size_t k = 0; k < n; ++k) {
    const std::uint8_t i = list[k];
    const int dr = r - r_[i], dg = g - g_[i], db = b - b_[i];
    const int d = dr * dr + dg * dg + db * db;
    if (d < best) {
      best = d;
      index = i;
      if (d == 0) break;
    }
  }
  return index;
}

std::shared_ptr<const PaletteMap> SharedPaletteMap(const TPalette &palette) {
  thread_local std::map<std::string, std::weak_ptr<const PaletteMap>> registry;
  std::string key(768, '\0');
  for (int i = 0; i < 256; ++i) {
    key[3 * i] = static_cast<char>(palette[i].peRed);
    key[3 * i + 1] = static_cast<char>(palette[i].peGreen);
    key[3 * i + 2] = static_cast<char>(palette[i].peBlue);
  }
  auto it = registry.find(key);
  if (it != registry.end()) {
    if (auto map = it->second.lock()) return map;
  }
  if (registry.size() > 64) std::erase_if(registry, [](const auto &e) { return e.second.expired(); });
  auto map = std::make_shared<const PaletteMap>(palette);
  registry[key] = map;
  return map;
}

std::uint8_t NearestIndexReference(const TPalette &palette, int r, int g, int b) {
  int best = 1 << 30;
  int index = 0;
  for (int i = 0; i < 256; ++i) {
    const int dr = r - palette[i].peRed, dg = g - palette[i].peGreen, db = b - palette[i].peBlue;
    const int d = dr * dr + dg * dg + db * db;
    if (d < best) {
      best = d;
      index = i;
    }
  }
  return static_cast<std::uint8_t>(index);
}

}  // namespace vx
