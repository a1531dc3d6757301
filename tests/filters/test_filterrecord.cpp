#include "filters/convolve.h"
#include "filters/filterrecord.h"
#include "raster/rasterio.h"
#include "tests/testutil.h"

#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <cstring>

using namespace filters;

namespace {

int32_t int32At(const QByteArray& bytes, qsizetype offset)
{
    return qFromLittleEndian<int32_t>(bytes.constData() + offset);
}

TFilterRecord userRecord(const QString& name, int32_t divisor, int32_t bias, int32_t seed)
{
    TFilterRecord rec;
    rec.Divisor = divisor;
    rec.Bias = bias;
    for (int i = 0; i < 25; ++i)
        rec.Matrix[i] = seed * 100 + i - 12;
    setFilterName(rec, name);
    return rec;
}

void expectSameRecord(const TFilterRecord& a, const TFilterRecord& b)
{
    EXPECT_EQ(a.Divisor, b.Divisor);
    EXPECT_EQ(a.Bias, b.Bias);
    EXPECT_EQ(std::memcmp(a.Matrix, b.Matrix, sizeof a.Matrix), 0);
    EXPECT_EQ(filterName(a), filterName(b));
}

} // namespace

TEST(FilterRecord, FileBytesFollowTheRecordLayout)
{
    TFilterRecord rec;
    rec.Divisor = 0x01020304;
    rec.Bias = -2;
    rec.set(1, 3, 7); // matrix row 1, column 3: element 3 * 5 + 1 = 16
    setFilterName(rec, QStringLiteral("Kanten"));
    std::memcpy(rec.Caption, "egal", 5);
    const QByteArray bytes = serializeUserFilters(std::vector<TFilterRecord>{rec});

    ASSERT_EQ(bytes.size(), 8 + 624);
    EXPECT_EQ(bytes.left(4), QByteArray("\x3B\x1F\x05\x00", 4));
    EXPECT_EQ(int32At(bytes, 4), 1);
    EXPECT_EQ(bytes.mid(8, 4), QByteArray("\x04\x03\x02\x01", 4));
    EXPECT_EQ(int32At(bytes, 12), -2);
    for (int i = 0; i < 25; ++i)
        EXPECT_EQ(int32At(bytes, 16 + 4 * i), i == 16 ? 7 : 0) << "element " << i;
    EXPECT_EQ(bytes.mid(8 + 108, 7), QByteArray("Kanten\0", 7));
    // Caption and unused bytes are written as zeros.
    EXPECT_EQ(bytes.mid(8 + 365, 259), QByteArray(259, '\0'));
}

TEST(FilterRecord, UserFiltersSurviveAWriteAndARead)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("UserFilt.dat");
    const std::vector<TFilterRecord> records{
        userRecord(QStringLiteral("Schärfer"), 3, -40, 1),
        userRecord(QStringLiteral("Häkchen ✓"), -7, 1 << 20, 2), // not code page 1252: UTF-8
        userRecord(QString(300, QLatin1Char('n')), 1, 0, 3),     // fills the field, no NUL
    };
    ASSERT_TRUE(writeUserFilters(file, records));
    const auto back = readUserFilters(file);
    ASSERT_EQ(back.size(), records.size());
    for (size_t i = 0; i < records.size(); ++i)
        expectSameRecord(back[i], records[i]);
    EXPECT_EQ(filterName(back[0]), QStringLiteral("Schärfer"));
    EXPECT_EQ(filterName(back[1]), QStringLiteral("Häkchen ✓"));
    EXPECT_EQ(filterName(back[2]), QString(257, QLatin1Char('n')));

    // A file claiming far more records than it holds gives those it holds.
    QByteArray claimsMore = testutil::readFile(file);
    qToLittleEndian<int32_t>(INT32_MAX, claimsMore.data() + 4);
    testutil::writeFile(file, claimsMore.left(claimsMore.size() - 10));
    EXPECT_EQ(readUserFilters(file).size(), 2u);

    // The file is created anew: fewer records leave no trace of the old ones.
    ASSERT_TRUE(writeUserFilters(file, std::vector<TFilterRecord>{}));
    EXPECT_EQ(testutil::readFile(file).size(), 8);
    EXPECT_TRUE(readUserFilters(file).empty());

    EXPECT_FALSE(writeUserFilters(dir.filePath("fehlt/UserFilt.dat"), records));
    EXPECT_TRUE(readUserFilters(dir.filePath("fehlt.dat")).empty());
}

