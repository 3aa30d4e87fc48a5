// Hyphenation (renderer setting 7) through the renderer's exports.
#include <gtest/gtest.h>

#include <fstream>

#include "renderer_host.h"

namespace {

using namespace mupdf_test;

// Long words in paragraphs on narrow pages, the root's language and the paragraphs' style given.
std::string book(const std::string& lang, const std::string& style, const std::string& head = "",
                 const char* opening = "Incom") {
  std::string text;
  for (int i = 0; i < 24; ++i)
    text += "<p class=\"c\" style=\"" + style + "\">" + opening +
            "prehensible characteristics, (extraordinarily) uncharacteristic "
            "internationalization; responsibilities overwhelmingly misunderstood.</p>";
  return "<html xmlns=\"http://www.w3.org/1999/xhtml\" " + lang + "><head><title>t</title>" + head +
         "</head><body>" + text + "</body></html>";
}

// Every object's text and a scrap's, each page's first line, search counts, first lines ending in
// '-'.
struct Seen {
  std::vector<std::u16string> words, lines;
  std::vector<int32_t> hits;
  int hyphenEnds = 0;
};

Seen read(const std::string& doc, uint8_t hyphenate, uint8_t justify, const char* sheet) {
  Host host;
  host.files[u"OEBPS/text/s.css"] = "p.c { hyphens: none }";
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
  for (const char16_t* needle : {u"characteristic", u"internationalization;", u"misunderstood"})
    seen.hits.push_back(ZaveVevode_setSearchContext(r.r, needle, 0) ? r.search(doc) : -1);
  return seen;
}

// The text hyphenated or left, by setting, justification, language and `hyphens`; hyphenated
// or not, the objects, their words, a scrap's text and the search hits stay. A row: name,
// document, setting 7, setting 5, the host's sheet, whether it hyphenates.
TEST(MupdfHyphenation, HyphenatesWithoutChangingObjects) {
  const char *language = "html { -pendrel-language: en-US; }", *en = "lang=\"en\"";
  using Row = std::tuple<const char*, std::string, uint8_t, uint8_t, const char*, bool>;
  const Row rows[] = {
      {"justified text, mode 1", book("xml:lang=\"en\"", ""), 1, 1, "", true},
      {"text not justified, mode 1", book("lang=\"en-US\"", ""), 1, 0, "", false},
      {"justified by a style attribute", book(en, "text-align: justify"), 1, 0, "", true},
      {"all text, mode 2", book(en, ""), 2, 0, "", true},
      {"hyphens: auto, mode 1", book(en, "hyphens:auto"), 1, 0, "", true},
      {"hyphens: none by a linked sheet", book(en, "", link("s.css")), 2, 1, "", false},
      {"none by <style>", book(en, "", "<style>p{-webkit-hyphens:none}</style>"), 2, 1, "", false},
      {"justify by <style>", book(en, "", "<style>.c{text-align:justify}</style>"), 1, 0, "", true},
      {"hyphens: none in the host's sheet", book(en, ""), 2, 1, "p { hyphens: none }", false},
      {"hyphens: manual", book(en, "-epub-hyphens: manual"), 2, 1, "", false},
      {"upper case", book(en, "text-transform: uppercase"), 2, 0, "", true},
      {"language from the host's sheet", book("", ""), 2, 1, language, true},
      {"no language", book("", ""), 2, 1, "", false},
      {"blocks that break after '-'", book(en, "", "", "Well-known incom"), 2, 1, "", false},
      {"own soft hyphens", book(en, "", "", "In&#173;com"), 2, 1, "", false},
  };
  for (const auto& [name, doc, mode, justify, sheet, hyphenated] : rows) {
    const Seen off = read(doc, 0, justify, sheet), on = read(doc, mode, justify, sheet);
    EXPECT_EQ(on.hyphenEnds > off.hyphenEnds, hyphenated) << name << ": hyphenated";
    EXPECT_TRUE(hyphenated || on.lines == off.lines) << name << ": lines changed";
    EXPECT_TRUE(off.words.size() > 150 && on.words == off.words) << name << ": objects, scrap";
    EXPECT_EQ(on.hits, off.hits) << name << ": search hits";
  }
}

// Each language by its own dictionary, also where Debian ships regional files only (Spanish,
// Polish, Swedish): long words of the language on narrow pages are hyphenated. A row: the
// language tag, the dictionary it needs, a paragraph.
TEST(MupdfHyphenation, DictionaryOfEachLanguage) {
  const char* rows[][3] = {
      {"de", "hyph_de_DE.dic", "Donaudampfschifffahrtsgesellschaft Unabhaengigkeitserklaerung"},
      {"fr-CA", "hyph_fr.dic", "anticonstitutionnellement internationalisation"},
      {"es", "hyph_es_ES.dic", "internacionalizacion responsabilidades extraordinariamente"},
      {"pl", "hyph_pl_PL.dic", "najprawdopodobniej konstantynopolitanczykowianeczka"},
      {"sv", "hyph_sv_FI.dic", "realisationsvinstbeskattning nationalencyklopedin"},
  };
  for (const auto& [tag, file, words] : rows) {
    if (!std::ifstream(std::string("/usr/share/hyphen/") + file)) {
      ADD_FAILURE() << file << " missing: run scripts/setup.sh";
      continue;
    }
    std::string text;
    for (int i = 0; i < 12; ++i) text += std::string("<p>") + words + "</p>";
    const std::string doc = "<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"" +
                            std::string(tag) + "\"><head><title>t</title></head><body>" + text +
                            "</body></html>";
    const Seen off = read(doc, 0, 1, ""), on = read(doc, 2, 1, "");
    EXPECT_GT(on.hyphenEnds, off.hyphenEnds) << tag;
    EXPECT_EQ(on.words, off.words) << tag;
  }
}

}  // namespace
