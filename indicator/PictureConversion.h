#pragma once

#include <cstddef>
#include <cstdint>

// The portable heart of the indicator picture: GDI+ decodes the picture and
// locks its pixels, and these routines turn the locked rows into the 32-bit
// premultiplied pixels (blue, green, red, alpha in memory) that a layered
// window with per-pixel alpha needs.

// The GDI+ pixel format values that the conversion knows.
enum : uint32_t
{
    kPixelFormat1bppIndexed = 0x00030101,
    kPixelFormat4bppIndexed = 0x00030402,
    kPixelFormat8bppIndexed = 0x00030803,
    kPixelFormat16bppRGB555 = 0x00021005,
    kPixelFormat16bppRGB565 = 0x00021006,
    kPixelFormat24bppRGB = 0x00021808,
    kPixelFormat32bppRGB = 0x00022009,
    kPixelFormat32bppARGB = 0x0026200A,
};

// Reads one source pixel at `cursor`, moves the cursor past it and returns the
// pixel as 0xAARRGGBB.
using PixelReader = uint32_t (*)(const uint8_t*& cursor);

// The reader of a 16-, 24- or 32-bit RGB format; null for every other format
// (32-bit ARGB rows are copied whole, indexed rows go through their palette).
PixelReader PixelReaderFor(uint32_t pixelFormat);

// The pixels of a picture as GDI+ hands them out after locking them.
struct CLockedPixels
{
    uint32_t pixelFormat = 0;
    int width = 0;
    int height = 0;
    const uint8_t* scan0 = nullptr; // first (top) row
    ptrdiff_t stride = 0;           // bytes from one row to the next; negative for bottom-up sources
    const uint32_t* palette = nullptr; // 0xAARRGGBB entries of an indexed picture
    uint32_t paletteCount = 0;
};

// Converts every row into `bits`, a zeroed bottom-up 32-bit section of the same
// width and height: the picture's top row becomes the last row in memory, so
// the section shows the picture upright. Indexed pictures (1, 4 and 8 bits)
// take each pixel's colour and alpha from their palette, so a GIF or palette
// PNG shows as any viewer shows it, its transparent entry included; an index
// past the palette stays transparent. Rows of any other format without a
// converter (premultiplied ARGB, 48- and 64-bit, ARGB1555, greyscale) stay
// zero, that is fully transparent.
void ConvertPixels(const CLockedPixels& source, uint8_t* bits);

// Multiplies red, green and blue of each 0xAARRGGBB pixel by its alpha / 255,
// truncating, as AC_SRC_ALPHA blending expects.
void PremultiplyPixels(uint32_t* pixels, size_t count);
