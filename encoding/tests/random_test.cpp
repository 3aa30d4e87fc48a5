// Bounded randomized decoding: mutated documents in every supported charset,
// and noise, decode without crashing, reading out of bounds or writing past
// the length the object reports, under every code; what is read as UTF-8
// and the Windows back end's UTF-16/32 decoders give ICU's text, U+FFFD and
// all.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "encoding_support.h"
#include "wide.h"

namespace vorozo_test {
namespace {

#if defined(EPUB_SANITIZED)
constexpr int kRounds = 6000;
#else
constexpr int kRounds = 30000;
#endif

// The same text in each charset (after its mark, in hex after the name),
// declared by XML, by meta and not at all.
std::vector<std::string> seedDocuments() {
  const std::u16string body =
      u"<p>Ça coûté €5 — Grüße, naïve œuvre 日本語のテキスト、カタカナ。"
      u"한국어 똠방각하 中文的文字，我們今天去學校😀</p>";
  std::vector<std::string> docs;
  for (std::string charset :
       {"UTF-8", "UTF-8 EFBBBF", "UTF-16LE FFFE", "UTF-16BE FEFF", "UTF-16LE", "UTF-16BE",
        "UTF-32LE FFFE0000", "UTF-32BE 0000FEFF", "windows-1252", "ISO-8859-1", "Shift_JIS",
        "EUC-JP", "EUC-KR", "GB18030", "GBK", "Big5"}) {
    const std::string mark = hex(charset.substr(std::min(charset.find(' '), charset.size())));
    charset.resize(std::min(charset.find(' '), charset.size()));
    const std::u16string name(charset.begin(), charset.end());
    for (const std::u16string& head : {u"<?xml version='1.0' encoding='" + name + u"'?>",
                                       u"<meta charset='" + name + u"'/>", std::u16string()}) {
      docs.push_back(mark + encode(charset.c_str(), head + body, true));
    }
  }
  return docs;
}

const char* const kFragments[] = {"utf-8", "UTF-16",   "shift_jis", "euc-jp", "gbk",
                                  "big5",  "EUC-KR",   "latin1",    "IBM037", "utf-7",
                                  "x-bad", "\"",       "'",         "<?xml",  "?>",
                                  "<meta", "charset=", "-->",       "\xC3",   "\xED\xA0"};

std::string mutate(std::string doc, std::mt19937& rng) {
  auto pick = [&](size_t most) { return size_t(rng() % (most + 1)); };
  for (int edits = 1 + int(pick(3)); edits > 0; --edits) {
    const size_t at = pick(doc.size());
    switch (rng() % 4) {
      case 0:  // random bytes, surrogate-like ones often
        for (size_t n = 1 + pick(3); n > 0; --n) doc.insert(at, 1, char(rng() % 3 ? rng() : 0xD8));
        break;
      case 1:  // cut a range, or the rest
        doc.erase(at, rng() % 2 ? pick(8) : std::string::npos);
        break;
      case 2:  // a label or markup fragment
        doc.insert(at, kFragments[pick(std::size(kFragments) - 1)]);
        break;
      default:  // a piece again
        doc.insert(pick(doc.size()), doc.substr(at, pick(16)));
    }
  }
  return doc;
}

TEST(RandomDecode, MutatedDocumentsAndNoise) {
  std::mt19937 rng(20240917);
  const std::vector<std::string> docs = seedDocuments();
  for (int round = 0; round < kRounds && !HasFailure(); ++round) {
    std::string bytes = mutate(docs[rng() % docs.size()], rng);
    if (round % 4 == 0) {  // noise, short enough to hit the tiny-input paths
      bytes.resize(rng() % 25);
      for (char& c : bytes) c = char(rng());
    }
    SCOPED_TRACE(testing::PrintToString(bytes));
    const bool strict = round % 2 != 0;
    const Outcome o = decodeLikeReader(bytes, strict);
    EXPECT_FALSE(o.overran);
    if (o.used == 2) {
      EXPECT_EQ(o.text,
                icuDecode("UTF-8", bytes.substr(bytes.starts_with("\xEF\xBB\xBF") ? 3 : 0)));
    }
    // Every code the library can be handed converts within the reported
    // length, at most two units a byte.
    for (int code : {0, 1, 2, 3, 9}) {
      KWT::CVorozoVorevare decoder(raw(bytes), uint32_t(bytes.size()), strict);
      decoder.setEncoding(code);
      const uint32_t n = decoder.getUCS2LELength();
      ASSERT_LE(n, bytes.size() * 2);
      std::u16string out(n + 1, u'\xA5A5');
      EXPECT_TRUE(decoder.toUCS2LE(out.data(), n));
      ASSERT_EQ(out[n], u'\xA5A5') << code;
    }
    const auto* b = raw(bytes);
    const auto size = uint32_t(bytes.size());
    EXPECT_EQ(vorozo::decodeUtf16(b, size, false), icuDecode("UTF-16LE", bytes));
    EXPECT_EQ(vorozo::decodeUtf16(b, size, true), icuDecode("UTF-16BE", bytes));
    EXPECT_EQ(vorozo::decodeUtf32(b, size, false), icuDecode("UTF-32LE", bytes));
    EXPECT_EQ(vorozo::decodeUtf32(b, size, true), icuDecode("UTF-32BE", bytes));
  }
}

}  // namespace
}  // namespace vorozo_test
