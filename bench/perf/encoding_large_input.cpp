// Big documents: detection looks at bounded windows and conversion is one
// linear pass, so a 16 MB file decodes in well under a second.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "encoding_support.h"

namespace vorozo_test {
namespace {

TEST(LargeInput, DecodesInLinearTime) {
  struct Case {
    const char* what;
    std::string head;  // bytes before the repeated body
    const char* charset;
    std::u16string piece;  // repeated up to the size below
  };
  const Case cases[] = {
      // The detector path: undeclared windows-1252.
      {"undeclared legacy", "", "windows-1252",
       u"<p>Élodie traversa la cour pavée du château.</p>"},
      // The validation path: undeclared UTF-8.
      {"undeclared utf-8", "", "UTF-8", u"<p>日本語のテキストとカタカナ。</p>"},
      // A declared double-byte charset.
      {"declared shift_jis", "<?xml version='1.0' encoding='Shift_JIS'?>", "Shift_JIS",
       u"<p>日本語のテキストとカタカナ。</p>"},
  };
  constexpr size_t kSize = size_t{16} << 20;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string piece = encode(c.charset, c.piece);
    std::string bytes = c.head;
    while (bytes.size() < kSize) bytes += piece;
    const size_t pieces = (bytes.size() - c.head.size()) / piece.size();

    const auto start = std::chrono::steady_clock::now();
    Outcome o = decodeLikeReader(bytes);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(o.text.size(), c.head.size() + pieces * c.piece.size());
    EXPECT_EQ(o.text.substr(o.text.size() - c.piece.size()), c.piece);
    RecordProperty(c.what, std::to_string(seconds));
#if !defined(EPUB_SANITIZED)
    EXPECT_LT(seconds, 1.0);
#endif
  }
}

}  // namespace
}  // namespace vorozo_test
