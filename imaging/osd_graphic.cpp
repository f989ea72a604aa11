#include "imaging/osd_graphic.h"

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <cstring>

#include "platform/exceptions.h"

namespace vx {

const char kInvalidFrameStreamMessage[] = "不支持的文件格式！";

namespace {

constexpr TPalette MakeFramePalette() {
  TPalette p{};
  constexpr std::uint8_t low[10][3] = {{0, 0, 0},       {128, 0, 0},     {0, 128, 0},
                                       {128, 128, 0},   {0, 0, 128},     {128, 0, 128},
                                       {0, 128, 128},   {192, 192, 192}, {192, 220, 192},
                                       {166, 202, 240}};
  constexpr std::uint8_t high[10][3] = {{255, 251, 240}, {160, 160, 164}, {128, 128, 128},
                                        {255, 0, 0},     {0, 255, 0},     {255, 255, 0},
                                        {0, 0, 255},     {255, 0, 255},   {0, 255, 255},
                                        {255, 255, 255}};
  for (int i = 0; i < 256; ++i) {
    std::uint8_t r, g, b;
    if (i < 10) {
      r = low[i][0], g = low[i][1], b = low[i][2];
    } else if (i >= 246) {
      r = high[i - 246][0], g = high[i - 246][1], b = high[i - 246][2];
    } else {
      r = static_cast<std::uint8_t>((i % 8) * 32);
      g = static_cast<std::uint8_t>(((i / 8) % 8) * 32);
      b = static_cast<std::uint8_t>((i / 64) * 64);
    }
    p[i] = TPaletteEntry{r, g, b, 0};
  }
  return p;
}

constexpr std::uint8_t ClampByte(int v) {
  return static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

constexpr TCardPalette MakeCardPalette(const TPalette &frame) {
  TCardPalette c{};
  for (int i = 0; i < 256; ++i) {
    const int r = frame[i].peRed, g = frame[i].peGreen, b = frame[i].peBlue;
    c[4 * i + 0] = 255;
    c[4 * i + 1] = ClampByte(RGBToY(r, g, b));
    c[4 * i + 2] = ClampByte(RGBToCb(r, g, b));
    c[4 * i + 3] = ClampByte(RGBToCr(r, g, b));
  }
  return c;
}

constexpr TPalette kFramePalette = MakeFramePalette();
constexpr TCardPalette kCardPalette = MakeCardPalette(kFramePalette);

static_assert(kFramePalette[250] == TPaletteEntry{0, 255, 0, 0});
static_assert(kCardPalette[4 * 250 + 1] == 144 && kCardPalette[4 * 250 + 2] == 53 &&
              kCardPalette[4 * 250 + 3] == 34);

}  // namespace

const TPalette &FramePalette() { return kFramePalette; }
const TCardPalette &CardPalette() { return kCardPalette; }

std::uint8_t NearestPaletteIndex(TColor color) {
  const int r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
  int best = 100;
  std::uint8_t result = 0;
  for (int i = 0; i < 256; ++i) {
    const TPaletteEntry &e = kFramePalette[i];
    const int d = std::abs(r - e.peRed) + std::abs(g - e.peGreen) + std::abs(b - e.peBlue);
    if (d == 0) return static_cast<std::uint8_t>(i);
    if (d < best) {
      best = d;
      result = static_cast<std::uint8_t>(i);
    }
  }
  return result;
}

TOSDGraphic::TOSDGraphic() {
  SetPixelFormat(TPixelFormat::pf8bit);
  SetPalette(kFramePalette);
}

TOSDGraphic::~TOSDGraphic() = default;

TLevelAlpha::TLevelAlpha() {
  levels_.fill(255);
  palette_.SetPixelFormat(TPixelFormat::pf8bit);
  palette_.SetPalette(kFramePalette);
}

std::uint8_t TLevelAlpha::AlphaOf(TColor rgb) const {
  rgb &= 0xFFFFFF;
  if (rgb == kKeyColor) return 0;
  // The entry drawing this colour picks on the palette frame, so the level is the card's.
  return levels_[palette_.NearestIndex(rgb)];
}

void TLevelAlpha::SetLevels(const TCardPalette &palette) {
  for (std::size_t i = 0; i < levels_.size(); ++i) levels_[i] = palette[4 * i];
}

void TOSDGraphic::UseTrueColour(std::shared_ptr<const TColorAlpha> alpha) {
  if (!alpha) return;
  true_colour_ = alpha;
  SetPixelFormat(TPixelFormat::pfARGB32);
  SetColorAlpha(std::move(alpha));
}

void TOSDGraphic::FollowFormat(const TOSDGraphic &other) {
  if (other.true_colour_ && true_colour_ != other.true_colour_) UseTrueColour(other.true_colour_);
}

void TOSDGraphic::MakeTrueColourFrame(int width, int height) {
  frame_alpha_ = std::make_shared<TLevelAlpha>();
  RefreshLevels();
  UseTrueColour(frame_alpha_);
  SetSize(width, height);
}

void TOSDGraphic::RefreshLevels() {
  if (frame_alpha_) frame_alpha_->SetLevels(BuildCardPalette());
}

void TOSDGraphic::AddColorLevel(std::string_view name, TColor color, int level) {
  FColorLevels.Add(name, ClampByte(level), NearestPaletteIndex(color));
  RefreshLevels();
}

void TOSDGraphic::RemoveColorLevels(std::string_view name) {
  FColorLevels.Remove(name);
  RefreshLevels();
}

TCardPalette TOSDGraphic::BuildCardPalette() const {
  TCardPalette palette = kCardPalette;
  if (FColorLevels.Empty()) return palette;
  for (int i = 0; i < 256; ++i)
    if (auto level = FColorLevels.LevelOf(static_cast<std::uint8_t>(i))) palette[4u * i] = *level;
  return palette;
}

void TOSDGraphic::WriteHeaderAndPalette(std::uint8_t *out) const {
  const int w = Width(), h = Height();
  if (w > 0xFFFF || h > 0xFFFF)
    throw EInvalidOperation("frame stream: a size above 65535 pixels cannot be written");
  const auto length = static_cast<std::uint32_t>(FrameStreamSize(w, h));
  out[0] = kFrameStreamMagic;
  out[1] = static_cast<std::uint8_t>(length >> 16);
  out[2] = static_cast<std::uint8_t>(length >> 8);
  out[3] = static_cast<std::uint8_t>(length);
  out[4] = static_cast<std::uint8_t>(w >> 8);
  out[5] = static_cast<std::uint8_t>(w);
  out[6] = static_cast<std::uint8_t>(h >> 8);
  out[7] = static_cast<std::uint8_t>(h);
  const TCardPalette palette = BuildCardPalette();
  std::memcpy(out + kFrameStreamHeaderBytes, palette.data(), palette.size());
}

template <class Write>
void TOSDGraphic::WriteFrameStream(Write &&write) {
  // Converting would throw the true-colour pixels away: the card takes the palette frame only.
  if (true_colour_)
    throw EInvalidOperation("frame stream: a true-colour frame has no frame stream");
  if (PixelFormat() != TPixelFormat::pf8bit) SetPixelFormat(TPixelFormat::pf8bit);
  std::uint8_t prefix[kFrameStreamPrefixBytes];
  WriteHeaderAndPalette(prefix);
  write(prefix, sizeof prefix);
  const int w = Width(), h = Height();
  if (w <= 0 || h <= 0) return;
  if (BytesPerScanLine() == w) {
    // Rows without padding lie back to back: one piece.
    write(ScanLine(0), static_cast<std::size_t>(w) * h);
    return;
  }
  for (int y = 0; y < h; ++y) write(ScanLine(y), static_cast<std::size_t>(w));
}

void TOSDGraphic::SaveToFrameStream(TStream &stream) {
  WriteFrameStream([&](const std::uint8_t *bytes, std::size_t count) { stream.WriteBuffer(bytes, count); });
}

std::size_t TOSDGraphic::SaveToFrameBytes(std::span<std::byte> out) {
  const std::size_t size = FrameStreamBytes();
  if (out.size() < size) throw EInvalidOperation("frame stream: the buffer is too small");
  auto *dst = reinterpret_cast<std::uint8_t *>(out.data());
  WriteFrameStream([&](const std::uint8_t *bytes, std::size_t count) {
    std::memcpy(dst, bytes, count);
    dst += count;
  });
  return size;
}

void TOSDGraphic::LoadFromFrameStream(TStream &stream) {
  const std::int64_t start = stream.Position();
  if (stream.Size() - start <= 0) return;
  std::uint8_t header[kFrameStreamHeaderBytes];
  stream.ReadBuffer(header, sizeof header);
  if (header[0] != kFrameStreamMagic) {
    stream.SetPosition(start);
    throw EInvalidGraphic(kInvalidFrameStreamMessage);
  }
  const int w = (header[4] << 8) | header[5];
  const int h = (header[6] << 8) | header[7];
  if (w == 0 || h == 0) throw EInvalidOperation("frame stream: empty frame size");
  // Check the length before allocating, so a truncated or hostile stream neither costs a
  // large allocation nor leaves a half-read bitmap.
  const std::int64_t needed =
      static_cast<std::int64_t>(kCardPaletteBytes) + static_cast<std::int64_t>(w) * h;
  if (stream.Size() - stream.Position() < needed)
    throw EReadError("frame stream: the stream ends before the frame does");
  stream.Seek(static_cast<std::int64_t>(kCardPaletteBytes), TSeekOrigin::soCurrent);

  // Read into a fresh graphic first so that a failing read leaves this one untouched.
  TOSDGraphic incoming;
  incoming.SetSize(w, h);
  for (int y = 0; y < h; ++y) stream.ReadBuffer(incoming.ScanLine(y), static_cast<std::size_t>(w));
  SetPixelFormat(TPixelFormat::pf8bit);
  SetPalette(kFramePalette);
  SetSize(w, h);
  for (int y = 0; y < h; ++y) std::memcpy(ScanLine(y), incoming.ScanLine(y), static_cast<std::size_t>(w));
  Changed();
}

void TOSDGraphic::LoadFromFrameFile(const std::string &path) {
  TFileStream file(path, TFileMode::fmOpenRead);
  LoadFromFrameStream(file);
}

void TOSDGraphic::SaveToFrameFile(const std::string &path) {
  TFileStream file(path, TFileMode::fmCreate);
  SaveToFrameStream(file);
}

}  // namespace vx
