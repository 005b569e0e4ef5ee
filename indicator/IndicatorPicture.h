#pragma once

#include <windows.h>

namespace Gdiplus { class Bitmap; }

// The indicator picture, resource 101 of type "PNG" in `instance`, as a 32-bit
// bottom-up DIB section with premultiplied alpha; null on any failure. GDI+
// must have been started. The caller owns the section.
HBITMAP LoadIndicatorPicture(HINSTANCE instance);

// A new 32-bit bottom-up DIB section holding the picture's pixels converted to
// BGRA, not yet premultiplied; null on failure.
HBITMAP BitmapToDibSection(Gdiplus::Bitmap& picture);
