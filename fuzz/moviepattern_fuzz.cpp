// Movie name patterns from hosts: parsing any name must either refuse it or format every
// number into a bounded name.
#include <climits>
#include <cstdint>
#include <string_view>

#include "components/movie_pattern.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string_view name(reinterpret_cast<const char *>(data), size);
  const auto pattern = vx::TMoviePattern::Parse(name);
  if (!pattern) return 0;
  for (int n : {0, 1, -1, 42, INT_MAX, INT_MIN}) {
    const std::string out = pattern->Format(n);
    if (out.size() > size + 64 + 16) __builtin_trap();
  }
  return 0;
}
