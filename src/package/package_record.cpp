#include "package/package_record.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "address_sanitizer.h"
#include "xml/xml_node.h"

namespace epub::package {

namespace {
constexpr size_t kPoolBlockBytes = size_t(32) << 10;

// Copying while looking for the NUL reads the text in aligned blocks of eight
// units, which never reach into another page but may start before the text
// and end past its NUL. Not under AddressSanitizer, which would see those
// reads.
#if defined(__SSE2__) && !defined(EPUB_ADDRESS_SANITIZED)
#define EPUB_POOL_EIGHT_AT_A_TIME 1
#endif
}  // namespace

void* RecordPool::allocateInNewBlock(size_t bytes) {
  // A request over a quarter block gets a block of its own, so the current
  // block's rest is not given up for it. operator new[] of char gives memory
  // aligned for any fundamental type.
  const bool own = bytes > kPoolBlockBytes / 4;
  const size_t blockBytes = own ? bytes : kPoolBlockBytes;
  blocks_.push_back(std::make_unique_for_overwrite<char[]>(blockBytes));
  char* block = blocks_.back().get();
  if (own) return block;
  cursor_ = block + bytes;
  left_ = blockBytes - bytes;
  return block;
}

#ifdef EPUB_POOL_EIGHT_AT_A_TIME
namespace {
// The bytes of `v` from byte `skip` (even, below 16) on, at its start.
__m128i dropFront(__m128i v, size_t skip) noexcept {
  switch (skip) {
    case 2:
      return _mm_srli_si128(v, 2);
    case 4:
      return _mm_srli_si128(v, 4);
    case 6:
      return _mm_srli_si128(v, 6);
    case 8:
      return _mm_srli_si128(v, 8);
    case 10:
      return _mm_srli_si128(v, 10);
    case 12:
      return _mm_srli_si128(v, 12);
    case 14:
      return _mm_srli_si128(v, 14);
    default:
      return v;
  }
}
}  // namespace
#endif

const char16_t* RecordPool::copy(const char16_t* text) {
  if (text == nullptr || *text == u'\0') return u"";
#ifdef EPUB_POOL_EIGHT_AT_A_TIME
  // The text is read in aligned blocks of eight units, the first one from
  // before the text, and each block is written whole to its place in the
  // pool's block: units after the NUL land in its free rest. Every
  // allocation is a whole number of units or pointers, so the cursor is
  // always aligned for char16_t. Without room for the last block written,
  // the text takes the ordinary way.
  const uintptr_t at = reinterpret_cast<uintptr_t>(text);
  const size_t skip = at & 15;
  if (left_ >= 16 && (at & 1) == 0) {
    const auto* block = reinterpret_cast<const __m128i*>(at - skip);
    const __m128i zero = _mm_setzero_si128();
    __m128i units = _mm_load_si128(block);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(cursor_), dropFront(units, skip));
    unsigned nul = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi16(units, zero))) >> skip;
    size_t placed = 0;        // where the last block read starts in the pool
    size_t next = 16 - skip;  // where the next one goes
    while (nul == 0 && next + 16 <= left_) {
      units = _mm_load_si128(++block);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(cursor_ + next), units);
      nul = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi16(units, zero)));
      placed = next;
      next += 16;
    }
    if (nul != 0) {
      // The units up to the NUL and the NUL itself are taken.
      const size_t bytes = placed + size_t(__builtin_ctz(nul)) + sizeof(char16_t);
      auto* out = reinterpret_cast<const char16_t*>(cursor_);
      cursor_ += bytes;
      left_ -= bytes;
      return out;
    }
  }
#endif
  return copyWhole(text);
}

const char16_t* RecordPool::copyWhole(const char16_t* text) {
  const size_t units = xml::unitsBeforeNul(text) + 1;
  auto* out = static_cast<char16_t*>(allocate(units * sizeof(char16_t), alignof(char16_t)));
  std::memcpy(out, text, units * sizeof(char16_t));
  return out;
}

const char16_t** RecordPool::pointers(size_t count) {
  return static_cast<const char16_t**>(
      allocate(count * sizeof(const char16_t*), alignof(const char16_t*)));
}

}  // namespace epub::package
