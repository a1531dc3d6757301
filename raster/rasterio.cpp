#include "raster/rasterio.h"

#include "platform/messages.h"
#include "platform/palette.h"
#include "platform/paths.h"
#include "raster/codec.h"
#include "raster/testhooks.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include <sys/mman.h>

namespace raster {

namespace {
std::atomic<int> g_liveImages{0};
std::atomic<uint64_t> g_allocationLimit{UINT64_MAX};
int g_jpegQuality = 75;

void* allocate(size_t bytes)
{
    if (bytes > g_allocationLimit.load())
        return nullptr;
    return std::calloc(1, bytes);
}

// Big pictures are mostly written once from top to bottom right after they
// are made. Huge pages spare the kernel a page fault for every 4 KB, which
// on virtual machines costs more than decoding the picture. Only the part of
// the block that covers whole huge pages is marked; the hint is harmless
// where the kernel does not take it.
void adviseHugePages(uint8_t* bits, uint64_t size)
{
#ifdef MADV_HUGEPAGE
    constexpr uintptr_t kHugePage = uintptr_t(2) << 20;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(bits) + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(bits) + size) & ~(kHugePage - 1);
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)bits;
    (void)size;
#endif
}

void postProgress(QObject* window, int percent)
{
    platform::SendMessage(window, platform::WM_USER, percent);
}
} // namespace

void setAllocationLimitForTest(uint64_t bytes)
{
    g_allocationLimit = bytes;
}

int liveImageCount()
{
    return g_liveImages.load();
}

void newdib(TDibRecord* out, int32_t width, int32_t height, int32_t bitCount,
            const BITMAPINFO* colours, int32_t entryCount)
{
    *out = TDibRecord{};
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24)
        return;
    if (checkImageSize(width, height, bitCount) != ImageError::None)
        return;

    const int32_t tableSize = bitCount <= 8 ? (1 << bitCount) : 0;
    const uint64_t stride = dibStride(uint64_t(width), uint32_t(bitCount));
    const uint64_t sizeImage = stride * uint64_t(height);

    auto* info = static_cast<BITMAPINFO*>(
        allocate(sizeof(BITMAPINFOHEADER) + sizeof(RGBQUAD) * size_t(std::max(tableSize, 1))));
    if (!info)
        return;
    auto* bits = static_cast<uint8_t*>(allocate(size_t(sizeImage)));
    if (!bits) {
        std::free(info);
        return;
    }

    adviseHugePages(bits, sizeImage);

    BITMAPINFOHEADER& h = info->bmiHeader;
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = uint16_t(bitCount);
    h.biCompression = platform::BI_RGB;
    h.biSizeImage = uint32_t(sizeImage);

    out->Info = info;
    out->Bits = bits;
    out->BytesPerRow = int32_t(stride);
    out->LogPal.palVersion = 0x300;
    out->LogPal.palNumEntries = uint16_t(tableSize);

    if (tableSize > 0) {
        const int32_t given = colours ? std::clamp(entryCount, 0, tableSize) : 0;
        for (int32_t i = 0; i < tableSize; ++i) {
            RGBQUAD q{};
            if (i < given) {
                q = colours->bmiColors[i];
            } else if (!colours) {
                const auto grey = uint8_t(i * 255 / (tableSize - 1));
                q = RGBQUAD{grey, grey, grey, 0};
            }
            q.rgbReserved = 0;
            info->bmiColors[i] = q;
            out->LogPal.palPalEntry[i] = {q.rgbRed, q.rgbGreen, q.rgbBlue, 0};
        }
        out->Palette = platform::CreatePalette(out->LogPal);
        out->HasPalette = 1;
    }
    ++g_liveImages;
}

void deldib(TDibRecord& dib)
{
    if (dib.Bits)
        --g_liveImages;
    std::free(dib.Bits);
    std::free(dib.Info);
    platform::DeletePalette(dib.Palette);
    dib = TDibRecord{};
}

