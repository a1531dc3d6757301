#include "raster/fingerprint.h"

#include "platform/cpu.h"
#include "raster/dibguard.h"
#include "raster/rasterio.h"
#include "tests/testutil.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

using namespace raster;

TEST(Fingerprint, TheFastHashEqualsThePlainOneAtEveryLength)
{
    std::mt19937 random(7);
    std::vector<uint8_t> bytes(5000);
    for (auto& b : bytes)
        b = uint8_t(random());
    // Lengths around the stripe (64) and block (1024) edges, and offsets
    // that leave the data unaligned.
    for (size_t size : {0, 1, 3, 4, 7, 8, 31, 63, 64, 65, 127, 1023, 1024, 1025, 2047, 2048, 4096, 4999}) {
        for (size_t offset : {0, 1, 5}) {
            if (offset + size > bytes.size())
                continue;
            for (uint64_t seed : {0ull, 0x123456789ull}) {
                SCOPED_TRACE(testing::Message() << size << " bytes at " << offset);
                EXPECT_EQ(HashBytes(bytes.data() + offset, size, seed), HashBytesPlain(bytes.data() + offset, size, seed));
            }
        }
    }
    // And with the plain paths forced, the fingerprint itself is unchanged.
    DibGuard photo(testutil::patternImage(333, 77, 24, 3));
    const uint64_t fast = DibFingerprint(photo.get());
    platform::SetPlainPathsOnly(true);
    const uint64_t plain = DibFingerprint(photo.get());
    platform::ResetPlainPaths();
    EXPECT_EQ(fast, plain);
}

TEST(Fingerprint, AnyChangeToWhatThePictureShowsChangesIt)
{
    DibGuard photo(testutil::patternImage(300, 200, 24, 1));
    const uint64_t original = DibFingerprint(photo.get());
    std::set<uint64_t> seen{original};
    // One bit of one byte, anywhere in the rows: first, middle, last.
    for (uint32_t at : {0u, DibSizeImage(photo.get()) / 2, DibSizeImage(photo.get()) - 1}) {
        photo.get().Bits[at] ^= 1;
        EXPECT_TRUE(seen.insert(DibFingerprint(photo.get())).second) << at;
        photo.get().Bits[at] ^= 1;
    }
    EXPECT_EQ(DibFingerprint(photo.get()), original);

    // A palette picture: the same indices with another colour table.
    DibGuard indexed(testutil::patternImage(40, 30, 8, 2));
    const uint64_t before = DibFingerprint(indexed.get());
    setPaletteEntry(indexed.get(), 200, 1, 2, 3);
    refreshPalette(indexed.get());
    EXPECT_NE(DibFingerprint(indexed.get()), before);

    // The same bytes in another shape.
    DibGuard wide, tall;
    newdib(&wide.get(), 64, 8, 8, nullptr, 0);
    newdib(&tall.get(), 8, 64, 8, nullptr, 0);
    EXPECT_NE(DibFingerprint(wide.get()), DibFingerprint(tall.get()));
    EXPECT_EQ(DibFingerprint(TDibRecord{}), 0u);
}
