// 8-bit text read in the system's ANSI code page (Windows-1252 off Windows).
// Under Wine the suite runs again as base_cp1251 and base_cp932, which name
// their code page in EPUB_ANSI_CODE_PAGE so that they cannot pass under
// another.
#include "base/ansi_text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/win32_api.h"

namespace epub::base {
namespace {

TEST(AnsiText, FollowsTheSystemCodePage) {
  unsigned codePage = 1252;
#ifdef _WIN32
  codePage = GetACP();
#endif
  if (const char* wanted = std::getenv("EPUB_ANSI_CODE_PAGE")) {
    ASSERT_EQ(std::to_string(codePage), wanted) << "the run's ANSI code page";
  }
  const int column = codePage == 1252 ? 0 : codePage == 1251 ? 1 : codePage == 932 ? 2 : -1;
  ASSERT_GE(column, 0) << "no rows for ANSI code page " << codePage;
  struct Row {
    const char* bytes;
    int32_t length;
    std::u16string text[3];  // under 1252, 1251, 932
  };
  const Row rows[] = {
      {"\xC6", 1, {u"\u00C6", u"\u0416", u"\uFF86"}},
      // Two bytes, one character in the double-byte code page.
      {"\x82\xA0", 2, {u"\u201A\u00A0", u"\u201A\u00A0", u"\u3042"}},
      {"\x82\xA0z", -1, {u"\u201A\u00A0z", u"\u201A\u00A0z", u"\u3042z"}},
      {"a\0\xC6", 3, {u"a", u"a", u"a"}},
      {"\xC6", 0, {u"", u"", u""}},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ansiText(reinterpret_cast<const uint8_t*>(row.bytes), row.length), row.text[column])
        << "row " << (&row - rows) << ", code page " << codePage;
  }
}

}  // namespace
}  // namespace epub::base
