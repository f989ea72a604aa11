#pragma once
// The keyed copy: picture components are copied onto the frame with one colour left out, so
// that their background does not cover what lies beneath. The platform always has the keyed
// copy, so it is called directly; the opaque fallback stays for a platform where a keyed copy
// is impossible, and can be switched on to see (and test) what such a platform shows.

#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/color.h"

namespace vx {

// Whether the keyed copy is available (process-wide; true unless switched off).
bool HasTransparentBlt();
void SetHasTransparentBlt(bool available);

// Copies the source rectangle onto the destination rectangle, stretching it, with source
// pixels of `transparent` left out. Without the keyed copy: an opaque copy of the
// destination's size from (sx, sy); the source size and the transparent colour are unused.
void TransparentCopy(HDC dest, int x, int y, int w, int h, HDC source, int sx, int sy, int sw,
                     int sh, TColor transparent);

// The whole bitmap onto (x, y, w, h) of `dest`, keyed on the bitmap's transparent colour
// (the colour of its bottom-left pixel unless one was set).
void DrawBitmapTransparent(TBitmap &bitmap, HDC dest, int x, int y, int w, int h);

}  // namespace vx
