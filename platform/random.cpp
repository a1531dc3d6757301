#include "platform/random.h"

#include <QDateTime>
#include <QTime>

namespace platform {

uint32_t RandSeed = 0;

namespace {
inline void nextSeed()
{
    RandSeed = RandSeed * 134775813u + 1u;
}
} // namespace

int32_t Random(int32_t n)
{
    nextSeed();
    return int32_t((uint64_t(RandSeed) * uint64_t(uint32_t(n))) >> 32);
}

double RandomFloat()
{
    nextSeed();
    return double(RandSeed) / 4294967296.0;
}

void Randomize()
{
    const QTime t = QDateTime::currentDateTimeUtc().time();
    RandSeed = uint32_t(((t.hour() * 60 + t.minute()) * 60 + t.second()) * 1000 + t.msec());
}

} // namespace platform
