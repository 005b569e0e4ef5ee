#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

// The header that sits directly in front of a string's characters.
struct SSharedStringHeader
{
    int32_t refs;     // string objects sharing the block; at least 1 while it lives
    int32_t capacity; // characters the block holds, not counting the terminator
    int32_t length;   // characters before the terminator, or -1 when not measured yet
};

// A reference-counted, copy-on-write string held in one pointer: null, or the
// address of the first character of a heap block whose header lies right in
// front of it. A null string is the empty string. Counts are plain integers:
// strings are made and changed on one thread only.
//
// Nothing here throws: running out of memory makes GetBuffer return null and
// Insert return false, with the string left as it was.
template <typename T>
class CSharedString
{
public:
    CSharedString() = default;
    CSharedString(const CSharedString& other) : m_chars(other.m_chars)
    {
        if (m_chars)
            ++Header()->refs;
    }
    CSharedString(CSharedString&& other) noexcept : m_chars(other.m_chars) { other.m_chars = nullptr; }
    ~CSharedString() { Release(); }

    CSharedString& operator=(const CSharedString& other)
    {
        if (m_chars != other.m_chars) {
            if (other.m_chars)
                ++other.Header()->refs;
            Release();
            m_chars = other.m_chars;
        }
        return *this;
    }
    CSharedString& operator=(CSharedString&& other) noexcept
    {
        if (this != &other) {
            Release();
            m_chars = other.m_chars;
            other.m_chars = nullptr;
        }
        return *this;
    }

    // The characters, or null for a string without a block.
    const T* Get() const { return m_chars; }

    // The characters, or an empty text for a string without a block.
    const T* CStr() const
    {
        static const T kEmpty[1] = {};
        return m_chars ? m_chars : kEmpty;
    }

    void Release()
    {
        if (!m_chars)
            return;
        SSharedStringHeader* header = Header();
        if (header->refs < 2)
            std::free(header);
        else
            --header->refs;
        m_chars = nullptr;
    }

    int GetLength() const
    {
        if (!m_chars)
            return 0;
        SSharedStringHeader* header = Header();
        if (header->length < 0)
            header->length = Measure(m_chars);
        return header->length;
    }

    bool IsEmpty() const { return GetLength() == 0; }

    // Makes the block private with room for at least `count` characters and returns
    // them for writing; the length is measured again on the next GetLength.
    // On a shared block `count` must be at least the current length.
    T* GetBuffer(int count)
    {
        if (count < 0 || count > kMaxCapacity)
            return nullptr;
        if (m_chars && Header()->refs >= 2) {
            SSharedStringHeader* old = Header();
            T* chars = Allocate(count);
            if (!chars)
                return nullptr;
            int kept = old->capacity < count ? old->capacity : count;
            std::memcpy(chars, m_chars, sizeof(T) * kept);
            chars[kept] = 0;
            chars[count] = 0;
            --old->refs;
            m_chars = chars;
            return m_chars;
        }
        if (m_chars && Header()->capacity >= count) {
            Header()->length = -1;
            return m_chars;
        }
        if (!m_chars) {
            T* chars = Allocate(count);
            if (!chars)
                return nullptr;
            chars[0] = 0;
            chars[count] = 0;
            m_chars = chars;
            return m_chars;
        }
        void* grown = std::realloc(Header(), BlockSize(count));
        if (!grown)
            return nullptr;
        SSharedStringHeader* header = static_cast<SSharedStringHeader*>(grown);
        header->refs = 1;
        header->capacity = count;
        header->length = -1;
        m_chars = reinterpret_cast<T*>(header + 1);
        m_chars[count] = 0;
        return m_chars;
    }

    // Takes a private copy of `count` characters of `text` (measured up to its
    // terminator when -1). A null text, or no memory, leaves the string null.
    void Assign(const T* text, int count = -1)
    {
        // The text may be our own characters: copy before letting go of them.
        CSharedString copy;
        if (text) {
            if (count < 0)
                count = Measure(text);
            T* chars = copy.GetBuffer(count);
            if (chars) {
                std::memcpy(chars, text, sizeof(T) * count);
                chars[count] = 0;
                copy.Header()->length = count;
            } else {
                copy.Release();
            }
        }
        *this = static_cast<CSharedString&&>(copy);
    }