namespace {
// The lowest format number whose decoder is codec (0 for none): JPEG files
// answer 7 and not 8, BMP, DIB and RLE files all 3.
int lowestFormatOf(const Codec* codec)
{
    for (int format = FormatBMP; codec && format <= FormatPNG; ++format) {
        if (codecForFormat(format) == codec)
            return format;
    }
    return 0;
}

void openDib(TDibRecord* out, const QString& fileName, int format, QObject* progressWindow, OpenedFile* opened)
{
    *out = TDibRecord{};
    if (opened)
        *opened = OpenedFile{};
    auto fail = [out](ImageError error) { SetDibErrorText(*out, imageErrorText(error)); };

    const QFileInfo info(fileName);
    if (!info.exists()) {
        fail(ImageError::FileMissing);
        return;
    }
    QFile file(fileName);
    if (info.isDir() || !file.open(QIODevice::ReadOnly)) {
        fail(ImageError::CannotRead);
        return;
    }
    const qint64 size = file.size();
    if (size <= 0) {
        fail(ImageError::Damaged);
        return;
    }

    // Map the file where possible; read it otherwise (pipes, odd file systems).
    QByteArray readBytes;
    const uchar* data = file.map(0, size);
    if (!data) {
        readBytes = file.readAll();
        if (readBytes.size() != size) {
            fail(ImageError::CannotRead);
            return;
        }
        data = reinterpret_cast<const uchar*>(readBytes.constData());
    }

    postProgress(progressWindow, 0);
    Progress progress;
    if (progressWindow)
        progress = [progressWindow](int percent) { postProgress(progressWindow, percent); };

    DibGuard image;
    const Bytes bytes(data, size_t(size));
    const ImageError error = decodeImage(bytes, format, image, progress);
    if (error != ImageError::None) {
        fail(error);
    } else {
        if (opened) {
            // The decoder that read it: the one asked for, or the one the
            // content chose (decodeImage chose it the same way).
            opened->Format = lowestFormatOf(format == FormatAuto ? codecForContent(bytes) : codecForFormat(format));
            if (opened->Format == FormatJIF || opened->Format == FormatGIF) {
                try {
                    opened->Bytes.assign(bytes.begin(), bytes.end());
                } catch (const std::bad_alloc&) {
                    opened->Bytes.clear(); // the picture is read; only its bytes are not kept
                }
            }
        }
        *out = image.release();
    }
    postProgress(progressWindow, 100);
}
} // namespace

void OpenDib(TDibRecord* out, const QString& fileName, int format, QObject* progressWindow)
{
    openDib(out, fileName, format, progressWindow, nullptr);
}

void OpenDib(TDibRecord* out, const QString& fileName, int format, QObject* progressWindow, OpenedFile& opened)
{
    openDib(out, fileName, format, progressWindow, &opened);
}

int SaveDib(const TDibRecord& dib, const QString& fileName, int format, QObject* progressWindow)
{
    if (!dib.Bits)
        return 0;
    postProgress(progressWindow, 0);
    Progress progress;
    if (progressWindow)
        progress = [progressWindow](int percent) { postProgress(progressWindow, percent); };

    EncodeOptions options;
    options.format = format;
    options.jpegQuality = g_jpegQuality;
    std::vector<uint8_t> bytes;
    if (encodeImage(dib, format, bytes, options, progress) != ImageError::None)
        return 0;

    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return 0;
    if (file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())) != qint64(bytes.size())) {
        file.cancelWriting();
        return 0;
    }
    if (!file.commit())
        return 0;
    postProgress(progressWindow, 100);
    return 1;
}

void SetJPEGQual(int quality)
{
    g_jpegQuality = std::clamp(quality, 1, 99);
}

int JPEGQual()
{
    return g_jpegQuality;
}

