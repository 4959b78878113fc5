// The CRC-32 by carry-less multiplication: only this function is compiled
// for PCLMULQDQ and SSE2, and Crc32Update calls it only where the processor
// has both (crc32.cpp).
//
// The register is linear in the message, so 128 bits of message followed by
// D more bits give the same remainder as those 128 bits multiplied by x^D
// modulo the polynomial, which carry-less multiplication gives at once. Four
// 128-bit lanes take 64 bytes a step, each folded 512 bits forward onto the
// next bytes of its own lane; then the lanes are folded onto each other and
// onto the last whole 16-byte blocks, 128 bits at a time. The 16 bytes left
// stand for the whole message so far, and the tables finish them and the
// tail.
//
// Bit order: the CRC is reflected, so a 16-byte block loaded as it lies in
// memory holds its first bit (the highest power of x) in bit 0. A 64-bit half
// h of a lane multiplied without carries by a constant c, both reflected,
// gives the reflected product times x; the constants are therefore
// x^(D+63) mod P for the low half (the block's first 64 bits) and x^(D-1)
// mod P for the high half, each reflected into the upper 32 bits of its
// 64-bit lane.
#include "archive/crc32_paths.h"

#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))

#include <emmintrin.h>
#include <wmmintrin.h>

#define FOLDING_CODE __attribute__((target("pclmul,sse2")))
// The 32-bit Windows stack is only 4-byte aligned: the one entry point
// realigns it for the 16-byte registers it may spill.
#if defined(__i386__)
#define FOLDING_ENTRY FOLDING_CODE __attribute__((force_align_arg_pointer))
#else
#define FOLDING_ENTRY FOLDING_CODE
#endif

namespace {

// One lane carried d bits forward: low half times x^(d+63), high half times
// x^(d-1), both mod P.
FOLDING_CODE inline __m128i Fold(__m128i lane, __m128i constants) {
  return _mm_xor_si128(_mm_clmulepi64_si128(lane, constants, 0x00),
                       _mm_clmulepi64_si128(lane, constants, 0x11));
}

}  // namespace

FOLDING_ENTRY uint32_t Crc32ByFolding(uint32_t crc, const BYTE *buffer, DWORD length) {
  if (length < 64) return Crc32ByTables(crc, buffer, length);
  // d = 512: x^575 and x^511 mod P; d = 128: x^191 and x^127 mod P.
  const __m128i by512 = _mm_set_epi32((int)0xCAD38E8Fu, 0, 0x653D9822, 0);
  const __m128i by128 = _mm_set_epi32((int)0x9BA54C6Fu, 0, 0x65673B46, 0);
  const __m128i *p = (const __m128i *)buffer;
  // The register so far joins the message's first 32 bits.
  __m128i x0 = _mm_xor_si128(_mm_loadu_si128(p), _mm_cvtsi32_si128((int)~crc));
  __m128i x1 = _mm_loadu_si128(p + 1), x2 = _mm_loadu_si128(p + 2), x3 = _mm_loadu_si128(p + 3);
  for (p += 4, length -= 64; length >= 64; p += 4, length -= 64) {
    x0 = _mm_xor_si128(Fold(x0, by512), _mm_loadu_si128(p));
    x1 = _mm_xor_si128(Fold(x1, by512), _mm_loadu_si128(p + 1));
    x2 = _mm_xor_si128(Fold(x2, by512), _mm_loadu_si128(p + 2));
    x3 = _mm_xor_si128(Fold(x3, by512), _mm_loadu_si128(p + 3));
  }
  x1 = _mm_xor_si128(Fold(x0, by128), x1);
  x2 = _mm_xor_si128(Fold(x1, by128), x2);
  x3 = _mm_xor_si128(Fold(x2, by128), x3);
  for (; length >= 16; p++, length -= 16) x3 = _mm_xor_si128(Fold(x3, by128), _mm_loadu_si128(p));
  // The remainder of these 128 bits is the register so far: the tables take
  // them from a register of 0 (a value of all ones), then the tail.
  BYTE last[16];
  _mm_storeu_si128((__m128i *)last, x3);
  return Crc32ByTables(Crc32ByTables(0xFFFFFFFFu, last, 16), (const BYTE *)p, length);
}

#else

uint32_t Crc32ByFolding(uint32_t crc, const BYTE *buffer, DWORD length) {
  return Crc32ByTables(crc, buffer, length);
}

#endif
