// Hyphenation (renderer setting 7): which text gets soft hyphens; a hyphenated document keeps
// the objects, words, search hits and scrap texts it has unhyphenated.
#include <gtest/gtest.h>

#include "renderer_host.h"

namespace {

using namespace mupdf_test;

// Long words in paragraphs on narrow pages, the root's language and the paragraphs' style given.
std::string book(const std::string& lang, const std::string& style, const char* opening = "Incom") {
  std::string text;
  for (int i = 0; i < 24; ++i)
    text += "<p style=\"" + style + "\">" + opening +
            "prehensible characteristics, (extraordinarily) uncharacteristic "
            "internationalization; responsibilities overwhelmingly misunderstood.</p>";
  return "<html xmlns=\"http://www.w3.org/1999/xhtml\" " + lang +
         "><head><title>t</title></head><body>" + text + "</body></html>";
}

struct Seen {
  std::vector<std::u16string> words, lines;  // every object's text, each page's first line
  std::vector<int32_t> hits;
  int hyphenEnds = 0;  // pages whose first line ends in '-'
};

Seen read(const std::string& doc, uint8_t hyphenate, uint8_t justify, const char* sheet) {
  Host host;
  Renderer r(host, {170, 300, 0, 0, justify, 0, hyphenate, 0, handle(sheet), 0, 0, 0, 0});
  Seen seen;
  const int32_t pages = r.load(doc) ? r.pages() : 0;
  for (int32_t p = 0; p < pages; ++p) {
    seen.lines.push_back(ZaveVevode_getFirstStringPage(r.r, kDoc, p));
    seen.hyphenEnds += seen.lines.back().ends_with(u'-');
  }
  for (uint32_t i = 0, n = ZaveVevode_getObjectIndex(r.r, kDoc, pages); i < n; ++i)
    seen.words.push_back(ZaveVevode_getScrapText(r.r, kDoc, i, i));
  seen.words.push_back(ZaveVevode_getScrapText(r.r, kDoc, 3, 40));
  for (const char16_t* needle : {u"characteristic", u"internationalization;", u"misunderstood"}) {
    ZaveVevode_setSearchContext(r.r, needle, 0);
    seen.hits.push_back(r.search(doc));
  }
  return seen;
}

// The text hyphenated or left, by setting, justification, language and `hyphens`; hyphenated
// or not, the objects, their words, a scrap's text and the search hits stay.
TEST(MupdfHyphenation, HyphenatesWithoutChangingObjects) {
  const char* language = "html { -pendrel-language: en-US; }";
  const std::string en = "lang=\"en\"";
  // Name, document, setting 7, setting 5, the host's sheet, whether it hyphenates.
  using Row = std::tuple<const char*, std::string, uint8_t, uint8_t, const char*, bool>;
  const Row rows[] = {
      {"justified text, mode 1", book("xml:lang=\"en\"", ""), 1, 1, "", true},
      {"text not justified, mode 1", book("lang=\"en-US\"", ""), 1, 0, "", false},
      {"justified by a style attribute", book(en, "text-align: justify"), 1, 0, "", true},
      {"all text, mode 2", book(en, ""), 2, 0, "", true},
      {"hyphens: auto, mode 1", book(en, "hyphens:auto"), 1, 0, "", true},
      {"hyphens: none", book(en, "hyphens: none"), 2, 1, "", false},
      {"hyphens: manual", book(en, "-epub-hyphens: manual"), 2, 1, "", false},
      {"upper case", book(en, "text-transform: uppercase"), 2, 0, "", true},
      {"language from the host's sheet", book("", ""), 2, 1, language, true},
      {"no language", book("", ""), 2, 1, "", false},
      {"no dictionary for the language", book("lang=\"xx\"", ""), 2, 1, language, false},
      {"blocks that break after '-'", book(en, "", "Well-known incom"), 2, 1, "", false},
      {"own soft hyphens", book(en, "", "In&#173;com"), 2, 1, "", false},
  };
  for (const auto& [name, doc, mode, justify, sheet, hyphenated] : rows) {
    const Seen off = read(doc, 0, justify, sheet), on = read(doc, mode, justify, sheet);
    ASSERT_GT(off.words.size(), 150u) << name;
    EXPECT_EQ(on.hyphenEnds > off.hyphenEnds, hyphenated) << name << ": hyphenated";
    EXPECT_TRUE(hyphenated || on.lines == off.lines) << name << ": lines changed";
    EXPECT_EQ(on.words, off.words) << name << ": objects, their words and a scrap's text";
    EXPECT_EQ(on.hits, off.hits) << name << ": search hits";
  }
}

}  // namespace
