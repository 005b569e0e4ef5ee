#include "indicator/PictureConversion.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

const uint32_t kPixelFormat32bppPARGB = 0x000E200B;
const uint32_t kPixelFormat48bppRGB = 0x0010300C;
const uint32_t kPixelFormat64bppARGB = 0x0034400D;
const uint32_t kPixelFormat16bppARGB1555 = 0x00061007;

struct SConversionCase
{
    const char* name;
    uint32_t pixelFormat;
    int width;
    int height;
    Bytes source;   // top row first, rows packed without padding
    Bytes expected; // the section in memory: bottom row first, blue green red alpha
    std::vector<uint32_t> palette;
};

const uint8_t kGuard = 0xEE;

// Runs the conversion into a zeroed section with guard bytes behind it, as the
// Win32 side clears the section before converting.
Bytes Convert(const SConversionCase& c, ptrdiff_t stride, const uint8_t* scan0)
{
    size_t size = static_cast<size_t>(c.width) * c.height * 4;
    Bytes section(size + 8, 0);
    std::memset(section.data() + size, kGuard, 8);
    CLockedPixels pixels;
    pixels.pixelFormat = c.pixelFormat;
    pixels.width = c.width;
    pixels.height = c.height;
    pixels.scan0 = scan0;
    pixels.stride = stride;
    pixels.palette = c.palette.empty() ? nullptr : c.palette.data();
    pixels.paletteCount = static_cast<uint32_t>(c.palette.size());
    ConvertPixels(pixels, section.data());
    for (size_t i = size; i < section.size(); ++i)
        EXPECT_EQ(section[i], kGuard) << "written past the section";
    section.resize(size);
    return section;
}

