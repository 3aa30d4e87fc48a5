// Hyphenation through the engine's exports on whole books: it moves words
// between pages, never the objects, their text, positions or search hits.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "book.h"

namespace {

// Per document: every object's text, each page's first markable position
// (relative to the document's), search counts and the objects holding
// each word, and a scrap's text; and what moves: page counts and lines
// ending in '-'.
struct Seen {
  std::vector<std::vector<std::u16string>> words;
  std::vector<std::vector<uint32_t>> hits;
  std::vector<std::u16string> scraps;
  std::vector<int32_t> pages;
  int hyphenEnds = 0;
};

const char16_t* const kNeedles[] = {u"the", u"buffer", u"keeper"};

Seen layOut(const std::string& file, uint8_t hyphenate, uint8_t justify) {
  std::string error;
  auto book = epubreader::Book::openFile(file, error);
  EXPECT_TRUE(book) << error;
  Seen seen;
  if (!book) return seen;
  book->quiet = true;
  const std::string sheet = "body { -pendrel-language: en; }";
  EpubReaderRendererSettings s{};
  s.setting1 = 180, s.setting2 = 260, s.setting5 = justify, s.setting7 = hyphenate;
  s.setting9 = reinterpret_cast<intptr_t>(sheet.c_str());
  EpubReader* r = book->open(s, error);
  EXPECT_TRUE(r) << error;
  if (!r) return seen;
  EpubReader_loadAll(r, nullptr, nullptr);
  book->settle();
  for (auto n = EpubReader_getSpine(r)->first; n; n = n->next) {
    const char16_t* doc = n->item->href;
    const int32_t pages = EpubReader_getContentPageCount(r, doc);
    seen.pages.push_back(pages);
    std::vector<std::u16string> words;
    for (int32_t p = 0; p < pages; ++p) {
      const uint32_t first = EpubReader_getContentMarkablePosition(r, doc, p);
      for (uint32_t i = 0, count = EpubReader_getContentObjectCount(r, doc, p); i < count; ++i) {
        const char16_t* w = EpubReader_getContentScrapText(r, doc, first + i, first + i);
        words.push_back(w ? w : u"(none)");
      }
      const char16_t* line = EpubReader_getContentMarkableString(r, doc, p);
      seen.hyphenEnds += line && std::u16string(line).ends_with(u'-');
    }
    const char16_t* scrap = EpubReader_getContentScrapText(r, doc, 2, 30);
    seen.scraps.push_back(scrap ? scrap : u"(none)");
    for (const char16_t* needle : kNeedles) {
      EpubReader_setSearchContext(r, needle, 0);
      std::vector<uint32_t> at = {uint32_t(EpubReader_searchContent(r, doc, 0, 0, 0))};
      book->settle();
      for (uint32_t i = 0; i < words.size(); ++i)
        if (words[i].find(needle) != std::u16string::npos) at.push_back(i);
      seen.hits.push_back(at);
    }
    seen.words.push_back(std::move(words));
  }
  EpubReader_free(&r);
  return seen;
}

// The books of the test set, each laid out unhyphenated and with setting 7
// at 2 (all text) and 1 (justified by setting 5): per document the objects,
// their words, the first position of each page's objects, search hits and a
// scrap are the same. The long render book must be hyphenated (more pages
// or broken lines), or nothing is shown.
TEST(Hyphenation, ChangesNoObjectOnAnyBook) {
  const std::string fixtures = EPUB_BINARY_DIR "/fixtures/",
                    generated = testing::TempDir() + "hyphenation_render.epub";
  ASSERT_EQ(std::system((std::string(EPUB_RENDER_BOOK) + " " + generated + " 3").c_str()), 0);
  // Book, whether it must hyphenate.
  const std::pair<std::string, bool> books[] = {{EPUB_SAMPLE, false},
                                                {fixtures + "plain.epub", false},
                                                {fixtures + "deep.epub", false},
                                                {fixtures + "handmade.epub", false},
                                                {generated, true}};
  for (const auto& [file, mustHyphenate] : books)
    for (const uint8_t mode : {2, 1}) {
      SCOPED_TRACE(file + ", setting 7 = " + std::to_string(mode));
      const Seen off = layOut(file, 0, 1), on = layOut(file, mode, 1);
      ASSERT_FALSE(off.words.empty());
      EXPECT_EQ(on.words, off.words);
      EXPECT_EQ(on.hits, off.hits);
      EXPECT_EQ(on.scraps, off.scraps);
      EXPECT_TRUE(!mustHyphenate || on.pages != off.pages || on.hyphenEnds > off.hyphenEnds);
    }
  std::filesystem::remove(generated);
}

}  // namespace
