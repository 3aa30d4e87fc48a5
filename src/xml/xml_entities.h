// Decoding of entity and character references in texts and attribute
// values: "&amp;", "&lt;", "&gt;", "&quot;" and "&apos;" in any letter case,
// "&#65;" and "&#x41;". Anything else after "&" fails the whole parse.
#pragma once

#include <cstddef>
#include <cstdint>

namespace epub::xml::detail {

// What decodedLength answers for a reference that cannot be decoded.
constexpr size_t kUndecodable = SIZE_MAX;

// Decoding runs in two passes over the n code units at p. The first returns
// how many code units the decoded text has, or kUndecodable; it stops early
// at a NUL and then lowers n to match.
size_t decodedLength(const char16_t* p, size_t& n) noexcept;

// The second pass, over what the first accepted, writes the decoded code
// units to out, which may be p itself: a reference is never shorter than
// what it stands for. False when a character reference holds a stray
// character. A character reference keeps only the low 16 bits of its number
// (no surrogate pairs), and "&#;" gives the code unit 0.
bool writeDecoded(const char16_t* p, size_t n, char16_t* out) noexcept;

}  // namespace epub::xml::detail
