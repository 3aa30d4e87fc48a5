// The markup the parser reads: the clear-tag table, the tokens and the
// states of a start tag. The token reader and the parser's shortcuts for the
// usual shapes of markup both take their decisions from here, so that the
// two read a text alike.
#pragma once

#include <cstddef>
#include <cstdint>

#include "xml_scan.h"

namespace epub::xml::detail {

// Sections kept verbatim. Opens are matched case-sensitively in this order,
// so "<pre>" is an ordinary element. Records keep pointers to these strings,
// and a comment is told from the other sections by its open string's address.
// The strings are inline variables, one object each in the whole program:
// equal literals in two files need not share an address (under ASan they
// never do).
struct ClearTag {
  const char16_t* open;
  size_t openLength;
  const char16_t* close;
  size_t closeLength;
};
inline constexpr char16_t kCdataOpen[] = u"<![CDATA[", kCdataClose[] = u"]]>";
inline constexpr char16_t kDoctypeOpen[] = u"<!DOCTYPE", kDoctypeClose[] = u">";
inline constexpr char16_t kCommentOpen[] = u"<!--", kCommentClose[] = u"-->";
inline constexpr char16_t kPreOpen[] = u"<PRE>", kPreClose[] = u"</PRE>";
template <size_t kOpen, size_t kClose>
constexpr ClearTag clearTag(const char16_t (&open)[kOpen], const char16_t (&close)[kClose]) {
  return {open, kOpen - 1, close, kClose - 1};
}
inline constexpr ClearTag kClearTags[] = {
    clearTag(kCdataOpen, kCdataClose),
    clearTag(kDoctypeOpen, kDoctypeClose),
    clearTag(kCommentOpen, kCommentClose),
    clearTag(kPreOpen, kPreClose),
};
inline constexpr const ClearTag& kDoctype = kClearTags[1];
inline constexpr const ClearTag& kComment = kClearTags[2];
// Close of a DOCTYPE with an internal subset.
inline constexpr char16_t kSubsetClose[] = u"]>";

// The second characters of the table's open strings as bits: "<" followed
// by one of them may open a clear section.
constexpr bool clearSecondsAreAscii() noexcept {
  for (const ClearTag& tag : kClearTags) {
    if (tag.open[1] >= 128) return false;
  }
  return true;
}
static_assert(clearSecondsAreAscii(), "the bits below cover ASCII only");
constexpr uint64_t clearSecondBits(char16_t from) noexcept {
  uint64_t bits = 0;
  for (const ClearTag& tag : kClearTags) {
    if (tag.open[1] >= from && tag.open[1] < from + 64) bits |= 1ull << (tag.open[1] - from);
  }
  return bits;
}
inline constexpr uint64_t kClearSecondLow = clearSecondBits(0);
inline constexpr uint64_t kClearSecondHigh = clearSecondBits(64);
constexpr bool mayOpenClear(char16_t c) noexcept {
  return c < 64 ? ((kClearSecondLow >> c) & 1) != 0
                : c < 128 && ((kClearSecondHigh >> (c - 64)) & 1) != 0;
}

// The row of the clear-tag table whose open string stands at p (a "<"), or
// null.
inline const ClearTag* clearTagAt(const char16_t* p) noexcept {
  if (!mayOpenClear(p[1])) return nullptr;
  for (const ClearTag& tag : kClearTags) {
    size_t k = 0;
    while (k < tag.openLength && p[k] == tag.open[k]) ++k;
    if (k == tag.openLength) return &tag;
  }
  return nullptr;
}

enum class Tok {
  kWord = 0,
  kQuoted = 1,
  kTagOpen = 2,     // "<"
  kEndOpen = 3,     // "</"
  kTagClose = 4,    // ">"
  kEquals = 5,      // "="
  kDeclOpen = 6,    // "<?"
  kEmptyClose = 7,  // "/>"
  kClearOpen = 8,   // an open string of the clear-tag table
  kEnd = 9,
};

struct Token {
  Tok kind;
  size_t start;  // index in the text
  size_t length;
  const ClearTag* clear;  // for kClearOpen
};

// The token that "<" followed by `next` opens when no clear section does.
constexpr Tok markupOpenedBy(char16_t next) noexcept {
  return next == u'/' ? Tok::kEndOpen : next == u'?' ? Tok::kDeclOpen : Tok::kTagOpen;
}

// A character at which a word starts wherever a token is read, whatever
// follows it: no whitespace to skip, no quote (which may open a quoted
// string), no delimiter that is a token of its own and no "/" (which may
// begin "/>").
constexpr bool startsWord(char16_t c) noexcept { return !mayEndWord(c) && c != u'"' && c != u'\''; }

// "<" followed by `c` opens a start tag whose name begins at `c`: no clear
// section, end tag or declaration, and no whitespace before the name.
constexpr bool opensNamedTag(char16_t c) noexcept {
  return startsWord(c) && !mayOpenClear(c) && markupOpenedBy(c) == Tok::kTagOpen;
}

// "<" followed by `c` opens an end tag.
constexpr bool opensEndTag(char16_t c) noexcept {
  return !mayOpenClear(c) && markupOpenedBy(c) == Tok::kEndOpen;
}

// Whether the start tag ends at p, with ">" or "/>".
inline bool tagEndsAt(const char16_t* p) noexcept {
  return p[0] == u'>' || (p[0] == u'/' && p[1] == u'>');
}

// What a start tag waits for next.
enum class TagState {
  kName,    // an attribute name, or the end of the tag
  kEquals,  // "=" after a name; or another name, or the end of the tag
  kValue,   // the value after "="
};

}  // namespace epub::xml::detail
