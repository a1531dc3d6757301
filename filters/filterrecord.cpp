#include "filters/filterrecord.h"

#include "platform/textcodec.h"

#include <QByteArray>
#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace filters {

namespace {

QString fieldText(const char* field, size_t size)
{
    return platform::decodeFileText(QByteArray(field, qsizetype(strnlen(field, size))));
}

void setFieldText(char* field, size_t size, const char* text)
{
    std::memset(field, 0, size);
    std::memcpy(field, text, std::min(size, std::strlen(text)));
}

// The kernels of the menu and the effect table, rows top to bottom.
constexpr int32_t kSoften3[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
constexpr int32_t kSoftenWeak3[9] = {0, 1, 0, 1, 1, 1, 0, 1, 0};
constexpr int32_t kSharpen3[9] = {-1, -1, -1, -1, 20, -1, -1, -1, -1};
constexpr int32_t kEnhanceEdges3[9] = {-1, -1, -1, -1, 9, -1, -1, -1, -1};
constexpr int32_t kFindEdges3[9] = {-1, -1, -1, -1, 8, -1, -1, -1, -1};
constexpr int32_t kHorizontalEdges3[9] = {-1, 0, 1, -1, 0, 1, -1, 0, 1};
constexpr int32_t kVerticalEdges3[9] = {-1, -1, -1, 0, 0, 0, 1, 1, 1};
constexpr int32_t kGrease3[9] = {1, 1, 1, 1, -7, 1, 1, 1, 1};
constexpr int32_t kSoften5[25] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
constexpr int32_t kSharpen5[25] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 60,
                                   -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
constexpr int32_t kLithograph5[25] = {-1, -1,  -1,  -1,  -1, -1, -10, -10, -10, -1, -1, -10, 98,
                                      -10, -1, -1, -10, -10, -10, -1, -1, -1,  -1,  -1,  -1};
constexpr int32_t kPsychdist5[25] = {0, -1, -2, -3, -4, 0, -1, 3, 2, 1, 0, -1, 10,
                                     2, 1,  0,  -1, 3,  2, 1, 0, -1, -2, -3, -4};

std::vector<BuiltInFilter> makeBuiltIns()
{
    return {
        {"Eckenhervorheben1", "&Ecken hervorheben", makeFilterRecord(kEnhanceEdges3, 1, 0), false},
        {"Eckenfinden1", "Ecken &finden", makeFilterRecord(kFindEdges3, 1, 0), false},
        {"HorizontaleEckenfinden1", "&Horizontale Ecken finden", makeFilterRecord(kHorizontalEdges3, 1, 0), false},
        {"VertikaleEckenfinden1", "&Vertikale Ecken finden", makeFilterRecord(kVerticalEdges3, 1, 0), false},
        {"Konturenzeichnen1", "&Konturen zeichnen", makeFilterRecord(kFindEdges3, 1, 0), true},
        {"SchwachWeichzeichnen1", "Schwach We&ichzeichnen", makeFilterRecord(kSoftenWeak3, 5, 0), false},
        {"Soften1", "&Weichzeichnen", makeFilterRecord(kSoften3, 9, 0), false},
        {"StarkSoften1", "Stark W&eichzeichnen", makeFilterRecord(kSoften5, 25, 0), false},
        {"Sharpen1", "&Schärfen", makeFilterRecord(kSharpen3, 12, 0), false},
        {"StarkSchrfen1", "Stark Sch&ärfen", makeFilterRecord(kSharpen5, 36, 0), false},
        {"Emboss1", "Emboss &Horizontal", makeFilterRecord(kHorizontalEdges3, 1, 128), false},
        {"EmbossVertikal1", "Emboss &Vertikal", makeFilterRecord(kVerticalEdges3, 1, 128), false},
    };
}

std::vector<TFilterRecord> makeEffects()
{
    // Captions are stored in the file text encoding, as names are.
    auto rec = [](std::span<const int32_t> m, int32_t divisor, int32_t bias, const char* caption) {
        const QByteArray text = platform::encodeFileText(QString::fromUtf8(caption));
        return makeFilterRecord(m, divisor, bias, text.constData());
    };
    return {
        rec(kSoften3, 9, 0, "Weichzeichnen"),
        rec(kSoftenWeak3, 5, 0, "Schwach Weichzeichnen"),
        rec(kSoften5, 25, 0, "Stark Weichzeichnen"),
        rec(kSharpen3, 12, 0, "Schärfen"),
        rec(kSharpen5, 36, 0, "Stark Schärfen"),
        rec(kGrease3, 1, 0, "Grease"),
        rec(kLithograph5, 1, 0, "Lithograph"),
        rec(kPsychdist5, 1, 0, "Psychdist"),
        rec(kEnhanceEdges3, 1, 0, "Ecken hervorheben"),
        rec(kFindEdges3, 1, 0, "Ecken finden"),
        rec(kHorizontalEdges3, 1, 0, "Ecken horizontal finden"),
        rec(kVerticalEdges3, 1, 0, "Ecken vertikal finden"),
        rec(kHorizontalEdges3, 1, 128, "Emboss"),
        rec(kVerticalEdges3, 1, 128, "Emboss vertikal"),
    };
}

int32_t readInt32(const char* p)
{
    return qFromLittleEndian<int32_t>(p);
}

void appendInt32(QByteArray& out, int32_t value)
{
    char bytes[4];
    qToLittleEndian<int32_t>(value, bytes);
    out.append(bytes, 4);
}

constexpr qsizetype kRecordSize = qsizetype(sizeof(TFilterRecord));

} // namespace

TFilterRecord makeFilterRecord(std::span<const int32_t> rows, int32_t divisor, int32_t bias, const char* caption)
{
    TFilterRecord record;
    record.Divisor = divisor;
    record.Bias = bias;
    const int size = rows.size() == 9 ? 3 : 5;
    const int offset = (5 - size) / 2;
    for (int r = 0; r < size && size_t(r * size) < rows.size(); ++r) {
        for (int c = 0; c < size; ++c)
            record.set(r + offset, c + offset, rows[size_t(r * size + c)]);
    }
    setFieldText(record.Caption, sizeof(record.Caption), caption);
    return record;
}

QString filterName(const TFilterRecord& record)
{
    return fieldText(record.Name, sizeof(record.Name));
}

QString filterCaption(const TFilterRecord& record)
{
    return fieldText(record.Caption, sizeof(record.Caption));
}

void setFilterName(TFilterRecord& record, const QString& name)
{
    const QByteArray bytes = platform::encodeFileText(name);
    qsizetype n = std::min<qsizetype>(bytes.size(), qsizetype(sizeof(record.Name)));
    // A UTF-8 name is cut on a character boundary.
    if (n < bytes.size() && platform::isValidUtf8(bytes)) {
        while (n > 0 && (uint8_t(bytes[n]) & 0xC0) == 0x80)
            --n;
    }
    std::memset(record.Name, 0, sizeof(record.Name));
    std::memcpy(record.Name, bytes.constData(), size_t(n));
}

std::span<const BuiltInFilter> builtInFilters()
{
    static const std::vector<BuiltInFilter> table = makeBuiltIns();
    return table;
}

const BuiltInFilter* findBuiltInFilter(const QString& item)
{
    for (const auto& f : builtInFilters()) {
        if (item == QLatin1String(f.item))
            return &f;
    }
    return nullptr;
}

std::span<const TFilterRecord> retouchEffects()
{
    static const std::vector<TFilterRecord> table = makeEffects();
    return table;
}

std::vector<TFilterRecord> parseUserFilters(const QByteArray& bytes)
{
    std::vector<TFilterRecord> records;
    if (bytes.size() < 8 || readInt32(bytes.constData()) != kUserFilterMagic)
        return records;
    const int32_t count = readInt32(bytes.constData() + 4);
    const qsizetype complete = (bytes.size() - 8) / kRecordSize;
    const qsizetype n = std::min<qsizetype>(std::max<int32_t>(count, 0), complete);
    records.reserve(size_t(n));
    for (qsizetype i = 0; i < n; ++i) {
        const char* p = bytes.constData() + 8 + i * kRecordSize;
        TFilterRecord record;
        record.Divisor = readInt32(p);
        record.Bias = readInt32(p + 4);
        for (int k = 0; k < 25; ++k)
            record.Matrix[k] = readInt32(p + 8 + 4 * k);
        std::memcpy(record.Name, p + offsetof(TFilterRecord, Name), sizeof(record.Name));
        std::memcpy(record.Caption, p + offsetof(TFilterRecord, Caption), sizeof(record.Caption));
        std::memcpy(record.Unused, p + offsetof(TFilterRecord, Unused), sizeof(record.Unused));
        records.push_back(record);
    }
    return records;
}

QByteArray serializeUserFilters(std::span<const TFilterRecord> records)
{
    QByteArray out;
    out.reserve(8 + qsizetype(records.size()) * kRecordSize);
    appendInt32(out, kUserFilterMagic);
    appendInt32(out, int32_t(records.size()));
    for (const auto& record : records) {
        appendInt32(out, record.Divisor);
        appendInt32(out, record.Bias);
        for (int32_t v : record.Matrix)
            appendInt32(out, v);
        out.append(record.Name, sizeof(record.Name));
        out.append(qsizetype(sizeof(record.Caption) + sizeof(record.Unused)), '\0');
    }
    return out;
}

std::vector<TFilterRecord> readUserFilters(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // No more than the header declares is read, in pieces, so neither a
    // large foreign file nor a count far beyond the file costs memory.
    QByteArray bytes = file.read(8);
    if (bytes.size() < 8 || readInt32(bytes.constData()) != kUserFilterMagic)
        return {};
    int64_t wanted = int64_t(std::max<int32_t>(readInt32(bytes.constData() + 4), 0)) * kRecordSize;
    constexpr int64_t kPiece = 64 * kRecordSize;
    while (wanted > 0) {
        const QByteArray piece = file.read(std::min(wanted, kPiece));
        if (piece.isEmpty())
            break;
        bytes += piece;
        wanted -= piece.size();
    }
    return parseUserFilters(bytes);
}

bool writeUserFilters(const QString& path, std::span<const TFilterRecord> records)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray bytes = serializeUserFilters(records);
    const bool written = file.write(bytes) == bytes.size();
    file.close();
    return written && file.error() == QFileDevice::NoError;
}

} // namespace filters
