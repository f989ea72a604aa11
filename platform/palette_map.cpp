#include "platform/palette_map.h"

#include <algorithm>
#include <cstring>

#include <map>
#include <string>

namespace vx {

PaletteMap::PaletteMap(const TPalette &palette)
    : filled_(kCells / 64, 0), parents_(32 * 32 * 32, 0), pages_(kPages) {
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

// Entries of `from` that can be nearest to some colour of the box [r0, r0 + side)^3...
int PaletteMap::Candidates(const std::uint8_t *from, std::size_t count, int r0, int g0, int b0,
                           int side, std::uint8_t *out) const {
  const int top = side - 1;
  int dmin[256];
  int best_max = 1 << 30;
  for (std::size_t k = 0; k < count; ++k) {
    const std::uint8_t i = from[k];
    const int a = AxisMin(r_[i], r0, r0 + top), b = AxisMin(g_[i], g0, g0 + top),
              c = AxisMin(b_[i], b0, b0 + top);
    dmin[k] = a * a + b * b + c * c;
    const int x = AxisMax(r_[i], r0, r0 + top), y = AxisMax(g_[i], g0, g0 + top),
              z = AxisMax(b_[i], b0, b0 + top);
    best_max = std::min(best_max, x * x + y * y + z * z);
  }
  int n = 0;
  for (std::size_t k = 0; k < count; ++k)
    if (dmin[k] <= best_max) out[n++] = from[k];
  return n;
}

void PaletteMap::Fill(std::uint32_t cell) const {
  const int r0 = static_cast<int>((((cell >> 14) & 15) << 4) | (((cell >> 4) & 3) << 2)),
            g0 = static_cast<int>((((cell >> 10) & 15) << 4) | (((cell >> 2) & 3) << 2)),
            b0 = static_cast<int>((((cell >> 6) & 15) << 4) | ((cell & 3) << 2));
  // The candidates of the 8 x 8 x 8 parent cell include those of every cell inside it, so
  // the small cell only narrows the parent's short list.
  const std::uint32_t pkey = static_cast<std::uint32_t>(((r0 >> 3) << 10) | ((g0 >> 3) << 5) | (b0 >> 3));
  if (parents_[pkey] == 0) {
    std::uint8_t cand[256];
    const int n = Candidates(distinct_.data(), distinct_.size(), r0 & ~7, g0 & ~7, b0 & ~7, 8, cand);
    // A list too long to be worth keeping searches every entry (count kFullSearch).
    if (n > kMaxCandidates) {
      parents_[pkey] = kFullSearch << 24;
    } else {
      parents_[pkey] = (static_cast<std::uint32_t>(n) << 24) | static_cast<std::uint32_t>(pool_.size());
      pool_.insert(pool_.end(), cand, cand + n);  // at most 32768 x 62 bytes
    }
  }
  const std::uint32_t list = parents_[pkey];
  const std::uint8_t *parent = distinct_.data();
  std::size_t parent_n = distinct_.size();
  if ((list >> 24) != kFullSearch) {
    parent = pool_.data() + (list & 0xFFFFFF);
    parent_n = list >> 24;
  }
  std::uint8_t cand[256];
  const int n = Candidates(parent, parent_n, r0, g0, b0, 4, cand);
  std::unique_ptr<std::uint8_t[]> &page = pages_[cell >> (kPageShift - kCellShift)];
  // Left uninitialised on purpose: a cell is written before it is first read.
  if (!page) page = std::make_unique_for_overwrite<std::uint8_t[]>(std::size_t{1} << kPageShift);
  std::uint8_t *out = page.get() + ((static_cast<std::size_t>(cell) << kCellShift) & kPageMask);
  if (n == 1) {
    std::memset(out, cand[0], std::size_t{1} << kCellShift);
  } else {
    for (int i = 0; i < (1 << kCellShift); ++i)
      out[i] = SearchIn(cand, static_cast<std::size_t>(n), r0 + ((i >> 4) & 3), g0 + ((i >> 2) & 3),
                        b0 + (i & 3));
  }
  filled_[cell >> 6] |= std::uint64_t{1} << (cell & 63);
}

std::uint8_t PaletteMap::SearchIn(const std::uint8_t *list, std::size_t n, int r, int g, int b) const {
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
