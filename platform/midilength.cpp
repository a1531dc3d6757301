#include "platform/midilength.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace platform {

namespace {

class MidiReader {
public:
    MidiReader(const uint8_t* bytes, size_t size) : m_data(bytes), m_size(size) {}

    double durationMs()
    {
        size_t pos = 0;
        size_t end = m_size;
        // A RIFF "RMID" file wraps the standard file in its "data" chunk.
        if (end >= 12 && std::memcmp(m_data, "RIFF", 4) == 0 && std::memcmp(m_data + 8, "RMID", 4) == 0) {
            pos = 12;
            bool found = false;
            while (pos + 8 <= end) {
                const size_t len = le32(pos + 4);
                if (std::memcmp(m_data + pos, "data", 4) == 0) {
                    end = std::min(end, pos + 8 + len);
                    pos += 8;
                    found = true;
                    break;
                }
                pos += 8 + len + (len & 1);
            }
            if (!found)
                return -1;
        }
        if (pos + 14 > end || std::memcmp(m_data + pos, "MThd", 4) != 0)
            return -1;
        const size_t headerLen = be32(pos + 4);
        if (headerLen < 6 || headerLen > end - pos - 8)
            return -1;
        const unsigned tracks = be16(pos + 10);
        const unsigned division = be16(pos + 12);
        if (division == 0)
            return -1;
        pos += 8 + headerLen;

        uint64_t lastTick = 0;
        unsigned seen = 0;
        while (seen < tracks && pos + 8 <= end) {
            const size_t len = be32(pos + 4);
            const bool isTrack = std::memcmp(m_data + pos, "MTrk", 4) == 0;
            pos += 8;
            const size_t trackEnd = len > end - pos ? end : pos + len;
            if (isTrack) {
                lastTick = std::max(lastTick, readTrack(pos, trackEnd));
                ++seen;
            }
            pos = trackEnd;
        }
        if (seen == 0)
            return -1;

        if (division & 0x8000) { // frames per second and ticks per frame
            const int fps = -int(int8_t(division >> 8));
            const int perFrame = int(division & 0xFF);
            return fps > 0 && perFrame > 0 ? double(lastTick) * 1000.0 / (fps * perFrame) : -1;
        }
        std::sort(m_tempos.begin(), m_tempos.end());
        double ms = 0;
        uint64_t tick = 0;
        uint32_t usPerBeat = 500000;
        for (const auto& [at, tempo] : m_tempos) {
            if (at >= lastTick)
                break;
            ms += double(at - tick) * usPerBeat / 1000.0 / division;
            tick = at;
            usPerBeat = tempo;
        }
        return ms + double(lastTick - tick) * usPerBeat / 1000.0 / division;
    }

private:
    uint32_t be32(size_t at) const
    {
        return uint32_t(m_data[at]) << 24 | uint32_t(m_data[at + 1]) << 16 | uint32_t(m_data[at + 2]) << 8 | m_data[at + 3];
    }
    uint32_t le32(size_t at) const
    {
        return uint32_t(m_data[at + 3]) << 24 | uint32_t(m_data[at + 2]) << 16 | uint32_t(m_data[at + 1]) << 8 | m_data[at];
    }
    unsigned be16(size_t at) const { return unsigned(m_data[at]) << 8 | m_data[at + 1]; }

    // A variable-length number; false when the track ends inside it.
    bool varLen(size_t& pos, size_t end, uint32_t& value) const
    {
        value = 0;
        for (int i = 0; i < 4; ++i) {
            if (pos >= end)
                return false;
            const uint8_t b = m_data[pos++];
            value = (value << 7) | (b & 0x7F);
            if (!(b & 0x80))
                return true;
        }
        return false;
    }

    // The tick of the track's last event; tempo changes go to m_tempos.
    uint64_t readTrack(size_t pos, size_t end)
    {
        uint64_t tick = 0;
        uint8_t running = 0;
        while (pos < end) {
            uint32_t delta = 0;
            if (!varLen(pos, end, delta) || pos >= end)
                break;
            tick += delta;
            uint8_t status = m_data[pos];
            if (status & 0x80)
                ++pos;
            else if (running)
                status = running;
            else
                break;
            if (status == 0xFF) {
                if (pos >= end)
                    break;
                const uint8_t type = m_data[pos++];
                uint32_t len = 0;
                if (!varLen(pos, end, len) || len > end - pos)
                    break;
                if (type == 0x51 && len == 3)
                    m_tempos.emplace_back(tick, uint32_t(m_data[pos]) << 16 | uint32_t(m_data[pos + 1]) << 8 | m_data[pos + 2]);
                pos += len;
                if (type == 0x2F)
                    break;
            } else if (status == 0xF0 || status == 0xF7) {
                uint32_t len = 0;
                if (!varLen(pos, end, len) || len > end - pos)
                    break;
                pos += len;
            } else if (status >= 0xF0) {
                break; // no other system message belongs in a file
            } else {
                running = status;
                const size_t size = (status & 0xE0) == 0xC0 ? 1 : 2;
                if (size > end - pos)
                    break;
                pos += size;
            }
        }
        return tick;
    }

    const uint8_t* m_data;
    size_t m_size;
    std::vector<std::pair<uint64_t, uint32_t>> m_tempos;
};

} // namespace

double midiLengthMs(const uint8_t* bytes, size_t size)
{
    if (!bytes || !looksLikeMidi(bytes, size))
        return -1;
    return MidiReader(bytes, size).durationMs();
}

bool looksLikeMidi(const uint8_t* bytes, size_t size)
{
    if (!bytes || size < 4)
        return false;
    if (std::memcmp(bytes, "MThd", 4) == 0)
        return true;
    return size >= 12 && std::memcmp(bytes, "RIFF", 4) == 0 && std::memcmp(bytes + 8, "RMID", 4) == 0;
}

} // namespace platform
