#pragma once
// The file codecs behind OpenDib and SaveDib. A decoder turns bytes in
// memory into an image or an error; an encoder turns an image into bytes.
// Neither touches files, so both are tested and fuzzed on memory alone.

#include "raster/dibguard.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace raster {

enum class ImageError {
    None,
    FileMissing,   // no such file
    CannotRead,    // exists but cannot be read
    UnknownFormat, // content matches no decoder
    Damaged,       // truncated or corrupt data
    Unsupported,   // a valid variant this library does not read
    TooLarge,      // dimensions beyond the library's limits
    OutOfMemory,
    CannotWrite,   // the file could not be written
};

// The German text shown to the user for an error.
QString imageErrorText(ImageError error);

// Percentages 0..100 while a codec works; may be empty.
using Progress = std::function<void(int percent)>;

using Bytes = std::span<const uint8_t>;

struct EncodeOptions {
    int format = 0;       // the format number asked for
    int jpegQuality = 75; // 1..99
};

struct Codec {
    const char* name;
    // Whether the bytes look like this codec's files.
    bool (*sniff)(Bytes data);
    // Fills out with a new image, or leaves it empty and returns the error.
    ImageError (*decode)(Bytes data, DibGuard& out, const Progress& progress);
    // Appends the encoded file to out; null for read-only formats.
    ImageError (*encode)(const TDibRecord& dib, std::vector<uint8_t>& out,
                         const EncodeOptions& options, const Progress& progress);
};

// The codec of a format number, or null.
const Codec* codecForFormat(int format);
// The codec whose sniff accepts the bytes, or null.
const Codec* codecForContent(Bytes data);

// Decodes by format number (0: by content).
ImageError decodeImage(Bytes data, int format, DibGuard& out, const Progress& progress = {});
// Encodes by format number.
ImageError encodeImage(const TDibRecord& dib, int format, std::vector<uint8_t>& out,
                       const EncodeOptions& options, const Progress& progress = {});

// Limits every decoder checks a claimed size against before allocating.
constexpr int32_t kMaxDimension = 65535;
constexpr uint64_t kMaxPixelBytes = uint64_t(1) << 30; // 1 GiB of pixels

// Row stride of a picture.
using platform::dibStride;

// None when a picture of that size may be made; TooLarge or Damaged else.
ImageError checkImageSize(int64_t width, int64_t height, int32_t bitCount);

// A new image made for a decoder: Damaged/TooLarge for a bad size,
// OutOfMemory when the library could not allocate it.
ImageError makeImage(DibGuard& out, int32_t width, int32_t height, int32_t bitCount,
                     const RGBQUAD* colours = nullptr, int32_t entryCount = 0);

// Reports a percentage only when it changed, so codecs may call it per row.
class ProgressReporter {
public:
    explicit ProgressReporter(const Progress& progress) : m_progress(progress) {}
    void report(int percent)
    {
        if (m_progress && percent != m_last) {
            m_last = percent;
            m_progress(percent);
        }
    }
    void rows(int64_t done, int64_t total) { report(total > 0 ? int(done * 100 / total) : 100); }

private:
    const Progress& m_progress;
    int m_last = -1;
};

// True when every colour-table entry of a palette picture is a grey
// (red = green = blue) equal to its index scaled to 0..255.
bool hasGreyRamp(const TDibRecord& dib);

// The picture as 24-bit rows (a new image), for encoders that write true
// colour only. A 24-bit picture is copied.
ImageError convertTo24(const TDibRecord& dib, DibGuard& out);

} // namespace raster
