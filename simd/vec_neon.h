// The thin vector type the kernels are written over, on ARM64: V128 over
// NEON (Advanced SIMD, part of every ARMv8-A processor), with the names and
// the lane semantics of simd/vec_x86.h's V128, so that the kernel bodies
// written once for SSE2 compile here unchanged and give the same bytes.
// Where an SSE2 instruction has no single NEON one, the operation is built
// from a few (MultiplyAddPairs, TopBits8, the shuffles), always to the
// SSE2 instruction's result for every input: saturations, wrap-around of
// the pair sums, the sign of the shifts.
//
// The register holds bytes; each operation reinterprets it as the lanes
// it works on, which costs no instruction.
#pragma once

#include <arm_neon.h>

#include <cstdint>

// The entry points of the 128-bit level: the body inlined whole, rather
// than split into calls taking their vectors through memory.
#define ORCHID_KERNEL __attribute__((flatten))

namespace simd {

namespace neon {

inline int8x16_t S8(uint8x16_t a) { return vreinterpretq_s8_u8(a); }
inline int16x8_t S16(uint8x16_t a) { return vreinterpretq_s16_u8(a); }
inline uint16x8_t U16(uint8x16_t a) { return vreinterpretq_u16_u8(a); }
inline int32x4_t S32(uint8x16_t a) { return vreinterpretq_s32_u8(a); }
inline uint32x4_t U32(uint8x16_t a) { return vreinterpretq_u32_u8(a); }
inline uint64x2_t U64(uint8x16_t a) { return vreinterpretq_u64_u8(a); }
inline uint8x16_t B(int8x16_t a) { return vreinterpretq_u8_s8(a); }
inline uint8x16_t B(int16x8_t a) { return vreinterpretq_u8_s16(a); }
inline uint8x16_t B(uint16x8_t a) { return vreinterpretq_u8_u16(a); }
inline uint8x16_t B(int32x4_t a) { return vreinterpretq_u8_s32(a); }
inline uint8x16_t B(uint32x4_t a) { return vreinterpretq_u8_u32(a); }
inline uint8x16_t B(uint64x2_t a) { return vreinterpretq_u8_u64(a); }

}  // namespace neon

struct V128 {
    uint8x16_t v;
    static constexpr int kBytes = 16;
    static constexpr int kHalves = 1;

