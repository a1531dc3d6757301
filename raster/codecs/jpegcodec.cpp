// JPEG files (JPG and JIF) through libjpeg-turbo.
//
// Reading: baseline and progressive Huffman-coded files; greyscale becomes
// an 8-bit picture with a grey ramp, YCbCr and RGB become 24-bit, CMYK and
// YCCK are turned into 24-bit colour. libjpeg writes the rows straight into
// the picture. Damaged data fails: a file whose entropy data runs out or
// breaks off at a marker gives Damaged, never a picture that turns grey
// half-way; only a single-scan file lacking nothing but its closing EOI
// marker still reads.
//
// Writing: 24-bit pictures as YCbCr JPEG, grey ramp pictures as greyscale
// JPEG, everything else as 24-bit colour, at the quality of the options.
//
// setjmp and longjmp stay inside this file. The functions that call setjmp
// keep no objects with destructors of their own, so a jump out of libjpeg
// skips nothing that needs cleaning up; everything is owned by the callers.

#include "raster/codecs/codecs.h"
#include "raster/rasterio.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <memory>


#include <jerror.h>
#include <jpeglib.h>

namespace raster {

namespace {

// Rows handed to libjpeg per call.
constexpr int kRowBatch = 16;
// Working memory libjpeg may take for one picture (the coefficient buffer
// of progressive files is the big part).
constexpr long kMaxLibraryMemory = 512L * 1024 * 1024;
// Progressive files with more scans than this are treated as damaged:
// every scan walks the whole coefficient buffer, and real encoders write
// about ten.
constexpr int kMaxScans = 100;

// ---------------------------------------------------------------------------
// Errors: error_exit jumps back to the caller's setjmp; messages go nowhere.

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    int code = 0;           // libjpeg's message code of the failure
    bool damaged = false;   // failure decided here rather than by a code
};

[[noreturn]] void errorExit(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    err->code = err->pub.msg_code;
    std::longjmp(err->jump, 1);
}

[[noreturn]] void failDamaged(j_common_ptr cinfo)
{
    reinterpret_cast<ErrorManager*>(cinfo->err)->damaged = true;
    errorExit(cinfo);
}

// Warnings about data that is missing or broken end the decode; harmless
// ones (stray bytes between segments, unknown JFIF versions, bad ICC
// chunks) are counted and ignored.
void emitMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return; // trace messages
    switch (cinfo->err->msg_code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_MUST_RESYNC:
    case JWRN_HUFF_BAD_CODE:
        failDamaged(cinfo);
    default:
        ++cinfo->err->num_warnings;
    }
}

void outputMessage(j_common_ptr) {}

void installErrorManager(ErrorManager& err)
{
    jpeg_std_error(&err.pub);
    err.pub.error_exit = errorExit;
    err.pub.emit_message = emitMessage;
    err.pub.output_message = outputMessage;
}

ImageError errorFor(const ErrorManager& err, ImageError fallback)
{
    if (err.damaged)
        return ImageError::Damaged;
    switch (err.code) {
    case JERR_OUT_OF_MEMORY:
        return ImageError::OutOfMemory;
    case JERR_NO_BACKING_STORE: // more than kMaxLibraryMemory needed
    case JERR_IMAGE_TOO_BIG:
    case JERR_WIDTH_OVERFLOW:
        return ImageError::TooLarge;
    case JERR_BAD_PRECISION: // 12-bit samples
    case JERR_SOF_UNSUPPORTED: // lossless and hierarchical processes
    case JERR_ARITH_NOTIMPL:
    case JERR_NOT_COMPILED:
    case JERR_CONVERSION_NOTIMPL:
        return ImageError::Unsupported;
    default:
        return fallback;
    }
}

// ---------------------------------------------------------------------------
// Reading

// Reads from memory. Past the end it supplies an EOI marker over and over
// without a warning and notes that it did: when the entropy decoder then
// still needs bits it reports a premature end of the data segment (fatal),
// and a multi-scan file that reached the end this way is rejected after the
// decode.
struct Source {
    jpeg_source_mgr pub;
    bool pastEnd = false;
};

const JOCTET kEndMarker[2] = {0xFF, JPEG_EOI};

void initSource(j_decompress_ptr) {}

boolean fillInputBuffer(j_decompress_ptr cinfo)
{
    auto* src = reinterpret_cast<Source*>(cinfo->src);
    src->pastEnd = true;
    src->pub.next_input_byte = kEndMarker;
    src->pub.bytes_in_buffer = sizeof kEndMarker;
    return TRUE;
}

