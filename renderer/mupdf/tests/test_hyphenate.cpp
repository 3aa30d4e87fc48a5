// Hyphenation (renderer setting 7): which text gets soft hyphens, and that
// a hyphenated document keeps the objects, words, search hits and scrap
// texts it has unhyphenated.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "renderer_host.h"

namespace {

using namespace mupdf_test;

// Long words in paragraphs on narrow pages: many lines, several pages.
std::string book(const std::string& html, const std::string& p) {
  std::string text;
  for (int i = 0; i < 24; ++i)
    text += "<p" + p +
            ">Incomprehensible characteristics, (extraordinarily) uncharacteristic "
            "internationalization; responsibilities overwhelmingly misunderstood.</p>";
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<html "
         "xmlns=\"http://www.w3.org/1999/xhtml\"" +
         html + "><head><title>t</title></head><body>" + text + "</body></html>";
}

std::string ownSoftHyphen(std::string doc) {
  return doc.replace(doc.find("Incom"), 5, "In&#173;com");
}

struct Seen {
  std::vector<std::u16string> words, firstLines;
  std::vector<int32_t> hits;
  std::u16string scrap;
  int hyphenEnds = 0;  // pages whose first line ends in '-'
};

Seen read(const std::string& doc, uint8_t hyphenate, uint8_t justify, const char* sheet) {
  Host host;
  ZaveVevodeSettings s{};
  s.setting1 = 170, s.setting2 = 300, s.setting5 = justify, s.setting7 = hyphenate;
  s.setting9 = handle(sheet);
  Renderer r(host, s);
  Seen seen;
  if (!r.load(doc)) return seen;
  const int32_t pages = r.pages();
  for (int32_t p = 0; p < pages; ++p) {
    std::u16string line = ZaveVevode_getFirstStringPage(r.r, kDoc, p);
    seen.hyphenEnds += !line.empty() && line.back() == u'-';
    seen.firstLines.push_back(line);
  }
  for (uint32_t i = 0, n = ZaveVevode_getObjectIndex(r.r, kDoc, pages); i < n; ++i)
    seen.words.push_back(ZaveVevode_getScrapText(r.r, kDoc, i, i));
  seen.scrap = ZaveVevode_getScrapText(r.r, kDoc, 3, 40);
  for (const char16_t* needle : {u"characteristic", u"internationalization;", u"misunderstood"}) {
    ZaveVevode_setSearchContext(r.r, needle, 0);
    seen.hits.push_back(r.search(doc));
  }
  return seen;
}

// The text hyphenated or left, by setting, justification, language and
// `hyphens`; hyphenated or not, the objects and their texts stay.
TEST(MupdfHyphenation, HyphenatesWithoutChangingObjects) {
  const char* en = "html { -pendrel-language: en-US; }";
  const struct Row {
    const char* name;
    std::string doc;
    uint8_t mode, justify;
    const char* sheet;
    bool hyphenated;
  } rows[] = {
      {"justified text, mode 1", book(" xml:lang=\"en\"", ""), 1, 1, "", true},
      {"text not justified, mode 1", book(" lang=\"en-US\"", ""), 1, 0, "", false},
      {"justified by a style attribute", book(" lang=\"en\"", " style=\"text-align: justify\""), 1,
       0, "", true},
      {"all text, mode 2", book(" lang=\"en\"", ""), 2, 0, "", true},
      {"hyphens: auto, mode 1", book(" lang=\"en\"", " style=\"hyphens:auto\""), 1, 0, "", true},
      {"hyphens: none", book(" lang=\"en\"", " style=\"hyphens: none\""), 2, 1, "", false},
      {"hyphens: manual", book(" lang=\"en\"", " style=\"-epub-hyphens: manual\""), 2, 1, "",
       false},
      {"language from the host's sheet", book("", ""), 2, 1, en, true},
      {"no language", book("", ""), 2, 1, "", false},
      {"no dictionary for the language", book(" lang=\"xx\"", ""), 2, 1, en, false},
      {"own soft hyphens", ownSoftHyphen(book(" lang=\"en\"", "")), 2, 1, "", false},
  };
  for (const Row& row : rows) {
    const std::string& doc = row.doc;
    const Seen off = read(doc, 0, row.justify, row.sheet),
               on = read(doc, row.mode, row.justify, row.sheet);
    ASSERT_GT(off.words.size(), 150u) << row.name;
    EXPECT_EQ(on.hyphenEnds > off.hyphenEnds, row.hyphenated) << row.name << ": hyphenated";
    if (!row.hyphenated) {
      EXPECT_EQ(on.firstLines, off.firstLines) << row.name << ": lines";
    }
    EXPECT_EQ(on.words, off.words) << row.name << ": objects and their words";
    EXPECT_EQ(on.hits, off.hits) << row.name << ": search hits";
    EXPECT_EQ(on.scrap, off.scrap) << row.name << ": scrap text";
  }
}

}  // namespace