namespace {
struct FilterEntry {
    const char* text;
    const char* pattern;
};

// Entry k is format k + 2.
constexpr FilterEntry kSaveFormats[] = {
    {"Windows-Bitmap", "*.bmp"},
    {"Geräteunabhängige Bitmap", "*.dib"},
    {"CompuServe GIF", "*.gif"},
    {"Amiga IFF", "*.iff"},
    {"JPEG-Bild (JFIF)", "*.jif"},
    {"JPEG-Bild", "*.jpg *.jpeg"},
    {"Deluxe Paint LBM", "*.lbm"},
    {"ZSoft Paintbrush PCX", "*.pcx"},
    {"RLE-komprimierte Bitmap", "*.rle"},
    {"Truevision Targa", "*.tga"},
    {"TIFF-Bild", "*.tif *.tiff"},
};
constexpr FilterEntry kPng = {"PNG-Bild", "*.png"};

QString filterItem(const FilterEntry& e)
{
    return QString::fromUtf8(e.text) + QStringLiteral(" (") + QString::fromUtf8(e.pattern) + QChar(')');
}
} // namespace

QString GetDIBOpenFilter()
{
    QStringList patterns;
    QStringList items;
    for (const auto& e : kSaveFormats) {
        patterns << QString::fromUtf8(e.pattern);
        items << filterItem(e);
    }
    patterns << QString::fromUtf8(kPng.pattern);
    items << filterItem(kPng);
    items.prepend(QStringLiteral("Alle Bilddateien (") + patterns.join(QChar(' ')) + QChar(')'));
    items << QStringLiteral("Alle Dateien (*)");
    return items.join(QStringLiteral(";;"));
}

QString GetDIBSaveFilter()
{
    QStringList items;
    for (const auto& e : kSaveFormats)
        items << filterItem(e);
    return items.join(QStringLiteral(";;"));
}

int FormatFromExtension(const QString& fileName)
{
    const QString ext = platform::ExtractFileExt(fileName).toLower();
    static const std::pair<const char*, int> table[] = {
        {".bmp", FormatBMP}, {".dib", FormatDIB}, {".gif", FormatGIF}, {".iff", FormatIFF},
        {".jif", FormatJIF}, {".jpg", FormatJPG}, {".jpeg", FormatJPG}, {".lbm", FormatLBM},
        {".pcx", FormatPCX}, {".rle", FormatRLE}, {".tga", FormatTGA}, {".tif", FormatTIF},
        {".tiff", FormatTIF}, {".png", FormatPNG},
    };
    for (const auto& [e, format] : table) {
        if (ext == QLatin1String(e))
            return format;
    }
    return 0;
}

uint32_t getpixel(const TDibRecord& dib, int32_t x, int32_t y)
{
    if (!dib.Bits || x < 0 || y < 0 || x >= DibWidth(dib) || y >= DibHeight(dib))
        return 0;
    const uint8_t* row = DibRow(dib, y);
    switch (DibBitCount(dib)) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    case 4: return (x & 1) ? (row[x >> 1] & 0x0Fu) : (row[x >> 1] >> 4);
    case 8: return row[x];
    case 24: {
        const uint8_t* p = row + ptrdiff_t(x) * 3;
        return platform::RGB(p[2], p[1], p[0]);
    }
    default: return 0;
    }
}

void setpixel(const TDibRecord& dib, int32_t x, int32_t y, uint32_t value)
{
    if (!dib.Bits || x < 0 || y < 0 || x >= DibWidth(dib) || y >= DibHeight(dib))
        return;
    uint8_t* row = DibRow(dib, y);
    switch (DibBitCount(dib)) {
    case 1: {
        const auto mask = uint8_t(0x80 >> (x & 7));
        row[x >> 3] = (value & 1u) ? (row[x >> 3] | mask) : (row[x >> 3] & ~mask);
        break;
    }
    case 4: {
        uint8_t& b = row[x >> 1];
        b = (x & 1) ? uint8_t((b & 0xF0) | (value & 0x0F)) : uint8_t((b & 0x0F) | ((value & 0x0F) << 4));
        break;
    }
    case 8: row[x] = uint8_t(value); break;
    case 24: {
        uint8_t* p = row + ptrdiff_t(x) * 3;
        p[0] = platform::GetBValue(value);
        p[1] = platform::GetGValue(value);
        p[2] = platform::GetRValue(value);
        break;
    }
    default: break;
    }
}

double power(double base, double exponent)
{
    if (exponent == 0.0)
        return 1.0;
    if (base == 0.0)
        return exponent > 0.0 ? 0.0 : HUGE_VAL;
    return std::pow(base, exponent);
}

} // namespace raster
