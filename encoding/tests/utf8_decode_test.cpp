// UTF-8 text decodes to exactly what ICU's converter gives, whether it takes
// the fast path for well-formed bytes or falls back to the converter, and a
// short destination receives exactly the units asked for.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "encoding_support.h"

namespace vorozo_test {
namespace {

// ICU's own UTF-8 conversion, the leading byte-order mark skipped.
std::u16string icuUtf8(std::string bytes) {
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
  UErrorCode err = U_ZERO_ERROR;
  UConverter* cnv = ucnv_open("UTF-8", &err);
  std::u16string out(bytes.size() + 1, u'\0');
  const int32_t n = ucnv_toUChars(cnv, out.data(), static_cast<int32_t>(out.size()), bytes.data(),
                                  static_cast<int32_t>(bytes.size()), &err);
  ucnv_close(cnv);
  EXPECT_TRUE(U_SUCCESS(err));
  out.resize(static_cast<size_t>(n));
  return out;
}

// Whether ICU finds every sequence well-formed.
bool wellFormed(const std::string& bytes) {
  UErrorCode err = U_ZERO_ERROR;
  UConverter* cnv = ucnv_open("UTF-8", &err);
  ucnv_setToUCallBack(cnv, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
  std::u16string out(bytes.size() + 1, u'\0');
  ucnv_toUChars(cnv, out.data(), static_cast<int32_t>(out.size()), bytes.data(),
                static_cast<int32_t>(bytes.size()), &err);
  ucnv_close(cnv);
  return U_SUCCESS(err);
}

constexpr char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

TEST(Utf8Decode, WellFormedTextMatchesTheConverter) {
  const std::string rows[] = {
      // ASCII runs longer and shorter than the wide steps, and a NUL byte.
      std::string(kDeclaration) + "<a>" + std::string(100, 'x') + "</a>",
      std::string(kDeclaration) + "<a>x" + std::string(1, '\0') + "y</a>",
      // Two-, three- and four-byte sequences at the edges of their ranges:
      // U+0080, U+07FF, U+0800, U+D7FF, U+E000, U+FFFF, U+10000, U+10FFFF.
      std::string(kDeclaration) + hex("C280 DFBF E0A080 ED9FBF EE8080 EFBFBF F0908080 F48FBFBF"),
      // With a byte-order mark.
      hex("EFBBBF") + kDeclaration + "<p>Grüße 日本 😀</p>",
  };
  for (const std::string& bytes : rows) {
    SCOPED_TRACE(bytes);
    const Outcome o = decodeLikeReader(bytes);
    EXPECT_EQ(o.used, 2);
    EXPECT_FALSE(o.overran);
    EXPECT_EQ(o.text, icuUtf8(bytes));
  }
}

TEST(Utf8Decode, ShortDestinationGetsExactlyTheUnitsAskedFor) {
  // The text ends in a surrogate pair: asking for one unit less cuts it.
  const std::string bytes = std::string(kDeclaration) + "ab" + hex("F0908080");
  KWT::CVorozoVorevare decoder(data(bytes), static_cast<uint32_t>(bytes.size()), false);
  ASSERT_EQ(decoder.encoding, 2);
  const uint32_t n = decoder.getUCS2LELength();
  const std::u16string whole = icuUtf8(bytes);
  ASSERT_EQ(n, whole.size());
  std::u16string buffer(n, u'\xA5A5');
  EXPECT_FALSE(decoder.toUCS2LE(buffer.data(), n - 1));
  EXPECT_EQ(buffer.substr(0, n - 1), whole.substr(0, n - 1));
  EXPECT_EQ(buffer[n - 1], u'\xA5A5');
  EXPECT_TRUE(decoder.toUCS2LE(buffer.data(), n));
  EXPECT_EQ(buffer, whole);
}

// Long ASCII runs, which are read many bytes at a time, end exactly where a
// multi-byte or ill-formed sequence starts, and a destination cut anywhere
// near the end receives exactly the units asked for.
TEST(Utf8Decode, LongAsciiRunsAroundOtherSequences) {
  const std::string others[] = {hex("C3A9"), hex("E282AC"), hex("F09F9880"), hex("FF")};
  for (size_t run : {31u, 32u, 33u, 63u, 64u, 65u, 95u, 96u, 97u, 127u, 128u, 129u, 200u}) {
    for (const std::string& other : others) {
      std::string ascii;
      for (size_t k = 0; k < run; ++k) ascii += char('a' + k % 26);
      const std::string bytes = std::string(kDeclaration) + "<a>" + ascii + other +
                                std::string(run / 2, 'z') + other + "</a>";
      SCOPED_TRACE(std::to_string(run) + " ASCII bytes before " + std::to_string(other.size()));
      const Outcome o = decodeLikeReader(bytes);
      EXPECT_FALSE(o.overran);
      const std::u16string whole = icuUtf8(bytes);
      EXPECT_EQ(o.text, whole);
      if (!wellFormed(bytes)) continue;
      KWT::CVorozoVorevare decoder(data(bytes), static_cast<uint32_t>(bytes.size()), false);
      const uint32_t n = decoder.getUCS2LELength();
      ASSERT_EQ(n, whole.size());
      for (uint32_t limit = n > 70 ? n - 70 : 0; limit <= n; ++limit) {
        std::u16string buffer(n + 1, u'\xA5A5');
        EXPECT_EQ(decoder.toUCS2LE(buffer.data(), limit), limit == n);
        EXPECT_EQ(buffer.substr(0, limit), whole.substr(0, limit)) << "limit " << limit;
        EXPECT_EQ(buffer.substr(limit), std::u16string(n + 1 - limit, u'\xA5A5'))
            << "limit " << limit;
      }
    }
  }
}

#if defined(EPUB_SANITIZED)
constexpr int kRounds = 3000;
#else
constexpr int kRounds = 20000;
#endif

// Mutated UTF-8 documents, well-formed or not, decode as the converter does.
TEST(Utf8Decode, MutatedTextMatchesTheConverter) {
  const std::string seed = std::string(kDeclaration) +
                           "<p>Ça coûte €5 — Grüße, 日本語のテキスト 한국어 😀 plain ascii text</p>";
  std::mt19937 rng(20240611);
  auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n)(rng); };
  int wellFormedCount = 0;
  for (int round = 0; round < kRounds; ++round) {
    std::string bytes = seed;
    // Mutate only after the declaration, so that every text is read as UTF-8.
    const size_t from = sizeof kDeclaration - 1;
    for (size_t e = 0, edits = 1 + pick(2); e < edits; ++e) {
      const size_t at = from + pick(bytes.size() - from - 1);
      switch (pick(2)) {
        case 0:
          bytes[at] = static_cast<char>(pick(255));
          break;
        case 1:
          bytes.erase(at, 1 + pick(2));
          break;
        default:
          bytes.insert(at, 1, static_cast<char>(0x80 + pick(0x7F)));
          break;
      }
      if (bytes.size() <= from + 1) bytes = seed;
    }
    const Outcome o = decodeLikeReader(bytes);
    ASSERT_EQ(o.used, 2) << round;
    ASSERT_FALSE(o.overran) << round;
    ASSERT_EQ(o.text, icuUtf8(bytes)) << round;
    wellFormedCount += wellFormed(bytes);
  }
  // Both paths were taken.
  EXPECT_GT(wellFormedCount, kRounds / 20);
  EXPECT_LT(wellFormedCount, kRounds);
}

}  // namespace
}  // namespace vorozo_test
