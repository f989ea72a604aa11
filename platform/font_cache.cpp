// What both glyph sources share: font sizes, font instances, the glyph cache and the one lock
// that guards them and the glyph source (see glyph_source.h).
#include <algorithm>
#include <list>
#include <map>
#include <mutex>
#include <unordered_map>

#include "platform/canvas.h"
#include "platform/font.h"
#include "platform/glyph_source.h"
#include "platform/sysutils.h"

namespace vx {

int MulDiv(int number, int numerator, int denominator) {
  if (denominator == 0) return -1;
  const long long product = static_cast<long long>(number) * numerator;
  long long q = product / denominator;
  const long long r = product % denominator;
  // Round half away from zero.
  if (2 * (r < 0 ? -r : r) >= (denominator < 0 ? -static_cast<long long>(denominator) : denominator))
    q += ((product < 0) != (denominator < 0)) ? -1 : 1;
  // -INT32_MAX, not INT32_MIN: callers negate the result (font heights and sizes).
  return static_cast<int>(std::clamp<long long>(q, -INT32_MAX, INT32_MAX));
}

int TFont::Size() const { return -MulDiv(height_, 72, 96); }
void TFont::SetSize(int points) { height_ = -MulDiv(points, 96, 72); }

std::u32string DecodeUtf16(std::u16string_view text) {
  std::u32string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        out.push_back(0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00));
        ++i;
      } else {
        out.push_back(0xFFFD);
      }
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      out.push_back(0xFFFD);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

namespace {

// Face names are at most 31 characters, as in the original platform's font description; a
// longer name is cut (which also bounds what hostile names cost in the caches).
std::string_view FaceName(std::string_view name) {
  constexpr int kMaxFaceChars = 31;
  int chars = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if ((static_cast<unsigned char>(name[i]) & 0xC0) == 0x80) continue;  // continuation byte
    if (chars++ == kMaxFaceChars) return name.substr(0, i);
  }
  return name;
}

struct GlyphKey {
  const void *face;
  std::uint32_t glyph;
  int ppem;
  int escapement;
  std::uint8_t style;
  bool smooth = false;
  friend bool operator==(const GlyphKey &, const GlyphKey &) = default;
};

struct GlyphKeyHash {
  std::size_t operator()(const GlyphKey &k) const {
    std::size_t h = std::hash<const void *>()(k.face);
    auto mix = [&h](std::size_t v) {
      h ^= v + static_cast<std::size_t>(0x9e3779b97f4a7c15ULL) + (h << 6) + (h >> 2);
    };
    mix(k.glyph);
    mix(static_cast<std::size_t>(k.ppem));
    mix(static_cast<std::size_t>(k.escapement));
    mix(k.style);
    mix(k.smooth ? 1 : 0);
    return h;
  }
};

struct CacheEntry {
  GlyphKey key;
  std::shared_ptr<const GlyphImage> image;
  std::size_t bytes;
};

constexpr std::size_t kEntryOverhead = 64;
constexpr std::size_t kMaxAdvanceEntries = 1 << 17;
constexpr std::size_t kMaxInstances = 256;

// The lock, the instances, the advances and the least-recently-used rendered glyphs.
class FontCache {
 public:
  static FontCache &Instance() {
    static FontCache cache;
    return cache;
  }

  std::mutex mutex;
  std::map<std::string, std::shared_ptr<const FontInstance>> instances;

  int Advance(const FontFaceSet &set, char32_t ch, int ppem, bool bold, bool italic) {
    if (ch < 0x20 || ch == 0x7F) return 0;
    const glyph_source::GlyphRef ref = glyph_source::Map(set, ch);
    if (!ref.face) return 0;
    const GlyphKey key{ref.face, ref.glyph, ppem, 0, glyph_source::StyleKey(set, ref, bold, italic),
                       false};
    if (auto it = advances_.find(key); it != advances_.end()) return it->second;
    const int advance = std::max(0, glyph_source::Advance(set, ref, ppem, bold, italic));
    if (advances_.size() >= kMaxAdvanceEntries) advances_.clear();
    advances_[key] = advance;
    return advance;
  }

