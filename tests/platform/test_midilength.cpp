// The MIDI length reader on hand-made files.

#include "platform/midilength.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

namespace {

void be(Bytes& out, uint32_t value, int n)
{
    for (int i = n - 1; i >= 0; --i)
        out.push_back(uint8_t(value >> (8 * i)));
}

void le(Bytes& out, uint32_t value, int n)
{
    for (int i = 0; i < n; ++i)
        out.push_back(uint8_t(value >> (8 * i)));
}

Bytes track(std::initializer_list<uint8_t> events, int claimedExtra = 0)
{
    Bytes out{'M', 'T', 'r', 'k'};
    be(out, uint32_t(events.size() + size_t(claimedExtra)), 4);
    out.insert(out.end(), events);
    return out;
}

Bytes midi(uint16_t division, std::initializer_list<Bytes> tracks, int headerLength = 6)
{
    Bytes out{'M', 'T', 'h', 'd'};
    be(out, uint32_t(headerLength), 4);
    be(out, tracks.size() > 1 ? 1 : 0, 2);
    be(out, uint32_t(tracks.size()), 2);
    be(out, division, 2);
    for (int i = 6; i < headerLength; ++i)
        out.push_back(0);
    for (const Bytes& t : tracks)
        out.insert(out.end(), t.begin(), t.end());
    return out;
}

Bytes rmid(const Bytes& file, bool withData = true)
{
    Bytes out{'R', 'I', 'F', 'F'};
    le(out, uint32_t(4 + 8 + 6 + 8 + file.size()), 4);
    out.insert(out.end(), {'R', 'M', 'I', 'D'});
    out.insert(out.end(), {'L', 'I', 'S', 'T'}); // a chunk before the data, of odd length
    le(out, 5, 4);
    out.insert(out.end(), {'I', 'N', 'F', 'O', 'x', 0});
    out.insert(out.end(), {uint8_t(withData ? 'd' : 'x'), 'a', 't', 'a'});
    le(out, uint32_t(file.size()), 4);
    out.insert(out.end(), file.begin(), file.end());
    return out;
}

Bytes cut(Bytes bytes, size_t size)
{
    bytes.resize(size);
    return bytes;
}

// A quarter note at the default tempo of 120: 96 ticks of 96 per beat.
const Bytes kQuarter = midi(96, {track({0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0, 0x00, 0xFF, 0x2F, 0x00})});

struct Case {
    const char* label;
    Bytes bytes;
    double ms; // -1: no MIDI file
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.label; }

class MidiLength : public testing::TestWithParam<Case> {};

} // namespace

TEST_P(MidiLength, ReadsThePlayingTime)
{
    const Case& c = GetParam();
    EXPECT_DOUBLE_EQ(platform::midiLengthMs(c.bytes.data(), c.bytes.size()), c.ms);
}

INSTANTIATE_TEST_SUITE_P(
    Platform, MidiLength,
    testing::Values(
        Case{"DefaultTempo", kQuarter, 500},
        Case{"TempoChangesOnTheWay",
             // 1 s per beat for the first beat, then 0.25 s for the second.
             midi(96, {track({0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40, 0x00, 0x90, 60, 100, 0x60, 0xFF, 0x51, 0x03,
                              0x03, 0xD0, 0x90, 0x60, 0x80, 60, 0})}),
             1250},
        Case{"ATempoChangeAtTheEndChangesNothing",
             midi(96, {track({0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0}),
                       track({0x81, 0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40})}),
             // the second track's tempo change at tick 128 is its last event
             128 * 500.0 / 96},
        Case{"TheTempoOfTheFirstTrackTimesTheOthers",
             midi(96, {track({0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40, 0x00, 0xFF, 0x2F, 0x00}),
                       track({0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0})}),
             1000},
        Case{"SmpteDivision",
             // 25 frames of 40 ticks per second; the last event at tick 500.
             midi(0xE728, {track({0x83, 0x74, 0x90, 60, 100})}), 500},
        Case{"RunningStatusAndLongDeltas",
             // note on, then two more notes without a status byte; the last
             // delta is written in two bytes (0x81 0x00 = 128).
             midi(96, {track({0x00, 0x90, 60, 100, 0x20, 62, 100, 0x81, 0x00, 64, 100})}), (32 + 128) * 500.0 / 96},
        Case{"SystemExclusiveAndTextAreSkipped",
             midi(96, {track({0x00, 0xF0, 0x03, 0x7E, 0x09, 0xF7, 0x00, 0xFF, 0x01, 0x02, 'h', 'i', 0x60, 0xC0, 5})}),
             500},
        Case{"AProgramChangeHasOneDataByte", midi(96, {track({0x00, 0xC0, 5, 0x60, 0xD0, 7})}), 500},
        Case{"RmidWrapper", rmid(kQuarter), 500},
        Case{"RmidWithoutData", rmid(kQuarter, false), -1},
        Case{"ALongerHeader", midi(96, {track({0x60, 0x90, 60, 100})}, 8), 500},
        Case{"ATrackCutShortCountsToWhereItBreaks",
             // the track claims more bytes than the file has; the note off's
             // delay was read, its data bytes are missing
             cut(midi(96, {track({0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0}, 20)}), 14 + 8 + 6), 500},
        Case{"ANoteWithoutStatusEndsTheTrack", midi(96, {track({0x60, 60, 100, 0x60, 0x90, 60, 100})}), 500},
        Case{"ZeroDivision", midi(0, {track({0x60, 0x90, 60, 100})}), -1},
        Case{"NoTrack", midi(96, {}), -1},
        Case{"AShortHeader", midi(96, {track({0x60, 0x90, 60, 100})}, 4), -1},
        Case{"TruncatedHeader", cut(kQuarter, 12), -1},
        Case{"AWaveFile", Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E', 0, 0}, -1},
        Case{"Empty", Bytes{}, -1}),
    [](const testing::TestParamInfo<Case>& row) { return std::string(row.param.label); });