    // Inserts `count` characters of `text` (measured when -1) at `position`
    // (the end when -1). False, with the string unchanged, when memory runs out.
    bool Insert(int position, const T* text, int count)
    {
        // A null text is the empty text, whatever count comes with it.
        if (count == 0 || !text)
            return true;
        if (count < 0)
            count = Measure(text);
        if (count == 0)
            return true;
        int oldLength = GetLength();
        if (position < 0 || position > oldLength)
            position = oldLength;
        if (count > kMaxCapacity - oldLength)
            return false;
        int newLength = oldLength + count;

        // A piece of our own text must survive the block moving or being rewritten.
        // Compared as addresses: the order of unrelated pointers is unspecified.
        T* detached = nullptr;
        uintptr_t from = uintptr_t(m_chars), at = uintptr_t(text);
        if (m_chars && at >= from && at <= from + sizeof(T) * size_t(Header()->capacity)) {
            detached = static_cast<T*>(std::malloc(sizeof(T) * count));
            if (!detached)
                return false;
            std::memcpy(detached, text, sizeof(T) * count);
            text = detached;
        }

        bool roomy = m_chars && Header()->refs < 2 && Header()->capacity >= newLength;
        if (!roomy) {
            int wanted = newLength;
            if (m_chars && Header()->refs < 2) {
                int64_t doubled = int64_t(Header()->capacity) * 2;
                if (doubled > wanted)
                    wanted = doubled > kMaxCapacity ? kMaxCapacity : int(doubled);
            }
            if (!GetBuffer(wanted)) {
                std::free(detached);
                return false;
            }
        }
        if (position < oldLength)
            std::memmove(m_chars + position + count, m_chars + position, sizeof(T) * (oldLength - position));
        std::memcpy(m_chars + position, text, sizeof(T) * count);
        m_chars[newLength] = 0;
        Header()->length = newLength;
        std::free(detached);
        return true;
    }

    bool Append(const T* text) { return Insert(-1, text, -1); }

    // Character-for-character equality; null and empty are equal.
    bool IsEqual(const CSharedString& other) const
    {
        int length = GetLength();
        return length == other.GetLength() && std::memcmp(CStr(), other.CStr(), sizeof(T) * length) == 0;
    }

    // The header fields, for tests and diagnostics; 0 for a string without a block.
    int GetCapacity() const { return m_chars ? Header()->capacity : 0; }
    int GetRefCount() const { return m_chars ? Header()->refs : 0; }
    int GetCachedLength() const { return m_chars ? Header()->length : 0; }

    static int Measure(const T* text)
    {
        int length = 0;
        while (text[length])
            ++length;
        return length;
    }

private:
    // Keeps every size computation of a block within a signed 32-bit count.
    static constexpr int kMaxCapacity = int((INT32_MAX - sizeof(SSharedStringHeader)) / sizeof(T)) - 1;

    static size_t BlockSize(int capacity) { return sizeof(SSharedStringHeader) + sizeof(T) * (size_t(capacity) + 1); }

    // A new block with one reference and an unmeasured length.
    static T* Allocate(int capacity)
    {
        SSharedStringHeader* header = static_cast<SSharedStringHeader*>(std::malloc(BlockSize(capacity)));
        if (!header)
            return nullptr;
        header->refs = 1;
        header->capacity = capacity;
        header->length = -1;
        return reinterpret_cast<T*>(header + 1);
    }

    SSharedStringHeader* Header() const { return reinterpret_cast<SSharedStringHeader*>(m_chars) - 1; }

    T* m_chars = nullptr;
};

using CSharedStringA = CSharedString<char>;
using CSharedStringW = CSharedString<char16_t>;

// The three conversions between the widths. Each gives a null string for a null
// input or when memory runs out.
CSharedStringA ToUtf8(const char16_t* text);    // UTF-16 to UTF-8; a lone surrogate becomes U+FFFD
CSharedStringW FromUtf8(const char* text);      // UTF-8 to UTF-16; each invalid sequence becomes U+FFFD
CSharedStringW Widen(const char* text);         // each byte to the UTF-16 unit of the same value

// Mixing the widths goes only through the conversions above.
inline CSharedStringA ToUtf8(const CSharedStringW& text) { return ToUtf8(text.Get()); }
inline CSharedStringW FromUtf8(const CSharedStringA& text) { return FromUtf8(text.Get()); }
inline CSharedStringW Widen(const CSharedStringA& text) { return Widen(text.Get()); }
