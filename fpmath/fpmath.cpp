#include "fpmath/fpmath.h"

#include <cstdint>
#include <cstring>

namespace fpmath {
namespace {

// A double-double: the unevaluated sum hi + lo, |lo| <= ulp(hi) / 2.
struct DD {
    double hi;
    double lo;
};

// a + b exactly, for any a and b.
DD TwoSum(double a, double b)
{
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

// a + b exactly, for |a| >= |b| (or a == 0).
DD FastTwoSum(double a, double b)
{
    const double s = a + b;
    return {s, b - (s - a)};
}

// a * b exactly (Dekker: each factor split into two 26-bit halves).
DD TwoProduct(double a, double b)
{
    constexpr double kSplit = 134217729.0;  // 2^27 + 1
    const double ta = kSplit * a, tb = kSplit * b;
    const double ah = ta - (ta - a), al = a - ah;
    const double bh = tb - (tb - b), bl = b - bh;
    const double p = a * b;
    return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

DD Add(DD a, DD b)
{
    const DD s = TwoSum(a.hi, b.hi);
    const DD t = TwoSum(a.lo, b.lo);
    DD u = FastTwoSum(s.hi, s.lo + t.hi);
    return FastTwoSum(u.hi, u.lo + t.lo);
}

DD Add(DD a, double b)
{
    const DD s = TwoSum(a.hi, b);
    return FastTwoSum(s.hi, s.lo + a.lo);
}

DD Negate(DD a) { return {-a.hi, -a.lo}; }

DD Multiply(DD a, DD b)
{
    const DD p = TwoProduct(a.hi, b.hi);
    return FastTwoSum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

DD Multiply(DD a, double b)
{
    const DD p = TwoProduct(a.hi, b);
    return FastTwoSum(p.hi, p.lo + a.lo * b);
}

// a / b: a first quotient, then the quotient of what it leaves, twice.
DD Divide(DD a, DD b)
{
    const double q1 = a.hi / b.hi;
    DD rest = Add(a, Negate(Multiply(b, q1)));
    const double q2 = rest.hi / b.hi;
    rest = Add(rest, Negate(Multiply(b, q2)));
    const double q3 = rest.hi / b.hi;
    return Add(FastTwoSum(q1, q2), q3);
}

DD Divide(DD a, double b) { return Divide(a, DD{b, 0.0}); }

// sin(r) = r (1 - r^2/(2*3) (1 - r^2/(4*5) (1 - ...))), for |r| <= about 1:
// 15 terms leave out less than 2^-110 of the value.
DD SinKernel(DD r)
{
    const DD r2 = Multiply(r, r);
    DD acc{1.0, 0.0};
    for (int k = 15; k >= 1; --k) {
        acc = Add(Negate(Divide(Multiply(r2, acc), static_cast<double>((2 * k) * (2 * k + 1)))), 1.0);
    }
    return Multiply(r, acc);
}

// cos(r) = 1 - r^2/(1*2) (1 - r^2/(3*4) (1 - ...)), for |r| <= about 1.
DD CosKernel(DD r)
{
    const DD r2 = Multiply(r, r);
    DD acc{1.0, 0.0};
    for (int k = 15; k >= 1; --k) {
        acc = Add(Negate(Divide(Multiply(r2, acc), static_cast<double>((2 * k - 1) * (2 * k)))), 1.0);
    }
    return acc;
}

// pi/2 as a sum of doubles of 25 significant bits each (the first eight
// such pieces, 200 bits in all): for an integer n < 2^28 every n * piece is
// exact.
constexpr double kPiOver2Pieces[8] = {
    0x1.921fb5p+0,  0x1.110b46p-26, 0x1.1a6263p-54,  0x1.8a2e03p-81,
    0x1.c1cd13p-107, -0x1.bf6c7ep-133, 0x1.14cf99p-160, -0x1.7fbe88p-188,
};
constexpr DD kPiOver2{0x1.921fb54442d18p+0, 0x1.1a62633145c07p-54};
constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;

// The first 1280 bits of 2/pi after the binary point, most significant
// first: enough for the largest double.
constexpr uint32_t kTwoOverPiBits[40] = {
    0xa2f9836e, 0x4e441529, 0xfc2757d1, 0xf534ddc0, 0xdb629599, 0x3c439041, 0xfe5163ab, 0xdebbc561,
    0xb7246e3a, 0x424dd2e0, 0x06492eea, 0x09d1921c, 0xfe1deb1c, 0xb129a73e, 0xe88235f5, 0x2ebb4484,
    0xe99c7026, 0xb45f7e41, 0x3991d639, 0x835339f4, 0x9c845f8b, 0xbdf9283b, 0x1ff897ff, 0xde05980f,
    0xef2f118b, 0x5a0a6d1f, 0x6d367ecf, 0x27cb09b7, 0x4f463f66, 0x9e5fea2d, 0x7527bac7, 0xebe5f17b,
    0x3d0739f7, 0x8a5292ea, 0x6bfb5fb1, 0x1f8d5d08, 0x56033046, 0xfc7b6bab, 0xf0cfbc20, 0x9af4361d,
};

// The bits of a double and back (std::bit_cast is missing from some of the
// standard libraries the program is built with).
uint64_t Bits(double x)
{
    uint64_t u;
    std::memcpy(&u, &x, sizeof u);
    return u;
}

double FromBits(uint64_t u)
{
    double x;
    std::memcpy(&x, &u, sizeof x);
    return x;
}

// 2^k for a normal result.
double Pow2(int k) { return FromBits(static_cast<uint64_t>(1023 + k) << 52); }

// Bit k of 2/pi, the one worth 2^-k (0 for k < 1).
uint32_t TwoOverPiBit(int k)
{
    if (k < 1) return 0;
    const int i = k - 1;
    return (kTwoOverPiBits[i / 32] >> (31 - i % 32)) & 1;
}

// x = n * pi/2 + r with n the quadrant (mod 4) and |r| <= about pi/4.
struct Reduced {
    int quadrant;
    DD r;
};

// For |x| < 2^28 * pi/2: n = round(x * 2/pi), then x - n * pi/2 with every
// product n * piece exact and the first difference exact too.
Reduced ReduceSmall(double x)
{
    constexpr double kRound = 0x1.8p52;  // adding it rounds to an integer
    const double n = (x * kTwoOverPi + kRound) - kRound;
    DD r{x - n * kPiOver2Pieces[0], 0.0};
    for (int i = 1; i < 8; ++i) r = Add(r, -(n * kPiOver2Pieces[i]));
    return {static_cast<int>(static_cast<int64_t>(n) & 3), r};
}

// For larger |x| = M * 2^E (M an integer of 53 bits): x * 2/pi mod 4 from
// the 192 bits of 2/pi that can reach it, as an integer product; the bits
// before those make multiples of 4, the bits after less than 2^-138.
Reduced ReduceLarge(double x)
{
    const uint64_t bits = Bits(x);
    const uint64_t m = (bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1} << 52);
    const int e = static_cast<int>((bits >> 52) & 0x7FF) - 1075;

    // w: bits e-1 .. e+190 of 2/pi as an integer, limbs least significant
    // first, so that M * w / 2^190 is x * 2/pi less a multiple of 4.
    uint32_t w[6] = {};
    for (int b = 0; b < 192; ++b) {
        w[5 - b / 32] |= TwoOverPiBit(e - 1 + b) << (31 - b % 32);
    }
    const uint32_t mLimbs[2] = {static_cast<uint32_t>(m), static_cast<uint32_t>(m >> 32)};
    uint32_t p[8] = {};
    for (int j = 0; j < 2; ++j) {
        uint64_t carry = 0;
        for (int i = 0; i < 6; ++i) {
            const uint64_t t = uint64_t{w[i]} * mLimbs[j] + p[i + j] + carry;
            p[i + j] = static_cast<uint32_t>(t);
            carry = t >> 32;
        }
        p[6 + j] = static_cast<uint32_t>(carry);
    }

    // Bits 190 and 191 of the product are the quadrant, bits below it the
    // fraction; every limb scaled is an exact double.
    int quadrant = static_cast<int>(p[5] >> 30);
    DD f{static_cast<double>(p[5] & 0x3FFFFFFF) * 0x1p-30, 0.0};
    for (int i = 4; i >= 0; --i) f = Add(f, static_cast<double>(p[i]) * Pow2(32 * i - 190));
    if (f.hi >= 0.5) {
        f = Add(f, -1.0);
        quadrant += 1;
    }
    return {quadrant & 3, Multiply(f, kPiOver2)};
}

Reduced Reduce(double x)
{
    const double a = x < 0 ? -x : x;
    if (a < 0x1p28) return ReduceSmall(x);
    Reduced red = ReduceLarge(a);
    if (x < 0) red = {(4 - red.quadrant) & 3, Negate(red.r)};
    return red;
}

bool IsFinite(double x) { return (Bits(x) & 0x7FF0000000000000) != 0x7FF0000000000000; }

double Magnitude(double x) { return x < 0 ? -x : x; }

}  // namespace

double Sin(double x)
{
    if (!IsFinite(x)) return x - x;
    if (Magnitude(x) < 0x1p-27) return x;  // x^3/6 is below half an ulp of x
    const Reduced red = Reduce(x);
    DD v = (red.quadrant & 1) ? CosKernel(red.r) : SinKernel(red.r);
    if (red.quadrant & 2) v = Negate(v);
    return v.hi + v.lo;
}

double Cos(double x)
{
    if (!IsFinite(x)) return x - x;
    if (Magnitude(x) < 0x1p-27) return 1.0;  // x^2/2 is below half an ulp of 1
    const Reduced red = Reduce(x);
    DD v = (red.quadrant & 1) ? SinKernel(red.r) : CosKernel(red.r);
    if (((red.quadrant + 1) & 2) != 0) v = Negate(v);
    return v.hi + v.lo;
}

double Log2(double x)
{
    if (x != x || x < 0) return (x - x) / (x - x);  // NaN
    if (x == 0) return -1.0 / (x * x);            // -infinity
    if (!IsFinite(x)) return x;

    // x = 2^e * m with m in [sqrt(1/2), sqrt(2)); subnormals scaled first.
    int e = 0;
    if (x < 0x1p-1022) {
        x *= 0x1p54;
        e = -54;
    }
    const uint64_t bits = Bits(x);
    e += static_cast<int>(bits >> 52) - 1023;
    double m = FromBits((bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1023} << 52));
    if (m > 0x1.6a09e667f3bcdp+0) {
        m *= 0.5;
        e += 1;
    }
    if (m == 1.0) return static_cast<double>(e);

    // ln(m) = 2 atanh(s), s = (m - 1) / (m + 1), |s| <= 0.172:
    // atanh(s) = s (1 + s^2/3 + s^4/5 + ...), 23 terms leave out < 2^-110.
    const DD s = Divide(DD{m - 1.0, 0.0}, TwoSum(m, 1.0));
    const DD s2 = Multiply(s, s);
    DD acc = Divide(DD{1.0, 0.0}, 45.0);
    for (int k = 21; k >= 0; --k) acc = Add(Multiply(s2, acc), Divide(DD{1.0, 0.0}, static_cast<double>(2 * k + 1)));
    constexpr DD kTwoOverLn2{0x1.71547652b82fep+1, 0x1.777d0ffda0d24p-55};
    const DD log2m = Multiply(Multiply(s, acc), kTwoOverLn2);
    const DD v = Add(log2m, static_cast<double>(e));
    return v.hi + v.lo;
}

}  // namespace fpmath
