#include "platform/textcodec.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(TextCodec, WritesCodePage1252WhenEveryCharacterFits)
{
    struct Case {
        const char* text; // UTF-8 source
        QByteArray bytes; // what is stored
    };
    const Case cases[] = {
        {"Urlaub", "Urlaub"},
        {"Müller Größe", QByteArray("M\xFCller Gr\xF6\xDF" "e")},
        {"5 € – „Zitat“", QByteArray("5 \x80 \x96 \x84Zitat\x93")},
        {"Łódź", QByteArray("\xC5\x81\xC3\xB3\x64\xC5\xBA")}, // Ł does not fit: UTF-8
    };
    for (const auto& c : cases) {
        const QString text = QString::fromUtf8(c.text);
        EXPECT_EQ(encodeFileText(text), c.bytes) << c.text;
        EXPECT_EQ(decodeFileText(c.bytes), text) << c.text;
    }
}

TEST(TextCodec, ReadsValidUtf8AsUtf8AndAnythingElseAs1252)
{
    EXPECT_EQ(decodeFileText(QByteArray("\xC3\xBC")), QString::fromUtf8("ü"));
    EXPECT_EQ(decodeFileText(QByteArray("\xFC")), QString::fromUtf8("ü"));
    // Truncated, overlong and surrogate sequences are not UTF-8.
    EXPECT_EQ(decodeFileText(QByteArray("ab\xC3")), QString::fromUtf8("abÃ"));
    EXPECT_FALSE(isValidUtf8(QByteArray("\xC0\xAF")));
    EXPECT_FALSE(isValidUtf8(QByteArray("\xED\xA0\x80")));
    EXPECT_TRUE(isValidUtf8(QByteArray("\xF0\x9F\x98\x80")));
}

TEST(TextCodec, EveryByteOfTheCodePageRoundTrips)
{
    QByteArray all;
    for (int b = 1; b < 256; ++b)
        all.append(char(b));
    const QString text = fromCp1252(all);
    ASSERT_EQ(text.size(), 255);
    EXPECT_EQ(text[0x80 - 1], QChar(0x20AC));
    EXPECT_EQ(text[0x9F - 1], QChar(0x0178));
    EXPECT_EQ(text[0x81 - 1], QChar(0x0081));
    EXPECT_TRUE(fitsCp1252(text));
    EXPECT_EQ(toCp1252(text), all);
}
