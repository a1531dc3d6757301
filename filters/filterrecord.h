#pragma once
// The filter record: one 5 x 5 integer kernel with its divisor and bias,
// shared by the image editor's convolution commands, the user-defined
// filters kept in UserFilt.dat and the retouch view's effect table.
//
// The record has the same 624-byte layout in memory and in UserFilt.dat:
//   0    divisor (never 0 in a record that is applied)
//   4    bias, added after the division
//   8    25 coefficients; element i belongs to matrix column i / 5 and
//        matrix row i % 5 (column by column, each column top to bottom)
//   108  name, 257 bytes, NUL-terminated when shorter (user filters)
//   365  caption, 257 bytes (retouch effects only)
//   622  two unused bytes
// Matrix row r (0 = top) and column c (0 = left) weight the source pixel
// at (x + c - 2, y + r - 2), rows counted from the top of the picture.

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

class QByteArray;

namespace filters {

struct TFilterRecord {
    int32_t Divisor = 1;
    int32_t Bias = 0;
    int32_t Matrix[25]{};
    char Name[257]{};
    char Caption[257]{};
    uint8_t Unused[2]{};

    // The weight of matrix row r and column c (both 0..4).
    int32_t at(int r, int c) const { return Matrix[c * 5 + r]; }
    void set(int r, int c, int32_t value) { Matrix[c * 5 + r] = value; }
};

static_assert(sizeof(TFilterRecord) == 624);
static_assert(offsetof(TFilterRecord, Divisor) == 0);
static_assert(offsetof(TFilterRecord, Bias) == 4);
static_assert(offsetof(TFilterRecord, Matrix) == 8);
static_assert(offsetof(TFilterRecord, Name) == 108);
static_assert(offsetof(TFilterRecord, Caption) == 365);
static_assert(offsetof(TFilterRecord, Unused) == 622);

// A record from its matrix given row by row from the top. A 3 x 3 matrix
// (9 values) becomes the centre of the 5 x 5 one with a border of zeros;
// 25 values fill the whole matrix.
TFilterRecord makeFilterRecord(std::span<const int32_t> rowsTopToBottom, int32_t divisor, int32_t bias,
                               const char* caption = "");

// The name and caption as text (at most 257 bytes, file text encoding).
QString filterName(const TFilterRecord& record);
QString filterCaption(const TFilterRecord& record);
// Stores text as the name, cut to the 257 bytes of the field.
void setFilterName(TFilterRecord& record, const QString& name);

// The convolution commands of the image editor's menu, by menu item name.
struct BuiltInFilter {
    const char* item;    // menu item name, e.g. "StarkSoften1"
    const char* caption; // menu text, e.g. "Stark W&eichzeichnen"
    TFilterRecord record;
    bool invertAfter;    // "&Konturen zeichnen": edges, then the colours inverted
};

// The twelve, in menu order.
std::span<const BuiltInFilter> builtInFilters();
// The entry of a menu item name; nullptr when there is none.
const BuiltInFilter* findBuiltInFilter(const QString& item);

// The retouch view's fourteen effects, each with its caption and an empty
// name, in menu order.
std::span<const TFilterRecord> retouchEffects();

// UserFilt.dat: magic, record count N, N records.
constexpr int32_t kUserFilterMagic = 0x00051F3B;
constexpr const char* kUserFilterFile = "UserFilt.dat";

// The records of a UserFilt.dat image. A foreign magic or a file shorter
// than its header gives no records; a file shorter than its count declares
// gives the records that are complete. Never reads past the end of bytes.
std::vector<TFilterRecord> parseUserFilters(const QByteArray& bytes);
// The bytes of a UserFilt.dat holding records in list order. The caption
// and unused fields are written as zeros: user filters do not use them.
QByteArray serializeUserFilters(std::span<const TFilterRecord> records);

// Reads the file; a missing or unreadable file gives an empty list.
std::vector<TFilterRecord> readUserFilters(const QString& path);
// Creates the file anew with the records; false when it cannot be written.
bool writeUserFilters(const QString& path, std::span<const TFilterRecord> records);

} // namespace filters
