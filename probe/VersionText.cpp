#include "probe/VersionText.h"

#include "base/Format.h"

CSharedStringW VendorVersionToText(int32_t v)
{
    if (v == 0) {
        CSharedStringW empty;
        empty.Assign(u"");
        return empty;
    }
    if (v < 10)
        return Format(u"%i.0.0.0", v);
    if (v <= 9999) // 1234 means 1.2.3.4
        return Format(u"%i.%i.%i.%i", v / 1000 % 10, v / 100 % 10, v / 10 % 10, v % 10);
    if (v <= 0xFFFF) // 12345 means 1.2.3.4; the units digit is dropped
        return Format(u"%i.%i.%i.%i", v / 10000 % 10, v / 1000 % 10, v / 100 % 10, v / 10 % 10);
    if (v <= 0x64FFFF) // 0x010203 means 1.2.3.0
        return Format(u"%i.%i.%i.%i", (v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF, 0);
    return Format(u"%i.%i.%i.%i", v / 10000000, v / 100000 % 100, v / 1000 % 100, v % 1000);
}

CSharedStringW VersionPairToText(uint32_t ms, uint32_t ls)
{
    // Each part is 16 bits wide, so it prints as a positive number through "%i".
    return Format(u"%i.%i.%i.%i", int(ms >> 16), int(ms & 0xFFFF), int(ls >> 16), int(ls & 0xFFFF));
}

CSharedStringW FixedVersionText(uint32_t productMS, uint32_t productLS, uint32_t fileMS, uint32_t fileLS)
{
    if (productMS != 0 || productLS != 0)
        return VersionPairToText(productMS, productLS);
    if (fileMS != 0 || fileLS != 0)
        return VersionPairToText(fileMS, fileLS);
    return CSharedStringW();
}
