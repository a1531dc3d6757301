#pragma once
// A device context for tests, beside the real ones of platform/gdi.

#include "platform/gdi.h"

#include <functional>
#include <span>
#include <vector>

namespace testutil {

using platform::BITMAPINFO;
using platform::BitmapDC;
using platform::GdiBitmap;
using platform::HBITMAP;
using platform::HDC;
using platform::HPALETTE;

// A device for tests: it reports the technology, depth and raster caps it
// is given, records every call with the palette selected at that moment,
// can refuse each kind of transfer, and draws what it accepts on canvas()
// (a BitmapDC), so its pixels can be checked too.
class RecordingDC : public platform::DeviceContext {
public:
    enum class Call {
        StretchDIBits,
        SetDIBitsToDevice,
        CreateCompatibleBitmap,
        CreateCompatibleDC,
        SetDIBits,
        StretchBlt,
        InvertPoints,
    };
    struct Record {
        Call call;
        int x = 0, y = 0, width = 0, height = 0;          // destination
        int srcX = 0, srcY = 0, srcWidth = 0, srcHeight = 0;
        int startScan = 0, lines = 0;
        uint32_t rop = 0;
        uint32_t usage = 0;
        int bitCount = 0;                                 // of the DIB handed over
        HPALETTE palette = nullptr;                       // selected at the call
        int result = 0;
        std::vector<uint8_t> bits;                        // the DIB rows handed over
    };
    struct Refusals {
        bool stretchDIBits = false;
        bool setDIBitsToDevice = false;
        bool createCompatibleBitmap = false;
        bool setDIBits = false;
        bool stretchBlt = false;
    };

    // technology DT_RASDISPLAY or DT_RASPRINTER; the canvas is
    // canvasWidth x canvasHeight, black.
    RecordingDC(int technology, int bitsPerPixel, int rasterCaps, int canvasWidth = 0,
                int canvasHeight = 0);

    Refusals refuse;
    // Whether records keep a copy of the DIB rows handed over.
    bool keepBits = true;
    // Called after every recorded call with its index in records().
    std::function<void(size_t)> afterCall;

    const std::vector<Record>& records() const { return m_records; }
    int count(Call call) const;
    void clearRecords() { m_records.clear(); }
    GdiBitmap& canvas() { return m_canvas; }

    int deviceCaps(int index) const override;
    int stretchDIBits(int x, int y, int destWidth, int destHeight, int srcX, int srcY, int srcWidth,
                      int srcHeight, const void* bits, const BITMAPINFO* info, uint32_t usage,
                      uint32_t rop) override;
    int setDIBitsToDevice(int x, int y, int width, int height, int srcX, int srcY, int startScan,
                          int lines, const void* bits, const BITMAPINFO* info, uint32_t usage) override;
    bool stretchBlt(int x, int y, int destWidth, int destHeight, const GdiBitmap& source, int srcX,
                    int srcY, int srcWidth, int srcHeight, uint32_t rop) override;
    void invertPoints(std::span<const QPoint> points) override;
    HBITMAP createCompatibleBitmap(int width, int height) override;
    HDC createCompatibleDC() override;
    int setDIBits(HBITMAP bitmap, int startScan, int lines, const void* bits,
                  const BITMAPINFO* info, uint32_t usage) override;

private:
    Record& record(Call call);
    void finish(Record& r, int result);

    int m_technology;
    int m_bitsPerPixel;
    int m_rasterCaps;
    GdiBitmap m_canvas;
    BitmapDC m_canvasDC;
    std::vector<Record> m_records;
};

} // namespace testutil