TEST(FilterRecord, ShortAndForeignFilesGiveTheCompleteRecords)
{
    std::vector<TFilterRecord> three;
    for (int i = 0; i < 3; ++i)
        three.push_back(userRecord(QStringLiteral("F%1").arg(i), i + 1, 0, i));
    const QByteArray full = serializeUserFilters(three);
    auto withCount = [&full](int32_t count) {
        QByteArray b = full;
        qToLittleEndian<int32_t>(count, b.data() + 4);
        return b;
    };
    QByteArray foreign = full;
    foreign[0] = 0x3C;

    struct Case {
        const char* what;
        QByteArray bytes;
        size_t records;
    };
    const Case cases[] = {
        {"empty", {}, 0},
        {"magic only", full.left(4), 0},
        {"header only", full.left(8), 0},
        {"complete", full, 3},
        {"cut inside the third record", full.left(8 + 2 * 624 + 300), 2},
        {"cut one byte short", full.left(full.size() - 1), 2},
        {"count below the records", withCount(1), 1},
        {"count above the records", withCount(1000000), 3},
        {"negative count", withCount(-1), 0},
        {"foreign magic", foreign, 0},
    };
    for (const auto& c : cases) {
        // An exact-size copy, so a read past its end is caught.
        const QByteArray exact(c.bytes.constData(), c.bytes.size());
        const auto records = parseUserFilters(exact);
        ASSERT_EQ(records.size(), c.records) << c.what;
        for (size_t i = 0; i < records.size(); ++i)
            expectSameRecord(records[i], three[i]);
    }
}

TEST(FilterRecord, MenuCommandsAndEffectsCarryTheirTexts)
{
    struct Item {
        const char* item;
        const char* caption;
        int32_t divisor, bias;
    };
    const Item menu[] = {
        {"Eckenhervorheben1", "&Ecken hervorheben", 1, 0},
        {"Eckenfinden1", "Ecken &finden", 1, 0},
        {"HorizontaleEckenfinden1", "&Horizontale Ecken finden", 1, 0},
        {"VertikaleEckenfinden1", "&Vertikale Ecken finden", 1, 0},
        {"Konturenzeichnen1", "&Konturen zeichnen", 1, 0},
        {"SchwachWeichzeichnen1", "Schwach We&ichzeichnen", 5, 0},
        {"Soften1", "&Weichzeichnen", 9, 0},
        {"StarkSoften1", "Stark W&eichzeichnen", 25, 0},
        {"Sharpen1", "&Schärfen", 12, 0},
        {"StarkSchrfen1", "Stark Sch&ärfen", 36, 0},
        {"Emboss1", "Emboss &Horizontal", 1, 128},
        {"EmbossVertikal1", "Emboss &Vertikal", 1, 128},
    };
    const auto builtIns = builtInFilters();
    ASSERT_EQ(builtIns.size(), std::size(menu));
    for (size_t i = 0; i < builtIns.size(); ++i) {
        EXPECT_STREQ(builtIns[i].item, menu[i].item);
        EXPECT_STREQ(builtIns[i].caption, menu[i].caption);
        EXPECT_EQ(builtIns[i].record.Divisor, menu[i].divisor) << menu[i].item;
        EXPECT_EQ(builtIns[i].record.Bias, menu[i].bias) << menu[i].item;
        EXPECT_EQ(builtIns[i].invertAfter, i == 4) << menu[i].item;
        EXPECT_EQ(findBuiltInFilter(QString::fromLatin1(menu[i].item)), &builtIns[i]);
    }
    EXPECT_EQ(findBuiltInFilter(QStringLiteral("Weichzeichnen")), nullptr);

    const QStringList captions{"Weichzeichnen",     "Schwach Weichzeichnen",   "Stark Weichzeichnen",
                               "Schärfen",          "Stark Schärfen",          "Grease",
                               "Lithograph",        "Psychdist",               "Ecken hervorheben",
                               "Ecken finden",      "Ecken horizontal finden", "Ecken vertikal finden",
                               "Emboss",            "Emboss vertikal"};
    const auto effects = retouchEffects();
    ASSERT_EQ(effects.size(), size_t(captions.size()));
    for (size_t i = 0; i < effects.size(); ++i) {
        EXPECT_EQ(filterCaption(effects[i]), captions[qsizetype(i)]);
        EXPECT_TRUE(filterName(effects[i]).isEmpty());
    }
}