    static V128 Load(const void* p) { return {vld1q_u8(static_cast<const uint8_t*>(p))}; }
    // The low 8 bytes from p, the rest zero.
    static V128 Load64(const void* p) { return {vcombine_u8(vld1_u8(static_cast<const uint8_t*>(p)), vdup_n_u8(0))}; }
    static V128 Zero() { return {vdupq_n_u8(0)}; }
    static V128 Splat8(int8_t k) { return {neon::B(vdupq_n_s8(k))}; }
    static V128 Splat16(int16_t k) { return {neon::B(vdupq_n_s16(k))}; }
    static V128 Splat32(int32_t k) { return {neon::B(vdupq_n_s32(k))}; }
    // The 16-bit lanes, lowest first.
    static V128 Set16(int16_t a0, int16_t a1, int16_t a2, int16_t a3, int16_t a4, int16_t a5, int16_t a6, int16_t a7)
    {
        const int16_t lanes[8] = {a0, a1, a2, a3, a4, a5, a6, a7};
        return {neon::B(vld1q_s16(lanes))};
    }
    // 8 bytes from p, each widened to a 16-bit lane, in order.
    static V128 WidenBytes(const uint8_t* p) { return {neon::B(vmovl_u8(vld1_u8(p)))}; }
};

inline void Store(void* p, V128 a) { vst1q_u8(static_cast<uint8_t*>(p), a.v); }
// The low 8 bytes.
inline void Store64(void* p, V128 a) { vst1_u8(static_cast<uint8_t*>(p), vget_low_u8(a.v)); }

inline V128 Or(V128 a, V128 b) { return {vorrq_u8(a.v, b.v)}; }
inline V128 And(V128 a, V128 b) { return {vandq_u8(a.v, b.v)}; }
inline V128 Xor(V128 a, V128 b) { return {veorq_u8(a.v, b.v)}; }
inline V128 Add16(V128 a, V128 b) { return {neon::B(vaddq_s16(neon::S16(a.v), neon::S16(b.v)))}; }
inline V128 Sub16(V128 a, V128 b) { return {neon::B(vsubq_s16(neon::S16(a.v), neon::S16(b.v)))}; }
inline V128 Min16(V128 a, V128 b) { return {neon::B(vminq_s16(neon::S16(a.v), neon::S16(b.v)))}; }
inline V128 Max16(V128 a, V128 b) { return {neon::B(vmaxq_s16(neon::S16(a.v), neon::S16(b.v)))}; }
inline V128 Add32(V128 a, V128 b) { return {neon::B(vaddq_s32(neon::S32(a.v), neon::S32(b.v)))}; }
inline V128 Sub32(V128 a, V128 b) { return {neon::B(vsubq_s32(neon::S32(a.v), neon::S32(b.v)))}; }

// The shifts by a count the lanes hold or more give what SSE2's do: zero,
// or the sign in every bit. NEON's immediate forms take 0..width-1 to the
// left and 1..width to the right.
template <int N> V128 ShiftLeft16(V128 a)
{
    if constexpr (N == 0) return a;
    else if constexpr (N >= 16) return V128::Zero();
    else return {neon::B(vshlq_n_s16(neon::S16(a.v), N))};
}
template <int N> V128 ShiftRightArith16(V128 a)
{
    if constexpr (N == 0) return a;
    else return {neon::B(vshrq_n_s16(neon::S16(a.v), N >= 16 ? 16 : N))};
}
template <int N> V128 ShiftLeft32(V128 a)
{
    if constexpr (N == 0) return a;
    else if constexpr (N >= 32) return V128::Zero();
    else return {neon::B(vshlq_n_s32(neon::S32(a.v), N))};
}
template <int N> V128 ShiftRightArith32(V128 a)
{
    if constexpr (N == 0) return a;
    else return {neon::B(vshrq_n_s32(neon::S32(a.v), N >= 32 ? 32 : N))};
}
template <int N> V128 ShiftRightLogical16(V128 a)
{
    if constexpr (N == 0) return a;
    else if constexpr (N >= 16) return V128::Zero();
    else return {neon::B(vshrq_n_u16(neon::U16(a.v), N))};
}
template <int N> V128 ShiftRightLogical32(V128 a)
{
    if constexpr (N == 0) return a;
    else if constexpr (N >= 32) return V128::Zero();
    else return {neon::B(vshrq_n_u32(neon::U32(a.v), N))};
}
// Moved down by N bytes, zeros shifted in.
template <int N> V128 ShiftBytesDown(V128 a)
{
    if constexpr (N == 0) return a;
    else if constexpr (N >= 16) return V128::Zero();
    else return {vextq_u8(a.v, vdupq_n_u8(0), N)};
}

// Pairs of 16-bit lanes multiplied and summed into 32-bit lanes: the
// widening products of each half, then the sums of neighbours, which wrap
// as SSE2's do (the one sum that overflows, 2 * -32768 * -32768, gives
// 0x80000000 on both).
inline V128 MultiplyAddPairs(V128 a, V128 b)
{
    const int16x8_t x = neon::S16(a.v), y = neon::S16(b.v);
    const int32x4_t lo = vmull_s16(vget_low_s16(x), vget_low_s16(y));
    const int32x4_t hi = vmull_high_s16(x, y);
    return {neon::B(vpaddq_s32(lo, hi))};
}
inline V128 UnpackLo8(V128 a, V128 b) { return {vzip1q_u8(a.v, b.v)}; }
inline V128 UnpackHi8(V128 a, V128 b) { return {vzip2q_u8(a.v, b.v)}; }
inline V128 UnpackLo16(V128 a, V128 b) { return {neon::B(vzip1q_u16(neon::U16(a.v), neon::U16(b.v)))}; }
inline V128 UnpackHi16(V128 a, V128 b) { return {neon::B(vzip2q_u16(neon::U16(a.v), neon::U16(b.v)))}; }
inline V128 UnpackLo32(V128 a, V128 b) { return {neon::B(vzip1q_u32(neon::U32(a.v), neon::U32(b.v)))}; }
inline V128 UnpackHi32(V128 a, V128 b) { return {neon::B(vzip2q_u32(neon::U32(a.v), neon::U32(b.v)))}; }
inline V128 UnpackLo64(V128 a, V128 b) { return {neon::B(vzip1q_u64(neon::U64(a.v), neon::U64(b.v)))}; }
inline V128 UnpackHi64(V128 a, V128 b) { return {neon::B(vzip2q_u64(neon::U64(a.v), neon::U64(b.v)))}; }

// SSE2's shuffles by an immediate (two bits per lane, lane 0 lowest): a
// constant permutation the compiler turns into the cheapest instruction
// for it (a lane broadcast, a reversal, a table look-up).
template <int Imm> V128 Shuffle32(V128 a)
{
    const uint32x4_t x = neon::U32(a.v);
#if defined(__clang__)
    return {neon::B(__builtin_shufflevector(x, x, Imm & 3, (Imm >> 2) & 3, (Imm >> 4) & 3, (Imm >> 6) & 3))};
#else
    return {neon::B(__builtin_shuffle(x, uint32x4_t{Imm & 3, (Imm >> 2) & 3, (Imm >> 4) & 3, (Imm >> 6) & 3}))};
#endif
}
// The low four 16-bit lanes shuffled, the high four kept.
template <int Imm> V128 ShuffleLo16(V128 a)
{
    const uint16x8_t x = neon::U16(a.v);
#if defined(__clang__)
    return {neon::B(__builtin_shufflevector(x, x, Imm & 3, (Imm >> 2) & 3, (Imm >> 4) & 3, (Imm >> 6) & 3, 4, 5, 6, 7))};
#else
    return {neon::B(__builtin_shuffle(
        x, uint16x8_t{Imm & 3, (Imm >> 2) & 3, (Imm >> 4) & 3, (Imm >> 6) & 3, 4, 5, 6, 7}))};
#endif
}

inline V128 PackSigned32To16(V128 a, V128 b)
{
    return {neon::B(vqmovn_high_s32(vqmovn_s32(neon::S32(a.v)), neon::S32(b.v)))};
}
inline V128 PackSigned16To8(V128 a, V128 b)
{
    return {neon::B(vqmovn_high_s16(vqmovn_s16(neon::S16(a.v)), neon::S16(b.v)))};
}
inline V128 PackUnsigned16To8(V128 a, V128 b) { return {vqmovun_high_s16(vqmovun_s16(neon::S16(a.v)), neon::S16(b.v))}; }
// Bit 0 set where the vector is all zero.
inline unsigned ZeroHalves(V128 a) { return vmaxvq_u32(neon::U32(a.v)) == 0 ? 1u : 0u; }
inline V128 Half(V128 a, int) { return a; }

// The 16-bit lanes of a and b alternating, in memory order: lanes 0.. of
// the pair in `first`, the rest in `second`.
struct V128Pair {
    V128 first, second;
};
inline V128Pair Interleave16(V128 a, V128 b) { return {UnpackLo16(a, b), UnpackHi16(a, b)}; }

// Added for the pixel kernels (effects/).
inline V128 MultiplyLow16(V128 a, V128 b) { return {neon::B(vmulq_s16(neon::S16(a.v), neon::S16(b.v)))}; }
// Each unsigned byte summed, held at 255.
inline V128 AddSaturateU8(V128 a, V128 b) { return {vqaddq_u8(a.v, b.v)}; }
// Each bit of yes where select's is set, of no where it is clear.
inline V128 Choose(V128 select, V128 yes, V128 no) { return {vbslq_u8(select.v, yes.v, no.v)}; }
// All ones in each byte lane that compares so, else zero.
inline V128 Equal8(V128 a, V128 b) { return {vceqq_u8(a.v, b.v)}; }
inline V128 GreaterSigned8(V128 a, V128 b) { return {vcgtq_s8(neon::S8(a.v), neon::S8(b.v))}; }
// Bit k set where byte k's top bit is: each top bit moved to its place in
// its half's byte, the bytes of each half summed.
inline unsigned TopBits8(V128 a)
{
    const int8x16_t place = {0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3, 4, 5, 6, 7};
    const uint8x16_t bits = vshlq_u8(vshrq_n_u8(a.v, 7), place);
    return vaddv_u8(vget_low_u8(bits)) | (static_cast<unsigned>(vaddv_u8(vget_high_u8(bits))) << 8);
}
// The sixteen bytes of `bytes` (each all ones or zero) spread over four
// registers of 32-bit lanes, in memory order.
inline void WidenByteMasks(V128 bytes, V128 (&lanes)[4])
{
    const V128 lo = UnpackLo8(bytes, bytes), hi = UnpackHi8(bytes, bytes);
    lanes[0] = UnpackLo16(lo, lo);
    lanes[1] = UnpackHi16(lo, lo);
    lanes[2] = UnpackLo16(hi, hi);
    lanes[3] = UnpackHi16(hi, hi);
}
// Whether a type loads and stores its 32-bit lanes under a lane mask: NEON
// has no such loads, and its kernels take the tails one pixel at a time.
template <class V> constexpr bool kHasMaskedLanes = false;
template <class V> V LanesBelow(int count);
template <class V> V WidenBytes32(uint64_t bytes);

// The bytes of a picked by the indices in `index`, zero where an index is
// 16 or more (TBL; what SSSE3's byte shuffle does, which SSE2 lacks).
inline V128 PickBytes(V128 a, V128 index) { return {vqtbl1q_u8(a.v, index.v)}; }

}  // namespace simd
