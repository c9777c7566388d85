#include "music.h"

#include <lame/lame.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>

namespace gen {

namespace {

constexpr double kTau = 6.283185307179586;
constexpr double kRate = kSampleRate;

double Mtof(double m) { return 440.0 * std::pow(2.0, (m - 69.0) / 12.0); }

// Deterministic noise.
struct Rng {
    uint32_t s;
    explicit Rng(uint32_t seed) : s(seed) {}
    float Next()
    {
        s = s * 1664525u + 1013904223u;
        return float(int32_t(s)) / 2147483648.0f;
    }
};

// Single-cycle tables: a sine, and a saw band-limited to 24 harmonics.
struct Tables {
    static constexpr int N = 4096;
    std::array<float, N + 1> sine{}, saw{};
    Tables()
    {
        for (int i = 0; i <= N; ++i) {
            double ph = kTau * i / N;
            sine[size_t(i)] = float(std::sin(ph));
            double s = 0;
            for (int h = 1; h <= 24; ++h) s += std::sin(ph * h) / h * (h & 1 ? 1 : -1);
            saw[size_t(i)] = float(s * 0.55);
        }
    }
    static float Look(const std::array<float, N + 1>& t, double phase)
    {
        return LookWrapped(t, phase - std::floor(phase));
    }
    // For a phase already in [0, 1).
    static float LookWrapped(const std::array<float, N + 1>& t, double phase)
    {
        double p = phase * N;
        int i = int(p);
        float f = float(p - i);
        return t[size_t(i)] + (t[size_t(i) + 1] - t[size_t(i)]) * f;
    }
};
const Tables& Tab()
{
    static const Tables t;
    return t;
}

// Equal-power panning gains, pan -1 (left) .. 1 (right).
struct Pan {
    float l, r;
    explicit Pan(float pan)
    {
        double a = (pan + 1) * 0.25 * 3.141592653589793;
        l = float(std::cos(a));
        r = float(std::sin(a));
    }
};

// A stereo bus of the whole piece.
struct Bus {
    std::vector<float> l, r;
    explicit Bus(size_t n) : l(n, 0.0f), r(n, 0.0f) {}
    void Add(size_t i, float v, Pan p)
    {
        l[i] += v * p.l;
        r[i] += v * p.r;
    }
};

// Everything the voices write: the dry mix, the bus that ducks under the
// kick, and the mono sends to the reverb and the echo.
struct Mix {
    size_t n;
    Bus dry, ducked;
    std::vector<float> reverb, delay;
    std::vector<float> duck;  // gain applied to the ducked bus, lowered by every kick
    explicit Mix(size_t frames)
        : n(frames), dry(frames), ducked(frames), reverb(frames, 0.0f), delay(frames, 0.0f), duck(frames, 1.0f)
    {
    }
};

size_t At(double seconds) { return size_t(std::max(0.0, seconds) * kRate); }

// Amplitude envelope: linear attack, held for the note, then an exponential
// release; finished once it has fallen below -80 dB.
struct Envelope {
    size_t attackN, holdN, n = 0;
    double level = 0, releaseMul;
    Envelope(double attack, double dur, double release)
        : attackN(std::max<size_t>(1, At(attack))), holdN(std::max(At(dur), std::max<size_t>(1, At(attack)))),
          releaseMul(std::exp(-2.5 / (release * kRate)))
    {
    }
    static size_t At(double s) { return size_t(s * kRate); }
    float Next()
    {
        if (n < attackN) level = double(n) / double(attackN);
        else if (n < holdN) level = 1;
        else level *= releaseMul;
        ++n;
        return float(level);
    }
    bool Done() const { return n > holdN && level < 1e-4; }
};

// A value falling exponentially from 1 at `rate` per second.
struct Decay {
    double v = 1, mul;
    explicit Decay(double rate) : mul(std::exp(-rate / kRate)) {}
    double Next()
    {
        double r = v;
        v *= mul;
        return r;
    }
};

// ----- Voices ---------------------------------------------------------------

// A chord on the pad: for each note three detuned saws, left, centre and
// right, through one slowly moving low-pass per side.
void Pad(Mix& m, double start, double dur, const std::vector<int>& notes, float vel, float bright)
{
    const double attack = 0.9, release = 1.3;
    size_t i0 = At(start), i1 = std::min(m.n, At(start + dur + release * 12));
    Envelope env(attack, dur, release);
    const size_t n = notes.size() * 3;
    std::vector<double> inc(n), ph(n);
    for (size_t k = 0; k < notes.size(); ++k) {
        const double f = Mtof(notes[k]);
        inc[k * 3] = f * std::pow(2.0, -0.07 / 12) / kRate;
        inc[k * 3 + 1] = f / kRate;
        inc[k * 3 + 2] = f * std::pow(2.0, 0.068 / 12) / kRate;
        ph[k * 3] = 0.13 + 0.1 * double(k);
        ph[k * 3 + 1] = 0.51 + 0.1 * double(k);
        ph[k * 3 + 2] = 0.77 + 0.1 * double(k);
        for (size_t j = 0; j < 3; ++j) ph[k * 3 + j] -= std::floor(ph[k * 3 + j]);
    }
    const Tables& tab = Tab();
    float lp[2] = {0, 0};
    float a = 0;
    const double phase = notes.empty() ? 0.0 : double(notes[0]);
    for (size_t i = i0; i < i1; ++i) {
        double t = double(i - i0) / kRate;
        if ((i - i0) % 64 == 0) {
            // The filter opens and closes slowly.
            float cut = bright * (0.55f + 0.45f * float(std::sin(t * 0.9 + phase)));
            a = std::min(0.95f, cut * 0.12f);
        }
        float side[2] = {0, 0};
        for (size_t k = 0; k < n; k += 3) {
            float v[3];
            for (size_t j = 0; j < 3; ++j) {
                ph[k + j] += inc[k + j];
                if (ph[k + j] >= 1) ph[k + j] -= 1;
                v[j] = Tables::LookWrapped(tab.saw, ph[k + j]);
            }
            side[0] += v[0] + v[1];
            side[1] += v[2] + v[1];
        }
        float e = env.Next() * vel;
        if (env.Done()) break;
        lp[0] += a * (side[0] - lp[0]);
        lp[1] += a * (side[1] - lp[1]);
        m.ducked.l[i] += lp[0] * e * 0.5f;
        m.ducked.r[i] += lp[1] * e * 0.5f;
        m.reverb[i] += (lp[0] + lp[1]) * e * 0.125f;
    }
}

// Two-operator FM: a plucked bell when the index decays fast.
void Fm(Mix& m, double start, double dur, double note, float vel, float pan, double ratio, double index,
        double decay, double release, float reverbSend, float delaySend, bool ducked = false)
{
    size_t i0 = At(start), i1 = std::min(m.n, At(start + dur + release * 12));
    const Tables& tab = Tab();
    Envelope env(0.004, dur, release);
    Decay amp(decay), mi(decay * 2.0);
    const Pan pn(pan);
    double f = Mtof(note);
    double pc = 0, pm = 0;
    for (size_t i = i0; i < i1; ++i) {
        double idx = index * mi.Next();
        pm += f * ratio / kRate;
        double mod = idx * Tables::Look(tab.sine, pm);
        pc += f / kRate;
        float v = Tables::Look(tab.sine, pc + mod / kTau);
        float e = env.Next() * float(amp.Next()) * vel;
        if (env.Done() || (i - i0 > 1000 && e < 1e-5f)) break;
        float s = v * e;
        if (ducked) m.ducked.Add(i, s, pn);
        else m.dry.Add(i, s, pn);
        m.reverb[i] += s * reverbSend;
        m.delay[i] += s * delaySend;
    }
}

void Lead(Mix& m, double start, double dur, double note, float vel)
{
    const double release = 0.25;
    size_t i0 = At(start), i1 = std::min(m.n, At(start + dur + release * 12));
    const Tables& tab = Tab();
    Envelope env(0.03, dur, release);
    Decay bite(6);
    const Pan pn(0.1f);
    double f = Mtof(note);
    double pc = 0, pm = 0;
    for (size_t i = i0; i < i1; ++i) {
        double t = double(i - i0) / kRate;
        double vib = 1 + 0.004 * Tables::Look(tab.sine, 5.2 * t) * std::min(1.0, std::max(0.0, (t - 0.25) * 3));
        pm += f * vib / kRate;
        double idx = 0.9 + 0.6 * bite.Next();
        double mod = idx * Tables::Look(tab.sine, pm);
        pc += f * vib / kRate;
        float v = Tables::Look(tab.sine, pc + mod / kTau);
        float s = v * env.Next() * vel;
        if (env.Done()) break;
        m.dry.Add(i, s, pn);
        m.reverb[i] += s * 0.5f;
        m.delay[i] += s * 0.35f;
    }
}

void Bass(Mix& m, double start, double dur, double note, float vel)
{
    const double release = 0.06;
    size_t i0 = At(start), i1 = std::min(m.n, At(start + dur + release * 12));
    const Tables& tab = Tab();
    Envelope env(0.006, dur, release);
    Decay pluck(8);
    double f = Mtof(note);
    double p = 0;
    float lp = 0;
    for (size_t i = i0; i < i1; ++i) {
        p += f / kRate;
        float saw = Tables::Look(tab.saw, p);
        float sine = Tables::Look(tab.sine, p);
        lp += 0.06f * (saw - lp);
        float e = env.Next() * (0.75f + 0.25f * float(pluck.Next()));
        if (env.Done()) break;
        float s = (sine * 0.8f + lp * 0.6f) * e * vel;
        m.ducked.l[i] += s;
        m.ducked.r[i] += s;
    }
}

void Kick(Mix& m, double start, float vel)
{
    size_t i0 = At(start), i1 = std::min(m.n, At(start + 0.5));
    const Tables& tab = Tab();
    Decay sweep(28), body(7.5);
    double p = 0;
    for (size_t i = i0; i < i1; ++i) {
        double t = double(i - i0) / kRate;
        p += (46 + 90 * sweep.Next()) / kRate;
        double b = body.Next();
        float e = float(std::min(1.0, t / 0.0015) * b * std::min(1.0, (0.5 - t) / 0.05));
        float s = Tables::Look(tab.sine, p) * e * vel * 0.7f;
        m.dry.l[i] += s;
        m.dry.r[i] += s;
        // The ducked bus dips under the kick and comes back with it.
        float d = 1 - 0.45f * vel * float(b) * std::min(1.0f, float(t / 0.004));
        m.duck[i] = std::min(m.duck[i], d);
    }
}

// Band-passed noise bursts: clap, hats, shaker, crash.
void Noise(Mix& m, double start, double length, float vel, float pan, double centre, double q, double attack,
           double decay, int bursts, float reverbSend, uint32_t seed)
{
    size_t i0 = At(start), i1 = std::min(m.n, At(start + length));
    Rng rng(seed);
    // State-variable filter.
    double f = 2 * std::sin(3.141592653589793 * std::min(centre, 16000.0) / kRate);
    double low = 0, band = 0;
    Decay fall(decay);
    const Pan pn(pan);
    for (size_t i = i0; i < i1; ++i) {
        double t = double(i - i0) / kRate;
        double x = rng.Next();
        double high = x - low - band / q;
        band += f * high;
        low += f * band;
        double env = std::min(1.0, t / attack) * fall.Next();
        if (bursts > 1) {
            double gap = 0.011;
            int b = int(t / gap);
            if (b < bursts - 1) env *= (1 - (t - b * gap) / gap) * 0.9 + 0.1;
        }
        env *= std::min(1.0, (length - t) / 0.01);
        float s = float(band * env) * vel;
        m.dry.Add(i, s, pn);
        m.reverb[i] += s * reverbSend;
    }
}

void Clap(Mix& m, double t, float vel) { Noise(m, t, 0.35, vel, -0.1f, 1300, 1.4, 0.001, 14, 3, 0.5f, 0xC1A9u + uint32_t(t * 1000)); }
void Hat(Mix& m, double t, float vel, bool open)
{
    Noise(m, t, open ? 0.35 : 0.09, vel, 0.35f, 9000, 1.8, 0.0008, open ? 10 : 55, 1, 0.15f, 0x4A7u + uint32_t(t * 1000));
}
void Shaker(Mix& m, double t, float vel) { Noise(m, t, 0.12, vel, -0.4f, 6000, 1.2, 0.012, 30, 1, 0.2f, 0x5EAu + uint32_t(t * 1000)); }
void Crash(Mix& m, double t, float vel)
{
    Noise(m, t, 3.5, vel, -0.5f, 7000, 0.9, 0.002, 1.4, 1, 0.4f, 0xC4A5u + uint32_t(t * 1000));
    Noise(m, t, 3.5, vel, 0.5f, 7400, 0.9, 0.002, 1.5, 1, 0.4f, 0xC4A6u + uint32_t(t * 1000));
}

// A rising sweep of filtered noise and a gliding tone that ends on `end`.
void Riser(Mix& m, double start, double end, float vel)
{
    size_t i0 = At(start), i1 = std::min(m.n, At(end));
    const Tables& tab = Tab();
    Rng rng(0x715Eu + uint32_t(start));
    double low = 0, band = 0, p = 0;
    double len = end - start;
    for (size_t i = i0; i < i1; ++i) {
        double t = double(i - i0) / kRate, u = t / len;
        double cut = 300 * std::pow(30.0, u);
        double f = 2 * std::sin(3.141592653589793 * cut / kRate);
        double high = rng.Next() - low - band / 2.5;
        band += f * high;
        low += f * band;
        p += (220 * std::pow(4.0, u)) / kRate;
        double env = u * u * std::min(1.0, (len - t) / 0.012);
        float s = float((band * 0.8 + 0.15 * Tables::Look(tab.sine, p)) * env) * vel;
        m.dry.Add(i, s, Pan(float(std::sin(t * 3)) * 0.5f));
        m.reverb[i] += s * 0.4f;
    }
}

// The water drop: a quick falling chirp.
void Drip(Mix& m, double start, float vel)
{
    size_t i0 = At(start), i1 = std::min(m.n, At(start + 0.4));
    const Tables& tab = Tab();
    double p = 0;
    Decay chirp(30), fall(14);
    const Pan pn(-0.3f);
    for (size_t i = i0; i < i1; ++i) {
        double t = double(i - i0) / kRate;
        p += (700 + 1400 * chirp.Next()) / kRate;
        float e = float(std::min(1.0, t / 0.002) * fall.Next());
        float s = Tables::Look(tab.sine, p) * e * vel;
        m.dry.Add(i, s, pn);
        m.reverb[i] += s * 0.8f;
        m.delay[i] += s * 0.6f;
    }
}

// ----- Effects ----------------------------------------------------------------

// A small Schroeder reverb: four combs and two all-passes per side, the two
// sides tuned apart for width. Adds the reverberated send into `out`.
void Reverb(const std::vector<float>& in, Bus& out, float gain)
{
    struct Side {
        std::vector<float> comb[4], ap[2];
        size_t combPos[4] = {0, 0, 0, 0}, apPos[2] = {0, 0};
        float store[4] = {0, 0, 0, 0};
        explicit Side(int spread)
        {
            const int combLen[4] = {3114, 3234, 2982, 2844};
            const int apLen[2] = {225, 556};
            for (int c = 0; c < 4; ++c) comb[c].assign(size_t(combLen[c] + spread), 0.0f);
            for (int a = 0; a < 2; ++a) ap[a].assign(size_t(apLen[a] + spread / 2), 0.0f);
        }
        float Run(float x)
        {
            float sum = 0;
            for (int c = 0; c < 4; ++c) {
                float y = comb[c][combPos[c]];
                store[c] = y * 0.6f + store[c] * 0.4f;
                comb[c][combPos[c]] = x + store[c] * 0.82f;
                if (++combPos[c] == comb[c].size()) combPos[c] = 0;
                sum += y * 0.25f;
            }
            for (int a = 0; a < 2; ++a) {
                float b = ap[a][apPos[a]];
                ap[a][apPos[a]] = sum + b * 0.5f;
                sum = b - sum * 0.5f;
                if (++apPos[a] == ap[a].size()) apPos[a] = 0;
            }
            return sum;
        }
    };
    Side left(0), right(46);
    for (size_t i = 0; i < in.size(); ++i) {
        out.l[i] += left.Run(in[i]) * gain;
        out.r[i] += right.Run(in[i]) * gain;
    }
}

// Ping-pong echo: each repeat crosses to the other side, darker and softer.
// Adds the echoes of the send into `out`.
void Echo(const std::vector<float>& in, Bus& out, double delaySeconds, float gain)
{
    const size_t d = At(delaySeconds);
    const float feedback = 0.42f;
    std::vector<float> l(d, 0.0f), r(d, 0.0f), x(d, 0.0f);  // rings of one delay
    float lpL = 0, lpR = 0;
    size_t pos = 0;
    for (size_t i = 0; i < in.size(); ++i) {
        // l, r hold the outputs of one delay ago; x the input of one delay ago.
        lpL += 0.35f * (l[pos] - lpL);
        lpR += 0.35f * (r[pos] - lpR);
        float nl = x[pos] + lpR * feedback;
        float nr = lpL * feedback;
        out.l[i] += nl * gain;
        out.r[i] += nr * gain;
        l[pos] = nl;
        r[pos] = nr;
        x[pos] = in[i];
        if (++pos == d) pos = 0;
    }
}

// ----- Score ----------------------------------------------------------------

// A section of the piece: a whole number of bars between two moments of the
// show.
struct Section {
    double start;
    int bars;
    double barLen;
    double Beat(double beat) const { return start + beat * barLen / 4; }
    double Bar(double bar) const { return start + bar * barLen; }
};

// Chords as note lists (MIDI), root first.
using Chord = std::vector<int>;
const Chord Dm9 = {50, 57, 60, 64, 65};
const Chord Bbmaj7 = {46, 58, 62, 65, 69};
const Chord Fmaj7 = {41, 57, 60, 64, 65};
const Chord C6 = {48, 55, 60, 64, 69};
const Chord Gm9 = {43, 58, 62, 65, 69};
const Chord Asus = {45, 57, 62, 64, 69};
const Chord FoverA = {45, 57, 60, 65, 69};

struct Note {
    double beat, len;
    int pitch;
};

// The tune: four bars over Dm, Bb, F, C, then an answer that comes home.
const std::vector<Note> kTuneA = {
    {0, 1, 69}, {1, 0.5, 65}, {1.5, 0.5, 67}, {2, 2, 69},
    {4, 1.5, 74}, {5.5, 0.5, 72}, {6, 1, 70}, {7, 1, 69},
    {8, 2, 72}, {10, 1, 69}, {11, 1, 65},
    {12, 3, 67}, {15, 1, 64},
};
const std::vector<Note> kTuneB = {
    {0, 1, 69}, {1, 0.5, 72}, {1.5, 0.5, 74}, {2, 2, 76},
    {4, 1.5, 77}, {5.5, 0.5, 76}, {6, 1, 74}, {7, 1, 72},
    {8, 1.5, 72}, {9.5, 0.5, 74}, {10, 1, 72}, {11, 1, 69},
    {12, 1, 67}, {13, 1, 64}, {14, 2, 62},
};

void Chords(Mix& m, const Section& s, const std::vector<Chord>& prog, int fromBar, int toBar, float vel, float bright,
            int transpose = 0)
{
    for (int b = fromBar; b < toBar; ++b) {
        const Chord& c = prog[size_t(b) % prog.size()];
        std::vector<int> notes;
        for (size_t k = 1; k < c.size(); ++k) notes.push_back(c[k] + transpose);
        Pad(m, s.Bar(b), s.barLen * 0.98, notes, vel, bright);
    }
}

void Arp(Mix& m, const Section& s, const std::vector<Chord>& prog, int fromBar, int toBar, float vel, int step16,
         int transpose = 0, int octave = 12)
{
    static const int order[8] = {0, 1, 2, 3, 4, 3, 2, 1};
    for (int b = fromBar; b < toBar; ++b) {
        const Chord& c = prog[size_t(b) % prog.size()];
        for (int i = 0; i < 16; i += step16) {
            int k = order[(i / step16) % 8];
            int note = k == 0 ? c[1] : c[size_t(std::min<size_t>(size_t(k), c.size() - 1))];
            note += octave + transpose;
            float accent = (i % 4 == 0) ? 1.0f : 0.75f;
            Fm(m, s.Beat(b * 4 + i * 0.25), s.barLen / 16 * step16 * 0.6, note, vel * accent, (i / step16) % 2 ? 0.45f : -0.45f,
               2.0, 1.6, 3.5, 0.12, 0.25f, 0.35f);
        }
    }
}

void Bassline(Mix& m, const Section& s, const std::vector<Chord>& prog, int fromBar, int toBar, float vel, bool pulse,
              int transpose = 0)
{
    for (int b = fromBar; b < toBar; ++b) {
        int root = prog[size_t(b) % prog.size()][0] + transpose;
        while (root > 45) root -= 12;
        while (root < 33) root += 12;
        if (!pulse) {
            Bass(m, s.Bar(b), s.barLen * 0.95, root, vel);
            continue;
        }
        for (int e = 0; e < 8; ++e) {
            int n = (e == 3 || e == 7) ? root + 12 : root;
            Bass(m, s.Beat(b * 4 + e * 0.5), s.barLen / 8 * 0.7, n, vel * (e % 2 ? 0.8f : 1.0f));
        }
    }
}

void Drums(Mix& m, const Section& s, int fromBar, int toBar, float vel, bool halfTime)
{
    for (int b = fromBar; b < toBar; ++b)
        for (int beat = 0; beat < 4; ++beat) {
            double t = s.Beat(b * 4 + beat);
            if (!halfTime || beat == 0 || (beat == 2 && b % 2 == 1)) Kick(m, t, vel);
            if (halfTime ? beat == 2 : (beat == 1 || beat == 3)) Clap(m, t, vel * 0.35f);
            Hat(m, s.Beat(b * 4 + beat + 0.5), vel * 0.16f, beat == 3 && b % 4 == 3);
            Hat(m, s.Beat(b * 4 + beat + 0.25), vel * 0.06f, false);
            Hat(m, s.Beat(b * 4 + beat + 0.75), vel * 0.06f, false);
        }
}

void Tune(Mix& m, const Section& s, int fromBar, int bars, const std::vector<Note>& tune, float vel, int transpose)
{
    for (const Note& n : tune) {
        if (n.beat >= bars * 4) continue;
        Lead(m, s.Beat(fromBar * 4 + n.beat), s.barLen / 4 * n.len * 0.92, n.pitch + transpose, vel);
    }
}

}  // namespace

StereoPcm SynthesizeMusic()
{
    const size_t frames = size_t(kMusicSeconds * kRate);
    Mix m(frames);

    // The timeline: each section starts where the picture changes.
    const Section intro{0.0, 13, 27.6 / 13};
    const Section title{27.6, 5, 10.4 / 5};
    const Section white{38.0, 12, 25.0 / 12};
    const Section journey{63.0, 36, 75.0 / 36};
    const Section ret{138.0, 11, 23.0 / 11};
    const Section stage{161.0, 16, 34.0 / 16};
    const Section outro{195.0, 10, 75.0 / 36};

    const std::vector<Chord> main = {Dm9, Bbmaj7, Fmaj7, C6};
    const std::vector<Chord> introProg = {Dm9, Dm9, Bbmaj7, Bbmaj7, Fmaj7, Fmaj7, C6, C6, Dm9, Dm9, Bbmaj7, Gm9, Asus};
    const std::vector<Chord> whiteProg = {Bbmaj7, FoverA, Gm9, Dm9};
    const std::vector<Chord> retProg = {Fmaj7, C6, Dm9, Bbmaj7};

    // Opening: pads fade in out of the white; bells and a low bass join.
    Chords(m, intro, introProg, 0, 13, 0.16f, 1.0f);
    Arp(m, intro, introProg, 4, 12, 0.05f, 4);
    Arp(m, intro, introProg, 8, 12, 0.035f, 2, 0, 24);
    Bassline(m, intro, introProg, 7, 13, 0.22f, false);
    for (int b = 9; b < 12; ++b)
        for (int i = 0; i < 8; ++i) Shaker(m, intro.Beat(b * 4 + i * 0.5 + 0.5), 0.08f + 0.02f * float(b - 9));
    // The flash: a sweep from 26 s that peaks with the picture at 27.6 s.
    Riser(m, 25.0, 27.6, 0.35f);
    for (int i = 0; i < 8; ++i) Clap(m, 27.0 + i * 0.075, 0.05f + 0.03f * float(i));

    // Title: the beat arrives with the flash.
    Crash(m, 27.6, 0.25f);
    Kick(m, 27.6, 1.0f);
    Chords(m, title, main, 0, 5, 0.17f, 1.5f);
    Drums(m, title, 0, 4, 0.9f, false);
    Bassline(m, title, main, 0, 5, 0.3f, true);
    Arp(m, title, main, 0, 5, 0.07f, 2);
    Riser(m, 35.0, 38.0, 0.25f);

    // White: the beat falls away; bells over soft chords, then the drip.
    Crash(m, 38.0, 0.12f);
    Chords(m, white, whiteProg, 0, 12, 0.17f, 0.8f);
    Arp(m, white, whiteProg, 0, 12, 0.05f, 4, 0, 24);
    for (int b = 0; b < 12; ++b) {
        const Chord& c = whiteProg[size_t(b) % 4];
        Fm(m, white.Bar(b), white.barLen * 0.9, c[4] + 12, 0.07f, 0.2f, 3.5, 2.0, 0.9, 0.8, 0.6f, 0.4f);
    }
    Bassline(m, white, whiteProg, 4, 12, 0.18f, false);
    Drip(m, 50.4, 0.25f);
    for (int b = 6; b < 12; ++b)
        for (int i = 0; i < 8; ++i) Shaker(m, white.Beat(b * 4 + i * 0.5 + 0.5), 0.05f + 0.015f * float(b - 6));
    Riser(m, 60.9, 63.0, 0.2f);

    // Journey: the full groove under the bridge and the panorama.
    Crash(m, 63.0, 0.22f);
    Chords(m, journey, main, 0, 36, 0.15f, 1.3f);
    Drums(m, journey, 0, 24, 0.9f, false);
    Drums(m, journey, 25, 32, 0.9f, false);
    Drums(m, journey, 32, 33, 0.6f, true);
    Bassline(m, journey, main, 0, 34, 0.3f, true);
    Arp(m, journey, main, 2, 34, 0.06f, 2);
    // The tune enters on the first chord of the cycle, four phrases.
    for (int p = 0; p < 4; ++p) Tune(m, journey, 8 + p * 4, 4, p % 2 ? kTuneB : kTuneA, 0.13f, 0);
    Crash(m, journey.Bar(24), 0.15f);
    Crash(m, journey.Bar(25), 0.2f);
    // Under the big screen, the tune again an octave up.
    for (int p = 0; p < 2; ++p) Tune(m, journey, 24 + p * 4, 4, p % 2 ? kTuneB : kTuneA, 0.11f, 12);
    Riser(m, journey.Bar(33), 138.0, 0.4f);
    for (int i = 0; i < 16; ++i) Clap(m, journey.Beat(35 * 4 + i * 0.25), 0.06f + 0.018f * float(i));

    // Return: the earlier layers with a half-time beat and bells.
    Crash(m, 138.0, 0.25f);
    Kick(m, 138.0, 1.0f);
    Chords(m, ret, retProg, 0, 11, 0.16f, 1.1f);
    Drums(m, ret, 0, 10, 0.8f, true);
    Bassline(m, ret, retProg, 0, 11, 0.28f, false);
    for (int b = 0; b < 11; ++b) {
        const Chord& c = retProg[size_t(b) % 4];
        for (int q = 0; q < 4; ++q)
            Fm(m, ret.Beat(b * 4 + q + (q % 2) * 0.5), 0.3, c[size_t(1 + (q + b) % 4)] + 12, 0.06f, q % 2 ? 0.5f : -0.5f,
               3.5, 2.2, 1.5, 0.6, 0.5f, 0.4f);
    }
    Arp(m, ret, retProg, 6, 11, 0.055f, 2);
    Riser(m, ret.Bar(9), 161.0, 0.3f);
    for (int i = 0; i < 8; ++i) Clap(m, ret.Beat(10 * 4 + 2 + i * 0.25), 0.08f + 0.025f * float(i));

    // Stage: a step up, E minor, everything together.
    Crash(m, 161.0, 0.25f);
    Kick(m, 161.0, 1.0f);
    Chords(m, stage, main, 0, 16, 0.15f, 1.6f, 2);
    Drums(m, stage, 0, 14, 0.95f, false);
    Bassline(m, stage, main, 0, 15, 0.3f, true, 2);
    Arp(m, stage, main, 0, 15, 0.06f, 2, 2);
    // The tune in E minor, with a quiet double an octave up.
    for (int p = 0; p < 4; ++p) {
        Tune(m, stage, p * 4, 4, p % 2 ? kTuneB : kTuneA, 0.13f, 2);
        if (p < 3) Tune(m, stage, p * 4, 4, p % 2 ? kTuneB : kTuneA, 0.04f, 14);
    }

    // Outro: back home in D minor, thinning into the fade.
    Crash(m, 195.0, 0.15f);
    const std::vector<Chord> outroProg = {Dm9, Bbmaj7, Dm9, Bbmaj7, Gm9, Asus, Dm9, Dm9, Dm9, Dm9};
    Chords(m, outro, outroProg, 0, 10, 0.17f, 0.9f);
    Arp(m, outro, outroProg, 0, 8, 0.045f, 4, 0, 24);
    Bassline(m, outro, outroProg, 0, 7, 0.2f, false);

    // Effects and the master.
    Reverb(m.reverb, m.dry, 0.55f);
    Echo(m.delay, m.dry, 60.0 / 115.2 * 0.75, 0.5f);
    StereoPcm out;
    float lpl = 0, lpr = 0, dcl = 0, dcr = 0;
    for (size_t i = 0; i < frames; ++i) {
        float duck = m.duck[i];
        float l = m.dry.l[i] + m.ducked.l[i] * duck;
        float r = m.dry.r[i] + m.ducked.r[i] * duck;
        // Gentle smoothing of the very top and removal of any DC.
        lpl += 0.85f * (l - lpl);
        lpr += 0.85f * (r - lpr);
        dcl += 0.0005f * (lpl - dcl);
        dcr += 0.0005f * (lpr - dcr);
        m.dry.l[i] = lpl - dcl;
        m.dry.r[i] = lpr - dcr;
    }
    out.left.swap(m.dry.l);
    out.right.swap(m.dry.r);
    // Soft saturation above 45% of the peak, then the level set to -2.2 dBFS.
    float peak = 0;
    for (size_t i = 0; i < frames; ++i) peak = std::max({peak, std::fabs(out.left[i]), std::fabs(out.right[i])});
    const float knee = 0.45f;
    auto soft = [knee](float x) {
        float a = std::fabs(x);
        if (a <= knee) return x;
        float y = knee + (1 - knee) * std::tanh((a - knee) / (1 - knee));
        return x < 0 ? -y : y;
    };
    float pre = peak > 0 ? 1.0f / peak : 1.0f;
    float post = 0.776f / soft(1.0f);
    for (size_t i = 0; i < frames; ++i) {
        double t = double(i) / kRate;
        // Fade in over the first second; fade out from 204.5 s to silence at 214.4 s.
        double fade = std::min(1.0, t / 1.0);
        if (t > 204.5) fade *= t >= 214.4 ? 0.0 : 0.5 + 0.5 * std::cos((t - 204.5) / 9.9 * 3.141592653589793);
        out.left[i] = soft(out.left[i] * pre) * post * float(fade);
        out.right[i] = soft(out.right[i] * pre) * post * float(fade);
    }
    return out;
}

std::vector<uint8_t> EncodeMp3(const StereoPcm& pcm)
{
    lame_global_flags* gf = lame_init();
    if (!gf) throw std::runtime_error("LAME did not start");
    lame_set_in_samplerate(gf, kSampleRate);
    lame_set_out_samplerate(gf, kSampleRate);
    lame_set_num_channels(gf, 2);
    lame_set_mode(gf, JOINT_STEREO);
    lame_set_VBR(gf, vbr_off);
    lame_set_brate(gf, 192);
    lame_set_quality(gf, 7);
    lame_set_bWriteVbrTag(gf, 1);
    if (lame_init_params(gf) < 0) {
        lame_close(gf);
        throw std::runtime_error("LAME refused its settings");
    }
    std::vector<uint8_t> out;
    const int chunk = 1152 * 32;
    std::vector<unsigned char> buf(size_t(chunk) * 5 / 4 + 7200);
    size_t n = pcm.left.size();
    for (size_t pos = 0; pos < n; pos += size_t(chunk)) {
        int count = int(std::min(size_t(chunk), n - pos));
        int got = lame_encode_buffer_ieee_float(gf, pcm.left.data() + pos, pcm.right.data() + pos, count, buf.data(),
                                                int(buf.size()));
        if (got < 0) {
            lame_close(gf);
            throw std::runtime_error("LAME failed");
        }
        out.insert(out.end(), buf.begin(), buf.begin() + got);
    }
    int got = lame_encode_flush(gf, buf.data(), int(buf.size()));
    if (got > 0) out.insert(out.end(), buf.begin(), buf.begin() + got);
    // The Info tag (first frame) carries the delay and padding for gapless decoding.
    std::vector<unsigned char> tag(4096);
    size_t tagSize = lame_get_lametag_frame(gf, tag.data(), tag.size());
    if (tagSize > 0 && tagSize <= out.size()) std::copy(tag.begin(), tag.begin() + long(tagSize), out.begin());
    lame_close(gf);
    return out;
}

}  // namespace gen
