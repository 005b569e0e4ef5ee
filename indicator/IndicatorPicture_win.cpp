#include "indicator/IndicatorPicture.h"

#include "indicator/PictureConversion.h"

#include <objidl.h>
#include <ole2.h>
#include <gdiplus.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace {

const WORD kPictureId = 101;

// The palette of an indexed picture as 0xAARRGGBB entries; empty for other
// formats or when GDI+ cannot hand it out. Frees its copy on scope exit.
class CPictureColours
{
public:
    explicit CPictureColours(Gdiplus::Bitmap& picture)
    {
        if (!Gdiplus::IsIndexedPixelFormat(picture.GetPixelFormat()))
            return;
        INT size = picture.GetPaletteSize();
        if (size < static_cast<INT>(sizeof(Gdiplus::ColorPalette)))
            return;
        m_palette = static_cast<Gdiplus::ColorPalette*>(std::malloc(size));
        if (m_palette && picture.GetPalette(m_palette, size) != Gdiplus::Ok)
        {
            std::free(m_palette);
            m_palette = nullptr;
            return;
        }
        // Never trust the count beyond the bytes that were handed out.
        size_t room = (static_cast<size_t>(size) - offsetof(Gdiplus::ColorPalette, Entries)) / sizeof(Gdiplus::ARGB);
        if (m_palette && m_palette->Count > room)
            m_palette->Count = static_cast<UINT>(room);
    }
    ~CPictureColours() { std::free(m_palette); }
    CPictureColours(const CPictureColours&) = delete;
    CPictureColours& operator=(const CPictureColours&) = delete;

    const uint32_t* Entries() const { return m_palette ? reinterpret_cast<const uint32_t*>(m_palette->Entries) : nullptr; }
    uint32_t Count() const { return m_palette ? m_palette->Count : 0; }

private:
    Gdiplus::ColorPalette* m_palette = nullptr;
};

// A copy of the resource bytes in a movable global block, as
// CreateStreamOnHGlobal wants; null when the block cannot be had.
HGLOBAL CopyToGlobal(const void* bytes, DWORD size)
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    if (!block)
        return nullptr;
    void* target = GlobalLock(block);
    if (!target)
    {
        GlobalFree(block);
        return nullptr;
    }
    std::memcpy(target, bytes, size);
    GlobalUnlock(block);
    return block;
}

void Premultiply(HBITMAP section)
{
    DIBSECTION dib = {};
    if (!GetObjectW(section, sizeof(dib), &dib) || !dib.dsBm.bmBits)
        return;
    long count = (static_cast<long>(dib.dsBm.bmWidthBytes) * dib.dsBm.bmHeight) / 4;
    if (count > 0)
        PremultiplyPixels(static_cast<uint32_t*>(dib.dsBm.bmBits), static_cast<size_t>(count));
}

} // namespace

HBITMAP BitmapToDibSection(Gdiplus::Bitmap& picture)
{
    const Gdiplus::PixelFormat format = picture.GetPixelFormat();
    const UINT width = picture.GetWidth();
    const UINT height = picture.GetHeight();
    // Keeps width x height x 4 within a 32-bit size_t in the x86 build.
    if (width == 0 || height == 0 || width > 0x7FFF || height > 0x7FFF)
        return nullptr;

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = static_cast<LONG>(width);
    info.bmiHeader.biHeight = static_cast<LONG>(height); // positive: bottom-up rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!section || !bits)
    {
        if (section)
            DeleteObject(section);
        return nullptr;
    }
    std::memset(bits, 0, static_cast<size_t>(height) * width * 4);

    // Locked in the picture's own format: GDI+ converts nothing, we do.
    Gdiplus::Rect rect(0, 0, static_cast<INT>(width), static_cast<INT>(height));
    Gdiplus::BitmapData data = {};
    if (picture.LockBits(&rect, Gdiplus::ImageLockModeRead, format, &data) != Gdiplus::Ok)
    {
        DeleteObject(section);
        return nullptr;
    }
    CPictureColours colours(picture);
    CLockedPixels pixels;
    pixels.pixelFormat = static_cast<uint32_t>(format);
    pixels.width = static_cast<int>(width);
    pixels.height = static_cast<int>(height);
    pixels.scan0 = static_cast<const uint8_t*>(data.Scan0);
    pixels.stride = data.Stride;
    pixels.palette = colours.Entries();
    pixels.paletteCount = colours.Count();
    ConvertPixels(pixels, static_cast<uint8_t*>(bits));
    picture.UnlockBits(&data);
    return section;
}

HBITMAP LoadIndicatorPicture(HINSTANCE instance)
{
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(kPictureId), L"PNG");
    if (!found)
        return nullptr;
    HGLOBAL resource = LoadResource(instance, found);
    DWORD size = SizeofResource(instance, found);
    const void* bytes = resource ? LockResource(resource) : nullptr;
    if (!bytes || size == 0)
        return nullptr;

    HGLOBAL block = CopyToGlobal(bytes, size);
    if (!block)
        return nullptr;
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(block, TRUE, &stream)) || !stream)
    {
        // The stream never took the block over.
        GlobalFree(block);
        return nullptr;
    }

    HBITMAP section = nullptr;
    {
        Gdiplus::Bitmap picture(stream, FALSE);
        if (picture.GetLastStatus() == Gdiplus::Ok)
        {
            section = BitmapToDibSection(picture);
            if (section)
                Premultiply(section);
        }
        // Everything has been read out of the picture by now: the stream goes
        // first, the picture is disposed of at the brace.
        stream->Release();
    }
    return section;
}
