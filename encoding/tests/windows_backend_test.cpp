// The Windows backend's portable parts, checked against ICU on Linux: its
// label table (each label must name a charset that reads text written in
// the labelled charset unchanged) and its UTF-16/32 decoding (the same text
// and the same U+FFFD as ICU's converters, on random and damaged input).
#include <gtest/gtest.h>
#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ucnv_err.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "codepages.h"
#include "encoding_support.h"
#include "wide.h"

namespace vorozo_test {
namespace {

#if defined(EPUB_SANITIZED)
constexpr int kRounds = 3000;
#else
constexpr int kRounds = 20000;
#endif

// Text in every script the table's charsets cover.
const std::u16string kSample =
    u"<p>Ça coûte €5 — Grüße, naïve œuvre. Zażółć gęślą jaźń, Příliš žluťoučký, "
    u"Ağır şoför, Ėlnių ąžuolas, Tiếng Việt, Ελληνικά, Кириллица ї, עברית, "
    u"العربية, ภาษาไทย, 日本語のテキスト、カタカナ, 한국어 문장 똠방각하, "
    u"中文的文字, 我們今天去學校</p>";

// The sample in `charset`, leaving out what the charset cannot write.
std::string encodeWhatFits(const char* charset) {
  UErrorCode err = U_ZERO_ERROR;
  UConverter* cnv = ucnv_open(charset, &err);
  if (U_FAILURE(err)) return {};
  ucnv_setFromUCallBack(cnv, UCNV_FROM_U_CALLBACK_SKIP, nullptr, nullptr, nullptr, &err);
  std::string out(kSample.size() * 8 + 16, '\0');
  const int32_t n = ucnv_fromUChars(cnv, out.data(), static_cast<int32_t>(out.size()),
                                    kSample.data(), static_cast<int32_t>(kSample.size()), &err);
  ucnv_close(cnv);
  if (U_FAILURE(err)) return {};
  out.resize(static_cast<size_t>(n));
  return out;
}

void U_CALLCONV replaceWithFffd(const void*, UConverterToUnicodeArgs* args, const char*, int32_t,
                                UConverterCallbackReason reason, UErrorCode* err) {
  if (reason != UCNV_UNASSIGNED && reason != UCNV_ILLEGAL && reason != UCNV_IRREGULAR) return;
  static const UChar kReplacement = 0xFFFD;
  *err = U_ZERO_ERROR;
  ucnv_cbToUWriteUChars(args, &kReplacement, 1, 0, err);
}

// ICU's reading of the bytes, U+FFFD for every error; "?" when ICU fails.
std::u16string icuDecode(const char* charset, const std::string& bytes) {
  UErrorCode err = U_ZERO_ERROR;
  UConverter* cnv = ucnv_open(charset, &err);
  if (U_FAILURE(err)) return u"?";
  ucnv_setToUCallBack(cnv, replaceWithFffd, nullptr, nullptr, nullptr, &err);
  std::u16string out(bytes.size() * 2 + 16, u'\0');
  const int32_t n = ucnv_toUChars(cnv, out.data(), static_cast<int32_t>(out.size()), bytes.data(),
                                  static_cast<int32_t>(bytes.size()), &err);
  ucnv_close(cnv);
  if (U_FAILURE(err)) return u"?";
  out.resize(static_cast<size_t>(n));
  return out;
}

// The charset documents with this label are written in. ICU reads a few
// labels otherwise: the GB 2312 labels as its 7-bit form (documents use the
// 8-bit EUC-CN), cp949 and cp950 as IBM's code pages rather than Windows'.
std::string writtenIn(const std::string& label) {
  if (label == "chinese" || label == "csiso58gb231280" || label == "gb_2312-80" ||
      label == "iso-ir-58")
    return "gb2312";
  if (label == "cp949") return "windows-949";
  if (label == "cp950") return "windows-950";
  return label;
}

bool hasNonAscii(const std::u16string& text) {
  for (char16_t c : text)
    if (c >= 0x80) return true;
  return false;
}

std::string canonicalName(const char* label) {
  UErrorCode err = U_ZERO_ERROR;
  UConverter* cnv = ucnv_open(label, &err);
  if (U_FAILURE(err)) return {};
  std::string name = ucnv_getName(cnv, &err);
  ucnv_close(cnv);
  return name;
}

// Every label is unique, lower case, names a charset with a code page, and
// that charset reads the sample written in the labelled charset exactly as
// the labelled charset does (equal or a superset), non-ASCII text included.
TEST(WindowsBackend, LabelsNameCharsetsThatReadTheLabelledText) {
  std::set<std::string_view> seen;
  for (const vorozo::CodePageLabel& l : vorozo::codePageLabels()) {
    const std::string label(l.label);
    const std::string name(l.name);
    SCOPED_TRACE(label + " -> " + name);
    EXPECT_TRUE(seen.insert(l.label).second) << "label listed twice";
    for (char c : label) EXPECT_FALSE(c >= 'A' && c <= 'Z');
    EXPECT_NE(vorozo::codePageOf(l.name), 0u);
    const std::string source = writtenIn(label);
    const std::string bytes = encodeWhatFits(source.c_str());
    ASSERT_FALSE(bytes.empty()) << "ICU does not know the label";
    const std::u16string expected = icuDecode(source.c_str(), bytes);
    EXPECT_EQ(icuDecode(name.c_str(), bytes), expected);
    if (canonicalName(source.c_str()) != "US-ASCII") {
      EXPECT_TRUE(hasNonAscii(expected));
    }
  }
}

// Labels every document in the wild uses, with the code page they must
// reach (the supersets Windows itself reads them as).
TEST(WindowsBackend, CommonLabelsReachTheirCodePages) {
  struct Case {
    std::string_view label;
    uint32_t codePage;
  };
  const Case cases[] = {
      {"utf-8", 65001},       {"iso-8859-1", 1252}, {"us-ascii", 1252},    {"windows-1252", 1252},
      {"shift_jis", 932},     {"euc-jp", 20932},    {"euc-kr", 949},       {"gb2312", 54936},
      {"gbk", 936},           {"gb18030", 54936},   {"big5", 950},         {"iso-2022-jp", 50220},
      {"windows-1251", 1251}, {"koi8-r", 20866},    {"iso-8859-2", 28592},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.label));
    uint32_t found = 0;
    for (const vorozo::CodePageLabel& l : vorozo::codePageLabels())
      if (l.label == c.label) found = vorozo::codePageOf(l.name);
    EXPECT_EQ(found, c.codePage);
  }
}

