#pragma once
// Picture files the player writes: PNG snapshots and an animated GIF preview.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vxplay {

// A PNG file of 8-bit RGB rows (or RGBA with straight alpha, with channels 4), width x height,
// no padding. The player writes its own (one deflate block with fixed codes): the same bytes
// on every system, and no libpng, which the Windows build lacks.
std::vector<std::uint8_t> EncodePng(const std::uint8_t *rgb, int width, int height,
                                    int channels = 3);
// EncodePng into a file. Returns an error message, empty on success.
std::string WritePng(const std::string &path, const std::uint8_t *rgb, int width, int height,
                     int channels = 3);

// An animated GIF of 8-bit indexed frames sharing one palette. Each frame stores only the
// rectangle that changed since the previous one.
class GifWriter {
 public:
  GifWriter() = default;
  ~GifWriter();
  GifWriter(const GifWriter &) = delete;
  GifWriter &operator=(const GifWriter &) = delete;

  bool Open(const std::string &path, int width, int height, const std::vector<std::uint8_t> &rgb_palette);
  // indices: width x height; shown for delay_cs hundredths of a second.
  void AddFrame(const std::uint8_t *indices, int delay_cs);
  // Finishes the file (flushing the last frame); returns false on a write error.
  bool Close();
  int frames() const { return frames_; }

 private:
  void WriteFrame(int delay_cs);
  void Lzw(const std::uint8_t *indices, int x0, int y0, int w, int h);

  std::FILE *file_ = nullptr;
  int width_ = 0, height_ = 0;
  std::vector<std::uint8_t> previous_, pending_;
  int pending_delay_ = 0;
  bool has_pending_ = false;
  int frames_ = 0;
  bool error_ = false;
};

}  // namespace vxplay
