#include "platform/palette_map.h"

#include <algorithm>
#include <map>
#include <string>

namespace vx {

PaletteMap::PaletteMap(const TPalette &palette, std::size_t max_blocks)
    : max_blocks_(256 + std::min<std::size_t>(max_blocks, 0xFFFFF - 256)),
      cells_(std::size_t{1} << (3 * kKeyBits), 0), parents_(32 * 32 * 32, 0), blocks_(256 * kCellSize) {
  for (std::size_t i = 0; i < blocks_.size(); ++i) blocks_[i] = static_cast<std::uint8_t>(i / kCellSize);
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

std::uint32_t PaletteMap::StoreList(const std::uint8_t *cand, int n) const {
  // Too long a list, or a pool that offsets can no longer address: search everything.
  if (n > kMaxCandidates || pool_.size() + static_cast<std::size_t>(n) > 0xFFFFFF) return kFullSearch << 24;
  const std::uint32_t list = (static_cast<std::uint32_t>(n) << 24) | static_cast<std::uint32_t>(pool_.size());
  pool_.insert(pool_.end(), cand, cand + n);
  return list;
}

void PaletteMap::ListOf(std::uint32_t list, const std::uint8_t *&entries, std::size_t &n) const {
  const std::uint32_t count = (list >> 24) & 0x3F;
  if (count == kFullSearch) {
    entries = distinct_.data();
    n = distinct_.size();
  } else {
    entries = pool_.data() + (list & 0xFFFFFF);
    n = count;
  }
}

std::uint32_t PaletteMap::BuildCell(std::uint32_t key) const {
  const int r0 = static_cast<int>(key >> (2 * kKeyBits)) << kCellBits,
            g0 = static_cast<int>((key >> kKeyBits) & ((1u << kKeyBits) - 1)) << kCellBits,
            b0 = static_cast<int>(key & ((1u << kKeyBits) - 1)) << kCellBits;
  // The candidates of the 8 x 8 x 8 parent cell include those of every cell inside it, so
  // the small cell only narrows the parent's short list.
  const std::uint32_t pkey = static_cast<std::uint32_t>(((r0 >> 3) << 10) | ((g0 >> 3) << 5) | (b0 >> 3));
  if (parents_[pkey] == 0) {
    std::uint8_t cand[256];
    const int n = Candidates(distinct_.data(), distinct_.size(), r0 & ~7, g0 & ~7, b0 & ~7, 8, cand);
    parents_[pkey] = StoreList(cand, n);
  }
  const std::uint8_t *parent;
  std::size_t parent_n;
  ListOf(parents_[pkey], parent, parent_n);
  std::uint8_t cand[256];
  const int n = Candidates(parent, parent_n, r0, g0, b0, kCellSide, cand);
  std::uint32_t cell;
  if (n == 1) {
    cell = kBlock | cand[0];
  } else if (const std::size_t block = blocks_.size() / kCellSize; block < max_blocks_) {
    blocks_.resize(blocks_.size() + kCellSize);
    std::uint8_t *out = blocks_.data() + block * kCellSize;
    bool uniform = true;
    for (int i = 0; i < kCellSize; ++i) {
      out[i] = SearchIn(cand, static_cast<std::size_t>(n), r0 + (i >> (2 * kCellBits)),
                        g0 + ((i >> kCellBits) & kCellMask), b0 + (i & kCellMask));
      uniform = uniform && out[i] == out[0];
    }
    if (uniform) {  // one entry wins the whole cell after all: no block needed
      cell = kBlock | out[0];
      blocks_.resize(blocks_.size() - kCellSize);
    } else {
      cell = kBlock | static_cast<std::uint32_t>(block);
    }
  } else {
    cell = StoreList(cand, n);
  }
  cells_[key] = cell;
  return cell;
}

std::uint8_t PaletteMap::Search(std::uint32_t list, int r, int g, int b) const {
  const std::uint8_t *entries;
  std::size_t n;
  ListOf(list, entries, n);
  return SearchIn(entries, n, r, g, b);
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
