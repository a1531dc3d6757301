#pragma once
// Small helpers shared by the tests: pictures with known pixels, reading
// the reference PPM files, and comparing pixels.

#include "raster/dibguard.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <ostream>
#include <span>
#include <vector>

namespace testutil {

QString sourcePath(const QString& relative);
QByteArray readFile(const QString& path);
void writeFile(const QString& path, const QByteArray& bytes);

// A picture of the given depth whose pixels follow a fixed pattern seeded
// by seed, with a distinct palette (for depths up to 8).
raster::TDibRecord patternImage(int width, int height, int bitCount, uint32_t seed = 1);

// A picture of one colour: 0x00BBGGRR for 24 bits; for 1, 4 and 8 bits a
// palette index (the library's own colour table).
raster::TDibRecord solidImage(int width, int height, uint32_t colour, int bitCount = 24);

// The colour of every pixel, row by row from the top, as R, G, B bytes.
std::vector<uint8_t> rgbPixels(const raster::TDibRecord& dib);
// The value of every pixel (getpixel), row by row from the top.
std::vector<uint32_t> pixelValues(const raster::TDibRecord& dib);

struct Rgb {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels; // R, G, B row by row from the top
};
// Reads a binary PPM (P6) or PGM (P5) file of 8-bit samples.
bool readPnm(const QByteArray& bytes, Rgb& out);

// What another program (ImageMagick, netpbm) prints as PPM for the given
// arguments; false when it failed or printed no PPM.
bool readWith(const QString& program, const QStringList& arguments, Rgb& out);

// While it lives, the raster library allocates no block larger than bytes
// (so "no memory" paths can be tested); afterwards there is no limit again.
class AllocationLimit {
public:
    explicit AllocationLimit(uint64_t bytes);
    ~AllocationLimit();
    AllocationLimit(const AllocationLimit&) = delete;
    AllocationLimit& operator=(const AllocationLimit&) = delete;
};

// What lumivox-tool did with the given arguments: its exit status (-1 when
// it crashed or hung), standard output and standard error.
struct ToolRun {
    int status;
    QString out;
    QString err;
};
ToolRun runTool(const QStringList& args);

// Largest difference of any channel; -1 when the sizes differ.
int maxDifference(const raster::TDibRecord& dib, const Rgb& reference);

// True when both pictures have the same size and the same colours everywhere.
bool samePixels(const raster::TDibRecord& a, const raster::TDibRecord& b);
// Same size, depth, colour table and pixel values; names the first
// difference.
testing::AssertionResult identical(const raster::TDibRecord& a, const raster::TDibRecord& b);

} // namespace testutil

// Readable QStrings in test failure messages.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}
