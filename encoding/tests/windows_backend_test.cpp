// The Windows back end's label table, checked against ICU on Linux: each
// label must name a charset with a code page that reads text written in the
// labelled charset unchanged. (Its UTF-16/32 decoders are checked against
// ICU by the randomized test.)
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "codepages.h"
#include "encoding_support.h"

namespace vorozo_test {
namespace {

// Text in every script the table's charsets cover.
const std::u16string kSample =
    u"<p>Ça coûte €5 — Grüße, naïve œuvre. Zażółć gęślą jaźń, Příliš žluťoučký, Ağır şoför, "
    u"Ėlnių ąžuolas, Tiếng Việt, Ελληνικά, Кириллица ї, עברית, العربية, ภาษาไทย, "
    u"日本語のテキスト、カタカナ, 한국어 문장 똠방각하, 中文的文字, 我們今天去學校</p>";

TEST(WindowsBackend, LabelsNameCharsetsThatReadTheLabelledText) {
  std::set<std::string_view> labels, used;
  for (const vorozo::CodePageLabel& l : vorozo::codePageLabels()) {
    std::string label(l.label);
    SCOPED_TRACE(label + " -> " + std::string(l.name));
    // Unique, lower case, and a charset with a code page.
    EXPECT_TRUE(labels.insert(l.label).second);
    EXPECT_TRUE(std::none_of(label.begin(), label.end(), ::isupper));
    EXPECT_NE(vorozo::codePageOf(l.name), 0u);
    used.insert(l.name);
    // ICU reads the GB 2312 labels as its 7-bit form, documents mean the
    // 8-bit EUC-CN; cp949 and cp950 as IBM's code pages, not Windows'.
    if (label == "chinese" || label == "csiso58gb231280" || label == "gb_2312-80" ||
        label == "iso-ir-58") {
      label = "gb2312";
    }
    if (label == "cp949" || label == "cp950") label = "windows-" + label.substr(2);
    const std::string bytes = encode(label.c_str(), kSample, true);
    const std::u16string expected = icuDecode(label.c_str(), bytes);
    EXPECT_EQ(icuDecode(std::string(l.name).c_str(), bytes), expected);
    // Non-ASCII text was read, unless the label is plain ASCII's.
    const bool pure = label.find("ascii") != label.npos || label == "ansi_x3.4-1968";
    EXPECT_NE(pure,
              std::any_of(expected.begin(), expected.end(), [](char16_t c) { return c >= 0x80; }));
  }
  // Every charset of the table is some label's; other names have no code page.
  for (const vorozo::CodePageCharset& c : vorozo::codePageCharsets())
    EXPECT_TRUE(used.count(c.name)) << c.name;
  EXPECT_EQ(vorozo::codePageOf("UTF-16LE"), 0u);
}

// Labels every document in the wild uses reach the code page Windows reads
// them with.
TEST(WindowsBackend, CommonLabelsReachTheirCodePages) {
  const std::pair<std::string_view, uint32_t> rows[] = {
      {"utf-8", 65001},       {"iso-8859-1", 1252}, {"us-ascii", 1252},    {"windows-1252", 1252},
      {"shift_jis", 932},     {"euc-jp", 20932},    {"euc-kr", 949},       {"gb2312", 54936},
      {"gbk", 936},           {"gb18030", 54936},   {"big5", 950},         {"iso-2022-jp", 50220},
      {"windows-1251", 1251}, {"koi8-r", 20866},    {"iso-8859-2", 28592},
  };
  for (const auto& [label, codePage] : rows) {
    const auto& all = vorozo::codePageLabels();
    const auto it = std::find_if(all.begin(), all.end(), [&](auto& l) { return l.label == label; });
    EXPECT_EQ(it == all.end() ? 0 : vorozo::codePageOf(it->name), codePage) << label;
  }
}

}  // namespace
}  // namespace vorozo_test
