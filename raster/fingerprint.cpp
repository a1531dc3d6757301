#include "raster/fingerprint.h"

#include "platform/cpu.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <cstring>

namespace raster {

namespace {

constexpr uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
constexpr uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;
constexpr uint64_t kPrime3 = 0x165667B19E3779F9ull;
constexpr uint64_t kPrime4 = 0x85EBCA77C2B2AE63ull;
constexpr uint64_t kPrime5 = 0x27D4EB2F165667C5ull;
constexpr uint32_t kScramble = 0x9E3779B1u;

// The bytes go in stripes of 64 over eight lanes; every kStripesPerBlock
// stripes the lanes are scrambled, so that no two stripes can cancel.
constexpr size_t kStripe = 64;
constexpr size_t kStripesPerBlock = 16;
constexpr size_t kBlock = kStripe * kStripesPerBlock;

constexpr uint64_t kKeys[8] = {
    0xBE4BA423396CFEB8ull, 0x1CAD21F72C81017Cull, 0xDB979083E96DD4DEull, 0x1F67B3B7A4A44072ull,
    0x78E5C0CC4EE679CBull, 0x2172FFCC7DD05A82ull, 0x8E2443F7744608B8ull, 0x4C263A81E69035E0ull,
};
constexpr uint64_t kScrambleKeys[8] = {
    0xCB00C391BB52283Cull, 0xA32E531B8B65D088ull, 0x4EF90DA297486471ull, 0xD8ACDEA946EF1938ull,
    0x3F349CE33F76FAA8ull, 0x1D4F0BC7C7BBDCF9ull, 0x3159B4CD4BE0518Aull, 0x647378D9C97E9FC8ull,
};

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

uint64_t mix(uint64_t input)
{
    return rotl(input * kPrime2, 31) * kPrime1;
}

// One stripe into the lanes: each lane takes its neighbour's word and the
// product of the two halves of its own word mixed with its key.
void stripePlain(uint64_t acc[8], const uint8_t* p)
{
    for (int i = 0; i < 8; ++i) {
        const uint64_t word = load64(p + 8 * i);
        const uint64_t keyed = word ^ kKeys[i];
        acc[i ^ 1] += word;
        acc[i] += (keyed & 0xFFFFFFFFu) * (keyed >> 32);
    }
}

void scramblePlain(uint64_t acc[8])
{
    for (int i = 0; i < 8; ++i) {
        uint64_t a = acc[i];
        a ^= a >> 47;
        a ^= kScrambleKeys[i];
        acc[i] = a * kScramble;
    }
}

// Whole blocks and stripes; returns the bytes taken.
size_t stripesPlain(uint64_t acc[8], const uint8_t* p, size_t size)
{
    size_t done = 0;
    for (; done + kBlock <= size; done += kBlock) {
        for (size_t s = 0; s < kStripesPerBlock; ++s)
            stripePlain(acc, p + done + s * kStripe);
        scramblePlain(acc);
    }
    for (; done + kStripe <= size; done += kStripe)
        stripePlain(acc, p + done);
    return done;
}

#if defined(__SSE2__)
// The same as stripesPlain, two lanes to a register.
size_t stripesSse2(uint64_t acc[8], const uint8_t* p, size_t size)
{
    __m128i a[4], key[4], scrambleKey[4];
    for (int j = 0; j < 4; ++j) {
        a[j] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(acc + 2 * j));
        key[j] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kKeys + 2 * j));
        scrambleKey[j] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kScrambleKeys + 2 * j));
    }
    const __m128i prime = _mm_set1_epi32(int(kScramble));
    auto stripe = [&](const uint8_t* q) {
        for (int j = 0; j < 4; ++j) {
            const __m128i word = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 16 * j));
            const __m128i keyed = _mm_xor_si128(word, key[j]);
            const __m128i high = _mm_shuffle_epi32(keyed, _MM_SHUFFLE(0, 3, 0, 1));
            const __m128i product = _mm_mul_epu32(keyed, high);
            const __m128i swapped = _mm_shuffle_epi32(word, _MM_SHUFFLE(1, 0, 3, 2));
            a[j] = _mm_add_epi64(a[j], _mm_add_epi64(swapped, product));
        }
    };
    size_t done = 0;
    for (; done + kBlock <= size; done += kBlock) {
        for (size_t s = 0; s < kStripesPerBlock; ++s)
            stripe(p + done + s * kStripe);
        for (int j = 0; j < 4; ++j) {
            __m128i x = _mm_xor_si128(a[j], _mm_srli_epi64(a[j], 47));
            x = _mm_xor_si128(x, scrambleKey[j]);
            const __m128i low = _mm_mul_epu32(x, prime);
            const __m128i high = _mm_mul_epu32(_mm_srli_epi64(x, 32), prime);
            a[j] = _mm_add_epi64(low, _mm_slli_epi64(high, 32));
        }
    }
    for (; done + kStripe <= size; done += kStripe)
        stripe(p + done);
    for (int j = 0; j < 4; ++j)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(acc + 2 * j), a[j]);
    return done;
}
#endif

uint64_t hash(const void* data, size_t size, uint64_t seed, bool fast)
{
    const auto* p = static_cast<const uint8_t*>(data);
    uint64_t acc[8];
    for (int i = 0; i < 8; ++i)
        acc[i] = seed + kKeys[i];
    size_t done = 0;
#if defined(__SSE2__)
    if (fast)
        done = stripesSse2(acc, p, size);
    else
#endif
        done = stripesPlain(acc, p, size);
    (void)fast;

    uint64_t h = uint64_t(size) * kPrime1 + seed;
    for (int i = 0; i < 8; ++i)
        h = rotl(h ^ mix(acc[i]), 27) * kPrime1 + kPrime4;
    // The bytes short of a stripe.
    const uint8_t* q = p + done;
    const uint8_t* const end = p + size;
    for (; q + 8 <= end; q += 8)
        h = rotl(h ^ mix(load64(q)), 27) * kPrime1 + kPrime4;
    if (q + 4 <= end) {
        h = rotl(h ^ (uint64_t(load32(q)) * kPrime1), 23) * kPrime2 + kPrime3;
        q += 4;
    }
    for (; q < end; ++q)
        h = rotl(h ^ (*q * kPrime5), 11) * kPrime1;
    h ^= h >> 33;
    h *= kPrime2;
    h ^= h >> 29;
    h *= kPrime3;
    h ^= h >> 32;
    return h;
}

} // namespace

uint64_t HashBytes(const void* data, size_t size, uint64_t seed)
{
    return hash(data, size, seed, platform::UseSse2());
}

uint64_t HashBytesPlain(const void* data, size_t size, uint64_t seed)
{
    return hash(data, size, seed, false);
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
