#include "probe/FileVersion.h"
#include "probe/VersionText.h"

#include "base/Text16.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// bin\fixtures\ beside this test program.
std::u16string FixtureFile(const char16_t* name)
{
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::u16string text(AsU16(path), length);
    text.erase(text.rfind(u'\\') + 1);
    return text + u"fixtures\\" + name;
}

struct SFileVersionCase
{
    const char16_t* library;
    const char16_t* text; // empty: no version text
};

const SFileVersionCase kFileVersions[] = {
    {u"version_product.dll", u"2.1.0.7"},      // product 2.1.0.7 over file 2.1.0.0
    {u"version_file_only.dll", u"1.4.2.0"},    // product 0.0.0.0
    {u"version_product_low.dll", u"0.0.0.1"},  // product 0.0.0.1 over file 3.0.0.0
    {u"version_high_parts.dll", u"65535.32768.1.65535"},
    {u"version_zero.dll", u""},
    {u"version_none.dll", u""},
    {u"notalib.dll", u""},
    {u"no_such_library.dll", u""},
};

TEST(FileVersionText, ProductVersionElseFileVersionOfTheResource)
{
    for (const SFileVersionCase& c : kFileVersions) {
        std::u16string path = FixtureFile(c.library);
        CSharedStringW text = FileVersionText(path.c_str());
        EXPECT_EQ(std::u16string(text.CStr()), c.text) << std::string(path.begin(), path.end());
    }
}

TEST(FileVersionText, NoVersionIsANullText)
{
    EXPECT_EQ(FileVersionText(FixtureFile(u"version_none.dll").c_str()).Get(), nullptr);
    EXPECT_EQ(FileVersionText(static_cast<const char16_t*>(nullptr)).Get(), nullptr);
}

TEST(ReadFixedFileInfo, CopiesTheWholeRootBlock)
{
    VS_FIXEDFILEINFO info;
    std::memset(&info, 0xCC, sizeof info);
    ASSERT_TRUE(ReadFixedFileInfo(FixtureFile(u"version_product.dll").c_str(), info));
    EXPECT_EQ(info.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(info.dwFileVersionMS, 0x00020001u);
    EXPECT_EQ(info.dwFileVersionLS, 0x00000000u);
    EXPECT_EQ(info.dwProductVersionMS, 0x00020001u);
    EXPECT_EQ(info.dwProductVersionLS, 0x00000007u);
    EXPECT_EQ(info.dwFileType, DWORD(VFT_DLL));
    EXPECT_EQ(info.dwFileDateLS, 0u) << "the last field was not copied";
}

TEST(ReadFixedFileInfo, FalseWithoutAResource)
{
    VS_FIXEDFILEINFO info;
    EXPECT_FALSE(ReadFixedFileInfo(FixtureFile(u"version_none.dll").c_str(), info));
    EXPECT_FALSE(ReadFixedFileInfo(FixtureFile(u"no_such_library.dll").c_str(), info));
}

} // namespace