void skipInputData(j_decompress_ptr cinfo, long count)
{
    auto* src = reinterpret_cast<Source*>(cinfo->src);
    if (count <= 0)
        return;
    if (size_t(count) > src->pub.bytes_in_buffer) {
        fillInputBuffer(cinfo);
        return;
    }
    src->pub.next_input_byte += count;
    src->pub.bytes_in_buffer -= size_t(count);
}

void termSource(j_decompress_ptr) {}

// Reports progress while libjpeg reads the scans of a multi-scan file
// inside jpeg_start_decompress (the first half), and stops files with
// absurd numbers of scans.
struct Monitor {
    jpeg_progress_mgr pub;
    ProgressReporter* reporter = nullptr;
    bool readingScans = false;
};

void monitorProgress(j_common_ptr cinfo)
{
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > kMaxScans)
        failDamaged(cinfo);
    auto* m = reinterpret_cast<Monitor*>(cinfo->progress);
    if (m->readingScans && m->pub.pass_limit > 0) {
        const long done = std::min(m->pub.pass_counter, m->pub.pass_limit);
        m->reporter->report(int(done * 50 / m->pub.pass_limit));
    }
}

struct Decompressor {
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    Source source{};
    Monitor monitor{};
    bool created = false;
};

struct DestroyDecompressor {
    void operator()(Decompressor* d) const
    {
        if (d->created)
            jpeg_destroy_decompress(&d->cinfo);
        delete d;
    }
};

// CMYK as libjpeg delivers it to 24-bit BGR. Files with an Adobe marker
// (Photoshop and everything after it) store the inks inverted, 255 meaning
// no ink, so a channel is C * K / 255; files without one store plain inks.
void cmykToBgr(const JSAMPLE* cmyk, uint8_t* bgr, JDIMENSION width, bool inverted)
{
    for (JDIMENSION x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
        unsigned c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        bgr[0] = uint8_t((y * k + 127) / 255);
        bgr[1] = uint8_t((m * k + 127) / 255);
        bgr[2] = uint8_t((c * k + 127) / 255);
    }
}

