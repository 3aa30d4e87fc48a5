// Detection and conversion through the reading engine's calling sequence:
// the code after construction, the code after findEncodingXhtml and the
// text, for documents in every supported charset; then the codes set from
// outside, and how much the object writes.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "encoding_support.h"

namespace vorozo_test {
namespace {

struct Row {
  std::string head;       // ASCII, read as itself
  std::string tail;       // the rest of the bytes
  int constructed, used;  // codes after construction, after findEncodingXhtml
  std::u16string text;    // what the tail reads as
  bool strict = false;    // undeclared text read as UTF-8 rather than guessed
};

std::u16string ascii(std::string_view s) { return {s.begin(), s.end()}; }
std::string xml(const std::string& label) {
  return "<?xml version='1.0' encoding='" + label + "'?>";
}

void check(const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    const std::string bytes = row.head + row.tail;
    SCOPED_TRACE(testing::PrintToString(bytes));
    const Outcome o = decodeLikeReader(bytes, row.strict);
    EXPECT_EQ(o.constructed, row.constructed);
    EXPECT_EQ(o.used, row.used);
    EXPECT_EQ(o.text, ascii(row.head) + row.text);
    EXPECT_FALSE(o.overran);
    // The static look finds what the reading engine uses.
    EXPECT_EQ(KWT::CVorozoVorevare::findEncodingXhtml(raw(bytes), uint32_t(bytes.size())),
              row.used);
  }
}

// Text long enough for the charset detector to be sure of.
const std::u16string kFrench =
    u"<p>Le château était silencieux ce matin-là. Élodie traversa la cour pavée, salua le garçon "
    u"d'écurie et monta l'escalier jusqu'à la bibliothèque, où l'attendaient des lettres que "
    u"personne n'avait ouvertes depuis l'été. « Voilà qui est étrange », pensa-t-elle.</p>";
const std::u16string kJapanese =
    u"<p>吾輩の家の前には小さな川が流れている。春になると川沿いの桜が一斉に咲き、近所の子供たちが"
    u"花びらを追いかけて走り回る。祖母はその様子を縁側から眺めながら、昔この町がまだ村だった頃の話"
    u"を"
    u"してくれた。夏には蛍が飛び、秋には稲穂が揺れ、冬には雪が屋根まで積もったという。</p>";
const std::u16string kKorean =
    u"<p>오늘 아침에는 비가 조금 내렸지만 오후가 되자 하늘이 맑아졌다. 우리는 공원에 가서 산책을 "
    u"하고 작은 가게에서 따뜻한 차를 마셨다. 저녁에는 친구들과 함께 밥을 먹었다.</p>";

TEST(Decode, Detection) {
  const std::u16string doc = u"<?xml version=\"1.0\"?><a>é日😀</a>", wide = u"<a>é日😀</a>";
  const std::string damaged = encode("UTF-8", kFrench).insert(40, hex("FF"));
  check({
      // An XML declaration names the charset: UTF-8 is code 2, others 3.
      {xml("UTF-8"), hex("C3A9 E282AC F09F9880"), 2, 2, u"é€😀"},
      {xml("windows-1252"), hex("80 E9 9C"), 3, 3, u"€éœ"},
      {xml("Shift_JIS"), hex("93FA967B8CEA 8140"), 3, 3, u"日本語\u3000"},
      {xml("EUC-JP"), hex("C6FCCBDCB8EC"), 3, 3, u"日本語"},
      {xml("GB18030"), hex("D6D0CEC4 81308A31"), 3, 3, u"中文ä"},
      {xml("Big5"), hex("A4A4A4E5"), 3, 3, u"中文"},
      // Labels of charsets written as a superset read as the superset.
      {xml("ISO-8859-1"), hex("E9FC 80"), 3, 3, u"éü€"},
      {xml("latin1"), hex("D1 80"), 3, 3, u"Ñ€"},
      {xml("gbk"), hex("D6D0 81308A31"), 3, 3, u"中ä"},
      {xml("GB2312"), hex("CEC4"), 3, 3, u"文"},
      {xml("cp950"), hex("A3E1"), 3, 3, u"€"},
      {xml("EUC-KR"), hex("C7D1B1B9BEEE 8C63"), 3, 3, u"한국어똠"},
      // Case, spacing and leading white space do not matter; only the
      // encoding pseudo-attribute counts.
      {"\n <?XML VERSION = '1.0'\tENCODING = 'shift_jis' ?>", hex("93FA"), 3, 3, u"日"},
      {"<?xml version='1.0' xencoding='Big5' encoding='EUC-JP'?>", hex("C6FC"), 3, 3, u"日"},
      // Meta declarations are findEncodingXhtml's: code 1 first. The first
      // usable one counts, outside comments; http-equiv needs content.
      {"<html><head><meta charset=\"Shift_JIS\"/></head>", hex("93FA"), 1, 3, u"日"},
      {"<meta http-equiv='Content-Type' content='text/html; charset=euc-jp'>", hex("C6FC"), 1, 3,
       u"日"},
      {"<HTML><META CHARSET=GBK>", hex("D6D0"), 1, 3, u"中"},
      {"<html><meta charset='utf-8'>", hex("C3A9"), 1, 2, u"é"},
      {"<?xml version='1.0'?><!-- <meta charset='big5'> --><meta charset='x-unheard-of'>"
       "<meta charset='euc-jp'>",
       hex("C6FC"), 1, 3, u"日"},
      {"<?xml version='1.0' encoding='x-nothing'?><meta charset='euc-jp'>", hex("C6FC"), 1, 3,
       u"日"},
      {"<meta content='text/html; charset=big5'>", hex("C3A9"), 1, 1, u"é"},
      {"<meta charset='EUC-JP>", "", 1, 1, u""},
      // Declarations count within the first 4 KB only.
      {std::string(5000, ' ') + "<meta charset='EUC-JP'>", "", 1, 1, u""},
      // A mark decides, over any declaration; UTF-16LE's is code 0, copied
      // by the caller; only the first mark is skipped.
      {"", hex("FFFE") + encode("UTF-16LE", doc), 0, 0, doc},
      {"", hex("EFBBBF") + encode("UTF-8", doc), 2, 2, doc},
      {"", hex("FEFF") + encode("UTF-16BE", doc), 3, 3, doc},
      {"", hex("FFFE0000") + encode("UTF-32LE", doc), 3, 3, doc},
      {"", hex("0000FEFF") + encode("UTF-32BE", doc), 3, 3, doc},
      {"", hex("EFBBBF") + xml("Shift_JIS") + hex("E697A5"), 2, 2, ascii(xml("Shift_JIS")) + u"日"},
      {"", hex("EFBBBF EFBBBF") + "a", 2, 2, u"\uFEFFa"},
      {"", hex("FEFF"), 3, 3, u""},
      {"", hex("FFFE"), 0, 0, u""},
      // Without a mark, UTF-16/32 starting with ASCII shows by its zero
      // bytes, whatever it declares; a trailing odd byte is a bad unit.
      {"", encode("UTF-16LE", doc), 3, 3, doc},
      {"", encode("UTF-16BE", wide), 3, 3, wide},
      {"", encode("UTF-32LE", wide), 3, 3, wide},
      {"", encode("UTF-32BE", doc), 3, 3, doc},
      {"", encode("UTF-16LE", ascii(xml("UTF-8")) + wide), 3, 3, ascii(xml("UTF-8")) + wide},
      {"", encode("UTF-16BE", u"<a/>") + "x", 3, 3, u"<a/>\uFFFD"},
      // Undeclared: valid UTF-8 (ASCII too) is UTF-8, a stray bad byte
      // aside; legacy text goes to the detector, short text to windows-1252.
      {"<a>plain</a>", "", 1, 1, u""},
      {"", encode("UTF-8", kJapanese), 1, 1, kJapanese},
      {"", damaged, 1, 1, icuDecode("UTF-8", damaged)},
      {"", encode("windows-1252", kFrench), 1, 1, kFrench},
      {"", encode("Shift_JIS", kJapanese), 1, 1, kJapanese},
      {"", encode("EUC-JP", kJapanese), 1, 1, kJapanese},
      {"", encode("EUC-KR", kKorean), 1, 1, kKorean},
      {"caf", hex("E9"), 1, 1, u"é"},
      // Labels that cannot be true of ASCII bytes (UTF-16, EBCDIC) or that
      // ICU does not know count as no declaration.
      {xml("UTF-16"), "", 1, 1, u""},
      {xml("IBM037"), "", 1, 1, u""},
      {xml("no such thing"), "", 1, 1, u""},
      // Ill-formed UTF-8, one U+FFFD per maximal bad subpart; multi-byte
      // charsets' bad and unmapped bytes (U+FFFD, not U+001A); unpaired
      // surrogates in UTF-16.
      {xml("utf-8"), hex("C328 C0AF EDA080 F4908080 E282"), 2, 2,
       u"\uFFFD(\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
      {xml("Shift_JIS"), hex("A0") + "a" + hex("93"), 3, 3, u"\uFFFDa\uFFFD"},
      {xml("EUC-KR"), hex("C7") + "<", 3, 3, u"\uFFFD<"},
      {"", hex("FEFF D800 0061 DC00"), 3, 3, u"\uFFFDa\uFFFD"},
      // Tiny input: nothing to go on, or half a mark.
      {"", "", 1, 1, u""},
      {"", hex("E9"), 1, 1, u"é"},
      {"", std::string(1, '\0'), 1, 1, std::u16string(1, u'\0')},
      {"", hex("FF"), 1, 1, u"ÿ"},
      {"", hex("EFBB"), 1, 1, u"ï»"},
      {"", hex("FFFE00"), 0, 0, u""},
      // A strict object reads undeclared text as UTF-8; declarations count.
      {"<a>", hex("E9") + "t" + hex("C3A9"), 1, 1, u"\uFFFDté", true},
      {xml("windows-1252"), hex("E9"), 3, 3, u"é", true},
      {"<meta charset='windows-1252'>", hex("E9"), 1, 3, u"é", true},
      {"", hex("FEFF 00E9"), 3, 3, u"é", true},
  });
}

// No bytes read as empty; converting follows the code set last.
TEST(Decode, ConversionFollowsTheCurrentCode) {
  KWT::CVorozoVorevare none(nullptr, 12, false);
  EXPECT_TRUE(none.encoding == 1 && none.getUCS2LELength() == 0 && none.toUCS2LE(nullptr, 0));
  EXPECT_EQ(KWT::CVorozoVorevare::findEncodingXhtml(nullptr, 12), 1);
  const std::string sjis = xml("Shift_JIS") + hex("93FA");
  const std::tuple<std::string, int, std::u16string> rows[] = {
      // Code 2 forces UTF-8; 1 and 3 keep the charset the constructor found,
      // or scan again for one (findEncodingXhtml cannot hand it over).
      {sjis, 2, ascii(xml("Shift_JIS")) + u"\uFFFD\uFFFD"},
      {sjis, 1, ascii(xml("Shift_JIS")) + u"日"},
      {"<meta charset='big5'>" + hex("A4A4"), 3, u"<meta charset='big5'>中"},
      // Code 0 and unknown codes convert as UTF-16LE, its mark skipped.
      {hex("FFFE 6100 E500"), 0, u"aå"},
      {hex("6100 E500"), 7, u"aå"},
  };
  for (const auto& [bytes, code, text] : rows) {
    SCOPED_TRACE(testing::PrintToString(bytes));
    KWT::CVorozoVorevare decoder(raw(bytes), uint32_t(bytes.size()), false);
    decoder.getUCS2LELength();  // a text kept for the first code must not survive the change
    decoder.setEncoding(code);
    std::u16string out(decoder.getUCS2LELength(), u'\0');
    decoder.toUCS2LE(out.data(), uint32_t(out.size()));
    EXPECT_EQ(out, text);
  }
}

// toUCS2LE writes exactly the units asked for, up to the text's length, and
// says whether that was all: for text decoded straight from well-formed
// UTF-8, with ASCII runs read many bytes at a time ending just before
// another sequence, and for converted text.
TEST(Decode, WritesNoMoreThanAsked) {
  std::vector<std::string> docs = {encode("Shift_JIS", kJapanese)};
  for (size_t run : {31u, 32u, 33u, 63u, 64u, 65u, 95u, 96u, 97u, 127u, 128u, 129u, 200u}) {
    for (const char* other : {"C3A9", "E282AC", "F09F9880", "FF"}) {
      std::string letters;
      for (size_t k = 0; k < run; ++k) letters += char('a' + k % 26);
      docs.push_back(xml("UTF-8") + letters + hex(other) + std::string(run / 2, 'z') + hex(other));
    }
  }
  for (const std::string& doc : docs) {
    SCOPED_TRACE(testing::PrintToString(doc));
    const Outcome o = decodeLikeReader(doc);
    EXPECT_EQ(o.text, o.used == 2 ? icuDecode("UTF-8", doc) : kJapanese);
    KWT::CVorozoVorevare decoder(raw(doc), uint32_t(doc.size()), false);
    if (o.used != decoder.encoding) decoder.setEncoding(o.used);
    const auto n = uint32_t(o.text.size());
    ASSERT_EQ(decoder.getUCS2LELength(), n);
    for (uint32_t limit = n > 70 ? n - 70 : 0; limit <= n + 1; ++limit) {
      std::u16string out(n + 2, u'#');
      EXPECT_EQ(decoder.toUCS2LE(out.data(), limit), limit >= n) << limit;
      EXPECT_EQ(out, o.text.substr(0, limit) + std::u16string(n + 2 - std::min(limit, n), u'#'))
          << limit;
    }
    EXPECT_FALSE(decoder.toUCS2LE(nullptr, 3));
  }
}

}  // namespace
}  // namespace vorozo_test
