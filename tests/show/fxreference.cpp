#include "tests/show/fxreference.h"

#include "platform/random.h"
#include "raster/rasterio.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>

namespace fxref {

namespace {

using raster::TDibRecord;
using platform::Random;

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// The quantities of one call.
struct Q {
    int32_t W, H, e, T, L;
    int32_t pw, ph, K, J, cx, cy, N, Rg, Rs, Qr, m, s, t, K1, J1;
    double theta;
    int32_t gx[20], gy[20], G[40];
};

// Row y counted from the bottom: the storage order.
uint8_t* pixel(const TDibRecord& dib, int32_t x, int32_t y)
{
    return dib.Bits + size_t(y) * size_t(dib.BytesPerRow) + size_t(x) * 3;
}

int32_t roundHalfEven(double v)
{
    return int32_t(std::nearbyint(v));
}

// ArcCos(v) as ArcTan2(sqrt(1 - v^2), v).
double arcCos(double v)
{
    return std::atan2(std::sqrt(1.0 - v * v), v);
}

bool curtain(int32_t p, int32_t q, int32_t L)
{
    const int32_t v = std::abs(p * q);
    return (int32_t(std::trunc(std::sqrt(double(v)))) % 1024) < L;
}

bool cond20(const Q& q, int32_t x, int32_t y)
{
    return (x - q.J) % q.ph < q.J && (y - q.K) % q.pw < q.K;
}

// The second number is drawn only when the first part holds.
bool cond21(const Q& q, int32_t x, int32_t y)
{
    if ((Random(q.J) + x) % q.ph < q.J)
        return (Random(q.K) + y) % q.pw < q.K;
    return false;
}

bool region(const Q& q, int32_t corner, int32_t x, int32_t y)
{
    switch (corner) {
    case 0: return x / q.ph <= q.m && 20 - y / q.pw <= q.m;
    case 1: return 20 - x / q.ph <= q.m && 20 - y / q.pw <= q.m;
    case 2: return x / q.ph <= q.m && y / q.pw <= q.m;
    default: return 20 - x / q.ph <= q.m && y / q.pw <= q.m;
    }
}

bool takesNew(const Q& q, int32_t k, int32_t x, int32_t y)
{
    const int32_t W = q.W, H = q.H, L = q.L;
    switch (k) {
    case 2: return x < (W * L) >> 10;
    case 3: return W - x < (W * L) >> 10;
    case 4: return H - y < (H * L) >> 10;
    case 5: return y < (H * L) >> 10;
    case 6: return curtain(x - q.cx, H - y, L);
    case 7: return curtain(y - q.cy, x, L);
    case 8: return curtain(x - q.cx, y - q.cy, L);
    case 9: return curtain(y - q.cy, W - x, L);
    case 10: return curtain(x - q.cx, y, L);
    case 12:
        for (int32_t i = 0; i < 20; ++i)
            if (q.gx[i] <= y && y <= q.gx[i] + q.K)
                return true;
        return false;
    case 13:
        for (int32_t i = 0; i < 20; ++i)
            if (q.gy[i] <= x && x <= q.gy[i] + q.J)
                return true;
        return false;
    case 14:
        for (int32_t i = 0; i < 20; ++i)
            if (q.gx[i] + q.pw - q.K <= y && y <= q.gx[i] + q.pw)
                return true;
        return false;
    case 15:
        for (int32_t i = 0; i < 20; ++i)
            if (q.gy[i] + q.ph - q.J <= x && x <= q.gy[i] + q.ph)
                return true;
        return false;
    case 16:
        for (int32_t i = 0; i <= q.J1 - 1; ++i)
            if (q.G[39 - i] <= y && y <= q.G[39 - i] + q.s)
                return true;
        if (q.K1 >= 41)
            for (int32_t i = 0; i <= q.K1 - 41; ++i)
                if (q.G[i] + q.s <= y && y <= q.G[i] + q.t)
                    return true;
        return false;
    case 17:
        for (int32_t i = 0; i <= q.J1 - 1; ++i)
            if (q.G[i] <= y && y <= q.G[i] + q.s)
                return true;
        if (q.K1 >= 41)
            for (int32_t i = 0; i <= q.K1 - 41; ++i)
                if (q.G[39 - i] + q.s <= y && y <= q.G[39 - i] + q.t)
                    return true;
        return false;
    case 18: {
        const int32_t h = int32_t(uint32_t(q.K1) >> 1);
        for (int32_t i = 0; i <= h - 1; ++i)
            if (q.G[i] <= y && y <= q.G[i] + q.s)
                return true;
        for (int32_t i = 0; i <= h - 1; ++i)
            if (q.G[39 - i] + q.s <= y && y <= q.G[39 - i] + q.t)
                return true;
        return false;
    }
    case 19:
        return ((q.J >> 1) + x) % q.ph < q.J && ((q.K >> 1) + y) % q.pw < q.K;
    case 20: return cond20(q, x, y);
    case 21: return cond21(q, x, y);
    case 22:
    case 23:
    case 24:
    case 25: return region(q, k - 22, x, y) && cond20(q, x, y);
    case 26:
    case 27:
    case 28:
    case 29: return region(q, k - 26, x, y) && cond21(q, x, y);
    default: break;
    }

    const int32_t dx = x - q.cx, dy = y - q.cy;
    const int32_t sum = dx * dx + dy * dy;
    const double d = std::sqrt(double(sum));
    switch (k) {
    case 30: return q.Rs < d;
    case 31: return q.Rg > d;
    case 32: {
        const int32_t r = roundHalfEven(d);
        const int32_t w = (q.Qr * L) >> 11;
        for (int32_t j = 0; j <= 3; ++j) {
            const int32_t c = j * q.Qr + (q.Qr >> 1);
            if (c - w <= r && r < c + w)
                return true;
        }
        return false;
    }
    case 33: {
        if (d == 0)
            return false;
        const double a = arcCos(double(dy) / d);
        return dx >= 0 ? a < q.theta : kTwoPi - a < q.theta;
    }
    case 34: {
        if (d == 0)
            return false;
        const double a = arcCos(double(dy) / d);
        return a / 2 < q.theta;
    }
    case 35:
    case 36: {
        const int32_t r = roundHalfEven(d);
        if (r == 0)
            return false;
        double a = arcCos(double(dy) / double(r));
        if (k == 36)
            a = std::nearbyint(a);
        if (dx < 0)
            a = kTwoPi - a;
        return double(L) > a * 360.0 / kTwoPi + double(r % 1024);
    }
    default: return false;
    }
}

} // namespace

void referenceDofx(TDibRecord& out, const TDibRecord& oldPic, const TDibRecord& newPic, int32_t elapsed,
                   int32_t duration, int32_t effect)
{
    const int32_t W = raster::DibWidth(oldPic), H = raster::DibHeight(oldPic);
    if (!out.Bits || !oldPic.Bits || !newPic.Bits || raster::DibBitCount(oldPic) != 24 ||
        raster::DibBitCount(newPic) != 24 || raster::DibBitCount(out) != 24 || raster::DibWidth(newPic) != W ||
        raster::DibHeight(newPic) != H || raster::DibWidth(out) != W || raster::DibHeight(out) != H)
        return;

    Q q{};
    q.W = W;
    q.H = H;
    q.T = std::max(duration, 1);
    q.e = std::clamp(elapsed, 0, q.T);
    // The products with the elapsed time are formed wide, so that long
    // transitions cannot overflow; the quotients fit.
    const int64_t e = q.e, T = q.T;
    q.L = int32_t(e * 1024 / T);
    q.pw = W / 20;
    q.ph = H / 20;
    q.K = int32_t(q.pw * e / T);
    q.J = int32_t(q.ph * e / T);
    for (int32_t i = 0; i < 20; ++i) {
        q.gx[i] = i * q.pw;
        q.gy[i] = i * q.ph;
    }
    q.cx = int32_t(uint32_t(W) >> 1);
    q.cy = int32_t(uint32_t(H) >> 1);
    q.N = roundHalfEven(0.8 * double(std::max(W, H)));
    q.Rg = int32_t(q.N * e / T);
    q.Rs = int32_t((T - e) * q.N / T);
    q.Qr = int32_t(uint32_t(q.N) >> 2);
    q.theta = double(q.e) * kTwoPi / double(q.T);
    q.m = int32_t(uint32_t(q.L * 20) >> 10);
    q.s = H / 80;
    q.t = H / 40;
    q.K1 = int32_t(uint32_t(q.L * 80) >> 10);
    q.J1 = std::min(q.K1, 40);
    for (int32_t i = 0; i < 40; ++i)
        q.G[i] = i * q.t;

    for (int32_t y = 0; y < H; ++y)
        std::memcpy(pixel(out, 0, y), pixel(oldPic, 0, y), size_t(W) * 3);

    const int32_t k = effect;
    if (k < 1 || k > 36)
        return;
    if (k >= 19 && k <= 29 && (q.pw == 0 || q.ph == 0))
        return;

    if (k == 1) {
        for (int32_t y = 0; y < H; ++y) {
            const uint8_t* a = pixel(oldPic, 0, y);
            const uint8_t* b = pixel(newPic, 0, y);
            uint8_t* o = pixel(out, 0, y);
            for (int32_t i = 0; i < W * 3; ++i)
                o[i] = uint8_t((a[i] * (1024 - q.L) + b[i] * q.L) >> 10);
        }
        return;
    }
    if (k == 11) {
        const int32_t zw = int32_t(int64_t(W) * e / T), zh = int32_t(int64_t(H) * e / T);
        const int32_t x0 = (W - zw) / 2, y0 = (H - zh) / 2;
        if (zw == 0 || zh == 0)
            return;
        for (int32_t y = y0; y <= y0 + zh - 1; ++y)
            for (int32_t x = x0; x <= x0 + zw - 1; ++x) {
                const int32_t sx = int32_t(int64_t(x - x0) * W / zw);
                const int32_t sy = int32_t(int64_t(y - y0) * H / zh);
                std::memcpy(pixel(out, x, y), pixel(newPic, sx, sy), 3);
            }
        return;
    }
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x)
            if (takesNew(q, k, x, y))
                std::memcpy(pixel(out, x, y), pixel(newPic, x, y), 3);
}

} // namespace fxref
