#include "fpmath/fpmath.h"

#include <cstdint>
#include <cstring>

#include "fpmath/tables.h"

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

double DoubleDoubleSin(double x)
{
    if (!IsFinite(x)) return x - x;
    if (Magnitude(x) < 0x1p-27) return x;  // x^3/6 is below half an ulp of x
    const Reduced red = Reduce(x);
    DD v = (red.quadrant & 1) ? CosKernel(red.r) : SinKernel(red.r);
    if (red.quadrant & 2) v = Negate(v);
    return v.hi + v.lo;
}

double DoubleDoubleCos(double x)
{
    if (!IsFinite(x)) return x - x;
    if (Magnitude(x) < 0x1p-27) return 1.0;  // x^2/2 is below half an ulp of 1
    const Reduced red = Reduce(x);
    DD v = (red.quadrant & 1) ? SinKernel(red.r) : CosKernel(red.r);
    if (((red.quadrant + 1) & 2) != 0) v = Negate(v);
    return v.hi + v.lo;
}

double DoubleDoubleLog2(double x)
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


// The fast evaluations: plain double arithmetic, no division, an
// approximation h + l of the value f (|l| < 2^-14 |h|) with a proven bound e
// on its error, and a rounding test: when h + (l - e) and h + (l + e) round to
// the same double, so does every value between, f among them (rounding is
// monotonic), and so does the double-double evaluation, whose error (below
// 2^-100 |f|) e covers too. Else the double-double evaluation decides. So the
// results are those of the double-double evaluation alone, bit for bit. The
// bounds below are relative to |f|, with eps = 2^-53 the unit roundoff; e
// also covers the roundings of l - e and l + e (below eps |l| + eps e).
namespace {

// The test: the rounded value of h + l when h + l -+ e round alike.
bool Decided(double h, double l, double e, double* result)
{
    const double low = h + (l - e), high = h + (l + e);
    if (low != high) return false;
    *result = low;
    return true;
}

// sin(x + q pi/2) for 2^-27 <= |x| < 2^20.
//
// Reduction: k = round(x * 512/pi) (within 1/2 + 2^-25 of x * 512/pi, so
// |k| < 2^28), r = x - k pi/512 with |r| <= (pi/1024)(1 + 2^-24) < 2^-8.3.
// Each k * kStep1..3 is exact (28 + 25 bits), and so is x - k kStep1: both
// are multiples of ulp(x) (kStep1 ends at 2^-32, above ulp(x) as |x| < 2^20),
// and the difference, r + k (kStep2 + ...), is less than 2^(E+1) for
// 2^E <= |x| (for k = 1, |x| >= 2^-8.36 and the difference < 2^-8.34). The two
// further differences are held exactly (two-sums); what is left, the error of
// k kStep4 (< 2^-114), the pi/512 left out (< 2^-112) and the two roundings
// of the low part (|low| < 2^-60, < 2^-112 each), is below 2^-110: the error
// of r = rh + rl (|rl| <= ulp(rh)/2 <= 2^-62) is an absolute rho < 2^-110.
//
// Evaluation: with S = sin(j pi/512), C = cos(j pi/512) for j = k mod 256,
// f = A cos r + B sin r, (A, B) = (S, C) for an even quadrant, (C, -S) for an
// odd one (A, B double-doubles from the table, within eps^2 of their value).
// f moves at most pi/1024 from A's angle, so |A| <= 2.0001 |f| (or A = 0) and
// |B r| <= 1.0001 |f|; |Ah| >= |Bh rh| or Ah = 0, so Ah + Bh rh is an exact
// fast two-sum (Bh rh an exact product). With z = rh^2 and
// cos r - 1 = z (-1/2 + z/24 - z^2/720 + z^3/40320) (left out < 2^-94),
// sin r - r = rh z (-1/6 + z/120 - z^2/5040) (left out < 2^-77 |r|),
// the error of l, over |f|:
//   Ah (cos r - 1): 4 eps of |A| r^2/2 < 2^-14.69 |f|         2^-65.7
//   Al (cos r - 1) left out: eps 2^-14.69                     2^-67.7
//   cos r - 1 at rh, not r: |A| 2^-8.3 |rl|                   2^-69.3
//   Bh (sin r - r): 5 eps of |B r| r^2/6 < 2^-17.3 |f|        2^-68.0
//   Bl (sin r - r) left out: eps 2^-17.3                      2^-70.3
//   the last two additions to l (|l| < 2^-14.5 |f|)           2^-67.5, 2^-70.3
//   the terms of the series left out, the products of low
//   parts and their roundings                                 < 2^-76
// in all < 2^-64.7 |f|, plus rho (absolute): e = 2^-64 |h| + 2^-105 covers
// it with the double-double's error and the test's own roundings.
bool SinOfQuadrant(double x, int q, double* result)
{
    const double a = Magnitude(x);
    if (!(a >= 0x1p-27 && a < 0x1p20)) return false;

    constexpr double kRound = 0x1.8p52;  // adding it rounds to an integer
    const double kd = (x * tables::kOverStep + kRound) - kRound;
    const double y1 = x - kd * tables::kStep1;
    const DD y2 = TwoSum(y1, -(kd * tables::kStep2));
    const DD y3 = TwoSum(y2.hi, -(kd * tables::kStep3));
    const DD r = TwoSum(y3.hi, (y2.lo + y3.lo) - kd * tables::kStep4);

    const int64_t k = static_cast<int64_t>(kd);
    const int j = static_cast<int>(k & 255);
    const int quadrant = static_cast<int>((k >> 8) + q) & 3;
    const int odd = quadrant & 1;
    const double* tA = tables::kSin[odd ? 256 - j : j];
    const double* tB = tables::kSin[odd ? j : 256 - j];
    const double sign = odd ? -1.0 : 1.0;
    const double ah = tA[0], al = tA[1], bh = sign * tB[0], bl = sign * tB[1];

    const double z = r.hi * r.hi;
    const double cosm1 = z * (-0.5 + z * (1.0 / 24 + z * (-1.0 / 720 + z * (1.0 / 40320))));
    const double sinmr = (z * r.hi) * (-1.0 / 6 + z * (1.0 / 120 + z * (-1.0 / 5040)));
    const DD p = TwoProduct(bh, r.hi);
    const DD h = FastTwoSum(ah, p.hi);
    const double small = (((h.lo + p.lo) + al) + bl * r.hi) + bh * r.lo;
    const double l = (small + bh * sinmr) + ah * cosm1;
    if (!Decided(h.hi, l, 0x1p-64 * Magnitude(h.hi) + 0x1p-105, result)) return false;
    if (quadrant & 2) *result = -*result;
    return true;
}

}  // namespace

