#include "canvas.h"

#include <algorithm>

namespace gen {

Rgb Ramp(const std::vector<Rgb>& stops, float t)
{
    if (stops.size() == 1) return stops[0];
    float f = Clamp01(t) * float(stops.size() - 1);
    int i = std::min(int(f), int(stops.size()) - 2);
    return Mix(stops[size_t(i)], stops[size_t(i) + 1], f - float(i));
}

float Hash(int x, int y, int seed)
{
    uint32_t h = uint32_t(x) * 0x8da6b343u ^ uint32_t(y) * 0xd8163841u ^ uint32_t(seed) * 0xcb1ab31fu;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return float(h & 0xFFFFFF) / float(0x1000000);
}

float Noise(float x, float y, int seed, int period)
{
    float fx = std::floor(x), fy = std::floor(y);
    int ix = int(fx), iy = int(fy);
    float tx = x - fx, ty = y - fy;
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    auto wrap = [period](int v) { return period > 0 ? ((v % period) + period) % period : v; };
    int x0 = wrap(ix), x1 = wrap(ix + 1), y0 = wrap(iy), y1 = wrap(iy + 1);
    float a = Hash(x0, y0, seed), b = Hash(x1, y0, seed);
    float c = Hash(x0, y1, seed), d = Hash(x1, y1, seed);
    return Lerp(Lerp(a, b, tx), Lerp(c, d, tx), ty);
}

float Fbm(float x, float y, int octaves, int seed, int period)
{
    float sum = 0, amp = 1, norm = 0;
    for (int o = 0; o < octaves; ++o) {
        sum += amp * Noise(x, y, seed + o * 101, period);
        norm += amp;
        amp *= 0.5f;
        x *= 2;
        y *= 2;
        if (period > 0) period *= 2;
    }
    return sum / norm;
}

void Image::Blend(int x, int y, Rgb c, float a)
{
    if (x < 0 || y < 0 || x >= w || y >= h || a <= 0) return;
    Rgb& d = at(x, y);
    d = Mix(d, c, std::min(a, 1.0f));
}

Rgb Image::Sample(float x, float y) const
{
    x = std::clamp(x, 0.0f, float(w - 1));
    y = std::clamp(y, 0.0f, float(h - 1));
    int x0 = int(x), y0 = int(y);
    int x1 = std::min(x0 + 1, w - 1), y1 = std::min(y0 + 1, h - 1);
    float tx = x - float(x0), ty = y - float(y0);
    return Mix(Mix(at(x0, y0), at(x1, y0), tx), Mix(at(x0, y1), at(x1, y1), tx), ty);
}

float Coverage::Sample(float x, float y) const
{
    if (x < 0 || y < 0 || x > float(w - 1) || y > float(h - 1)) return 0;
    int x0 = int(x), y0 = int(y);
    int x1 = std::min(x0 + 1, w - 1), y1 = std::min(y0 + 1, h - 1);
    float tx = x - float(x0), ty = y - float(y0);
    return Lerp(Lerp(at(x0, y0), at(x1, y0), tx), Lerp(at(x0, y1), at(x1, y1), tx), ty);
}

void Paint(Image& img, const Coverage& cov, Rgb c, float k, int dx, int dy)
{
    for (int y = 0; y < cov.h; ++y)
        for (int x = 0; x < cov.w; ++x) {
            float a = cov.at(x, y) * k;
            if (a > 0) img.Blend(x + dx, y + dy, c, a);
        }
}

namespace {
void BoxPass(std::vector<float>& v, int w, int h, int r, bool horizontal)
{
    std::vector<float> out(v.size());
    int n = horizontal ? w : h, lines = horizontal ? h : w;
    for (int l = 0; l < lines; ++l) {
        auto idx = [&](int i) { return horizontal ? size_t(l) * w + i : size_t(i) * w + l; };
        float sum = 0;
        for (int i = -r; i <= r; ++i) sum += v[idx(std::clamp(i, 0, n - 1))];
        for (int i = 0; i < n; ++i) {
            out[idx(i)] = sum / float(2 * r + 1);
            sum += v[idx(std::min(i + r + 1, n - 1))] - v[idx(std::max(i - r, 0))];
        }
    }
    v.swap(out);
}
}  // namespace

void BlurCoverage(Coverage& cov, int r, int passes)
{
    for (int p = 0; p < passes; ++p) {
        BoxPass(cov.a, cov.w, cov.h, r, true);
        BoxPass(cov.a, cov.w, cov.h, r, false);
    }
}

void BlurImage(Image& img, int r, int passes)
{
    std::vector<float> ch(img.px.size());
    for (int c = 0; c < 3; ++c) {
        for (size_t i = 0; i < ch.size(); ++i) ch[i] = c == 0 ? img.px[i].r : (c == 1 ? img.px[i].g : img.px[i].b);
        for (int p = 0; p < passes; ++p) {
            BoxPass(ch, img.w, img.h, r, true);
            BoxPass(ch, img.w, img.h, r, false);
        }
        for (size_t i = 0; i < ch.size(); ++i) (c == 0 ? img.px[i].r : (c == 1 ? img.px[i].g : img.px[i].b)) = ch[i];
    }
}

void Glow(Image& img, const Coverage& cov, Rgb c, int radius, float strength)
{
    Coverage g = cov;
    BlurCoverage(g, radius, 3);
    for (int y = 0; y < img.h; ++y)
        for (int x = 0; x < img.w; ++x) {
            float a = Clamp01(g.at(x, y) * strength);
            if (a > 0) img.at(x, y) = Screen(img.at(x, y), c * a);
        }
}

namespace {
// Distance from p to the segment a-b and the position (0..1) along it.
float SegDist(float px, float py, float ax, float ay, float bx, float by, float& t)
{
    float vx = bx - ax, vy = by - ay;
    float len2 = vx * vx + vy * vy;
    t = len2 > 0 ? Clamp01(((px - ax) * vx + (py - ay) * vy) / len2) : 0;
    float dx = px - (ax + vx * t), dy = py - (ay + vy * t);
    return std::sqrt(dx * dx + dy * dy);
}
}  // namespace

void DiscCov(Coverage& cov, float cx, float cy, float r)
{
    int x0 = std::max(0, int(cx - r - 2)), x1 = std::min(cov.w - 1, int(cx + r + 2));
    int y0 = std::max(0, int(cy - r - 2)), y1 = std::min(cov.h - 1, int(cy + r + 2));
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            float d = std::hypot(float(x) - cx, float(y) - cy) - r;
            float a = Clamp01(0.5f - d);
            cov.at(x, y) = std::max(cov.at(x, y), a);
        }
}