TEST(FilterRecord, EffectKernelsAnswerAnImpulseWithTheirMatrix)
{
    // A single pixel of value 1 in the middle of a black 5 x 5 picture: pixel
    // (x, y) then receives the weight of matrix row 4 - y, column 4 - x. With
    // divisor 1 and bias 128 the picture shows the matrix point-mirrored.
    struct Effect {
        int32_t divisor, bias;
        std::vector<int32_t> rows; // top to bottom; 9 values for a 3 x 3 centre
    };
    const std::vector<int32_t> soften{1, 1, 1, 1, 1, 1, 1, 1, 1};
    const std::vector<int32_t> horizontal{-1, 0, 1, -1, 0, 1, -1, 0, 1};
    const std::vector<int32_t> vertical{-1, -1, -1, 0, 0, 0, 1, 1, 1};
    const Effect effects[] = {
        {9, 0, soften},
        {5, 0, {0, 1, 0, 1, 1, 1, 0, 1, 0}},
        {25, 0, std::vector<int32_t>(25, 1)},
        {12, 0, {-1, -1, -1, -1, 20, -1, -1, -1, -1}},
        {36, 0, {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 60, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1}},
        {1, 0, {1, 1, 1, 1, -7, 1, 1, 1, 1}},
        {1, 0, {-1, -1, -1, -1, -1, -1, -10, -10, -10, -1, -1, -10, 98, -10, -1, -1, -10, -10, -10, -1, -1, -1, -1, -1, -1}},
        {1, 0, {0, -1, -2, -3, -4, 0, -1, 3, 2, 1, 0, -1, 10, 2, 1, 0, -1, 3, 2, 1, 0, -1, -2, -3, -4}},
        {1, 0, {-1, -1, -1, -1, 9, -1, -1, -1, -1}},
        {1, 0, {-1, -1, -1, -1, 8, -1, -1, -1, -1}},
        {1, 0, horizontal},
        {1, 0, vertical},
        {1, 128, horizontal},
        {1, 128, vertical},
    };
    const auto table = retouchEffects();
    ASSERT_EQ(table.size(), std::size(effects));
    for (size_t e = 0; e < table.size(); ++e) {
        EXPECT_EQ(table[e].Divisor, effects[e].divisor) << "effect " << e;
        EXPECT_EQ(table[e].Bias, effects[e].bias) << "effect " << e;
        std::vector<int32_t> matrix(25, 0);
        const int n = effects[e].rows.size() == 9 ? 3 : 5;
        for (int r = 0; r < n; ++r) {
            for (int c = 0; c < n; ++c)
                matrix[size_t((r + (5 - n) / 2) * 5 + c + (5 - n) / 2)] = effects[e].rows[size_t(r * n + c)];
        }
        raster::DibGuard image;
        raster::newdib(image.out(), 5, 5, 24, nullptr, 0);
        raster::setpixel(image.get(), 2, 2, platform::RGB(1, 1, 1));
        TFilterRecord probe = table[e];
        probe.Divisor = 1;
        probe.Bias = 128;
        ASSERT_EQ(DibFilter(image.get(), probe, {}), FilterOutcome::Filtered);
        for (int y = 0; y < 5; ++y) {
            for (int x = 0; x < 5; ++x) {
                const uint32_t v = raster::getpixel(image.get(), x, y) & 0xFF;
                EXPECT_EQ(int32_t(v), 128 + matrix[size_t((4 - y) * 5 + (4 - x))])
                    << "effect " << e << " at " << x << "," << y;
            }
        }
    }
}
