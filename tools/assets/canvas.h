// Small floating-point painting kit for the asset generator: RGB images,
// coverage maps, colours, hashing noise and a few shapes. Everything here is
// plain arithmetic with a fixed evaluation order, so a run always gives the
// same pixels.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace gen {

constexpr double kPi = 3.14159265358979323846;

struct Rgb {
    float r = 0, g = 0, b = 0;
};

inline Rgb Hex(uint32_t v)
{
    return {((v >> 16) & 255) / 255.0f, ((v >> 8) & 255) / 255.0f, (v & 255) / 255.0f};
}
inline Rgb operator+(Rgb a, Rgb b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
inline Rgb operator*(Rgb a, float k) { return {a.r * k, a.g * k, a.b * k}; }
inline Rgb operator*(Rgb a, Rgb b) { return {a.r * b.r, a.g * b.g, a.b * b.b}; }
inline Rgb Mix(Rgb a, Rgb b, float t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }
// Screen blend: brightens without ever passing white.
inline Rgb Screen(Rgb a, Rgb b) { return {1 - (1 - a.r) * (1 - b.r), 1 - (1 - a.g) * (1 - b.g), 1 - (1 - a.b) * (1 - b.b)}; }

inline float Clamp01(float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }
inline float Smooth(float e0, float e1, float x)
{
    float t = Clamp01((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}
inline float Lerp(float a, float b, float t) { return a + (b - a) * t; }

// Gradient through evenly spaced colour stops, t in 0..1.
Rgb Ramp(const std::vector<Rgb>& stops, float t);

// Integer hash to 0..1.
float Hash(int x, int y, int seed);
// Smooth value noise, 0..1. A period (in lattice cells) of 0 means none; a
// positive one makes the noise wrap, for seamless tiles.
float Noise(float x, float y, int seed, int period = 0);
// Sum of octaves of Noise, normalised to 0..1.
float Fbm(float x, float y, int octaves, int seed, int period = 0);

// An RGB picture, rows top to bottom.
struct Image {
    int w = 0, h = 0;
    std::vector<Rgb> px;
    Image() = default;
    Image(int width, int height, Rgb fill = {}) : w(width), h(height), px(size_t(width) * height, fill) {}
    Rgb& at(int x, int y) { return px[size_t(y) * w + x]; }
    const Rgb& at(int x, int y) const { return px[size_t(y) * w + x]; }
    // Lays colour c over pixel (x, y) with opacity a; outside pixels are ignored.
    void Blend(int x, int y, Rgb c, float a);
    // Bilinear sample with clamped edges.
    Rgb Sample(float x, float y) const;
};

// A coverage (alpha) map, 0..1 per pixel.
struct Coverage {
    int w = 0, h = 0;
    std::vector<float> a;
    Coverage() = default;
    Coverage(int width, int height) : w(width), h(height), a(size_t(width) * height, 0.0f) {}
    float& at(int x, int y) { return a[size_t(y) * w + x]; }
    float at(int x, int y) const { return a[size_t(y) * w + x]; }
    float Sample(float x, float y) const;
};

// Fills every pixel of img covered by cov with colour c (opacity = coverage x k).
void Paint(Image& img, const Coverage& cov, Rgb c, float k = 1.0f, int dx = 0, int dy = 0);
// Separable box blur of a coverage map, radius r, run `passes` times (about Gaussian).
void BlurCoverage(Coverage& cov, int r, int passes);
void BlurImage(Image& img, int r, int passes);
// A glow: the coverage blurred wide, painted additively (screen blend).
void Glow(Image& img, const Coverage& cov, Rgb c, int radius, float strength);

// Anti-aliased primitives that add coverage into a map (max of old and new).
void DiscCov(Coverage& cov, float cx, float cy, float r);
void CapsuleCov(Coverage& cov, float x0, float y0, float x1, float y1, float r0, float r1);
// A smooth stroke along a cubic Bezier, width tapering from r0 to r1.
void BezierCov(Coverage& cov, const float p[8], float r0, float r1);

// Hard mask from coverage: 255 where coverage >= 0.5, else 0.
std::vector<uint8_t> HardMask(const Coverage& cov);

// Image rows reversed (the picture turned upside down).
Image FlipVertical(const Image& img);
// Averages groups of `factor` rows into one (a picture drawn tall, stored short).
Image SqueezeRows(const Image& img, int factor);

// 8-bit conversion with rounding.
inline uint8_t To8(float v)
{
    float c = Clamp01(v) * 255.0f + 0.5f;
    return uint8_t(c);
}

}  // namespace gen
