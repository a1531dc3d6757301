#pragma once
// TDynaArray: a growable array of fixed-size records, kept in one block of
// memory in list order. The slide list and every slide's movement path are
// TDynaArrays.
//
// Elements are plain bytes: the array never constructs, copies or releases
// what an element owns. It keeps a pointer to its current element and hands
// every change of it to the owner's pointer variable (CursorVar).
//
// The block always holds GrowBy x ceil(Count / GrowBy) elements. When a new
// block cannot be had, a German message is shown and the operation is
// abandoned: the list stays exactly as it was.

#include <cstddef>
#include <cstdint>

namespace show {

class TDynaArray {
public:
    // elementSize bytes per element; cursorVar (may be null) receives Current
    // whenever it changes.
    TDynaArray(uint32_t elementSize, void** cursorVar);
    ~TDynaArray();
    TDynaArray(const TDynaArray&) = delete;
    TDynaArray& operator=(const TDynaArray&) = delete;

    // Makes element i current, sets Index to i and returns its address. No
    // range check: callers check 0 <= i < Count.
    void* Select(int32_t i);
    // Appends a zero-filled element and makes it current (Index = Count - 1).
    // Null when the storage could not grow (the list is unchanged).
    void* Add();
    // Removes element i, moving the later ones down; nothing when out of
    // range. Leaves no current element.
    void Delete(int32_t i);
    // Swaps the bytes of two elements; nothing when either is out of range.
    void Exchange(int32_t i, int32_t j);
    // Nothing when empty; otherwise Index 0 and element 0 current.
    void First();
    // While 0 <= Index < Count: makes element Index current, steps Index on
    // and returns true; otherwise false.
    bool Next();
    // No elements, no storage, no current element.
    void Clear();

    // Takes over other's elements and capacity step; other is left empty.
    // The elements this list held are dropped without being released, so
    // release what they own first. Leaves no current element.
    void Adopt(TDynaArray& other);

    void* Current() const { return m_current; }
    uint32_t Count() const { return m_count; }
    int32_t Index() const { return m_index; }
    uint32_t ElementSize() const { return m_elementSize; }
    uint32_t Capacity() const { return m_capacity; } // bytes
    uint32_t GrowBy() const { return m_growBy; }
    void SetGrowBy(uint32_t elements) { m_growBy = elements ? elements : 1; }
    void** CursorVar() const { return m_cursorVar; }
    // Hands later changes of Current to var instead (nothing is written now).
    void SetCursorVar(void** var) { m_cursorVar = var; }

    // The element at i without making it current (0 <= i < Count).
    void* At(uint32_t i) const { return m_storage + size_t(i) * m_elementSize; }

private:
    void setCurrent(void* element);
    // The capacity in bytes that count elements need.
    uint64_t neededBytes(uint64_t count) const;

    void** m_cursorVar;
    void* m_current = nullptr;
    uint8_t* m_storage = nullptr;
    uint32_t m_count = 0;
    int32_t m_index = -1;
    uint32_t m_capacity = 0;
    uint32_t m_growBy = 100;
    uint32_t m_elementSize;
};

// Typed access for arrays of T.
template <typename T>
T* ElementAt(const TDynaArray& list, uint32_t i)
{
    return static_cast<T*>(list.At(i));
}

// Hooks for tests only: blocks larger than bytes cannot be had; SIZE_MAX
// lifts the limit.
void setDynaArrayLimitForTest(size_t bytes);

} // namespace show