  std::shared_ptr<const GlyphImage> Glyph(const FontFaceSet &set, char32_t ch, int ppem,
                                          bool bold, bool italic, int escapement,
                                          bool smooth = false) {
    if (ch < 0x20 || ch == 0x7F) return nullptr;
    const glyph_source::GlyphRef ref = glyph_source::Map(set, ch);
    if (!ref.face) return nullptr;
    const GlyphKey key{ref.face, ref.glyph, ppem, escapement,
                       glyph_source::StyleKey(set, ref, bold, italic), smooth};
    if (auto it = index_.find(key); it != index_.end()) {
      ++hits_;
      lru_.splice(lru_.begin(), lru_, it->second);
      return it->second->image;
    }
    ++misses_;
    std::shared_ptr<const GlyphImage> image =
        glyph_source::Render(set, ref, ppem, bold, italic, escapement, smooth);
    const std::size_t bytes = kEntryOverhead + (image ? image->coverage.size() : 0);
    if (bytes <= limit_) {
      lru_.push_front(CacheEntry{key, image, bytes});
      index_[key] = lru_.begin();
      bytes_ += bytes;
      Trim();
    }
    return image;
  }

  GlyphCacheStats Stats() const { return {lru_.size(), bytes_, hits_, misses_}; }
  void Clear() {
    lru_.clear();
    index_.clear();
    advances_.clear();
    bytes_ = 0;
    hits_ = misses_ = 0;
  }
  void SetLimit(std::size_t bytes) {
    limit_ = bytes;
    Trim();
  }

 private:
  void Trim() {
    while (bytes_ > limit_ && !lru_.empty()) {
      bytes_ -= lru_.back().bytes;
      index_.erase(lru_.back().key);
      lru_.pop_back();
    }
  }

  std::unordered_map<GlyphKey, int, GlyphKeyHash> advances_;
  std::list<CacheEntry> lru_;
  std::unordered_map<GlyphKey, std::list<CacheEntry>::iterator, GlyphKeyHash> index_;
  std::size_t bytes_ = 0;
  std::size_t limit_ = std::size_t{8} << 20;
  std::size_t hits_ = 0;
  std::size_t misses_ = 0;
};

}  // namespace

FontInstance::FontInstance(const FontFaceSet *faces, int ppem, bool bold, bool italic,
                           int escapement, const FontMetrics &metrics)
    : faces_(faces), ppem_(ppem), bold_(bold), italic_(italic), escapement_(escapement),
      metrics_(metrics) {}

std::string FontInstance::FamilyName() const {
  FontCache &c = FontCache::Instance();
  std::lock_guard lock(c.mutex);
  return glyph_source::PrimaryFamily(*faces_);
}

void FontInstance::Advances(std::u32string_view text, int *out) const {
  FontCache &c = FontCache::Instance();
  std::lock_guard lock(c.mutex);
  for (std::size_t i = 0; i < text.size(); ++i)
    out[i] = c.Advance(*faces_, text[i], ppem_, bold_, italic_);
}

int FontInstance::Width(std::u32string_view text) const {
  FontCache &c = FontCache::Instance();
  std::lock_guard lock(c.mutex);
  int width = 0;
  for (char32_t ch : text) width += c.Advance(*faces_, ch, ppem_, bold_, italic_);
  return width;
}

void FontInstance::Glyphs(std::u32string_view text, std::vector<PlacedGlyph> &out) const {
  FontCache &c = FontCache::Instance();
  std::lock_guard lock(c.mutex);
  out.clear();
  out.reserve(text.size());
  for (char32_t ch : text) {
    PlacedGlyph g;
    g.advance = c.Advance(*faces_, ch, ppem_, bold_, italic_);
    g.image = c.Glyph(*faces_, ch, ppem_, bold_, italic_, escapement_);
    out.push_back(std::move(g));
  }
}

