#include "probe/FileVersion.h"

#include "base/Text16.h"
#include "probe/VersionText.h"

#include <cstdlib>
#include <cstring>

static_assert(sizeof(VS_FIXEDFILEINFO) == 52, "the root block of a version resource");

bool ReadFixedFileInfo(const char16_t* path, VS_FIXEDFILEINFO& info)
{
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(AsWide(path), &handle);
    if (size == 0)
        return false;
    void* data = std::malloc(size);
    if (!data)
        return false;
    bool found = false;
    if (GetFileVersionInfoW(AsWide(path), handle, size, data)) {
        void* root = nullptr;
        UINT length = 0;
        // A resource written by hand may carry a root block shorter than the record.
        if (VerQueryValueW(data, L"\\", &root, &length) && root && length >= sizeof(VS_FIXEDFILEINFO)) {
            std::memcpy(&info, root, sizeof(VS_FIXEDFILEINFO));
            found = true;
        }
    }
    std::free(data);
    return found;
}

CSharedStringW FileVersionText(const char16_t* path)
{
    VS_FIXEDFILEINFO info;
    if (!path || !ReadFixedFileInfo(path, info))
        return CSharedStringW();
    return FixedVersionText(info.dwProductVersionMS, info.dwProductVersionLS, info.dwFileVersionMS,
                            info.dwFileVersionLS);
}