// The UTF-16/32 decoders agree with ICU's converters unit for unit: whole
// text, unpaired surrogates, values past U+10FFFF, trailing partial units.
TEST(WindowsBackend, WideDecodingMatchesIcu) {
  struct Form {
    const char* charset;
    bool utf32;
    bool bigEndian;
  };
  const Form forms[] = {{"UTF-16LE", false, false},
                        {"UTF-16BE", false, true},
                        {"UTF-32LE", true, false},
                        {"UTF-32BE", true, true}};
  const std::u16string text = kSample + u"😀𝄞";
  std::mt19937 rng(20240611);
  for (const Form& f : forms) {
    SCOPED_TRACE(f.charset);
    const std::string clean = encode(f.charset, text);
    auto decode = [&](const std::string& b) {
      return f.utf32 ? vorozo::decodeUtf32(data(b), static_cast<uint32_t>(b.size()), f.bigEndian)
                     : vorozo::decodeUtf16(data(b), static_cast<uint32_t>(b.size()), f.bigEndian);
    };
    EXPECT_EQ(decode(clean), text);
    EXPECT_EQ(decode(""), u"");
    for (int round = 0; round < kRounds / 4; ++round) {
      std::string b;
      if (round % 2 == 0) {
        // Damaged text: a few bytes overwritten with surrogate-range or
        // out-of-range values, cut at any length.
        b = clean.substr(0, rng() % (clean.size() + 1));
        const int edits = 1 + static_cast<int>(rng() % 4);
        for (int e = 0; e < edits && !b.empty(); ++e) {
          const uint8_t pick[] = {0xD8, 0xDB, 0xDC, 0xDF, 0x11, 0xFF, 0x00};
          b[rng() % b.size()] = static_cast<char>(pick[rng() % sizeof pick]);
        }
      } else {
        b.resize(rng() % 24);
        for (char& c : b) c = static_cast<char>(rng() % 4 == 0 ? 0xD8 + rng() % 8 : rng());
      }
      const std::u16string got = decode(b);
      const std::u16string want = icuDecode(f.charset, b);
      if (got != want) {
        std::string shown;
        for (unsigned char c : b) shown += " " + std::to_string(c);
        ADD_FAILURE() << "input bytes" << shown << " round " << round;
        break;
      }
    }
  }
}

}  // namespace
}  // namespace vorozo_test
