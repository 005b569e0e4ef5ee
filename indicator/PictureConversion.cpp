#include "indicator/PictureConversion.h"

#include <cstring>

namespace {

// Source rows carry no alignment promise for 16-bit values, hence the byte reads.
uint16_t Read16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

void Write32(uint8_t* p, uint32_t value)
{
    std::memcpy(p, &value, 4);
}

// 5- and 6-bit fields are widened by a plain shift, so full intensity is 248
// (or 252 for 6 bits), never 255.
uint32_t ReadRGB555(const uint8_t*& cursor)
{
    uint32_t v = Read16(cursor);
    cursor += 2;
    uint32_t blue = (v & 0x1F) << 3;
    uint32_t green = ((v >> 5) & 0x1F) << 3;
    uint32_t red = ((v >> 10) & 0x1F) << 3;
    return 0xFF000000u | (red << 16) | (green << 8) | blue;
}

uint32_t ReadRGB565(const uint8_t*& cursor)
{
    uint32_t v = Read16(cursor);
    cursor += 2;
    uint32_t blue = (v & 0x1F) << 3;
    uint32_t green = ((v >> 5) & 0x3F) << 2;
    uint32_t red = (v >> 11) << 3;
    return 0xFF000000u | (red << 16) | (green << 8) | blue;
}

uint32_t ReadRGB24(const uint8_t*& cursor)
{
    uint32_t blue = cursor[0];
    uint32_t green = cursor[1];
    uint32_t red = cursor[2];
    cursor += 3;
    return 0xFF000000u | (red << 16) | (green << 8) | blue;
}

// The top byte of 32-bit RGB is undefined padding; the pixel is opaque.
uint32_t ReadRGB32(const uint8_t*& cursor)
{
    uint32_t v;
    std::memcpy(&v, cursor, 4);
    cursor += 4;
    return v | 0xFF000000u;
}

int IndexBits(uint32_t pixelFormat)
{
    switch (pixelFormat)
    {
    case kPixelFormat1bppIndexed: return 1;
    case kPixelFormat4bppIndexed: return 4;
    case kPixelFormat8bppIndexed: return 8;
    default: return 0;
    }
}

// Indices are packed from the most significant bits of each byte, as in DIBs.
// An index past the end of the palette leaves its pixel transparent.
void ConvertIndexedRow(const CLockedPixels& source, int bitsPerIndex, const uint8_t* row, uint8_t* target)
{
    const uint32_t mask = (1u << bitsPerIndex) - 1;
    for (int x = 0; x < source.width; ++x, target += 4)
    {
        size_t bit = static_cast<size_t>(x) * bitsPerIndex;
        int shift = 8 - bitsPerIndex - static_cast<int>(bit % 8);
        uint32_t index = (row[bit / 8] >> shift) & mask;
        if (index < source.paletteCount)
            Write32(target, source.palette[index]);
    }
}

} // namespace

PixelReader PixelReaderFor(uint32_t pixelFormat)
{
    switch (pixelFormat)
    {
    case kPixelFormat16bppRGB555: return ReadRGB555;
    case kPixelFormat16bppRGB565: return ReadRGB565;
    case kPixelFormat24bppRGB: return ReadRGB24;
    case kPixelFormat32bppRGB: return ReadRGB32;
    default: return nullptr;
    }
}

void ConvertPixels(const CLockedPixels& source, uint8_t* bits)
{
    if (source.width <= 0 || source.height <= 0 || !source.scan0 || !bits)
        return;
    const size_t targetStride = static_cast<size_t>(source.width) * 4;
    const PixelReader reader = PixelReaderFor(source.pixelFormat);
    const int bitsPerIndex = source.palette ? IndexBits(source.pixelFormat) : 0;

    for (int y = 0; y < source.height; ++y)
    {
        const uint8_t* row = source.scan0 + static_cast<ptrdiff_t>(y) * source.stride;
        uint8_t* target = bits + static_cast<size_t>(source.height - 1 - y) * targetStride;
        if (source.pixelFormat == kPixelFormat32bppARGB)
        {
            std::memcpy(target, row, targetStride);
        }
        else if (reader)
        {
            const uint8_t* cursor = row;
            for (int x = 0; x < source.width; ++x, target += 4)
                Write32(target, reader(cursor));
        }
        else if (bitsPerIndex)
        {
            ConvertIndexedRow(source, bitsPerIndex, row, target);
        }
    }
}

void PremultiplyPixels(uint32_t* pixels, size_t count)
{
    for (size_t i = 0; i < count; ++i)
    {
        uint32_t v = pixels[i];
        uint32_t alpha = v >> 24;
        uint32_t red = ((v >> 16) & 0xFF) * alpha / 255;
        uint32_t green = ((v >> 8) & 0xFF) * alpha / 255;
        uint32_t blue = (v & 0xFF) * alpha / 255;
        pixels[i] = (alpha << 24) | (red << 16) | (green << 8) | blue;
    }
}
