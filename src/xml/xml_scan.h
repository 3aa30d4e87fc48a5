// The parser's scans over NUL-terminated UTF-16 text: the character classes
// of its tokens and the searches for the next delimiter, eight code units at
// a time where the processor has SSE2. Every scan is told where the text's
// NUL stands and never loads beyond it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/address_sanitizer.h"

namespace epub::xml::detail {

// An index that stands for "not found" or "none".
constexpr size_t kNone = static_cast<size_t>(-1);

// Whitespace is exactly these four, nothing from beyond ASCII.
constexpr uint64_t kSpaceBits = (1ull << ' ') | (1ull << '\t') | (1ull << '\r') | (1ull << '\n');
constexpr bool isSpace(char16_t c) noexcept { return c < 64 && ((kSpaceBits >> c) & 1) != 0; }

// The characters that may end a word: whitespace, "<", ">", "=", NUL and
// "/" (the last only before ">").
constexpr uint64_t kWordEndBits =
    kSpaceBits | (1ull << '<') | (1ull << '>') | (1ull << '=') | (1ull << '/') | 1ull;
constexpr bool mayEndWord(char16_t c) noexcept { return c < 64 && ((kWordEndBits >> c) & 1) != 0; }

// The first unit at or after i that may end a word. Names are mostly
// letters, which the first test passes.
inline size_t wordEnd(const char16_t* t, size_t i) noexcept {
  for (;; ++i) {
    const char16_t c = t[i];
    if (__builtin_expect(c >= 64, 1)) continue;
    if (((kWordEndBits >> c) & 1) != 0) return i;
  }
}

// Scans eight code units at a time where the processor has SSE2. A scan
// never loads beyond the text's terminating NUL: the last few units before
// it are looked at one by one.
#if defined(__SSE2__)
inline __m128i load8(const char16_t* p) noexcept {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline __m128i equal16(__m128i units, char16_t c) noexcept {
  return _mm_cmpeq_epi16(units, _mm_set1_epi16(static_cast<short>(c)));
}
// The unit at which a compare mask (two bits per unit) first hits, found by
// branches rather than a bit scan. The next scan starts where this one ends:
// with a predicted branch the processor starts it at once, where a bit scan
// would make it wait for the loads and compares. Measured: a fifth of a
// large parse. The empty statements keep the compiler from turning the
// branches into conditional moves, which would wait the same way.
inline size_t firstHit(int mask) noexcept {
  unsigned m = unsigned(mask);
  size_t k = 0;
  if ((m & 0xFF) == 0) {
    m >>= 8;
    k += 4;
    asm volatile("" : "+r"(k), "+r"(m));
  }
  if ((m & 0xF) == 0) {
    m >>= 4;
    k += 2;
    asm volatile("" : "+r"(k), "+r"(m));
  }
  if ((m & 0x3) == 0) {
    k += 1;
    asm volatile("" : "+r"(k));
  }
  return k;
}
#endif

// The first `a`, `b` or NUL at or after `from`, in a text whose NUL is at
// `length`.
inline size_t findEither(const char16_t* t, size_t from, [[maybe_unused]] size_t length, char16_t a,
                         char16_t b) noexcept {
#if defined(__SSE2__)
  for (; from + 8 <= length + 1; from += 8) {
    const __m128i units = load8(t + from);
    const __m128i hits = _mm_or_si128(_mm_or_si128(equal16(units, a), equal16(units, b)),
                                      _mm_cmpeq_epi16(units, _mm_setzero_si128()));
    const int mask = _mm_movemask_epi8(hits);
    if (mask != 0) return from + firstHit(mask);
  }
#endif
  while (t[from] != a && t[from] != b && t[from] != u'\0') ++from;
  return from;
}

#if defined(__SSE2__)
// What comes after an "&" in a scan for the end of a value: only the end is
// looked for.
__attribute__((noinline)) inline size_t valueEndAfterEntity(const char16_t* t, size_t at,
                                                            size_t length,
                                                            char16_t quote) noexcept {
  return findEither(t, at + 1, length, quote, u'<');
}
#endif

// The first `Quote`, "<" or NUL at or after `from`, as findEither; sets
// `entity` when an "&" comes before it. `Quote` is '"', "'" or "<" (for a
// text between tags), each compared with a constant.
template <char16_t Quote>
__attribute__((always_inline)) inline size_t findValueEnd(const char16_t* t, size_t from,
                                                          [[maybe_unused]] size_t length,
                                                          bool& entity) noexcept {
#if defined(__SSE2__)
  // '"' (0x22) and "'" (0x27) each differ from "&" (0x26) in one bit: with
  // that bit set in every unit, one compare finds both.
  constexpr short kBit = Quote == u'"' ? 4 : Quote == u'\'' ? 1 : 0;
  for (; from + 8 <= length + 1; from += 8) {
    const __m128i units = load8(t + from);
    __m128i hits = _mm_or_si128(equal16(units, u'<'), _mm_cmpeq_epi16(units, _mm_setzero_si128()));
    if constexpr (kBit != 0) {
      hits = _mm_or_si128(hits, equal16(_mm_or_si128(units, _mm_set1_epi16(kBit)), u'&' | kBit));
    } else {
      hits = _mm_or_si128(hits, equal16(units, u'&'));
    }
    const int mask = _mm_movemask_epi8(hits);
    if (mask == 0) continue;
    // Mostly the value's end; "&" is rare.
    const size_t at = from + firstHit(mask);
    if (__builtin_expect(t[at] != u'&', 1)) return at;
    entity = true;
    return valueEndAfterEntity(t, at, length, Quote);
  }
#endif
  for (;; ++from) {
    const char16_t c = t[from];
    if (c == Quote || c == u'<' || c == u'\0') return from;
    if (c == u'&') entity = true;
  }
}

// Index of the first unit among [from, end) of t that is not whitespace, or
// end. The text between two tags is mostly a line end and indentation. The
// loads may look past `end`, never past the text's `length` units.
__attribute__((always_inline)) inline size_t skipSpaces(const char16_t* t, size_t from, size_t end,
                                                        [[maybe_unused]] size_t length) noexcept {
#if defined(__SSE2__)
  for (; from < end && from + 8 <= length; from += 8) {
    const __m128i units = load8(t + from);
    // Tab (0x09) and CR (0x0D) differ in one bit: one compare finds both.
    const __m128i spaces = _mm_or_si128(_mm_or_si128(equal16(units, u' '), equal16(units, u'\n')),
                                        equal16(_mm_or_si128(units, _mm_set1_epi16(4)), u'\r'));
    const int mask = _mm_movemask_epi8(spaces) ^ 0xFFFF;
    if (mask != 0) return std::min(from + firstHit(mask), end);
  }
  if (from >= end) return end;
#endif
  while (from < end && isSpace(t[from])) ++from;
  return from;
}

// Index of the first `c` among the n units at p, or n.
inline size_t indexIn(const char16_t* p, size_t n, char16_t c) noexcept {
  size_t i = 0;
#if defined(__SSE2__)
  for (; i + 8 <= n; i += 8) {
    const int mask = _mm_movemask_epi8(equal16(load8(p + i), c));
    if (mask != 0) return i + firstHit(mask);
  }
#endif
  while (i < n && p[i] != c) ++i;
  return i;
}

// The length of a NUL-terminated text: eight units at a time from an
// aligned position, where a load never reaches into another page. Not under
// AddressSanitizer, which would see the reads past the NUL.
#if defined(__SSE2__) && !defined(EPUB_ADDRESS_SANITIZED)
inline size_t textLength(const char16_t* text) noexcept {
  const char16_t* p = text;
  if ((reinterpret_cast<uintptr_t>(p) & 1) != 0) return std::char_traits<char16_t>::length(text);
  for (; (reinterpret_cast<uintptr_t>(p) & 15) != 0; ++p) {
    if (*p == u'\0') return size_t(p - text);
  }
  for (;; p += 8) {
    const int mask = _mm_movemask_epi8(
        _mm_cmpeq_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(p)), _mm_setzero_si128()));
    if (mask != 0) return size_t(p - text) + firstHit(mask);
  }
}
#else
inline size_t textLength(const char16_t* text) noexcept {
  return std::char_traits<char16_t>::length(text);
}
#endif

}  // namespace epub::xml::detail
