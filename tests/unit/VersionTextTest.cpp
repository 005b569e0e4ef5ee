#include "probe/VersionText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

std::u16string Text(const CSharedStringW& text)
{
    return std::u16string(text.CStr());
}

struct SVendorVersionCase
{
    int32_t value;
    const char16_t* text;
};

const SVendorVersionCase kVendorVersions[] = {
    {0, u""},
    {1, u"1.0.0.0"},
    {9, u"9.0.0.0"},
    {-1, u"-1.0.0.0"},
    {INT32_MIN, u"-2147483648.0.0.0"},
    {10, u"0.0.1.0"},
    {999, u"0.9.9.9"},
    {1234, u"1.2.3.4"},
    {2500, u"2.5.0.0"},
    {9999, u"9.9.9.9"},
    {10000, u"1.0.0.0"},
    {12345, u"1.2.3.4"},
    {65535, u"6.5.5.3"},
    {65536, u"1.0.0.0"},
    {(1 << 16) + (2 << 8) + 3, u"1.2.3.0"},
    {6619135, u"100.255.255.0"},
    {6619136, u"0.66.19.136"},
    {2147483647, u"214.74.83.647"},
};

TEST(VendorVersionToText, EveryRangeAndBorder)
{
    for (const SVendorVersionCase& c : kVendorVersions)
        EXPECT_EQ(Text(VendorVersionToText(c.value)), c.text) << "value " << c.value;
}

TEST(VendorVersionToText, ZeroIsAnAllocatedEmptyText)
{
    CSharedStringW text = VendorVersionToText(0);
    EXPECT_NE(text.Get(), nullptr);
    EXPECT_EQ(text.GetLength(), 0);
}

struct SFixedVersionCase
{
    const char* what;
    uint32_t productMS, productLS, fileMS, fileLS;
    const char16_t* text;
};

const SFixedVersionCase kFixedVersions[] = {
    {"product wins over file", 0x00020001, 0x00000007, 0x00020001, 0x00000000, u"2.1.0.7"},
    {"file when product is 0.0.0.0", 0, 0, 0x00010004, 0x00020000, u"1.4.2.0"},
    {"product 0.0.0.1 counts as set", 0, 1, 0x00030000, 0, u"0.0.0.1"},
    {"product with only MS set counts", 0x00050000, 0, 0x00010000, 0, u"5.0.0.0"},
    {"neither set gives empty", 0, 0, 0, 0, u""},
    {"parts above 32767 stay positive", 0xFFFF8000, 0x0001FFFF, 0, 0, u"65535.32768.1.65535"},
};

TEST(FixedVersionText, ProductThenFileVersion)
{
    for (const SFixedVersionCase& c : kFixedVersions)
        EXPECT_EQ(Text(FixedVersionText(c.productMS, c.productLS, c.fileMS, c.fileLS)), c.text) << c.what;
}

TEST(FixedVersionText, NoVersionIsNull)
{
    EXPECT_EQ(FixedVersionText(0, 0, 0, 0).Get(), nullptr);
}

} // namespace
