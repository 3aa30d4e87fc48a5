// Bounded randomized decoding: random bytes and mutated documents in every
// supported charset must decode without crashing, reading out of bounds,
// leaking, or writing past the length the object reports.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "encoding_support.h"

namespace vorozo_test {
namespace {

#if defined(EPUB_SANITIZED)
constexpr int kRounds = 8000;
#else
constexpr int kRounds = 20000;
#endif

struct Seed {
  const char* charset;  // ICU name to encode with
  const char* mark;     // hex of the byte-order mark to put first, or ""
  std::u16string body;
};

std::vector<std::string> seedDocuments() {
  const std::u16string latin = u"Ça sûrement coûté €5 — Grüße, naïve œuvre";
  const std::u16string japanese = u"日本語のテキスト、カタカナとひらがな。";
  const std::u16string korean = u"한국어 문장입니다 똠방각하";
  const std::u16string chinese = u"中文的文字，我們今天去學校。";
  const std::u16string any = latin + japanese + korean + u"😀";
  const std::vector<Seed> seeds = {
      {"UTF-8", "", any},
      {"UTF-8", "EFBBBF", any},
      {"UTF-16LE", "FFFE", any},
      {"UTF-16BE", "FEFF", any},
      {"UTF-16LE", "", any},
      {"UTF-16BE", "", any},
      {"UTF-32LE", "FFFE0000", any},
      {"UTF-32BE", "0000FEFF", any},
      {"windows-1252", "", latin},
      {"ISO-8859-1", "", u"Ça naïve Grüße"},
      {"Shift_JIS", "", japanese},
      {"EUC-JP", "", japanese},
      {"EUC-KR", "", korean},
      {"GB18030", "", chinese + latin},
      {"GBK", "", chinese},
      {"Big5", "", chinese},
  };
  std::vector<std::string> docs;
  for (const Seed& s : seeds) {
    const std::u16string name(s.charset, s.charset + std::char_traits<char>::length(s.charset));
    const std::u16string body = u"<html><head><title>" + s.body + u"</title></head><body><p>" +
                                s.body + u"</p></body></html>";
    // The same text declared by XML, by meta, and not at all.
    docs.push_back(hex(s.mark) +
                   encode(s.charset, u"<?xml version=\"1.0\" encoding=\"" + name + u"\"?>" + body));
    docs.push_back(hex(s.mark) + encode(s.charset, u"<meta charset=\"" + name + u"\"/>" + body));
    docs.push_back(hex(s.mark) + encode(s.charset, body));
  }
  return docs;
}

// Labels to splice into declarations, known and unknown.
const char* const kLabels[] = {"utf-8",  "UTF-16", "shift_jis", "euc-jp",   "gbk", "big5", "EUC-KR",
                               "latin1", "IBM037", "utf-7",     "x-bad",    "",    "\"",   "'",
                               "<?xml",  "?>",     "<meta",     "charset=", "-->"};

std::string mutate(std::string doc, std::mt19937& rng) {
  auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n)(rng); };
  const int edits = 1 + static_cast<int>(pick(4));
  for (int e = 0; e < edits; ++e) {
    switch (pick(5)) {
      case 0:  // flip a byte
        if (!doc.empty()) doc[pick(doc.size() - 1)] = static_cast<char>(pick(255));
        break;
      case 1:  // insert random bytes
        doc.insert(pick(doc.size()), std::string(1 + pick(3), static_cast<char>(pick(255))));
        break;
      case 2:  // cut a range
        if (!doc.empty()) {
          size_t at = pick(doc.size() - 1);
          doc.erase(at, pick(doc.size() - at));
        }
        break;
      case 3:  // truncate
        doc.resize(pick(doc.size()));
        break;
      case 4:  // splice in a label or markup fragment
        doc.insert(pick(doc.size()), kLabels[pick(std::size(kLabels) - 1)]);
        break;
      default:  // duplicate a piece
        if (!doc.empty()) {
          size_t at = pick(doc.size() - 1);
          doc.insert(pick(doc.size()), doc.substr(at, pick(16)));
        }
        break;
    }
  }
  return doc;
}

void decodeAndCheck(const std::string& bytes, bool strict) {
  Outcome o = decodeLikeReader(bytes, strict);
  ASSERT_FALSE(o.overran);
  // Every code the library can be handed converts within the reported length.
  for (int code : {0, 1, 2, 3, 9}) {
    KWT::CVorozoVorevare decoder(data(bytes), static_cast<uint32_t>(bytes.size()), strict);
    decoder.setEncoding(code);
    const uint32_t n = decoder.getUCS2LELength();
    // No supported charset makes more than two units of one byte.
    ASSERT_LE(n, bytes.size() * 2);
    std::u16string out(n + 1, u'\xA5A5');
    EXPECT_TRUE(decoder.toUCS2LE(out.data(), n));
    ASSERT_EQ(out[n], u'\xA5A5');
  }
}

TEST(RandomDecode, MutatedDocumentsAndNoise) {
  std::mt19937 rng(20240917);
  const std::vector<std::string> docs = seedDocuments();
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE(round);
    std::string bytes;
    if (round % 4 == 0) {
      // Pure noise, short enough to hit the tiny-input paths often.
      bytes.resize(std::uniform_int_distribution<size_t>(0, 24)(rng));
      for (char& c : bytes) c = static_cast<char>(rng());
    } else {
      bytes = mutate(docs[rng() % docs.size()], rng);
    }
    decodeAndCheck(bytes, (round & 1) != 0);
    if (HasFatalFailure()) return;
  }
}

}  // namespace
}  // namespace vorozo_test
