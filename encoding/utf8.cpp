// Counting and decoding UTF-8 sequences: plain byte scanning, shared by both
// backends.
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define VOROZO_AVX2 1
#endif

#include "charsets.h"

namespace vorozo {

namespace {

#ifdef VOROZO_AVX2
// 32 ASCII bytes as 32 UTF-16 units.
__attribute__((target("avx2"))) inline void widen(char16_t* out, __m256i bytes) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                      _mm256_cvtepu8_epi16(_mm256_castsi256_si128(bytes)));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 16),
                      _mm256_cvtepu8_epi16(_mm256_extracti128_si256(bytes, 1)));
}

// The ASCII bytes at the start of b[0, n), in whole steps of 64 bytes, the
// last one possibly of 32 when widening to UTF-16 (out not null) while
// `room` units are left. Built for processors with AVX2 only; see hasAvx2.
__attribute__((target("avx2"))) size_t asciiStepsAvx2(const uint8_t* b, size_t n, char16_t* out,
                                                      size_t room) {
  size_t i = 0;
  if (out == nullptr) {
    for (; n - i >= 64; i += 64) {
      const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i));
      const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i + 32));
      if (_mm256_movemask_epi8(_mm256_or_si256(x, y)) != 0) break;
    }
    return i;
  }
  const size_t end = n < room ? n : room;
  for (; end - i >= 64; i += 64) {
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i));
    const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i + 32));
    if (_mm256_movemask_epi8(_mm256_or_si256(x, y)) != 0) break;
    widen(out + i, x);
    widen(out + i + 32, y);
  }
  for (; end - i >= 32; i += 32) {
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i));
    if (_mm256_movemask_epi8(x) != 0) break;
    widen(out + i, x);
  }
  return i;
}

bool hasAvx2() {
  static const bool yes = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return yes;
}

// Wide steps are tried where an ASCII byte starts at least this many.
constexpr size_t kWideStepBytes = 64;
#endif

}  // namespace

Utf8Census countUtf8(const uint8_t* b, uint32_t n) {
  Utf8Census census;
  uint32_t i = 0;
  while (i < n) {
    uint8_t c = b[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    uint32_t extra = 0;
    uint8_t lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
      if (c == 0xE0) lo = 0xA0;  // overlong
      if (c == 0xED) hi = 0x9F;  // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
      if (c == 0xF0) lo = 0x90;  // overlong
      if (c == 0xF4) hi = 0x8F;  // above U+10FFFF
    }
    bool ok = extra > 0 && n - i > extra && b[i + 1] >= lo && b[i + 1] <= hi;
    for (uint32_t k = 2; ok && k <= extra; ++k) ok = (b[i + k] & 0xC0) == 0x80;
    if (ok) {
      ++census.sequences;
      i += extra + 1;
    } else {
      ++census.invalid;
      ++i;
    }
  }
  return census;
}

size_t wellFormedUtf8(const uint8_t* b, uint32_t n, char16_t* out, size_t limit) {
  size_t units = 0;
  auto put = [&](char16_t unit) {
    if (out != nullptr && units < limit) out[units] = unit;
    ++units;
  };
  uint32_t i = 0;
  while (i < n) {
#ifdef VOROZO_AVX2
    if (n - i >= kWideStepBytes && b[i] < 0x80 && hasAvx2()) {
      const size_t room = out == nullptr ? SIZE_MAX : (units < limit ? limit - units : 0);
      const size_t run = asciiStepsAvx2(b + i, n - i, out == nullptr ? nullptr : out + units, room);
      units += run;
      i += uint32_t(run);
    }
#endif
#if defined(__SSE2__)
    // ASCII runs, sixteen bytes at a time, widened with zero high bytes.
    while (n - i >= 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
      if (_mm_movemask_epi8(bytes) != 0) break;
      if (out != nullptr) {
        if (units + 16 > limit) break;
        const __m128i zero = _mm_setzero_si128();
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + units), _mm_unpacklo_epi8(bytes, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + units + 8),
                         _mm_unpackhi_epi8(bytes, zero));
      }
      units += 16;
      i += 16;
    }
#endif
    // ASCII runs, eight bytes at a time.
    while (n - i >= 8) {
      uint64_t word;
      std::memcpy(&word, b + i, 8);
      if ((word & 0x8080808080808080ull) != 0) break;
      if (out != nullptr && units + 8 <= limit) {
        for (int k = 0; k < 8; ++k) out[units + k] = char16_t(b[i + k]);
        units += 8;
      } else {
        for (int k = 0; k < 8; ++k) put(char16_t(b[i + k]));
      }
      i += 8;
    }
    if (i == n) break;
    const uint8_t c = b[i];
    if (c < 0x80) {
      put(c);
      ++i;
      continue;
    }
    // The same well-formedness rules as countUtf8.
    uint32_t extra = 0;
    uint8_t lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    } else {
      return kIllFormed;
    }
    if (n - i <= extra || b[i + 1] < lo || b[i + 1] > hi) return kIllFormed;
    uint32_t code = c & (0x3F >> extra);
    for (uint32_t k = 1; k <= extra; ++k) {
      if (k > 1 && (b[i + k] & 0xC0) != 0x80) return kIllFormed;
      code = (code << 6) | (b[i + k] & 0x3F);
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      put(char16_t(0xD800 + (code >> 10)));
      put(char16_t(0xDC00 + (code & 0x3FF)));
    } else {
      put(char16_t(code));
    }
    i += extra + 1;
  }
  return units;
}

}  // namespace vorozo
