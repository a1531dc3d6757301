#include "tests/recordingdc.h"

#include <algorithm>

namespace testutil {

using namespace platform;

RecordingDC::RecordingDC(int technology, int bitsPerPixel, int rasterCaps, int canvasWidth,
                         int canvasHeight)
    : m_technology(technology), m_bitsPerPixel(bitsPerPixel), m_rasterCaps(rasterCaps),
      m_canvas(canvasWidth, canvasHeight), m_canvasDC(&m_canvas)
{
}

int RecordingDC::count(Call call) const
{
    return int(std::count_if(m_records.begin(), m_records.end(),
                             [call](const Record& r) { return r.call == call; }));
}

int RecordingDC::deviceCaps(int index) const
{
    switch (index) {
    case TECHNOLOGY:
        return m_technology;
    case BITSPIXEL:
        return m_bitsPerPixel;
    case RASTERCAPS:
        return m_rasterCaps;
    default:
        return m_canvasDC.deviceCaps(index);
    }
}

RecordingDC::Record& RecordingDC::record(Call call)
{
    Record& r = m_records.emplace_back();
    r.call = call;
    r.palette = palette();
    return r;
}

void RecordingDC::finish(Record& r, int result)
{
    r.result = result;
    if (afterCall)
        afterCall(size_t(&r - m_records.data()));
}

namespace {
// Keeps a copy of rows of the DIB a transfer was handed.
void copyHandedRows(RecordingDC::Record& r, const void* bits, const BITMAPINFO* info, int64_t rows)
{
    if (!info)
        return;
    r.bitCount = info->bmiHeader.biBitCount;
    if (!bits || rows <= 0 || info->bmiHeader.biWidth <= 0)
        return;
    const size_t bytes = size_t(dibStride(uint64_t(info->bmiHeader.biWidth), uint32_t(r.bitCount))) * size_t(rows);
    const auto* p = static_cast<const uint8_t*>(bits);
    r.bits.assign(p, p + bytes);
}
} // namespace

int RecordingDC::stretchDIBits(int x, int y, int destWidth, int destHeight, int srcX, int srcY,
                               int srcWidth, int srcHeight, const void* bits, const BITMAPINFO* info,
                               uint32_t usage, uint32_t rop)
{
    Record& r = record(Call::StretchDIBits);
    r.x = x;
    r.y = y;
    r.width = destWidth;
    r.height = destHeight;
    r.srcX = srcX;
    r.srcY = srcY;
    r.srcWidth = srcWidth;
    r.srcHeight = srcHeight;
    r.rop = rop;
    r.usage = usage;
    if (info)
        copyHandedRows(r, keepBits ? bits : nullptr, info, std::abs(int64_t(info->bmiHeader.biHeight)));
    const int result = refuse.stretchDIBits
                           ? GDI_ERROR
                           : m_canvasDC.stretchDIBits(x, y, destWidth, destHeight, srcX, srcY,
                                                      srcWidth, srcHeight, bits, info, usage, rop);
    finish(m_records.back(), result);
    return result;
}

int RecordingDC::setDIBitsToDevice(int x, int y, int width, int height, int srcX, int srcY,
                                   int startScan, int lines, const void* bits, const BITMAPINFO* info,
                                   uint32_t usage)
{
    Record& r = record(Call::SetDIBitsToDevice);
    r.x = x;
    r.y = y;
    r.width = width;
    r.height = height;
    r.srcX = srcX;
    r.srcY = srcY;
    r.startScan = startScan;
    r.lines = lines;
    r.usage = usage;
    if (info)
        copyHandedRows(r, keepBits ? bits : nullptr, info,
                 std::min<int64_t>(lines, std::abs(int64_t(info->bmiHeader.biHeight)) - startScan));
    const int result = refuse.setDIBitsToDevice
                           ? 0
                           : m_canvasDC.setDIBitsToDevice(x, y, width, height, srcX, srcY, startScan,
                                                          lines, bits, info, usage);
    finish(m_records.back(), result);
    return result;
}

bool RecordingDC::stretchBlt(int x, int y, int destWidth, int destHeight, const GdiBitmap& source,
                             int srcX, int srcY, int srcWidth, int srcHeight, uint32_t rop)
{
    Record& r = record(Call::StretchBlt);
    r.x = x;
    r.y = y;
    r.width = destWidth;
    r.height = destHeight;
    r.srcX = srcX;
    r.srcY = srcY;
    r.srcWidth = srcWidth;
    r.srcHeight = srcHeight;
    r.rop = rop;
    const bool ok = !refuse.stretchBlt && m_canvasDC.stretchBlt(x, y, destWidth, destHeight, source, srcX,
                                                                srcY, srcWidth, srcHeight, rop);
    finish(m_records.back(), ok ? 1 : 0);
    return ok;
}

void RecordingDC::invertPoints(std::span<const QPoint> points)
{
    Record& r = record(Call::InvertPoints);
    r.lines = int(points.size());
    m_canvasDC.invertPoints(points);
    finish(m_records.back(), int(points.size()));
}

HBITMAP RecordingDC::createCompatibleBitmap(int width, int height)
{
    Record& r = record(Call::CreateCompatibleBitmap);
    r.width = width;
    r.height = height;
    HBITMAP bitmap = refuse.createCompatibleBitmap ? nullptr
                                                   : DeviceContext::createCompatibleBitmap(width, height);
    finish(m_records.back(), bitmap ? 1 : 0);
    return bitmap;
}

HDC RecordingDC::createCompatibleDC()
{
    record(Call::CreateCompatibleDC);
    HDC dc = DeviceContext::createCompatibleDC();
    finish(m_records.back(), dc ? 1 : 0);
    return dc;
}

int RecordingDC::setDIBits(HBITMAP bitmap, int startScan, int lines, const void* bits,
                           const BITMAPINFO* info, uint32_t usage)
{
    Record& r = record(Call::SetDIBits);
    r.startScan = startScan;
    r.lines = lines;
    r.usage = usage;
    if (info)
        copyHandedRows(r, keepBits ? bits : nullptr, info,
                 std::min<int64_t>(lines, std::abs(int64_t(info->bmiHeader.biHeight)) - startScan));
    const int result = refuse.setDIBits ? 0
                                        : DeviceContext::setDIBits(bitmap, startScan, lines, bits, info, usage);
    finish(m_records.back(), result);
    return result;
}

} // namespace testutil
