// Detection and conversion through the calling sequence of the reading
// engine: the code after construction, the code after findEncodingXhtml and
// the decoded text, for documents in every supported charset.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "encoding_support.h"

namespace vorozo_test {
namespace {

using namespace std::string_literals;

struct Row {
  const char* what;
  std::string bytes;
  int constructed;  // code after construction
  int used;         // code after findEncodingXhtml (same when not called)
  std::u16string text;
};

void check(const std::vector<Row>& rows, bool strict = false) {
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Outcome o = decodeLikeReader(row.bytes, strict);
    EXPECT_EQ(o.constructed, row.constructed);
    EXPECT_EQ(o.used, row.used);
    EXPECT_EQ(o.text, row.text);
    EXPECT_FALSE(o.overran);
  }
}

std::string insertBefore(std::string text, std::string_view where, std::string_view what) {
  return text.insert(text.find(where), what);
}
std::u16string insertBefore(std::u16string text, std::u16string_view where,
                            std::u16string_view what) {
  return text.insert(text.find(where), what);
}

const std::string kXml = "<?xml version=\"1.0\" encoding=";

TEST(Decode, DeclaredCharsets) {
  check({
      // An XML declaration names the charset; UTF-8 is code 2, the others 3.
      {"utf-8", kXml + "\"UTF-8\"?><a>" + hex("C3A9 E282AC F09F9880") + "</a>", 2, 2,
       u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>é€😀</a>"},
      {"windows-1252", kXml + "'windows-1252'?><a>" + hex("80 E9 9C") + "</a>", 3, 3,
       u"<?xml version=\"1.0\" encoding='windows-1252'?><a>€éœ</a>"},
      {"shift_jis", kXml + "\"Shift_JIS\"?><a>" + hex("93FA967B8CEA 8140") + "</a>", 3, 3,
       u"<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><a>日本語\u3000</a>"},
      {"euc-jp", kXml + "\"EUC-JP\"?><a>" + hex("C6FCCBDCB8EC") + "</a>", 3, 3,
       u"<?xml version=\"1.0\" encoding=\"EUC-JP\"?><a>日本語</a>"},
      {"gb18030", kXml + "\"GB18030\"?><a>" + hex("D6D0CEC4 81308A31") + "</a>", 3, 3,
       u"<?xml version=\"1.0\" encoding=\"GB18030\"?><a>中文ä</a>"},
      {"big5", kXml + "\"Big5\"?><a>" + hex("A4A4A4E5") + "</a>", 3, 3,
       u"<?xml version=\"1.0\" encoding=\"Big5\"?><a>中文</a>"},
      // Labels of charsets that documents use for a superset read as the
      // superset: C1 bytes of ISO-8859-1 are windows-1252 letters, GBK takes
      // GB18030's four-byte sequences, EUC-KR takes windows-949 syllables.
      {"iso-8859-1", kXml + "'ISO-8859-1'?><a>" + hex("E9FC 80") + "</a>", 3, 3,
       u"<?xml version=\"1.0\" encoding='ISO-8859-1'?><a>éü€</a>"},
      {"latin1 alias", "<?xml version='1.0' encoding='latin1'?>" + hex("D1"), 3, 3,
       u"<?xml version='1.0' encoding='latin1'?>Ñ"},
      {"gbk", kXml + "'gbk'?>" + hex("D6D0 81308A31"), 3, 3,
       u"<?xml version=\"1.0\" encoding='gbk'?>中ä"},
      {"gb2312", kXml + "'GB2312'?>" + hex("CEC4"), 3, 3,
       u"<?xml version=\"1.0\" encoding='GB2312'?>文"},
      // cp950 is Windows' Big5 (with the euro sign), not IBM's table.
      {"cp950", kXml + "'cp950'?>" + hex("A3E1"), 3, 3,
       u"<?xml version=\"1.0\" encoding='cp950'?>€"},
      {"euc-kr", kXml + "'EUC-KR'?>" + hex("C7D1B1B9BEEE 8C63"), 3, 3,
       u"<?xml version=\"1.0\" encoding='EUC-KR'?>한국어똠"},
      // Declaration syntax: case, spacing and leading white space do not
      // matter; only the `encoding` pseudo-attribute counts.
      {"spaced", "\n <?XML VERSION = '1.0'\tENCODING = 'shift_jis' ?>" + hex("93FA"), 3, 3,
       u"\n <?XML VERSION = '1.0'\tENCODING = 'shift_jis' ?>日"},
      {"only encoding counts",
       "<?xml version='1.0' xencoding='Big5' encoding='EUC-JP'?>" + hex("C6FC"), 3, 3,
       u"<?xml version='1.0' xencoding='Big5' encoding='EUC-JP'?>日"},
  });
}

TEST(Decode, MetaDeclarations) {
  check({
      // The constructor leaves meta declarations to findEncodingXhtml: code 1
      // first, then the declared charset's code.
      {"meta charset", "<html><head><meta charset=\"Shift_JIS\"/></head>" + hex("93FA"), 1, 3,
       u"<html><head><meta charset=\"Shift_JIS\"/></head>日"},
      {"http-equiv",
       "<html><meta http-equiv='Content-Type' content='text/html; charset=euc-jp'>" + hex("C6FC"),
       1, 3, u"<html><meta http-equiv='Content-Type' content='text/html; charset=euc-jp'>日"},
      {"upper case, unquoted", "<HTML><META CHARSET=GBK>" + hex("D6D0"), 1, 3,
       u"<HTML><META CHARSET=GBK>中"},
      {"meta utf-8", "<html><meta charset='utf-8'>" + hex("C3A9"), 1, 2,
       u"<html><meta charset='utf-8'>é"},
      {"after an XML declaration without encoding",
       "<?xml version='1.0'?><html><meta charset='big5'/>" + hex("A4A4"), 1, 3,
       u"<?xml version='1.0'?><html><meta charset='big5'/>中"},
      // Declarations that cannot be used are passed over: a commented-out
      // meta, an unknown label, content without http-equiv.
      {"commented out", "<!-- <meta charset='big5'> --><meta charset='euc-jp'>" + hex("C6FC"), 1, 3,
       u"<!-- <meta charset='big5'> --><meta charset='euc-jp'>日"},
      {"unknown label first",
       "<meta charset='x-unheard-of'><meta charset='shift_jis'>" + hex("93FA"), 1, 3,
       u"<meta charset='x-unheard-of'><meta charset='shift_jis'>日"},
      {"content alone", "<meta content='text/html; charset=big5'>" + hex("C3A9"), 1, 1,
       u"<meta content='text/html; charset=big5'>é"},
      // An XML declaration ICU cannot use leaves the meta declaration to
      // decide.
      {"bad xml label",
       "<?xml version='1.0' encoding='x-nothing'?><meta charset='euc-jp'>" + hex("C6FC"), 1, 3,
       u"<?xml version='1.0' encoding='x-nothing'?><meta charset='euc-jp'>日"},
  });
}

TEST(Decode, ByteOrderMarks) {
  const std::u16string doc = u"<?xml version=\"1.0\"?><a>é日😀</a>";
  check({
      // UTF-16LE with its mark is code 0, copied by the caller after the mark.
      {"utf-16le", hex("FFFE") + encode("UTF-16LE", doc), 0, 0, doc},
      // Every other mark is converted by the library, without the mark.
      {"utf-8", hex("EFBBBF") + encode("UTF-8", doc), 2, 2, doc},
      {"utf-16be", hex("FEFF") + encode("UTF-16BE", doc), 3, 3, doc},
      {"utf-32le", hex("FFFE0000") + encode("UTF-32LE", doc), 3, 3, doc},
      {"utf-32be", hex("0000FEFF") + encode("UTF-32BE", doc), 3, 3, doc},
      // The mark outranks a declaration that contradicts it.
      {"utf-8 mark, shift_jis declared",
       hex("EFBBBF") + "<?xml version='1.0' encoding='Shift_JIS'?>" + hex("E697A5"), 2, 2,
       u"<?xml version='1.0' encoding='Shift_JIS'?>日"},
      // Only the mark itself is skipped; a second one is text.
      {"two marks", hex("EFBBBF EFBBBF") + "a", 2, 2, u"\uFEFFa"},
      {"mark only", hex("FEFF"), 3, 3, u""},
      {"utf-16le mark only", hex("FFFE"), 0, 0, u""},
  });
}

TEST(Decode, WideTextWithoutMark) {
  const std::u16string declared = u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><a>é日</a>";
  const std::u16string lying = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>é日</a>";
  const std::u16string bare = u"<a>é日😀</a>";
  check({
      // BOM-less UTF-16/32 starting with ASCII shows itself by its zero bytes
      // and is converted by the library (code 3).
      {"utf-16le declared", encode("UTF-16LE", declared), 3, 3, declared},
      {"utf-16be declared", encode("UTF-16BE", declared), 3, 3, declared},
      {"utf-32le", encode("UTF-32LE", declared), 3, 3, declared},
      {"utf-32be", encode("UTF-32BE", declared), 3, 3, declared},
      {"utf-16le undeclared", encode("UTF-16LE", bare), 3, 3, bare},
      {"utf-16be undeclared", encode("UTF-16BE", bare), 3, 3, bare},
      // The layout wins over a declaration that cannot be true of it.
      {"utf-16le claiming utf-8", encode("UTF-16LE", lying), 3, 3, lying},
      // A trailing odd byte is an incomplete unit.
      {"odd length", encode("UTF-16BE", u"<a/>") + "x", 3, 3, u"<a/>\uFFFD"},
  });
}

// Text of some length in the languages the guesses are tested with.
const std::u16string kFrench =
    u"<p>Le château était silencieux ce matin-là. Élodie traversa la cour pavée, "
    u"salua le garçon d'écurie et monta l'escalier jusqu'à la bibliothèque, où "
    u"l'attendaient des lettres que personne n'avait ouvertes depuis l'été. "
    u"« Voilà qui est étrange », pensa-t-elle en reconnaissant l'écriture de sa sœur.</p>";
const std::u16string kGerman =
    u"<p>Über den Dächern der Stadt zogen graue Wolken. Jürgen schloss das Fenster, "
    u"öffnete die schwere Tür zum Flur und hörte, wie unten jemand die Treppe "
    u"heraufkam. Es war Frau Müller, die jeden Morgen frische Brötchen brachte und "
    u"dabei über das Wetter, die Straßenbahn und die Politik schimpfte.</p>";
const std::u16string kJapanese =
    u"<p>吾輩の家の前には小さな川が流れている。春になると川沿いの桜が一斉に咲き、"
    u"近所の子供たちが花びらを追いかけて走り回る。祖母はその様子を縁側から眺めながら、"
    u"昔この町がまだ村だった頃の話をしてくれた。夏には蛍が飛び、秋には稲穂が揺れ、"
    u"冬には雪が屋根まで積もったという。私はその話を聞くのが何より好きだった。</p>";
const std::u16string kKorean =
    u"<p>오늘 아침에는 비가 조금 내렸지만 오후가 되자 하늘이 맑아졌다. 우리는 공원에 가서 "
    u"산책을 하고 작은 가게에서 따뜻한 차를 마셨다. 저녁에는 친구들과 함께 밥을 먹었다.</p>";
const std::u16string kChinese =
    u"<p>我們今天早上去了學校，老師在課堂上講了一個很有意思的故事。下午天氣很好，"
    u"大家一起到公園散步，看到很多人在湖邊釣魚，還有小孩子在草地上玩耍。</p>";

TEST(Decode, UndeclaredText) {
  const std::string legacyFrench = encode("windows-1252", kFrench);
  check({
      // Nothing declared: both codes stay 1 and the object guesses. Valid
      // UTF-8, pure ASCII included, is UTF-8.
      {"ascii", "<a>plain</a>", 1, 1, u"<a>plain</a>"},
      {"utf-8", encode("UTF-8", kJapanese), 1, 1, kJapanese},
      // Legacy text goes to the charset detector.
      {"windows-1252 french", legacyFrench, 1, 1, kFrench},
      {"windows-1252 german", encode("windows-1252", kGerman), 1, 1, kGerman},
      {"shift_jis japanese", encode("Shift_JIS", kJapanese), 1, 1, kJapanese},
      {"euc-jp japanese", encode("EUC-JP", kJapanese), 1, 1, kJapanese},
      {"euc-kr korean", encode("EUC-KR", kKorean), 1, 1, kKorean},
      {"big5 chinese", encode("Big5", kChinese), 1, 1, kChinese},
      // Text that is UTF-8 but for a stray byte stays UTF-8.
      {"damaged utf-8", insertBefore(encode("UTF-8", kFrench), "matin", hex("FF")), 1, 1,
       insertBefore(kFrench, u"matin", u"\uFFFD")},
      // Too little text for the detector to be confident: windows-1252, which
      // maps every byte.
      {"short legacy", "caf" + hex("E9"), 1, 1, u"café"},
      // Labels that cannot describe ASCII-compatible bytes count as no
      // declaration (UTF-16, EBCDIC), and so do unknown ones.
      {"utf-16 in ascii", "<?xml version='1.0' encoding='UTF-16'?><a/>", 1, 1,
       u"<?xml version='1.0' encoding='UTF-16'?><a/>"},
      {"ebcdic in ascii", "<?xml version='1.0' encoding='IBM037'?><a/>", 1, 1,
       u"<?xml version='1.0' encoding='IBM037'?><a/>"},
      {"unknown", "<?xml version='1.0' encoding='no such thing'?><a/>", 1, 1,
       u"<?xml version='1.0' encoding='no such thing'?><a/>"},
  });
}

TEST(Decode, StrictReadsUndeclaredTextAsUtf8) {
  check(
      {
          // Strict objects do not guess: undeclared bytes are UTF-8, bad ones
          // U+FFFD...
          {"legacy", "<a>" + hex("E9") + "t" + hex("E9") + "</a>", 1, 1, u"<a>\uFFFDt\uFFFD</a>"},
          {"utf-8", "<a>" + hex("C3A9") + "</a>", 1, 1, u"<a>é</a>"},
          // ...but declarations and marks are honoured.
          {"declared", kXml + "'windows-1252'?>" + hex("E9"), 3, 3,
           u"<?xml version=\"1.0\" encoding='windows-1252'?>é"},
          {"meta", "<meta charset='windows-1252'>" + hex("E9"), 1, 3,
           u"<meta charset='windows-1252'>é"},
          {"mark", hex("FEFF 00E9"), 3, 3, u"é"},
      },
      true);
}

TEST(Decode, InvalidInputBecomesReplacementCharacter) {
  check({
      // Ill-formed UTF-8: bad continuation, overlong form, surrogate, code
      // point above U+10FFFF, truncated sequence at the end.
      {"bad continuation", kXml + "'utf-8'?>" + hex("C328"), 2, 2,
       u"<?xml version=\"1.0\" encoding='utf-8'?>\uFFFD("},
      {"overlong", kXml + "'utf-8'?>" + hex("C0AF"), 2, 2,
       u"<?xml version=\"1.0\" encoding='utf-8'?>\uFFFD\uFFFD"},
      {"surrogate", kXml + "'utf-8'?>" + hex("EDA080"), 2, 2,
       u"<?xml version=\"1.0\" encoding='utf-8'?>\uFFFD\uFFFD\uFFFD"},
      {"too high", kXml + "'utf-8'?>" + hex("F4908080"), 2, 2,
       u"<?xml version=\"1.0\" encoding='utf-8'?>\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"truncated", kXml + "'utf-8'?>" + hex("E282"), 2, 2,
       u"<?xml version=\"1.0\" encoding='utf-8'?>\uFFFD"},
      // Multi-byte charsets: a lead byte without its trail, a byte no table
      // maps (no U+001A substitutes either).
      {"shift_jis lone lead", kXml + "'Shift_JIS'?>" + hex("93"), 3, 3,
       u"<?xml version=\"1.0\" encoding='Shift_JIS'?>\uFFFD"},
      {"shift_jis unmapped", kXml + "'Shift_JIS'?>" + hex("A0") + "a", 3, 3,
       u"<?xml version=\"1.0\" encoding='Shift_JIS'?>\uFFFDa"},
      {"euc-kr bad trail", kXml + "'EUC-KR'?>" + hex("C7") + "<", 3, 3,
       u"<?xml version=\"1.0\" encoding='EUC-KR'?>\uFFFD<"},
      // Unpaired surrogates in UTF-16.
      {"lone high surrogate", hex("FEFF D800 0061"), 3, 3, u"\uFFFDa"},
      {"lone low surrogate", hex("FEFF DC00"), 3, 3, u"\uFFFD"},
  });
}

TEST(Decode, EmptyAndTinyInput) {
  check({
      // Nothing to go on: code 1, and no text beyond what the bytes hold.
      {"empty", "", 1, 1, u""},
      {"one ascii byte", "a", 1, 1, u"a"},
      {"one high byte", hex("E9"), 1, 1, u"é"},
      {"one zero byte", hex("00"), 1, 1, u"\0"s},
      // Half a mark is no mark.
      {"half utf-16le mark", hex("FF"), 1, 1, u"ÿ"},
      {"half utf-8 mark", hex("EFBB"), 1, 1, u"ï»"},
      {"three bytes of utf-32 mark", hex("FFFE00"), 0, 0, u""},
  });
}

TEST(Decode, FindEncodingXhtmlOnItsOwn) {
  struct Case {
    const char* what;
    std::string bytes;
    int code;
  };
  const std::vector<Case> cases = {
      // The static scan knows everything the constructor knows...
      {"utf-16le mark", hex("FFFE 3C00"), 0},
      {"utf-8 mark", hex("EFBBBF") + "<a/>", 2},
      {"utf-16be mark", hex("FEFF 003C"), 3},
      {"wide layout", encode("UTF-16BE", u"<a/>"), 3},
      {"xml utf-8", "<?xml version='1.0' encoding='utf-8'?>", 2},
      {"xml big5", "<?xml version='1.0' encoding='big5'?>", 3},
      // ...and meta declarations too, within the first 4 KB only.
      {"meta", "<meta charset='EUC-JP'>", 3},
      {"meta past the window", std::string(5000, ' ') + "<meta charset='EUC-JP'>", 1},
      {"nothing", "<html><body>text</body></html>", 1},
      {"unterminated quote", "<meta charset='EUC-JP>", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(KWT::CVorozoVorevare::findEncodingXhtml(data(c.bytes),
                                                      static_cast<uint32_t>(c.bytes.size())),
              c.code);
  }
}

TEST(Decode, NullBytesReadAsEmpty) {
  KWT::CVorozoVorevare decoder(nullptr, 12, false);
  EXPECT_EQ(decoder.encoding, 1);
  EXPECT_EQ(KWT::CVorozoVorevare::findEncodingXhtml(nullptr, 12), 1);
  EXPECT_EQ(decoder.getUCS2LELength(), 0u);
  EXPECT_TRUE(decoder.toUCS2LE(nullptr, 0));
}

TEST(Decode, ConversionFollowsTheCurrentCode) {
  struct Case {
    const char* what;
    std::string bytes;
    int code;  // passed to setEncoding after construction
    std::u16string text;
  };
  const std::string sjis = kXml + "'Shift_JIS'?>" + hex("93FA");
  const std::vector<Case> cases = {
      // Code 2 forces UTF-8 whatever was declared.
      {"forced utf-8", sjis, 2, u"<?xml version=\"1.0\" encoding='Shift_JIS'?>\uFFFD\uFFFD"},
      // Codes 1 and 3 keep the charset the constructor found.
      {"1 keeps declaration", sjis, 1, u"<?xml version=\"1.0\" encoding='Shift_JIS'?>日"},
      // Code 3 arriving from outside re-scans for the declaration.
      {"3 finds meta", "<meta charset='big5'>" + hex("A4A4"), 3, u"<meta charset='big5'>中"},
      // Code 0 and unknown codes convert as UTF-16LE, skipping its mark.
      {"0 converts utf-16le", hex("FFFE 6100 E500"), 0, u"aå"},
      {"7 converts utf-16le", hex("6100 E500"), 7, u"aå"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    KWT::CVorozoVorevare decoder(data(c.bytes), static_cast<uint32_t>(c.bytes.size()), false);
    decoder.getUCS2LELength();  // a cached text must not survive the change
    decoder.setEncoding(c.code);
    EXPECT_EQ(decoder.encoding, c.code);
    std::u16string out(decoder.getUCS2LELength(), u'\0');
    decoder.toUCS2LE(out.data(), static_cast<uint32_t>(out.size()));
    EXPECT_EQ(out, c.text);
  }
}

TEST(Decode, WritesNoMoreThanAsked) {
  // toUCS2LE stops at the count it is given and says so.
  const std::string doc = encode("UTF-8", kJapanese);
  KWT::CVorozoVorevare decoder(data(doc), static_cast<uint32_t>(doc.size()), false);
  const uint32_t n = decoder.getUCS2LELength();
  ASSERT_EQ(n, kJapanese.size());
  std::u16string out(n, u'#');
  EXPECT_FALSE(decoder.toUCS2LE(out.data(), 5));
  EXPECT_EQ(out.substr(0, 5), kJapanese.substr(0, 5));
  EXPECT_EQ(out.substr(5), std::u16string(n - 5, u'#'));
  EXPECT_TRUE(decoder.toUCS2LE(out.data(), n));
  EXPECT_EQ(out, kJapanese);
  EXPECT_FALSE(decoder.toUCS2LE(nullptr, 3));
}

}  // namespace
}  // namespace vorozo_test