bool FastSin(double x, double* result) { return SinOfQuadrant(x, 0, result); }

bool FastCos(double x, double* result) { return SinOfQuadrant(x, 1, result); }

// log2(x) for x > 0 finite: x = 2^e m, m in [1, 2), i = round((m - 1) 256),
// c = kLogC[i], u = m c - 1 (|u| < 2^-8.41), and
// log2(x) = e - log2(c) + log2(1 + u).
//
// u is a double (a multiple of 2^-61 below 2^-8) and comes exactly: with mh
// the top 44 bits of m, mh c (53 bits), (m - mh) c (18 bits) and mh c - 1
// (Sterbenz) are exact, and so is their sum. log2(1 + u) = v / ln 2 +
// u^3 P(u), v = u - u^2/2 held as a double-double (uh^2 exact for uh the top
// 26 bits of u, the rest of u^2 within 2^-75 u^2), P the series from u^3 to
// u^8 (left out < 2^-70.4 |u|). The table's intervals give |u| < 0.701 |f|
// (fpmath-tables checks it; where e - log2(c) = 0, f = log2(1 + u) >
// 1.44 |u|). The error of l, over |u|:
//   u^3 P(u), |u^3 P| < 2^-17.8 |u|: 6 eps (u^3 2, P 3, product 1)  2^-68.2
//   its addition to l                                           2^-70.8
//   the series left out                                         2^-70.4
//   low parts' products, v's and the table's errors             < 2^-90
// in all < 2^-67.5 |u| < 2^-68 |f|: e = 2^-66 |h| covers it with the
// double-double's error and the test's roundings. e - log2(c) is an exact
// fast two-sum (|log2 c| <= 1 <= |e| or e = 0), and so is its sum with
// v / ln 2's high part: that is 0 or more than |u| / ln 2 (fpmath-tables).
bool FastLog2(double x, double* result)
{
    if (!(x > 0) || !IsFinite(x)) return false;
    int e = 0;
    if (x < 0x1p-1022) {
        x *= 0x1p54;
        e = -54;
    }
    constexpr uint64_t kFraction = (uint64_t{1} << 52) - 1;
    const uint64_t bits = Bits(x);
    e += static_cast<int>(bits >> 52) - 1023;
    if ((bits & kFraction) == 0) {
        *result = static_cast<double>(e);
        return true;
    }
    const uint64_t mBits = (bits & kFraction) | (uint64_t{1023} << 52);
    const double m = FromBits(mBits), mh = FromBits(mBits & ~uint64_t{0x1FF});
    const int i = static_cast<int>(((bits & kFraction) + (uint64_t{1} << 43)) >> 44);
    const double c = tables::kLogC[i];
    const double u = (mh * c - 1.0) + (m - mh) * c;

    constexpr double kSplit = 134217729.0;  // 2^27 + 1
    const double t = kSplit * u;
    const double uh = t - (t - u), ul = u - uh;
    const double u2 = uh * uh, u2l = (uh + uh + ul) * ul;
    const DD v = FastTwoSum(u, -0.5 * u2);
    const double vl = v.lo - 0.5 * u2l;

    const double* q = tables::kLogPoly;
    const double z = u * u;
    const double poly = ((q[0] + q[1] * u) + z * (q[2] + q[3] * u)) + (z * z) * (q[4] + q[5] * u);
    const double cube = (z * u) * poly;

    const DD p = TwoProduct(v.hi, tables::kInvLn2Hi);
    const double low = (p.lo + v.hi * tables::kInvLn2Lo) + vl * tables::kInvLn2Hi;
    const DD s = FastTwoSum(static_cast<double>(e), tables::kLog[i][0]);
    const DD h = FastTwoSum(s.hi, p.hi);
    const double l = (((h.lo + s.lo) + tables::kLog[i][1]) + low) + cube;
    return Decided(h.hi, l, 0x1p-66 * Magnitude(h.hi), result);
}

double Sin(double x)
{
    double v;
    return FastSin(x, &v) ? v : DoubleDoubleSin(x);
}

double Cos(double x)
{
    double v;
    return FastCos(x, &v) ? v : DoubleDoubleCos(x);
}

double Log2(double x)
{
    double v;
    return FastLog2(x, &v) ? v : DoubleDoubleLog2(x);
}

}  // namespace fpmath
