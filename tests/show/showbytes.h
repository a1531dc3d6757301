#pragma once
// Show files assembled byte by byte, field by field, the way the file
// format lays them out, for tests that check what the reader and the writer
// make of them.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <utility>
#include <vector>

namespace testutil {

class ShowBytes {
public:
    ShowBytes& raw(const QByteArray& b)
    {
        m_bytes.append(b);
        return *this;
    }
    ShowBytes& i32(int32_t v)
    {
        const uint32_t u = uint32_t(v);
        const char b[4] = {char(u), char(u >> 8), char(u >> 16), char(u >> 24)};
        m_bytes.append(b, 4);
        return *this;
    }
    ShowBytes& u8(uint8_t v)
    {
        m_bytes.append(char(v));
        return *this;
    }
    // A length-prefixed string of the given bytes (already encoded).
    ShowBytes& str(const QByteArray& b)
    {
        i32(int32_t(b.size()));
        return raw(b);
    }
    ShowBytes& header(const QByteArray& music, int32_t endMode, int32_t fullScreen, int32_t playBar, int32_t count)
    {
        raw("KOR-VAN Lumivox 3.0").i32(0).str(music);
        return i32(endMode).i32(fullScreen).i32(playBar).i32(count);
    }
    const QByteArray& bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

// The settings of one slide block, with the values of a new slide.
struct SlideFields {
    QByteArray fileName, comment, soundFile;
    uint8_t commentVisible = 1, pictureVisible = 1;
    int32_t effect = 0, sizeMode = 0, transTime = 1000, pauseTime = 3000, textPosition = 1, placement = 0;
    uint32_t backColor = 0, borderColor = 0;
    uint8_t keepAspect = 1, textBorder = 1;
    int32_t soundMode = 1;
    uint8_t collageMember = 0;
    int32_t frame[4] = {0, 0, 1000, 1000};
    int32_t userSize = 100, userPicX = 0, userPicY = 0, userTextX = 0, userTextY = 0;
    std::vector<std::pair<int32_t, int32_t>> nodes;
    uint8_t pictureFormat = 0;
    QByteArray picture;
    // font block
    uint8_t charset = 0;
    uint32_t color = 0xFFFFFF;
    QByteArray fontName = "Arial";
    uint8_t pitch = 0;
    int32_t pixelsPerInch = 96, size = 11;
    uint8_t style = 1;
};

inline ShowBytes& slideBlock(ShowBytes& b, const SlideFields& s)
{
    b.str(s.fileName).str(s.comment).str(s.soundFile);
    b.u8(s.commentVisible).u8(s.pictureVisible);
    b.i32(s.effect).i32(s.sizeMode).i32(s.transTime).i32(s.pauseTime).i32(s.textPosition).i32(s.placement);
    b.i32(int32_t(s.backColor)).i32(int32_t(s.borderColor));
    b.u8(s.keepAspect).u8(s.textBorder).i32(s.soundMode).u8(s.collageMember);
    for (int32_t v : s.frame)
        b.i32(v);
    b.i32(s.userSize).i32(s.userPicX).i32(s.userPicY).i32(s.userTextX).i32(s.userTextY);
    b.i32(int32_t(s.nodes.size()));
    for (const auto& [x, y] : s.nodes)
        b.i32(x).i32(y);
    b.u8(s.pictureFormat).str(s.picture);
    b.u8(s.charset).i32(int32_t(s.color)).u8(uint8_t(s.fontName.size())).raw(s.fontName);
    return b.u8(s.pitch).i32(s.pixelsPerInch).i32(s.size).u8(s.style);
}

} // namespace testutil
