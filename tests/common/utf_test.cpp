// The shared UTF-16 <-> UTF-8 converter: exact for well-formed text, one
// U+FFFD for each ill-formed piece, never more or less.
#include "utf.h"

#include <gtest/gtest.h>

namespace {

using epub::utf::fromUtf8;
using epub::utf::toUtf8;

TEST(Utf, ConvertsBothWays) {
  struct Row {
    std::u16string utf16;
    std::string utf8;
  };
  const Row rows[] = {
      // One to four bytes a code point, and the ends of each range.
      {u"", ""},
      {u"abc", "abc"},
      {u"\u00E9t\u00E9", "\xC3\xA9t\xC3\xA9"},
      {u"\u07FF\u0800", "\xDF\xBF\xE0\xA0\x80"},
      {u"\u4E2D\uFFFF", "\xE4\xB8\xAD\xEF\xBF\xBF"},
      {u"\U0001F600\U0010FFFF", "\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(toUtf8(row.utf16), row.utf8);
    EXPECT_EQ(fromUtf8(row.utf8), row.utf16);
  }
  EXPECT_EQ(toUtf8(static_cast<const char16_t*>(nullptr)), "");
}

TEST(Utf, IllFormedInputBecomesReplacementCharacters) {
  // Unpaired surrogates in UTF-16: one U+FFFD each.
  const std::pair<std::u16string, std::string> utf16[] = {
      {std::u16string(1, char16_t(0xD800)), "\xEF\xBF\xBD"},
      {std::u16string(1, char16_t(0xDC00)) + u"x",
       "\xEF\xBF\xBD"
       "x"},
      {std::u16string{char16_t(0xD800), char16_t(0xD800), char16_t(0xDC00)},
       "\xEF\xBF\xBD\xF0\x90\x80\x80"},
  };
  for (const auto& [in, out] : utf16) EXPECT_EQ(toUtf8(in), out);
  // Bad UTF-8: one U+FFFD per bad lead byte, then reading goes on.
  const std::pair<std::string, std::u16string> utf8[] = {
      {"\x80", u"\uFFFD"},
      {"\xC3", u"\uFFFD"},
      {"\xC0\xAF", u"\uFFFD\uFFFD"},                      // overlong
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // a surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // past U+10FFFF
      {"a\xE4\xB8z", u"a\uFFFD\uFFFDz"},
  };
  for (const auto& [in, out] : utf8) EXPECT_EQ(fromUtf8(in), out) << in;
}

}  // namespace
