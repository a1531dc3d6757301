#include "raster/fingerprint.h"

#include <cstring>

namespace raster {

namespace {

constexpr uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
constexpr uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;
constexpr uint64_t kPrime3 = 0x165667B19E3779F9ull;
constexpr uint64_t kPrime4 = 0x85EBCA77C2B2AE63ull;
constexpr uint64_t kPrime5 = 0x27D4EB2F165667C5ull;

constexpr uint64_t rotl(uint64_t x, int r)
{
    return (x << r) | (x >> (64 - r));
}

uint64_t load64(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

uint32_t load32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

uint64_t round(uint64_t acc, uint64_t input)
{
    acc += input * kPrime2;
    return rotl(acc, 31) * kPrime1;
}

uint64_t merge(uint64_t acc, uint64_t lane)
{
    acc ^= round(0, lane);
    return acc * kPrime1 + kPrime4;
}

} // namespace

uint64_t HashBytes(const void* data, size_t size, uint64_t seed)
{
    const auto* p = static_cast<const uint8_t*>(data);
    const uint8_t* const end = p + size;
    uint64_t h;
    if (size >= 32) {
        // Four lanes, 32 bytes a step: the lanes do not wait for each other.
        uint64_t v1 = seed + kPrime1 + kPrime2, v2 = seed + kPrime2, v3 = seed, v4 = seed - kPrime1;
        for (const uint8_t* const last = end - 32; p <= last; p += 32) {
            v1 = round(v1, load64(p));
            v2 = round(v2, load64(p + 8));
            v3 = round(v3, load64(p + 16));
            v4 = round(v4, load64(p + 24));
        }
        h = rotl(v1, 1) + rotl(v2, 7) + rotl(v3, 12) + rotl(v4, 18);
        h = merge(merge(merge(merge(h, v1), v2), v3), v4);
    } else {
        h = seed + kPrime5;
    }
    h += uint64_t(size);
    for (; p + 8 <= end; p += 8)
        h = rotl(h ^ round(0, load64(p)), 27) * kPrime1 + kPrime4;
    if (p + 4 <= end) {
        h = rotl(h ^ (uint64_t(load32(p)) * kPrime1), 23) * kPrime2 + kPrime3;
        p += 4;
    }
    for (; p < end; ++p)
        h = rotl(h ^ (*p * kPrime5), 11) * kPrime1;
    h ^= h >> 33;
    h *= kPrime2;
    h ^= h >> 29;
    h *= kPrime3;
    h ^= h >> 32;
    return h;
}

uint64_t DibFingerprint(const TDibRecord& dib)
{
    if (!dib.Bits || !dib.Info)
        return 0;
    const int32_t shape[3] = {DibWidth(dib), DibHeight(dib), DibBitCount(dib)};
    uint64_t h = HashBytes(shape, sizeof shape, 0);
    if (shape[2] <= 8)
        h = HashBytes(DibColors(dib), sizeof(RGBQUAD) * size_t(DibColorCount(dib)), h);
    h = HashBytes(dib.Bits, DibSizeImage(dib), h);
    // Never 0, so 0 can stand for "no picture".
    return h ? h : 1;
}

} // namespace raster