TEST(PictureConversion, EachPixelFormatBecomesBgraRowsBottomUp)
{
    const SConversionCase cases[] = {
        {"565 white widens to 248/252/248, not 255", kPixelFormat16bppRGB565, 1, 1,
         {0xFF, 0xFF}, {248, 252, 248, 255}, {}},
        {"565 fields land in the right channels", kPixelFormat16bppRGB565, 3, 1,
         {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00}, {0, 0, 248, 255, 0, 252, 0, 255, 248, 0, 0, 255}, {}},
        {"555 red bits only give pure red", kPixelFormat16bppRGB555, 1, 1,
         {0x00, 0x7C}, {0, 0, 248, 255}, {}},
        {"555 blue bits only give pure blue", kPixelFormat16bppRGB555, 1, 1,
         {0x1F, 0x00}, {248, 0, 0, 255}, {}},
        {"555 green bits only give pure green", kPixelFormat16bppRGB555, 1, 1,
         {0xE0, 0x03}, {0, 248, 0, 255}, {}},
        {"555 ignores bit 15", kPixelFormat16bppRGB555, 1, 1,
         {0x00, 0x80}, {0, 0, 0, 255}, {}},
        {"24-bit bytes are blue green red, and the cursor steps 3", kPixelFormat24bppRGB, 2, 1,
         {0x10, 0x20, 0x30, 0x40, 0x50, 0x60}, {0x10, 0x20, 0x30, 0xFF, 0x40, 0x50, 0x60, 0xFF}, {}},
        {"32-bit RGB gets an opaque top byte", kPixelFormat32bppRGB, 1, 1,
         {0x01, 0x02, 0x03, 0x00}, {0x01, 0x02, 0x03, 0xFF}, {}},
        {"32-bit ARGB is copied unchanged", kPixelFormat32bppARGB, 2, 1,
         {0x01, 0x02, 0x03, 0x04, 0xFF, 0xFE, 0xFD, 0x00}, {0x01, 0x02, 0x03, 0x04, 0xFF, 0xFE, 0xFD, 0x00}, {}},
        {"premultiplied ARGB is not a listed format: stays transparent", kPixelFormat32bppPARGB, 2, 1,
         {1, 2, 3, 4, 5, 6, 7, 8}, Bytes(8, 0), {}},
        {"48-bit RGB stays transparent", kPixelFormat48bppRGB, 1, 2,
         Bytes(12, 0x7F), Bytes(8, 0), {}},
        {"64-bit ARGB stays transparent", kPixelFormat64bppARGB, 2, 2,
         Bytes(32, 0x7F), Bytes(16, 0), {}},
        {"16-bit ARGB1555 stays transparent", kPixelFormat16bppARGB1555, 1, 1,
         {0xFF, 0xFF}, Bytes(4, 0), {}},
        {"the top row ends up last in memory", kPixelFormat24bppRGB, 1, 3,
         {1, 1, 1, 2, 2, 2, 3, 3, 3}, {3, 3, 3, 255, 2, 2, 2, 255, 1, 1, 1, 255}, {}},
        {"top row last for copied ARGB rows too", kPixelFormat32bppARGB, 1, 2,
         {1, 2, 3, 4, 5, 6, 7, 8}, {5, 6, 7, 8, 1, 2, 3, 4}, {}},
        {"8-bit indices take the palette colour and alpha; an index past the palette stays transparent",
         kPixelFormat8bppIndexed, 3, 1,
         {1, 0, 5}, {0x66, 0x55, 0x44, 0x80, 0x33, 0x22, 0x11, 0xFF, 0, 0, 0, 0}, {0xFF112233, 0x80445566}},
        {"4-bit indices read the high nibble first", kPixelFormat4bppIndexed, 3, 1,
         {0x10, 0x20}, {0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0xFF, 0, 0xFF}, {0, 0xFFFF0000, 0xFF00FF00}},
        {"1-bit indices read the top bit first", kPixelFormat1bppIndexed, 3, 1,
         {0xA0}, {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, {0xFF000000, 0xFFFFFFFF}},
        {"an indexed picture without a palette stays transparent", kPixelFormat8bppIndexed, 2, 1,
         {0, 1}, Bytes(8, 0), {}},
    };
    for (const SConversionCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        ptrdiff_t stride = static_cast<ptrdiff_t>(c.source.size()) / c.height;
        EXPECT_EQ(Convert(c, stride, c.source.data()), c.expected);
    }
}

// GDI+ may hand out a bottom-up buffer: Scan0 is then the last row in memory
// and the stride is negative.
TEST(PictureConversion, NegativeStrideStillPutsTheTopRowLast)
{
    const SConversionCase c = {"", kPixelFormat32bppRGB, 1, 2, {}, {}, {}};
    const uint8_t memory[] = {0x20, 0x20, 0x20, 0, 0x10, 0x10, 0x10, 0}; // bottom row first
    Bytes expected = {0x20, 0x20, 0x20, 0xFF, 0x10, 0x10, 0x10, 0xFF};
    EXPECT_EQ(Convert(c, -4, memory + 4), expected);
}

TEST(PictureConversion, RowsArePaddedBySourceStride)
{
    const SConversionCase c = {"", kPixelFormat16bppRGB565, 1, 2, {}, {}, {}};
    const uint8_t memory[] = {0xFF, 0xFF, 0xAA, 0xAA, 0x00, 0x00, 0xAA, 0xAA};
    Bytes expected = {0, 0, 0, 255, 248, 252, 248, 255};
    EXPECT_EQ(Convert(c, 4, memory), expected);
}

TEST(PictureConversion, ReaderIsChosenOnlyForTheRgbFormats)
{
    EXPECT_NE(PixelReaderFor(kPixelFormat16bppRGB555), nullptr);
    EXPECT_NE(PixelReaderFor(kPixelFormat16bppRGB565), nullptr);
    EXPECT_NE(PixelReaderFor(kPixelFormat24bppRGB), nullptr);
    EXPECT_NE(PixelReaderFor(kPixelFormat32bppRGB), nullptr);
    EXPECT_EQ(PixelReaderFor(kPixelFormat32bppARGB), nullptr);
    EXPECT_EQ(PixelReaderFor(kPixelFormat8bppIndexed), nullptr);

    const uint8_t bytes[] = {0x10, 0x20, 0x30, 0x40};
    const uint8_t* cursor = bytes;
    EXPECT_EQ(PixelReaderFor(kPixelFormat24bppRGB)(cursor), 0xFF302010u);
    EXPECT_EQ(cursor, bytes + 3);
}

TEST(PictureConversion, PremultiplyTruncatesAndKeepsAlpha)
{
    struct SCase
    {
        const char* name;
        uint32_t pixel;
        uint32_t expected;
    };
    const SCase cases[] = {
        {"colour 20 at alpha 179 becomes 14 (14.04 truncated)", 0xB3141414, 0xB30E0E0E},
        {"black tile pixel is unchanged", 0xB3000000, 0xB3000000},
        {"opaque pixel is unchanged", 0xFF1F6FD1, 0xFF1F6FD1},
        {"opaque white is unchanged", 0xFFFFFFFF, 0xFFFFFFFF},
        {"fully transparent pixel becomes all zero", 0x00FFFFFF, 0x00000000},
        {"each channel on its own", 0x80FF8001, 0x80804000},
    };
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        uint32_t pixel = c.pixel;
        PremultiplyPixels(&pixel, 1);
        EXPECT_EQ(pixel, c.expected);
    }

    uint32_t pixels[3] = {0x00FFFFFF, 0xB3141414, 0x00FFFFFF};
    PremultiplyPixels(pixels, 2);
    EXPECT_EQ(pixels[2], 0x00FFFFFFu) << "went past the count";
}

} // namespace
