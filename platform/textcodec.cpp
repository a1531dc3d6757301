#include "platform/textcodec.h"

#include <array>

namespace platform {

namespace {
// Unicode of the bytes 0x80..0x9F in code page 1252. The five bytes the code
// page leaves unassigned map to the C1 control of the same value, as Windows
// itself converts them, so every byte has a character and back.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char16_t toUnicode(uint8_t byte)
{
    return (byte >= 0x80 && byte <= 0x9F) ? kHigh[byte - 0x80] : char16_t(byte);
}

// The byte of a character, or -1 when code page 1252 has none.
int toByte(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (int i = 0; i < 32; ++i) {
        if (kHigh[size_t(i)] == c)
            return 0x80 + i;
    }
    return -1;
}
} // namespace

bool fitsCp1252(const QString& text)
{
    for (QChar c : text) {
        if (toByte(c.unicode()) < 0)
            return false;
    }
    return true;
}

QByteArray toCp1252(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (QChar c : text) {
        const int b = toByte(c.unicode());
        bytes.append(b < 0 ? '?' : char(b));
    }
    return bytes;
}

QString fromCp1252(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (char b : bytes)
        text.append(QChar(toUnicode(uint8_t(b))));
    return text;
}

bool isValidUtf8(const QByteArray& bytes)
{
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const uint8_t c = p[i];
        int extra = 0;
        uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= n)
            return false;
        for (int k = 1; k <= extra; ++k) {
            const uint8_t cc = p[i + k];
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        // Overlong forms, surrogates and values beyond Unicode are not UTF-8.
        if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

QByteArray encodeFileText(const QString& text)
{
    return fitsCp1252(text) ? toCp1252(text) : text.toUtf8();
}

QString decodeFileText(const QByteArray& bytes)
{
    return isValidUtf8(bytes) ? QString::fromUtf8(bytes) : fromCp1252(bytes);
}

} // namespace platform
