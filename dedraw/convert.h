// The pixel conversions of frame presentation, one row at a time. Each has
// a plain version, the reference, and the 16-bit ones an SSE2 version that
// gives the same bytes; the ...Row entry points pick the fast one when the
// CPU has it.
#pragma once

#include <cstdint>

namespace dedraw {

// 0x00RRGGBB -> 5-6-5 and 5-5-5 words (low bits dropped).
void Convert32To565Row(const uint32_t* source, uint16_t* target, int count);
void Convert32To555Row(const uint32_t* source, uint16_t* target, int count);
// 0x00RRGGBB -> bytes blue, green, red.
void Convert32To24Row(const uint32_t* source, uint8_t* target, int count);
// 5-6-5 -> 0x00RRGGBB with the new low bits 0, bytes, and 5-5-5.
void Convert565To32Row(const uint16_t* source, uint32_t* target, int count);
void Convert565To24Row(const uint16_t* source, uint8_t* target, int count);
void Convert565To555Row(const uint16_t* source, uint16_t* target, int count);

namespace scalar {
void Convert32To565Row(const uint32_t* source, uint16_t* target, int count);
void Convert32To555Row(const uint32_t* source, uint16_t* target, int count);
void Convert565To32Row(const uint16_t* source, uint32_t* target, int count);
void Convert565To555Row(const uint16_t* source, uint16_t* target, int count);
}  // namespace scalar

namespace sse2 {
// Present only where the CPU family has SSE2 (x86-64: always).
bool Available();
void Convert32To565Row(const uint32_t* source, uint16_t* target, int count);
void Convert32To555Row(const uint32_t* source, uint16_t* target, int count);
void Convert565To32Row(const uint16_t* source, uint32_t* target, int count);
void Convert565To555Row(const uint16_t* source, uint16_t* target, int count);
}  // namespace sse2

}  // namespace dedraw
