#pragma once

#include "base/ElementPolicy.h"

#include <cstdint>
#include <cstdlib>
#include <type_traits>

// A growable array whose policy decides whether it owns its elements.
// Storage comes from the C heap; elements are moved by plain copies, so the
// element type must be trivially copyable (pointers and plain values).
template <typename T, typename Policy, typename ArgT = const T&>
class CVector
{
    static_assert(std::is_trivially_copyable<T>::value, "elements are moved by realloc");

public:
    CVector() = default;
    CVector(const CVector&) = delete;
    CVector& operator=(const CVector&) = delete;

    virtual ~CVector()
    {
        for (int i = 0; i < m_count; ++i)
            Policy::Destroy(m_items[i]);
        m_count = 0;
        std::free(m_items);
        m_items = nullptr;
        m_capacity = 0;
    }

    int GetSize() const { return m_count; }
    int GetCapacity() const { return m_capacity; }
    T& GetAt(int i) const { return m_items[i]; }

    // Appends one element. False when the storage cannot grow; the element is
    // then not taken, and an owning vector leaves it to the caller.
    bool Add(ArgT element)
    {
        int needed = m_count + 1;
        if (needed > m_capacity) {
            // Doubling must not wrap the count or the byte size (the 32-bit build).
            if (needed > INT32_MAX / 2 || size_t(needed) * 2 > SIZE_MAX / sizeof(T))
                return false;
            int capacity = needed * 2 < 16 ? 16 : needed * 2;
            void* grown = std::realloc(m_items, sizeof(T) * size_t(capacity));
            if (!grown)
                return false;
            m_items = static_cast<T*>(grown);
            m_capacity = capacity;
        }
        m_items[m_count++] = element;
        return true;
    }

private:
    int m_count = 0;
    int m_capacity = 0;
    T* m_items = nullptr;
};
