#pragma once
// A fingerprint of what a picture shows: its size, its depth, its colour
// table and every byte of its pixel rows. Two pictures with the same
// fingerprint show the same thing with near certainty; a cache or a kept
// copy made from a picture is checked against it instead of against the
// picture's address, which a released and re-made picture may get again.
//
// It runs at memory speed (eight independent 64-bit lanes, two at a time
// with SSE2), a few milliseconds for a 12-megapixel picture.

#include "raster/dibrecord.h"

#include <cstddef>
#include <cstdint>

namespace raster {

// 0 for a record without an image.
uint64_t DibFingerprint(const TDibRecord& dib);

// The 64-bit hash the fingerprint is made of, over any bytes, continuing
// from seed. The fast path and the plain one give the same value.
uint64_t HashBytes(const void* data, size_t size, uint64_t seed);
uint64_t HashBytesPlain(const void* data, size_t size, uint64_t seed);

} // namespace raster
