// Detection and conversion through the reading engine's calling sequence,
// for documents in every supported charset; the codes set from outside; the
// same documents, mutated, and noise, under every code.
#include <gtest/gtest.h>

#include <random>
#include <tuple>
#include <vector>

#include "encoding_support.h"
#include "wide.h"

namespace vorozo_test {
namespace {

std::u16string ascii(std::string_view s) { return {s.begin(), s.end()}; }
std::string xml(const std::string& name) { return "<?xml version='1.0' encoding='" + name + "'?>"; }

// Text long enough for the charset detector to be sure of.
const std::u16string kFrench =
    u"<p>Élodie traversa la cour pavée du château, salua le garçon d'écurie et monta à la "
    u"bibliothèque où l'été dormait. « Voilà qui est étrange », pensa-t-elle.</p>";
const std::u16string kJapanese =
    u"<p>春になると川沿いの桜が一斉に咲き、近所の子供たちが花びらを追いかける。</p>";
const std::u16string kKorean =
    u"<p>오늘 아침에는 비가 조금 내렸지만 오후가 되자 하늘이 맑아졌다.</p>";

// A detection row; the rows are the randomized test's seeds as well.
struct Row {
  std::string head, tail;  // ASCII, read as itself; the rest of the bytes
  int constructed, used;   // codes after construction, after findEncodingXhtml
  std::u16string text;     // what the tail reads as
  bool strict = false;     // undeclared text read as UTF-8 rather than guessed
};

const std::vector<Row>& detectionRows() {
  const std::u16string doc = u"<?xml version=\"1.0\"?><a>é日😀</a>", wide = u"<a>é日😀</a>";
  const std::string damaged = encode("UTF-8", kFrench).insert(40, hex("FF"));
  static const std::vector<Row> rows = {
      // An XML declaration names the charset: UTF-8 is code 2, others 3.
      {xml("UTF-8"), hex("C3A9 E282AC F09F9880"), 2, 2, u"é€😀"},
      {xml("windows-1252"), hex("80 E9 9C"), 3, 3, u"€éœ"},
      {xml("Shift_JIS"), hex("93FA967B8CEA 8140"), 3, 3, u"日本語\u3000"},
      {xml("GB18030"), hex("D6D0CEC4 81308A31"), 3, 3, u"中文ä"},
      // Labels of charsets written as a superset read as the superset.
      {xml("ISO-8859-1"), hex("E9FC 80"), 3, 3, u"éü€"},
      {xml("gbk"), hex("D6D0 81308A31"), 3, 3, u"中ä"},
      {xml("cp950"), hex("A3E1"), 3, 3, u"€"},
      {xml("EUC-KR"), hex("C7D1B1B9BEEE 8C63"), 3, 3, u"한국어똠"},
      // Case, spacing and leading blanks aside, only the encoding pseudo-attribute counts.
      {"\n <?XML VERSION = '1.0'\tENCODING = 'shift_jis' ?>", hex("93FA"), 3, 3, u"日"},
      {"<?xml version='1.0' xencoding='Big5' encoding='EUC-JP'?>", hex("C6FC"), 3, 3, u"日"},
      // Meta declarations, findEncodingXhtml's only: the first usable one outside comments.
      {"<html><head><meta charset=\"Shift_JIS\"/></head>", hex("93FA"), 1, 3, u"日"},
      {"<meta http-equiv='Content-Type' content='charset=euc-jp'>", hex("C6FC"), 1, 3, u"日"},
      {"<HTML><META CHARSET=GBK>", hex("D6D0"), 1, 3, u"中"},
      {"<html><meta charset='utf-8'>", hex("C3A9"), 1, 2, u"é"},
      {"<!--<meta charset=big5>--><meta charset=x-no><meta charset=gbk>", hex("D6D0"), 1, 3, u"中"},
      {xml("x-nothing") + "<meta charset='euc-jp'>", hex("C6FC"), 1, 3, u"日"},
      {"<meta content='text/html; charset=big5'>", hex("C3A9"), 1, 1, u"é"},
      {"<meta charset='EUC-JP>", "", 1, 1, u""},
      {std::string(5000, ' ') + "<meta charset='EUC-JP'>", "", 1, 1, u""},  // past 4 KB
      // A mark decides, over any declaration (UTF-16LE's, code 0, is the caller's); one is skipped.
      {"", hex("FFFE") + encode("UTF-16LE", doc), 0, 0, doc},
      {"", hex("EFBBBF") + encode("UTF-8", doc), 2, 2, doc},
      {"", hex("FEFF") + encode("UTF-16BE", doc), 3, 3, doc},
      {"", hex("FFFE0000") + encode("UTF-32LE", doc), 3, 3, doc},
      {"", hex("0000FEFF") + encode("UTF-32BE", doc), 3, 3, doc},
      {"", hex("EFBBBF") + xml("gbk") + hex("EFBBBF C3A9"), 2, 2, ascii(xml("gbk")) + u"\uFEFFé"},
      // Unmarked UTF-16/32 shows by its zero bytes, whatever it declares; an odd byte is bad.
      {"", encode("UTF-16LE", ascii(xml("UTF-8")) + wide), 3, 3, ascii(xml("UTF-8")) + wide},
      {"", encode("UTF-16BE", wide) + "x", 3, 3, wide + u"\uFFFD"},
      {"", encode("UTF-32LE", wide), 3, 3, wide},
      {"", encode("UTF-32BE", doc), 3, 3, doc},
      // Undeclared: valid UTF-8 but for a stray byte is UTF-8, the rest the detector's.
      {"", encode("UTF-8", kJapanese), 1, 1, kJapanese},
      {"", damaged, 1, 1, icuDecode("UTF-8", damaged)},
      {"", encode("windows-1252", kFrench), 1, 1, kFrench},
      {"", encode("Shift_JIS", kJapanese), 1, 1, kJapanese},
      {"", encode("EUC-JP", kJapanese), 1, 1, kJapanese},
      {"", encode("EUC-KR", kKorean), 1, 1, kKorean},
      {"caf", hex("E9"), 1, 1, u"é"},
      // Labels that cannot be true of ASCII bytes (UTF-16, EBCDIC) or unknown are none.
      {xml("UTF-16") + "<meta charset='IBM037'><meta charset='no such thing'>", "", 1, 1, u""},
      // Bad sequences: one U+FFFD per maximal bad subpart, never U+001A.
      {xml("utf-8"), hex("C328 C0AF EDA080 F4908080 E282"), 2, 2,
       u"\uFFFD(\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
      {xml("Shift_JIS"), hex("A0") + "a" + hex("93"), 3, 3, u"\uFFFDa\uFFFD"},
      {xml("EUC-KR"), hex("C7") + "<", 3, 3, u"\uFFFD<"},
      {"", hex("FEFF D800 0061 DC00"), 3, 3, u"\uFFFDa\uFFFD"},
      // Tiny input: nothing to go on, or half a mark.
      {"", "", 1, 1, u""},
      {"", hex("FF"), 1, 1, u"ÿ"},
      {"", hex("EFBB"), 1, 1, u"ï»"},
      {"", hex("FFFE00"), 0, 0, u""},
      // A strict object reads undeclared text as UTF-8; declarations count.
      {"<a>", hex("E9") + "t" + hex("C3A9"), 1, 1, u"\uFFFDté", true},
      {"<meta charset='windows-1252'>", hex("E9"), 1, 3, u"é", true},
  };
  return rows;
}

TEST(Decode, Detection) {
  for (const Row& row : detectionRows()) {
    const std::string bytes = row.head + row.tail;
    SCOPED_TRACE(testing::PrintToString(bytes));
    const Outcome o = decodeLikeReader(bytes, row.strict);
    EXPECT_EQ(std::tuple(o.constructed, o.used, o.text),
              std::tuple(row.constructed, row.used, ascii(row.head) + row.text));
    // The static look finds what the reading engine uses.
    EXPECT_EQ(KWT::CVorozoVorevare::findEncodingXhtml(raw(bytes), uint32_t(bytes.size())),
              row.used);
  }
}

// Converting follows the code set last; no bytes read as empty.
TEST(Decode, ConversionFollowsTheCurrentCode) {
  const std::string sjis = xml("Shift_JIS") + hex("93FA");
  const std::tuple<std::string, int, std::u16string> rows[] = {
      // Code 2 forces UTF-8; 1 and 3 keep the charset the constructor found, or scan for one.
      {sjis, 2, ascii(xml("Shift_JIS")) + u"\uFFFD\uFFFD"},
      {sjis, 1, ascii(xml("Shift_JIS")) + u"日"},
      {"<meta charset='big5'>" + hex("A4A4"), 3, u"<meta charset='big5'>中"},
      // Code 0 and unknown codes convert as UTF-16LE, its mark skipped.
      {hex("FFFE 6100 E500"), 0, u"aå"},
      {hex("6100 E500"), 7, u"aå"},
  };
  for (const auto& [bytes, code, text] : rows) {
    KWT::CVorozoVorevare decoder(raw(bytes), uint32_t(bytes.size()), false);
    decoder.getUCS2LELength();  // a text kept for the first code must not survive the change
    decoder.setEncoding(code);
    std::u16string out(decoder.getUCS2LELength(), u'\0');
    EXPECT_TRUE(decoder.toUCS2LE(out.data(), uint32_t(out.size())) &&
                !decoder.toUCS2LE(nullptr, 1));
    EXPECT_EQ(out, text) << testing::PrintToString(bytes);
  }
  KWT::CVorozoVorevare none(nullptr, 12, false);
  EXPECT_TRUE(none.encoding == 1 && none.getUCS2LELength() == 0 && none.toUCS2LE(nullptr, 0));
  EXPECT_EQ(KWT::CVorozoVorevare::findEncodingXhtml(nullptr, 12), 1);
}

constexpr int kRounds = 10000;  // seconds under the sanitizers
// Labels and markup, each between two "|".
constexpr std::string_view kFragments =
    "|utf-8|UTF-16|shift_jis|euc-jp|gbk|big5|EUC-KR|latin1|IBM037|utf-7|x-bad|\"|'|<?xml|?>|<meta|"
    "charset=|-->|\xC3|\xED\xA0|";

std::string mutate(std::string doc, std::mt19937& rng) {
  auto pick = [&](size_t most) { return size_t(rng() % (most + 1)); };
  for (int edits = 1 + int(pick(3)); edits > 0; --edits) {
    const size_t at = pick(doc.size()), from = kFragments.find('|', pick(kFragments.size() - 2));
    const unsigned kind = rng() % 4;
    if (kind == 0)  // random bytes, surrogate-like ones often
      for (size_t n = 1 + pick(3); n > 0; --n) doc.insert(at, 1, char(rng() % 3 ? rng() : 0xD8));
    else if (kind == 1)  // cut a range, or the rest
      doc.erase(at, rng() % 2 ? pick(8) : std::string::npos);
    else if (kind == 2)  // a fragment
      doc.insert(at, kFragments.substr(from + 1, kFragments.find('|', from + 1) - from - 1));
    else  // a piece again
      doc.insert(pick(doc.size()), doc.substr(at, pick(64)));
  }
  return doc;
}

// Nothing crashes or reads out of bounds; a count of units gets exactly that
// prefix of the text (the UTF-8 decoder's wide steps stopping short of it)
// and says whether it was all; what is read as UTF-8 and the Windows back
// end's UTF-16/32 decoders give ICU's text, U+FFFD and all.
TEST(Decode, MutatedDocumentsAndNoise) {
  std::mt19937 rng(20240917);
  const std::vector<Row>& docs = detectionRows();
  for (int round = 0; round < kRounds && !HasFailure(); ++round) {
    const Row& seed = docs[rng() % docs.size()];
    std::string bytes = mutate(seed.head + seed.tail, rng);
    if (round % 4 == 0) {  // noise, short enough to hit the tiny-input paths
      bytes.resize(rng() % 25);
      for (char& c : bytes) c = char(rng());
    }
    SCOPED_TRACE(testing::PrintToString(bytes));
    const uint8_t* b = raw(bytes);
    const auto size = uint32_t(bytes.size());
    const bool strict = round % 2 != 0;
    const Outcome o = decodeLikeReader(bytes, strict);
    const size_t mark = bytes.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    EXPECT_EQ(o.text, o.used == 2 ? icuDecode("UTF-8", bytes.substr(mark)) : o.text);
    for (int code : {0, 1, 2, 3, 9}) {
      KWT::CVorozoVorevare decoder(b, size, strict);
      decoder.setEncoding(code);
      const uint32_t n = decoder.getUCS2LELength(), limit = uint32_t(rng() % (n + 1));
      ASSERT_LE(n, bytes.size() * 2);
      std::u16string all(n + 1, u'#'), part(n + 1, u'$');  // a unit left unwritten shows
      EXPECT_TRUE(decoder.toUCS2LE(all.data(), n));
      EXPECT_EQ(decoder.toUCS2LE(part.data(), limit), limit == n);
      ASSERT_EQ(part, all.substr(0, limit) + std::u16string(n + 1 - limit, u'$')) << code;
      ASSERT_EQ(all[n], u'#') << code;
    }
    EXPECT_EQ(vorozo::decodeUtf16(b, size, false), icuDecode("UTF-16LE", bytes));
    EXPECT_EQ(vorozo::decodeUtf16(b, size, true), icuDecode("UTF-16BE", bytes));
    EXPECT_EQ(vorozo::decodeUtf32(b, size, false), icuDecode("UTF-32LE", bytes));
    EXPECT_EQ(vorozo::decodeUtf32(b, size, true), icuDecode("UTF-32BE", bytes));
  }
}

}  // namespace
}  // namespace vorozo_test
