#include "tests/testutil.h"

#include "platform/palette.h"
#include "raster/rasterio.h"
#include "raster/testhooks.h"

#include <cctype>
#include <cstdlib>

#include <QFile>
#include <QProcess>

namespace testutil {

QString sourcePath(const QString& relative)
{
    return QStringLiteral(LUMIVOX_SOURCE_DIR "/") + relative;
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

raster::TDibRecord patternImage(int width, int height, int bitCount, uint32_t seed)
{
    using namespace raster;
    TDibRecord dib;
    newdib(&dib, width, height, bitCount, nullptr, 0);
    if (!dib.Bits)
        return dib;
    uint32_t s = seed * 2654435761u + 12345u;
    auto next = [&s] {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return s;
    };
    if (bitCount <= 8) {
        const int n = 1 << bitCount;
        for (int i = 0; i < n; ++i) {
            const uint32_t c = next();
            dib.Info->bmiColors[i] = RGBQUAD{uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), 0};
            dib.LogPal.palPalEntry[i] = {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), 0};
        }
        // Distinct colours, so a wrong index shows as a wrong colour.
        for (int i = 0; i < n; ++i) {
            dib.Info->bmiColors[i].rgbRed = uint8_t(i);
            dib.LogPal.palPalEntry[i].peRed = uint8_t(i);
        }
        platform::DeletePalette(dib.Palette);
        dib.Palette = platform::CreatePalette(dib.LogPal);
    }
    const uint32_t mask = bitCount == 24 ? 0xFFFFFFu : (1u << bitCount) - 1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            // Runs as well as noise, so RLE writers see both.
            const uint32_t v = ((x / 5 + y / 3) % 4 == 0) ? uint32_t(y * 7 + x / 5) : next();
            setpixel(dib, x, y, v & mask);
        }
    }
    return dib;
}

std::vector<uint8_t> rgbPixels(const raster::TDibRecord& dib)
{
    using namespace raster;
    std::vector<uint8_t> out;
    const int w = DibWidth(dib), h = DibHeight(dib), bc = DibBitCount(dib);
    out.reserve(size_t(w) * size_t(h) * 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint32_t v = getpixel(dib, x, y);
            if (bc == 24) {
                out.push_back(uint8_t(v));
                out.push_back(uint8_t(v >> 8));
                out.push_back(uint8_t(v >> 16));
            } else {
                const RGBQUAD q = dib.Info->bmiColors[v];
                out.push_back(q.rgbRed);
                out.push_back(q.rgbGreen);
                out.push_back(q.rgbBlue);
            }
        }
    }
    return out;
}

std::vector<uint32_t> pixelValues(const raster::TDibRecord& dib)
{
    std::vector<uint32_t> v;
    for (int y = 0; y < raster::DibHeight(dib); ++y)
        for (int x = 0; x < raster::DibWidth(dib); ++x)
            v.push_back(raster::getpixel(dib, x, y));
    return v;
}

bool readPnm(const QByteArray& bytes, Rgb& out)
{
    qsizetype pos = 0;
    auto token = [&]() -> QByteArray {
        while (pos < bytes.size()) {
            if (bytes[pos] == '#') {
                while (pos < bytes.size() && bytes[pos] != '\n')
                    ++pos;
            } else if (isspace(uchar(bytes[pos]))) {
                ++pos;
            } else {
                break;
            }
        }
        const qsizetype start = pos;
        while (pos < bytes.size() && !isspace(uchar(bytes[pos])))
            ++pos;
        return bytes.mid(start, pos - start);
    };
    const QByteArray magic = token();
    const bool grey = magic == "P5";
    if (!grey && magic != "P6")
        return false;
    out.width = token().toInt();
    out.height = token().toInt();
    const int maxval = token().toInt();
    ++pos;
    if (out.width <= 0 || out.height <= 0 || maxval != 255)
        return false;
    const qsizetype n = qsizetype(out.width) * out.height * (grey ? 1 : 3);
    if (bytes.size() - pos < n)
        return false;
    out.pixels.clear();
    out.pixels.reserve(size_t(out.width) * size_t(out.height) * 3);
    for (qsizetype i = 0; i < n; ++i) {
        const auto v = uint8_t(bytes[pos + i]);
        out.pixels.push_back(v);
        if (grey) {
            out.pixels.push_back(v);
            out.pixels.push_back(v);
        }
    }
    return true;
}

bool readWith(const QString& program, const QStringList& arguments, Rgb& out)
{
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return false;
    return readPnm(p.readAllStandardOutput(), out);
}

int maxDifference(const raster::TDibRecord& dib, const Rgb& reference)
{
    if (raster::DibWidth(dib) != reference.width || raster::DibHeight(dib) != reference.height)
        return -1;
    const auto mine = rgbPixels(dib);
    int worst = 0;
    for (size_t i = 0; i < mine.size(); ++i)
        worst = std::max(worst, std::abs(int(mine[i]) - int(reference.pixels[i])));
    return worst;
}

bool samePixels(const raster::TDibRecord& a, const raster::TDibRecord& b)
{
    return raster::DibWidth(a) == raster::DibWidth(b) && raster::DibHeight(a) == raster::DibHeight(b) &&
           rgbPixels(a) == rgbPixels(b);
}

testing::AssertionResult identical(const raster::TDibRecord& a, const raster::TDibRecord& b)
{
    using namespace raster;
    if (!a.Bits || !b.Bits)
        return testing::AssertionFailure() << "missing image";
    const int w = DibWidth(a), h = DibHeight(a), bc = DibBitCount(a);
    if (w != DibWidth(b) || h != DibHeight(b) || bc != DibBitCount(b))
        return testing::AssertionFailure() << w << "x" << h << "x" << bc << " vs " << DibWidth(b) << "x"
                                           << DibHeight(b) << "x" << DibBitCount(b);
    for (int i = 0; bc <= 8 && i < (1 << bc); ++i) {
        const RGBQUAD p = a.Info->bmiColors[i], q = b.Info->bmiColors[i];
        if (p.rgbRed != q.rgbRed || p.rgbGreen != q.rgbGreen || p.rgbBlue != q.rgbBlue)
            return testing::AssertionFailure() << "colour " << i << " differs";
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (getpixel(a, x, y) != getpixel(b, x, y))
                return testing::AssertionFailure() << "pixel (" << x << ", " << y << "): " << getpixel(a, x, y)
                                                   << " vs " << getpixel(b, x, y);
    return testing::AssertionSuccess();
}

raster::TDibRecord solidImage(int width, int height, uint32_t colour, int bitCount)
{
    raster::TDibRecord dib;
    raster::newdib(&dib, width, height, bitCount, nullptr, 0);
    for (int y = 0; y < height && dib.Bits; ++y)
        for (int x = 0; x < width; ++x)
            raster::setpixel(dib, x, y, colour);
    return dib;
}

AllocationLimit::AllocationLimit(uint64_t bytes)
{
    raster::setAllocationLimitForTest(bytes);
}

AllocationLimit::~AllocationLimit()
{
    raster::setAllocationLimitForTest(UINT64_MAX);
}

ToolRun runTool(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(LUMIVOX_TOOL), args);
    p.waitForFinished(60000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

} // namespace testutil