// The whole decode after the handle is made; the only place that catches
// libjpeg's jumps while reading.
ImageError runDecode(Decompressor& d, Bytes data, DibGuard& out, ProgressReporter& reporter)
{
    j_decompress_ptr cinfo = &d.cinfo;
    if (setjmp(d.err.jump)) {
        out.reset();
        // Whatever went wrong after the data ran out, the file is cut short.
        return d.source.pastEnd ? ImageError::Damaged : errorFor(d.err, ImageError::Damaged);
    }

    cinfo->err = &d.err.pub;
    d.created = true; // jpeg_destroy copes with a half-made handle
    jpeg_create_decompress(cinfo);
    cinfo->mem->max_memory_to_use = kMaxLibraryMemory;

    d.source.pub.next_input_byte = data.data();
    d.source.pub.bytes_in_buffer = data.size();
    d.source.pub.init_source = initSource;
    d.source.pub.fill_input_buffer = fillInputBuffer;
    d.source.pub.skip_input_data = skipInputData;
    d.source.pub.resync_to_restart = jpeg_resync_to_restart;
    d.source.pub.term_source = termSource;
    cinfo->src = &d.source.pub;

    d.monitor.pub.progress_monitor = monitorProgress;
    d.monitor.reporter = &reporter;
    cinfo->progress = &d.monitor.pub;

    jpeg_read_header(cinfo, TRUE);

    // Arithmetic coding packs a huge flat picture into a few bytes, so no
    // input size could bound the work; such files are practically unseen.
    if (cinfo->arith_code)
        return ImageError::Unsupported;

    int32_t bitCount = 24;
    bool cmyk = false;
    switch (cinfo->jpeg_color_space) {
    case JCS_GRAYSCALE:
        cinfo->out_color_space = JCS_GRAYSCALE;
        bitCount = 8;
        break;
    case JCS_YCbCr:
    case JCS_RGB:
        cinfo->out_color_space = JCS_EXT_BGR;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        cinfo->out_color_space = JCS_CMYK;
        cmyk = true;
        break;
    default:
        return ImageError::Unsupported;
    }
    cinfo->dct_method = JDCT_ISLOW;
    cinfo->do_fancy_upsampling = TRUE;

    const int64_t width = cinfo->image_width, height = cinfo->image_height;
    if (const ImageError e = checkImageSize(width, height, bitCount); e != ImageError::None)
        return e;
    // Huffman coding spends at least one bit on every 8 x 8 block of the
    // full-resolution component, even in a progressive file's first scan;
    // a file claiming more blocks than it has bits is damaged, and fails
    // here before anything is allocated.
    const uint64_t blocks = uint64_t((width + 7) / 8) * uint64_t((height + 7) / 8);
    if (blocks > uint64_t(data.size()) * 8)
        return ImageError::Damaged;

    const bool multiScan = jpeg_has_multiple_scans(cinfo);
    d.monitor.readingScans = multiScan;
    jpeg_start_decompress(cinfo);
    d.monitor.readingScans = false;
    if (cinfo->output_width != JDIMENSION(width) || cinfo->output_height != JDIMENSION(height) ||
        cinfo->output_components != (bitCount == 8 ? 1 : cmyk ? 4 : 3))
        return ImageError::Damaged;

    if (const ImageError e = makeImage(out, int32_t(width), int32_t(height), bitCount); e != ImageError::None)
        return e;

    const int progressBase = multiScan ? 50 : 0;
    const int64_t progressSpan = 100 - progressBase;
    JSAMPROW rows[kRowBatch];
    if (cmyk) {
        // libjpeg has no CMYK to BGR conversion: a few CMYK rows at a time
        // in a buffer of its own pool, then into the picture.
        const bool inverted = cinfo->saw_Adobe_marker;
        JSAMPARRAY buffer = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                                        cinfo->output_width * 4, kRowBatch);
        while (cinfo->output_scanline < cinfo->output_height) {
            const JDIMENSION first = cinfo->output_scanline;
            const JDIMENSION want = std::min<JDIMENSION>(kRowBatch, cinfo->output_height - first);
            const JDIMENSION got = jpeg_read_scanlines(cinfo, buffer, want);
            for (JDIMENSION i = 0; i < got; ++i)
                cmykToBgr(buffer[i], DibRow(out.get(), int32_t(first + i)), cinfo->output_width, inverted);
            reporter.report(progressBase + int(int64_t(cinfo->output_scanline) * progressSpan / height));
        }
    } else {
        while (cinfo->output_scanline < cinfo->output_height) {
            const JDIMENSION first = cinfo->output_scanline;
            const JDIMENSION want = std::min<JDIMENSION>(kRowBatch, cinfo->output_height - first);
            for (JDIMENSION i = 0; i < want; ++i)
                rows[i] = DibRow(out.get(), int32_t(first + i));
            jpeg_read_scanlines(cinfo, rows, want);
            reporter.report(progressBase + int(int64_t(cinfo->output_scanline) * progressSpan / height));
        }
    }
    jpeg_finish_decompress(cinfo);
    // A multi-scan file that ran out between scans would show a coarser
    // picture than it holds.
    if (multiScan && d.source.pastEnd) {
        out.reset();
        return ImageError::Damaged;
    }
    return ImageError::None;
}

bool sniffJpeg(Bytes data)
{
    return data.size() >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

ImageError decodeJpeg(Bytes data, DibGuard& out, const Progress& progress)
{
    out.reset();
    if (!sniffJpeg(data)) {
        // The first bytes of a JPEG file, cut short, or something else.
        const uint8_t start[3] = {0xFF, 0xD8, 0xFF};
        return data.size() < 3 && std::equal(data.begin(), data.end(), start) ? ImageError::Damaged
                                                                              : ImageError::UnknownFormat;
    }
    std::unique_ptr<Decompressor, DestroyDecompressor> d(new (std::nothrow) Decompressor);
    if (!d)
        return ImageError::OutOfMemory;
    installErrorManager(d->err);
    ProgressReporter reporter(progress);
    reporter.report(0);
    const ImageError error = runDecode(*d, data, out, reporter);
    if (error != ImageError::None)
        out.reset();
    else
        reporter.report(100);
    return error;
}

// ---------------------------------------------------------------------------
// Writing

// Appends to the caller's vector, growing it as libjpeg fills it.
struct Destination {
    jpeg_destination_mgr pub;
    std::vector<uint8_t>* out = nullptr;
    size_t start = 0;    // where the file begins in out
    size_t initial = 0;  // first size of the buffer
};

bool growTo(std::vector<uint8_t>& out, size_t size) noexcept
{
    try {
        out.resize(size);
    } catch (...) {
        return false;
    }
    return true;
}

void initDestination(j_compress_ptr cinfo)
{
    auto* dst = reinterpret_cast<Destination*>(cinfo->dest);
    if (!growTo(*dst->out, dst->start + dst->initial))
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
    dst->pub.next_output_byte = dst->out->data() + dst->start;
    dst->pub.free_in_buffer = dst->initial;
}

// Called when the buffer is full.
boolean emptyOutputBuffer(j_compress_ptr cinfo)
{
    auto* dst = reinterpret_cast<Destination*>(cinfo->dest);
    const size_t used = dst->out->size();
    if (!growTo(*dst->out, used + std::max<size_t>(used - dst->start, 4096)))
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 1);
    dst->pub.next_output_byte = dst->out->data() + used;
    dst->pub.free_in_buffer = dst->out->size() - used;
    return TRUE;
}