std::shared_ptr<const GlyphImage> FontInstance::Glyph(char32_t ch, bool smooth) const {
  FontCache &c = FontCache::Instance();
  std::lock_guard lock(c.mutex);
  return c.Glyph(*faces_, ch, ppem_, bold_, italic_, escapement_, smooth);
}

std::string FontInstance::FaceFamilyFor(char32_t ch) const {
  FontCache &c = FontCache::Instance();
  std::lock_guard lock(c.mutex);
  return glyph_source::Family(*faces_, glyph_source::Map(*faces_, ch));
}

int PixelsPerEm(const TFont &font) {
  const int h = font.Height();
  int ppem;
  if (h < 0) {
    ppem = h == INT32_MIN ? kMaxPixelsPerEm : -h;
  } else if (h == 0) {
    ppem = 12;  // a fresh device context's default
  } else {
    // A positive height is the cell height: the glyph source knows the face's em share of it.
    FontCache &c = FontCache::Instance();
    std::lock_guard lock(c.mutex);
    const bool bold = (font.Style & fsBold) != 0, italic = (font.Style & fsItalic) != 0;
    auto set = glyph_source::Resolve(FaceName(font.Name), bold, italic, font.Charset);
    ppem = glyph_source::PixelsPerEmForCell(*set, std::min(h, kMaxPixelsPerEm * 4), bold, italic);
  }
  return std::clamp(ppem, 1, kMaxPixelsPerEm);
}

std::shared_ptr<const FontInstance> GetFontInstance(const TFont &font) {
  const int ppem = PixelsPerEm(font);
  const bool bold = (font.Style & fsBold) != 0;
  const bool italic = (font.Style & fsItalic) != 0;
  int escapement = font.Escapement % 3600;
  if (escapement < 0) escapement += 3600;
  std::string key = LowerCase(FaceName(font.Name));
  key += '\0';
  key += std::to_string(ppem) + ',' + std::to_string(bold) + std::to_string(italic) + ',' +
         std::to_string(escapement) + ',' + std::to_string(font.Charset == GB2312_CHARSET);
  FontCache &c = FontCache::Instance();
  std::lock_guard lock(c.mutex);
  if (auto it = c.instances.find(key); it != c.instances.end()) return it->second;
  auto set = glyph_source::Resolve(FaceName(font.Name), bold, italic, font.Charset);
  // The instance keeps its face set alive even if the glyph source drops it from its caches.
  struct Holder {
    std::shared_ptr<const FontFaceSet> set;
    FontInstance instance;
  };
  auto holder = std::make_shared<Holder>(
      Holder{set, FontInstance(set.get(), ppem, bold, italic, escapement,
                               glyph_source::Metrics(*set, ppem, bold, italic))});
  std::shared_ptr<const FontInstance> instance(holder, &holder->instance);
  if (c.instances.size() >= kMaxInstances) c.instances.clear();
  c.instances[key] = instance;
  return instance;
}

std::string ResolveFamilyName(std::string_view name, bool bold, bool italic,
                              std::uint8_t charset) {
  FontCache &c = FontCache::Instance();
  std::lock_guard lock(c.mutex);
  return glyph_source::PrimaryFamily(*glyph_source::Resolve(FaceName(name), bold, italic, charset));
}

GlyphCacheStats GetGlyphCacheStats() {
  FontCache &c = FontCache::Instance();
  std::lock_guard lock(c.mutex);
  return c.Stats();
}

void ClearGlyphCache() {
  FontCache &c = FontCache::Instance();
  std::lock_guard lock(c.mutex);
  c.Clear();
}

void SetGlyphCacheLimit(std::size_t bytes) {
  FontCache &c = FontCache::Instance();
  std::lock_guard lock(c.mutex);
  c.SetLimit(bytes);
}

}  // namespace vx
