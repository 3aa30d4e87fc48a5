// The Windows back end's label table, checked against ICU on Linux.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "codepages.h"
#include "encoding_support.h"

namespace vorozo_test {
namespace {

// Each label is unique, lower case, and names a charset whose code page reads
// the labelled charset as ICU does; every charset is some label's; the most
// used labels reach the code pages Windows reads them with.
TEST(WindowsBackend, LabelsNameCharsetsThatReadTheLabelledText) {
  const std::u16string sample =
      u"Ça coûte €5 — Grüße, œuvre. Zażółć gęślą jaźń, Příliš žluťoučký, Ağır şoför, Ėlnių, Tiếng "
      u"Việt, Ελληνικά, Кириллица ї, עברית, العربية, ภาษาไทย, 日本語のカタカナ, 한국어 똠방각하, "
      u"中文的文字, 我們";
  std::map<std::string_view, uint32_t> common = {
      {"utf-8", 65001},   {"iso-8859-1", 1252},  {"us-ascii", 1252},    {"windows-1252", 1252},
      {"shift_jis", 932}, {"euc-jp", 20932},     {"euc-kr", 949},       {"gb2312", 54936},
      {"gbk", 936},       {"gb18030", 54936},    {"big5", 950},         {"iso-2022-jp", 50220},
      {"koi8-r", 20866},  {"iso-8859-2", 28592}, {"windows-1251", 1251}};
  std::set<std::string_view> labels, used;
  for (const vorozo::CodePageLabel& l : vorozo::codePageLabels()) {
    std::string label(l.label);
    SCOPED_TRACE(label + " -> " + std::string(l.name));
    EXPECT_TRUE(labels.insert(l.label).second &&
                std::none_of(label.begin(), label.end(), ::isupper));
    const uint32_t page = vorozo::codePageOf(l.name);
    EXPECT_TRUE(page != 0 && page == (common.contains(l.label) ? common[l.label] : page)) << page;
    common.erase(l.label);
    used.insert(l.name);
    // ICU reads the GB 2312 labels as the 7-bit form, documents mean EUC-CN;
    // cp949 and cp950 as IBM's code pages, not Windows'.
    if (label == "chinese" || label == "csiso58gb231280" || label == "gb_2312-80" ||
        label == "iso-ir-58")
      label = "gb2312";
    if (label == "cp949" || label == "cp950") label = "windows-" + label.substr(2);
    const std::string bytes = encode(label.c_str(), sample, true);
    const std::u16string expected = icuDecode(label.c_str(), bytes);
    EXPECT_EQ(icuDecode(std::string(l.name).c_str(), bytes), expected);
    // Non-ASCII text was read, unless the label is plain ASCII's.
    EXPECT_NE(label.find("ascii") != label.npos || label == "ansi_x3.4-1968",
              std::any_of(expected.begin(), expected.end(), [](char16_t c) { return c > 127; }));
  }
  EXPECT_TRUE(common.empty()) << common.begin()->first << " is no label";
  for (const vorozo::CodePageCharset& c : vorozo::codePageCharsets())
    EXPECT_TRUE(used.count(c.name)) << c.name;
  EXPECT_EQ(vorozo::codePageOf("UTF-16LE"), 0u);
}

}  // namespace
}  // namespace vorozo_test
