#include "show/dynaarray.h"

#include "platform/msgbox.h"

#include <QString>

#include <cstdlib>
#include <cstring>
#include <limits>

namespace show {

namespace {

size_t g_limit = std::numeric_limits<size_t>::max();

// A zero-filled block, or null (with the numbered message) when none can be had.
uint8_t* takeBlock(uint64_t bytes, int errorNumber)
{
    void* block = nullptr;
    if (bytes <= g_limit && bytes <= std::numeric_limits<uint32_t>::max())
        block = std::calloc(size_t(bytes), 1);
    if (!block) {
        platform::MessageBox(QStringLiteral("Error %1 while trying to allocate %2 bytes of RAM. Not enough memory.")
                                 .arg(errorNumber)
                                 .arg(bytes),
                             QStringLiteral("Fehler"), platform::MsgIcon::Error);
    }
    return static_cast<uint8_t*>(block);
}

} // namespace

void setDynaArrayLimitForTest(size_t bytes)
{
    g_limit = bytes;
}

TDynaArray::TDynaArray(uint32_t elementSize, void** cursorVar)
    : m_cursorVar(cursorVar), m_elementSize(elementSize ? elementSize : 1)
{
    setCurrent(nullptr);
}

TDynaArray::~TDynaArray()
{
    std::free(m_storage);
    m_storage = nullptr;
    m_index = -1;
    setCurrent(nullptr);
}

void TDynaArray::setCurrent(void* element)
{
    m_current = element;
    if (m_cursorVar)
        *m_cursorVar = element;
}

uint64_t TDynaArray::neededBytes(uint64_t count) const
{
    const uint64_t blocks = (count + m_growBy - 1) / m_growBy;
    return blocks * m_growBy * m_elementSize;
}

void* TDynaArray::Select(int32_t i)
{
    m_index = i;
    setCurrent(m_storage + ptrdiff_t(i) * ptrdiff_t(m_elementSize));
    return m_current;
}

void* TDynaArray::Add()
{
    const uint64_t needed = neededBytes(uint64_t(m_count) + 1);
    if (needed != m_capacity || !m_storage) {
        const bool first = m_count == 0 || !m_storage;
        uint8_t* block = takeBlock(needed, first ? 1 : 2);
        if (!block)
            return nullptr;
        if (!first)
            std::memcpy(block, m_storage, m_capacity);
        std::free(m_storage);
        m_storage = block;
        m_capacity = uint32_t(needed);
    } else {
        std::memset(At(m_count), 0, m_elementSize);
    }
    ++m_count;
    return Select(int32_t(m_count - 1));
}

void TDynaArray::Delete(int32_t i)
{
    if (i < 0 || uint32_t(i) >= m_count)
        return;
    const uint64_t needed = neededBytes(m_count - 1);
    uint8_t* block = m_storage;
    if (needed != m_capacity && needed != 0) {
        block = takeBlock(needed, 3);
        if (!block)
            return;
    }
    // Everything before i stays; everything after moves down by one.
    const size_t before = size_t(i) * m_elementSize;
    const size_t after = size_t(m_count - 1 - uint32_t(i)) * m_elementSize;
    if (block != m_storage)
        std::memcpy(block, m_storage, before);
    std::memmove(block + before, m_storage + before + m_elementSize, after);
    if (block != m_storage || needed == 0) {
        std::free(m_storage);
        m_storage = needed == 0 ? nullptr : block;
        m_capacity = uint32_t(needed);
    }
    --m_count;
    m_index = -1;
    setCurrent(nullptr);
}

void TDynaArray::Exchange(int32_t i, int32_t j)
{
    if (i < 0 || j < 0 || uint32_t(i) >= m_count || uint32_t(j) >= m_count || i == j)
        return;
    uint8_t* a = static_cast<uint8_t*>(At(uint32_t(i)));
    uint8_t* b = static_cast<uint8_t*>(At(uint32_t(j)));
    for (uint32_t k = 0; k < m_elementSize; ++k)
        std::swap(a[k], b[k]);
}

void TDynaArray::First()
{
    if (m_count == 0)
        return;
    Select(0);
}

bool TDynaArray::Next()
{
    if (m_index < 0 || uint32_t(m_index) >= m_count)
        return false;
    setCurrent(At(uint32_t(m_index)));
    ++m_index;
    return true;
}

void TDynaArray::Clear()
{
    std::free(m_storage);
    m_storage = nullptr;
    m_count = 0;
    m_capacity = 0;
    m_index = -1;
    setCurrent(nullptr);
}

void TDynaArray::Adopt(TDynaArray& other)
{
    if (&other == this)
        return;
    std::free(m_storage);
    m_storage = other.m_storage;
    m_count = other.m_count;
    m_capacity = other.m_capacity;
    m_growBy = other.m_growBy;
    other.m_storage = nullptr;
    other.m_count = 0;
    other.m_capacity = 0;
    other.m_index = -1;
    other.setCurrent(nullptr);
    m_index = -1;
    setCurrent(nullptr);
}

} // namespace show
