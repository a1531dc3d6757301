#include "bench/ppm.h"

#include "raster/rasterio.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace bench {

bool readPpm(const char* path, raster::DibGuard& image)
{
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t pos = 0;
    auto token = [&]() {
        while (pos < bytes.size() && (std::isspace(uint8_t(bytes[pos])) || bytes[pos] == '#')) {
            if (bytes[pos] == '#')
                pos = bytes.find('\n', pos);
            else
                ++pos;
        }
        const size_t start = pos;
        while (pos < bytes.size() && !std::isspace(uint8_t(bytes[pos])))
            ++pos;
        return bytes.substr(start, pos - start);
    };
    if (token() != "P6")
        return false;
    const int w = std::atoi(token().c_str());
    const int h = std::atoi(token().c_str());
    if (std::atoi(token().c_str()) != 255 || w <= 0 || h <= 0)
        return false;
    ++pos;
    if (pos > bytes.size() || bytes.size() - pos < size_t(w) * size_t(h) * 3)
        return false;
    raster::newdib(image.out(), w, h, 24, nullptr, 0);
    if (!image)
        return false;
    const uint8_t* src = reinterpret_cast<const uint8_t*>(bytes.data()) + pos;
    for (int y = 0; y < h; ++y) {
        uint8_t* row = raster::DibRow(image.get(), y);
        for (int x = 0; x < w; ++x, src += 3) {
            row[3 * x] = src[2];
            row[3 * x + 1] = src[1];
            row[3 * x + 2] = src[0];
        }
    }
    return true;
}

bool writePpm(const char* path, const raster::TDibRecord& image)
{
    const int w = raster::DibWidth(image), h = raster::DibHeight(image);
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << w << " " << h << "\n255\n";
    std::vector<char> row(size_t(w) * 3);
    for (int y = 0; y < h; ++y) {
        const uint8_t* src = raster::DibRow(image, y);
        for (int x = 0; x < w; ++x) {
            row[size_t(3 * x)] = char(src[3 * x + 2]);
            row[size_t(3 * x + 1)] = char(src[3 * x + 1]);
            row[size_t(3 * x + 2)] = char(src[3 * x]);
        }
        out.write(row.data(), std::streamsize(row.size()));
    }
    return bool(out);
}

} // namespace bench
