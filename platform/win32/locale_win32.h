#pragma once
// The locale on Windows: the translation of its format pictures, for the backend's tests.

#include <string>
#include <string_view>

namespace vx::os {

// "M/d/yyyy" -> "m/d/yyyy", "HH:mm:ss" -> "hh:nn:ss", "h:mm:ss tt" -> "h:nn:ss ampm",
// 'quoted' text kept (as "quoted"), eras left out. UTF-8 in and out.
std::string FormatFromPicture(std::u16string_view picture);

}  // namespace vx::os