void CapsuleCov(Coverage& cov, float x0, float y0, float x1, float y1, float r0, float r1)
{
    float rm = std::max(r0, r1) + 2;
    int bx0 = std::max(0, int(std::min(x0, x1) - rm)), bx1 = std::min(cov.w - 1, int(std::max(x0, x1) + rm));
    int by0 = std::max(0, int(std::min(y0, y1) - rm)), by1 = std::min(cov.h - 1, int(std::max(y0, y1) + rm));
    for (int y = by0; y <= by1; ++y)
        for (int x = bx0; x <= bx1; ++x) {
            float t;
            float d = SegDist(float(x), float(y), x0, y0, x1, y1, t) - Lerp(r0, r1, t);
            float a = Clamp01(0.5f - d);
            cov.at(x, y) = std::max(cov.at(x, y), a);
        }
}

void BezierCov(Coverage& cov, const float p[8], float r0, float r1)
{
    const int n = 48;
    float px = p[0], py = p[1];
    for (int i = 1; i <= n; ++i) {
        float t = float(i) / n, u = 1 - t;
        float x = u * u * u * p[0] + 3 * u * u * t * p[2] + 3 * u * t * t * p[4] + t * t * t * p[6];
        float y = u * u * u * p[1] + 3 * u * u * t * p[3] + 3 * u * t * t * p[5] + t * t * t * p[7];
        CapsuleCov(cov, px, py, x, y, Lerp(r0, r1, float(i - 1) / n), Lerp(r0, r1, t));
        px = x;
        py = y;
    }
}

std::vector<uint8_t> HardMask(const Coverage& cov)
{
    std::vector<uint8_t> m(cov.a.size());
    for (size_t i = 0; i < m.size(); ++i) m[i] = cov.a[i] >= 0.5f ? 255 : 0;
    return m;
}

Image FlipVertical(const Image& img)
{
    Image out(img.w, img.h);
    for (int y = 0; y < img.h; ++y)
        for (int x = 0; x < img.w; ++x) out.at(x, y) = img.at(x, img.h - 1 - y);
    return out;
}

Image SqueezeRows(const Image& img, int factor)
{
    Image out(img.w, img.h / factor);
    for (int y = 0; y < out.h; ++y)
        for (int x = 0; x < img.w; ++x) {
            Rgb s;
            for (int k = 0; k < factor; ++k) s = s + img.at(x, y * factor + k);
            out.at(x, y) = s * (1.0f / float(factor));
        }
    return out;
}

}  // namespace gen
