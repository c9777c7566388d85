// The elementary functions the show's frames depend on, computed with only
// +, -, * and / on doubles and bit manipulation, so that every IEEE-754
// platform (glibc, MinGW, emscripten's musl) gives the same bits: the C
// libraries' sin, cos and log2 differ from each other in the last bit for
// some arguments.
//
// Each is evaluated in double-double arithmetic (about 100 bits) and then
// rounded once, so the result is the correctly rounded value except where
// the exact value lies within about 2^-100 of the midpoint between two
// doubles. A fast evaluation in plain double arithmetic, with a bound on its
// error, comes first: when the bound decides the rounding its result is that
// value (so it is the double-double's too), and only when it does not (about
// one argument in a thousand or fewer) does the double-double evaluation
// run. Needs round-to-nearest and no contraction into fused multiply-adds
// (the build passes -ffp-contract=off).
#pragma once

namespace fpmath {

// Sine and cosine of x in radians, for every finite x: below 2^28 the
// argument is reduced by pi/2 held to 200 bits, every product exact; beyond,
// by the bits of 2/pi that reach the fraction of x * 2/pi, as an integer
// product. Infinite or NaN x gives NaN.
double Sin(double x);
double Cos(double x);

// Base-2 logarithm: exact for powers of two, -infinity for zero, NaN for
// negative x or NaN, infinity for infinity.
double Log2(double x);

// The two evaluations the functions are made of, for the suites to hold one
// to the other. The fast ones give the correctly rounded value and true when
// their error bound decides the rounding, false when it does not or the
// argument is out of their range (sine and cosine: 2^-27 <= |x| < 2^20;
// base-2 logarithm: positive finite x).
bool FastSin(double x, double* result);
bool FastCos(double x, double* result);
bool FastLog2(double x, double* result);
// The double-double evaluations, for every argument.
double DoubleDoubleSin(double x);
double DoubleDoubleCos(double x);
double DoubleDoubleLog2(double x);

}  // namespace fpmath
