#include "components/object.h"

namespace vx {

bool TOSDObject::SetBitmapSize(int width, int height) {
  const bool sane = width > 0 && height > 0 && width <= kMaxComponentSide &&
                    height <= kMaxComponentSide &&
                    static_cast<long long>(width) * height <= kMaxComponentPixels;
  if (!sane) {
    SetSize(0, 0);
    return false;
  }
  SetHeight(height);
  SetWidth(width);
  return true;
}

}  // namespace vx
