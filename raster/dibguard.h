#pragma once
// Single owner of one image: releases it through deldib when it goes out of
// scope, on every path. release() hands the image over to another owner.

#include "raster/dibrecord.h"

namespace raster {

void deldib(TDibRecord& dib);

class DibGuard {
public:
    DibGuard() = default;
    explicit DibGuard(const TDibRecord& dib) : m_dib(dib) {}
    ~DibGuard() { deldib(m_dib); }
    DibGuard(const DibGuard&) = delete;
    DibGuard& operator=(const DibGuard&) = delete;
    DibGuard(DibGuard&& other) noexcept : m_dib(other.release()) {}
    DibGuard& operator=(DibGuard&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    TDibRecord& get() { return m_dib; }
    const TDibRecord& get() const { return m_dib; }
    TDibRecord* operator->() { return &m_dib; }
    const TDibRecord* operator->() const { return &m_dib; }
    // The address to hand to newdib or OpenDib; the previous image is released.
    TDibRecord* out()
    {
        deldib(m_dib);
        m_dib = TDibRecord{};
        return &m_dib;
    }
    explicit operator bool() const { return m_dib.Bits != nullptr; }

    TDibRecord release()
    {
        TDibRecord dib = m_dib;
        m_dib = TDibRecord{};
        return dib;
    }
    void reset(const TDibRecord& dib = TDibRecord{})
    {
        deldib(m_dib);
        m_dib = dib;
    }

private:
    TDibRecord m_dib;
};

} // namespace raster
