#pragma once

#include "base/SharedString.h"

#include <cstdint>

// The "a.b.c.d" text of the number a plug-in answers to effGetVendorVersion.
// Plug-ins encode that number in several ways, told apart by its range. 0 gives
// an allocated text of length 0.
CSharedStringW VendorVersionToText(int32_t value);

// The "a.b.c.d" text of one version pair of a version resource's root block:
// the four 16-bit parts of (MS, LS), most significant first.
CSharedStringW VersionPairToText(uint32_t ms, uint32_t ls);

// The product version when either of its fields is set, else the file version;
// empty when neither is set.
CSharedStringW FixedVersionText(uint32_t productMS, uint32_t productLS, uint32_t fileMS, uint32_t fileLS);

// The version text of a library file's version resource, or empty when it has
// none (Windows builds only).
CSharedStringW FileVersionText(const char16_t* path);
inline CSharedStringW FileVersionText(const CSharedStringW& path) { return FileVersionText(path.CStr()); }
