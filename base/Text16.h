#pragma once

// UTF-16 is char16_t everywhere in our code; Win32 wants wchar_t. The two are
// the same size on Windows, and the build turns off strict aliasing, so the
// casts at the Win32 calls are sound. Use these two helpers and nothing else.
#ifdef _WIN32
static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 wide text is UTF-16");

inline const wchar_t* AsWide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
inline wchar_t* AsWide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }
inline const char16_t* AsU16(const wchar_t* text) { return reinterpret_cast<const char16_t*>(text); }
inline char16_t* AsU16(wchar_t* text) { return reinterpret_cast<char16_t*>(text); }
#endif
