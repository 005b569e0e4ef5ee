#pragma once

// Element policies: what a container does with an element that leaves it,
// either because the container is destroyed or because a new value replaces it.

// The element is held by value; nothing happens when it leaves.
struct SValue
{
    template <typename T>
    static void Destroy(T&) {}

    template <typename T>
    static void Replace(T& slot, const T& value) { slot = value; }
};

// The element is a pointer to an object made with new, which the container
// deletes when the element leaves it. Null elements are skipped.
struct SOwnedPtr
{
    template <typename T>
    static void Destroy(T* element) { delete element; } // deleting null is a no-op

    // Storing the pointer it already holds must not delete the object it keeps.
    template <typename T>
    static void Replace(T*& slot, T* value)
    {
        if (slot != value)
            delete slot;
        slot = value;
    }
};
