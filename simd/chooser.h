// The one way every subsystem picks its kernels. A subsystem declares a
// table struct of kernel entry points (function pointers, null by default)
// and one table per level it speeds up, filling only the entries that level
// does better: an entry a level leaves null falls through to the level
// below it (simd::Below), down to the scalar table, which fills every
// entry. The resolved tables, one per level, are made when the chooser is
// made: at compile time, where the compiler can compare the entries with
// null there (a sanitizer build cannot, and makes them at first use):
//
//   struct Kernels {
//       void (*fill)(uint8_t* d, int n) = nullptr;
//       void (*copy)(uint8_t* d, const uint8_t* s, int n) = nullptr;
//   };
//   constexpr Kernels kScalar = {FillScalar, CopyScalar};
//   constexpr Kernels kSse2 = {.fill = FillSse2};  // copy: the scalar one
//   const Kernels& KernelsFor(simd::Level level)
//   {
//       static const simd::Chooser<Kernels, &Kernels::fill, &Kernels::copy> chooser(
//           {.scalar = &kScalar, .sse2 = &kSse2});
//       return chooser.For(level);
//   }
//
// The member list names every entry of the struct (checked by its size),
// and the scalar table fills every one (checked as the chooser is made: a
// build error at compile time, std::logic_error at run time). A
// level with no table in a build (another processor's) leaves its pointer
// null and takes the level below's entries throughout.
#pragma once

#include <array>
#include <stdexcept>

#include "simd/simd.h"

namespace simd {

// A subsystem's own table of each level, null where it has none.
template <class Table>
struct LevelTables {
    const Table* scalar = nullptr;
    const Table* sse2 = nullptr;
    const Table* avx2 = nullptr;
    const Table* wasm128 = nullptr;
    const Table* neon = nullptr;

    constexpr const Table* Of(Level level) const
    {
        switch (level) {
        case Level::Scalar: return scalar;
        case Level::Sse2: return sse2;
        case Level::Avx2: return avx2;
        case Level::Wasm128: return wasm128;
        case Level::Neon: return neon;
        }
        return nullptr;
    }
};

template <class Table, auto... Entries>
class Chooser {
    static_assert(sizeof(Table) == sizeof...(Entries) * sizeof(void (*)()),
                  "the member list names every entry of the table, and the table holds entries only");

public:
    explicit constexpr Chooser(const LevelTables<Table>& own)
    {
        for (Level level : kLevels) resolved_[static_cast<int>(level)] = Resolve(own, level);
    }

    // The kernels of a level; a level the CPU lacks gives those of the best
    // it has.
    const Table& For(Level level) const
    {
        if (!Supported(level)) level = Best();
        return resolved_[static_cast<int>(level)];
    }

private:
    static constexpr Table Resolve(const LevelTables<Table>& own, Level level)
    {
        Table out{};
        (Take<Entries>(own, level, out), ...);
        return out;
    }

    template <auto Entry>
    static constexpr void Take(const LevelTables<Table>& own, Level level, Table& out)
    {
        for (Level l = level;; l = Below(l)) {
            const Table* table = own.Of(l);
            if (table != nullptr && table->*Entry != nullptr) {
                out.*Entry = table->*Entry;
                return;
            }
            if (l == Level::Scalar) {
                throw std::logic_error("a scalar kernel table lacks an entry");
            }
        }
    }

    std::array<Table, kLevelCount> resolved_{};
};

}  // namespace simd