void termDestination(j_compress_ptr cinfo)
{
    auto* dst = reinterpret_cast<Destination*>(cinfo->dest);
    dst->out->resize(dst->out->size() - dst->pub.free_in_buffer);
}

struct Compressor {
    jpeg_compress_struct cinfo{};
    ErrorManager err{};
    Destination destination{};
    bool created = false;
};

struct DestroyCompressor {
    void operator()(Compressor* c) const
    {
        if (c->created)
            jpeg_destroy_compress(&c->cinfo);
        delete c;
    }
};

// Encodes a 24-bit picture or an 8-bit grey ramp picture; the only place
// that catches libjpeg's jumps while writing.
ImageError runEncode(Compressor& c, const TDibRecord& dib, std::vector<uint8_t>& out, int quality,
                     ProgressReporter& reporter)
{
    j_compress_ptr cinfo = &c.cinfo;
    const size_t start = out.size();
    if (setjmp(c.err.jump)) {
        out.resize(start);
        return errorFor(c.err, ImageError::CannotWrite);
    }

    cinfo->err = &c.err.pub;
    c.created = true; // jpeg_destroy copes with a half-made handle
    jpeg_create_compress(cinfo);

    const bool grey = DibBitCount(dib) == 8;
    const int32_t width = DibWidth(dib), height = DibHeight(dib);
    c.destination.out = &out;
    c.destination.start = start;
    // About the size of a photo at quality 75; grows by doubling.
    c.destination.initial = std::max<size_t>(size_t(width) * size_t(height) * (grey ? 1 : 3) / 16, 4096);
    c.destination.pub.init_destination = initDestination;
    c.destination.pub.empty_output_buffer = emptyOutputBuffer;
    c.destination.pub.term_destination = termDestination;
    cinfo->dest = &c.destination.pub;

    cinfo->image_width = JDIMENSION(width);
    cinfo->image_height = JDIMENSION(height);
    cinfo->input_components = grey ? 1 : 3;
    cinfo->in_color_space = grey ? JCS_GRAYSCALE : JCS_EXT_BGR;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, std::clamp(quality, 1, 100), TRUE);
    cinfo->optimize_coding = FALSE;
    cinfo->dct_method = JDCT_ISLOW;

    jpeg_start_compress(cinfo, TRUE);
    JSAMPROW rows[kRowBatch];
    while (cinfo->next_scanline < cinfo->image_height) {
        const JDIMENSION first = cinfo->next_scanline;
        const JDIMENSION count = std::min<JDIMENSION>(kRowBatch, cinfo->image_height - first);
        for (JDIMENSION i = 0; i < count; ++i)
            rows[i] = DibRow(dib, int32_t(first + i));
        jpeg_write_scanlines(cinfo, rows, count);
        reporter.rows(cinfo->next_scanline, height);
    }
    jpeg_finish_compress(cinfo);
    return ImageError::None;
}

ImageError encodeJpeg(const TDibRecord& dib, std::vector<uint8_t>& out, const EncodeOptions& options,
                      const Progress& progress)
{
    DibGuard converted;
    const TDibRecord* source = &dib;
    const int32_t bitCount = DibBitCount(dib);
    if (bitCount != 24 && !(bitCount == 8 && hasGreyRamp(dib))) {
        if (const ImageError e = convertTo24(dib, converted); e != ImageError::None)
            return e;
        source = &converted.get();
    }
    std::unique_ptr<Compressor, DestroyCompressor> c(new (std::nothrow) Compressor);
    if (!c)
        return ImageError::OutOfMemory;
    installErrorManager(c->err);
    ProgressReporter reporter(progress);
    reporter.report(0);
    return runEncode(*c, *source, out, options.jpegQuality, reporter);
}

} // namespace

const Codec kJpegCodec = {"Jpeg", sniffJpeg, decodeJpeg, encodeJpeg};

} // namespace raster
