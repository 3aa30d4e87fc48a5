// The epubreader command run as a person runs it: a separate process on the
// built-in sample, on the generated fixture publications and on books this
// file writes (an EPUB 3 book without NCX, a book with a corrupt chapter,
// broken archives), checking exit status, stdout and stderr.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "command.h"
#include "support/facts.h"
#include "utf.h"

namespace {

using namespace command_test;

TEST_F(EpubreaderTest, CommandLineAndBrokenInputsGiveOneLineAndTheirExitStatus) {
  const std::string text = path("notes.txt");
  writeFile(text, "just some text\n");
  const std::string sample = readFile(EPUB_SAMPLE);
  const std::string truncated = path("truncated.epub");
  writeFile(truncated, sample.substr(0, sample.size() / 2));
  const std::string plainZip = path("plain.zip");
  writeZip(plainZip, {{"hello.txt", "hello"}});
  const std::string noPackage = path("nopackage.epub");
  writeZip(noPackage,
           {{"mimetype", "application/epub+zip"}, {"META-INF/container.xml", kContainer}});
  const std::string noRootfile = path("norootfile.epub");
  writeZip(noRootfile, {{"mimetype", "application/epub+zip"},
                        {"META-INF/container.xml", "<container><rootfiles/></container>"}});

  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err;  // a piece of the one line on stderr ("" when stderr is empty)
    std::string out;  // a piece of stdout
  };
  const Case cases[] = {
      // Help and version go to stdout and succeed; help says pages count from 1.
      {{"--help"}, 0, "", "Pages are counted from 1"},
      {{"--version"}, 0, "", "epubreader 1."},
      {{"render", "--help"}, 0, "", "Pages are counted from 1"},
      {{"info", "--help"}, 0, "", "--hyphenate H"},
      {{"toc", "--help"}, 0, "", "navigation document"},
      {{"search", "--help"}, 0, "", "--case"},
      {{"highlight", "--help"}, 0, "", "--from POS"},
      // After "--", a word that looks like an option is the text to find.
      {{"search", "--", "--bogus"}, 0, "", "0 hits of \"--bogus\""},
      {{"search", "the keeper"}, 0, "", "11 hits of \"the keeper\""},
      // Page lists, -r, standard input.
      {{"render", "--pages", "1,3-4,N", "-r", "36", "-o", path("p")}, 0, "", "p/page-003.png\n"},
      {{"info", "-"}, 0, "", "file: (standard input)\n"},
      // Bad command lines: status 2, naming what is wrong and the valid range.
      {{}, 2, "usage: epubreader", ""},
      {{"frobnicate"}, 2, "unknown command 'frobnicate'", ""},
      {{"text", "--hyphenate", "auto"}, 2, "'auto': it must be none, justified or all", ""},
      {{"render", "--page", "abc"},
       2,
       "--page 'abc': 'abc' is not a page: pages run from 1 to",
       ""},
      {{"render", "--page", "0"}, 2, "--page 0: page 0 is out of range: pages run from 1 to", ""},
      {{"render", "--pages", "2,x"}, 2, "'x' is not a page", ""},
      {{"render", "--all", "-r", "7"}, 2, "-r 7 is out of range: it must be 8 to 576", ""},
      {{"render", "--all", "--zoom", "50", "-r", "72"}, 2, "give --zoom or -r, not both", ""},
      {{"info", "--max-entry-mb", "0"}, 2, "--max-entry-mb 0 is out of range", ""},
      {{"convert"}, 2, "convert needs -o FILE", ""},
      {{"search", EPUB_SAMPLE}, 2, "search needs the TEXT to find in", ""},
      {{"render", "--page", "100000"}, 2, "is out of range: pages run from 1 to", ""},
      {{"render", "--pages", "3-1"}, 2, "runs backwards", ""},
      {{"render"}, 2, "exactly one of --page N, --pages LIST, --all", ""},
      {{"render", "--all", "--width", "12"}, 2, "--width 12 is out of range: it must be 16 to", ""},
      {{"render", "--all", "--zoom", "x"}, 2, "--zoom 'x' is not a number", ""},
      {{"info", "--bogus"}, 2, "unknown option --bogus", ""},
      {{"search"}, 2, "needs the TEXT", ""},
      {{"highlight", "--from", "5"}, 2, "needs --from POS and --to POS", ""},
      {{"highlight", "--from", "5", "--to", "999999"}, 2, "positions run from 0 to", ""},
      // Files that are not books: status 1 and why.
      {{"info", path("missing.epub")}, 1, "missing.epub: no such file", ""},
      {{"info", dir_.string()}, 1, "is a directory", ""},
      {{"info", text}, 1, "notes.txt: not a zip archive\n", ""},
      {{"info", truncated}, 1, "truncated.epub: a truncated zip archive", ""},
      {{"info", "--css", text + ".none"}, 1, "cannot read the style sheet", ""},
      {{"toc", plainZip}, 1, "not an EPUB publication (no META-INF/container.xml)", ""},
      {{"info", noPackage}, 1, "the package document OEBPS/content.opf is not in the archive", ""},
      {{"info", noRootfile}, 1, "names no package document", ""},
  };
  for (const auto& c : cases) {
    std::string line;
    for (const auto& a : c.args) line += a + " ";
    SCOPED_TRACE(line);
    const Outcome run =
        runCommand(c.args, 120, !c.args.empty() && c.args.back() == "-" ? EPUB_SAMPLE : "");
    EXPECT_EQ(run.status, c.status) << run.err;
    if (c.err.empty()) {
      EXPECT_EQ(run.err, "");
    } else {
      EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
      if (c.status == 1) {
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
      }
    }
    EXPECT_NE(run.out.find(c.out), std::string::npos) << run.out;
  }
}

TEST_F(EpubreaderTest, SampleInfoAndTocComeFromTheBuiltInPublication) {
  // info --json: the sample's own metadata, reading order and NCX tree.
  const Json info = parseJson(runCommand({"info", "--json"}));
  ASSERT_FALSE(info.is_discarded());
  EXPECT_EQ(info["file"], "(built-in sample)");
  EXPECT_EQ(info["package"], "OEBPS/content.opf");
  EXPECT_EQ(info["metadata"]["title"], "A Lighthouse Keeper's Almanac");
  EXPECT_EQ(info["metadata"]["creator"], "Ada Marsh");
  ASSERT_EQ(info["spine"].size(), 4u);
  EXPECT_EQ(info["spine"][1]["href"], "chapter1.xhtml");
  EXPECT_EQ(info["toc"]["source"], "NCX");
  EXPECT_EQ(info["toc"]["path"], "OEBPS/toc.ncx");
  ASSERT_EQ(info["toc"]["entries"].size(), 4u);
  EXPECT_EQ(info["toc"]["entries"][1]["children"][0]["label"], "The lamp");
  // Every document has pages, and they add up to the book's.
  int sum = 0;
  for (const auto& doc : info["spine"]) {
    EXPECT_GT(doc["pages"].get<int>(), 0);
    EXPECT_EQ(doc["firstPage"].get<int>(), sum + 1);
    sum += doc["pages"].get<int>();
  }
  EXPECT_EQ(info["pages"].get<int>(), sum);
  // A smaller page holds less: more pages.
  const Json small = parseJson(runCommand({"info", "--json", "--width", "200", "--height", "300"}));
  EXPECT_GT(small["pages"].get<int>(), sum);

  // Text forms: indented tree and the source named.
  const Outcome toc = runCommand({"toc"});
  EXPECT_EQ(toc.status, 0);
  EXPECT_EQ(toc.out.rfind("source: NCX OEBPS/toc.ncx\n", 0), 0u) << toc.out;
  EXPECT_NE(toc.out.find("\n  The lamp  -> chapter1.xhtml#lamp\n"), std::string::npos) << toc.out;
  const Outcome text = runCommand({"info"});
  EXPECT_NE(text.out.find("title: A Lighthouse Keeper's Almanac\n"), std::string::npos);
  EXPECT_NE(text.out.find("pages: " + std::to_string(sum) + " "), std::string::npos);
}

TEST_F(EpubreaderTest, FixturePublicationsShowWhatTheGeneratorWrote) {
  using epub::testing::Facts;
  using epub::utf::toUtf8;
  int seen = 0;
  for (const auto& entry : fs::directory_iterator(fs::path(EPUB_BINARY_DIR) / "fixtures")) {
    if (entry.path().extension() != ".facts") continue;
    SCOPED_TRACE(entry.path().filename().string());
    ++seen;
    const auto facts = Facts::read(entry.path().string());
    ASSERT_TRUE(facts);
    const std::string book = (entry.path().parent_path() / toUtf8(facts->one("file"))).string();
    const Json info = parseJson(runCommand({"info", book, "--json"}));
    ASSERT_FALSE(info.is_discarded());
    EXPECT_EQ(info["package"], toUtf8(facts->one("opf_path")));
    EXPECT_EQ(info["metadata"]["title"], toUtf8(facts->one("title")));
    EXPECT_EQ(info["metadata"]["language"], toUtf8(facts->one("language")));
    std::vector<std::string> spine;
    for (const auto& doc : info["spine"]) spine.push_back(doc["href"]);
    std::vector<std::string> expected;
    for (const auto& s : facts->all("spine")) expected.push_back(toUtf8(s));
    EXPECT_EQ(spine, expected);
    // The table of contents, flattened back to (depth, label) in pre-order.
    std::vector<std::string> toc;
    std::function<void(const Json&, int)> flatten = [&](const Json& list, int depth) {
      for (const auto& e : list) {
        toc.push_back(std::to_string(depth) + " " + e["label"].get<std::string>());
        if (e.contains("children")) flatten(e["children"], depth + 1);
      }
    };
    flatten(info["toc"]["entries"], 0);
    std::vector<std::string> expectedToc;
    for (const auto& t : facts->all("toc")) {
      const auto f = epub::testing::fields(t);
      expectedToc.push_back(toUtf8(f[0]) + " " + toUtf8(f[1]));
    }
    EXPECT_EQ(toc, expectedToc);
    EXPECT_GT(info["pages"].get<int>(), 0);
  }
  EXPECT_GE(seen, 3);
}

TEST_F(EpubreaderTest, WithoutNcxTheNavigationDocumentIsTheContents) {
  const std::string book = path("nav.epub");
  writeZip(book, navOnlyBook());
  const Json toc = parseJson(runCommand({"toc", book, "--json"}));
  ASSERT_FALSE(toc.is_discarded());
  EXPECT_EQ(toc["source"], "navigation document");
  EXPECT_EQ(toc["path"], "OEBPS/nav doc.xhtml");
  const Json expected = Json::parse(R"([
    {"label": "First part", "href": "a.xhtml",
     "children": [{"label": "A section", "href": "a.xhtml#s"}]},
    {"label": "Second part", "href": "",
     "children": [{"label": "Chapter two", "href": "b.xhtml"}]}])");
  EXPECT_EQ(toc["entries"], expected);
  const Outcome text = runCommand({"toc", book});
  EXPECT_EQ(text.out.rfind("source: navigation document OEBPS/nav doc.xhtml\n", 0), 0u);
}

// ICU is opened only when a package file is in a charset other than UTF-8:
// the dynamic loader's log (LD_DEBUG=files) names every library it maps.
TEST_F(EpubreaderTest, IcuIsOpenedOnlyForOtherCharsets) {
  struct Row {
    const char* declaration;  // the OPF's XML declaration
    std::string title;        // its title's bytes
    const char* shown;        // the title info prints, in UTF-8
    bool icu;
  };
  const Row rows[] = {
      {"<?xml version=\"1.0\"?>", "Caf\xC3\xA9", "Caf\xC3\xA9", false},  // undeclared UTF-8
      {"<?xml version=\"1.0\" encoding=\"utf-8\"?>", "Caf\xC3\xA9", "Caf\xC3\xA9", false},
      {"<?xml version=\"1.0\" encoding=\"UTF8\"?>", "Caf\xC3\xA9", "Caf\xC3\xA9", false},
      {"<?xml version=\"1.0\" encoding=\"windows-1252\"?>", "Caf\xE9", "Caf\xC3\xA9", true},
      {"<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>", "Caf\xE9", "Caf\xC3\xA9", true},
      {"<?xml version=\"1.0\"?>", "Caf\xE9", "Caf\xC3\xA9", true},  // guessed: not UTF-8
  };
  const std::string book = path("charset.epub");
  setenv("LD_DEBUG", "files", 1);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.declaration + (" " + std::to_string(row.icu)));
    std::vector<Entry> entries = navOnlyBook();
    std::string& opf = entries[2].text;
    opf.replace(0, opf.find("?>") + 2, row.declaration);
    opf.replace(opf.find("Navigation only"), 15, row.title);
    writeZip(book, entries);
    const Outcome run = runCommand({"info", book, "--json"});
    EXPECT_EQ(run.err.find("libicuuc.so") != std::string::npos, row.icu);
    Outcome quiet = run;
    quiet.err.clear();
    const Json info = parseJson(quiet);
    ASSERT_FALSE(info.is_discarded());
    EXPECT_EQ(info["metadata"]["title"], row.shown);
  }
  unsetenv("LD_DEBUG");
}

TEST_F(EpubreaderTest, RenderWritesPngsOfTheRequestedSizeWithInk) {
  // Pages 2 and 3 of the sample at 300 x 400 points, zoomed to 150 %.
  const std::string out = path("pages");
  const Outcome run = runCommand({"render", "--pages", "2-3", "--width", "300", "--height", "400",
                                  "--zoom", "150", "-o", out});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, out + "/page-002.png\n" + out + "/page-003.png\n");
  EXPECT_EQ(run.err, "");  // no progress bar when stderr is not a terminal
  for (const char* name : {"page-002.png", "page-003.png"}) {
    const Png png = readPng(out + "/" + name);
    ASSERT_TRUE(png.ok) << name;
    EXPECT_EQ(png.width, 450u);
    EXPECT_EQ(png.height, 600u);
    EXPECT_GT(png.ink, 500u) << name;
  }
  // --all draws every page, and a blank-free book has ink on each.
  const std::string book = path("three.epub");
  writeZip(book, threeChapterBook("Plain words for a page."));
  const std::string all = path("all");
  const Outcome every = runCommand({"render", book, "--all", "-o", all});
  ASSERT_EQ(every.status, 0) << every.err;
  EXPECT_EQ(std::count(every.out.begin(), every.out.end(), '\n'), 3);
  for (const char* name : {"page-001.png", "page-002.png", "page-003.png"}) {
    const Png png = readPng(all + "/" + name);
    ASSERT_TRUE(png.ok) << name;
    EXPECT_EQ(png.width, 600u);
    EXPECT_EQ(png.height, 800u);
    EXPECT_GT(png.ink, 100u) << name;
  }
}

TEST_F(EpubreaderTest, SearchFindsEveryHitAndHighlightPrintsItsText) {
  const std::string book = path("three.epub");
  writeZip(book, threeChapterBook("No towers here, only a keeper of bees."));
  struct Case {
    std::vector<std::string> args;
    size_t count;
  };
  const Case cases[] = {
      // Case ignored by default, matched with --case.
      {{"lighthouse"}, 3},
      {{"lighthouse", "--case"}, 2},
      {{"Lighthouse", "--case"}, 1},
      // A phrase, white space in the needle matching the gap between words.
      {{"lighthouse   keeper"}, 1},
      {{"keeper"}, 3},
      {{"submarine"}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0]);
    std::vector<std::string> args = {"search", book};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.push_back("--json");
    const Outcome run = runCommand(args);
    EXPECT_EQ(run.err, "");  // the renderer's own count agrees
    const Json result = parseJson(run);
    ASSERT_FALSE(result.is_discarded());
    EXPECT_EQ(result["count"].get<size_t>(), c.count);
    ASSERT_EQ(result["hits"].size(), c.count);
    int lastPage = 1;
    for (const auto& hit : result["hits"]) {
      EXPECT_GE(hit["page"].get<int>(), lastPage);
      lastPage = hit["page"].get<int>();
      EXPECT_LE(hit["from"].get<uint32_t>(), hit["to"].get<uint32_t>());
      EXPECT_NE(hit["line"].get<std::string>().find(' '), std::string::npos);
    }
  }

  // The phrase's positions, highlighted: the scrap's text is the phrase.
  const Json phrase = parseJson(runCommand({"search", book, "lighthouse keeper", "--json"}));
  ASSERT_EQ(phrase["hits"].size(), 1u);
  const auto& hit = phrase["hits"][0];
  EXPECT_EQ(hit["page"], 1);
  EXPECT_EQ(hit["line"], "The lighthouse keeper climbs the lighthouse stair.");
  const std::string png = path("mark.png");
  const Outcome mark =
      runCommand({"highlight", book, "--from", std::to_string(hit["from"].get<int>()), "--to",
                  std::to_string(hit["to"].get<int>()), "-o", png});
  ASSERT_EQ(mark.status, 0) << mark.err;
  EXPECT_EQ(mark.out, "page 1: lighthouse keeper\n" + png + "\n");
  EXPECT_TRUE(readPng(png).ok);
  // Text search in the sample, on the built-in publication.
  const Outcome sample = runCommand({"search", "gale"});
  EXPECT_EQ(sample.status, 0) << sample.err;
  EXPECT_EQ(sample.out.rfind("5 hits of \"gale\"\n", 0), 0u) << sample.out;
  // Text beyond ASCII: found whatever its case, its line printed as UTF-8.
  const Outcome cyrillic = runCommand({"search", "СПАСИБО"});
  EXPECT_EQ(cyrillic.err, "");
  EXPECT_EQ(cyrillic.out.rfind("1 hit of \"СПАСИБО\"\npage ", 0), 0u) << cyrillic.out;
  EXPECT_NE(cyrillic.out.find("  «Спасибо за чай и за свет.»"), std::string::npos) << cyrillic.out;
}

// Flips bytes in the middle of an entry's compressed data.
void corruptEntry(std::string& zipBytes, const std::string& name) {
  const size_t header = zipBytes.find(std::string("PK\3\4"));
  size_t at = header;
  while (at != std::string::npos) {
    const auto u16 = [&](size_t o) {
      return size_t(uint8_t(zipBytes[o])) | size_t(uint8_t(zipBytes[o + 1])) << 8;
    };
    const size_t nameLength = u16(at + 26), extraLength = u16(at + 28);
    if (zipBytes.compare(at + 30, nameLength, name) == 0) {
      const size_t data = at + 30 + nameLength + extraLength;
      for (size_t k = 10; k < 18; ++k) zipBytes[data + k] = char(~zipBytes[data + k]);
      return;
    }
    at = zipBytes.find(std::string("PK\3\4"), at + 4);
  }
  FAIL() << name << " not found";
}

TEST_F(EpubreaderTest, ACorruptChapterIsAWarningAndTheDamagedStatus) {
  std::string longText;
  for (int i = 0; i < 60; ++i) longText += "The keeper wrote line " + std::to_string(i) + ". ";
  const std::string good = path("good.epub");
  writeZip(good, threeChapterBook(longText));
  std::string bytes = readFile(good);
  corruptEntry(bytes, "OEBPS/c2.xhtml");
  const std::string bad = path("bad.epub");
  writeFile(bad, bytes);

  const Json whole = parseJson(runCommand({"info", good, "--json"}));
  const Outcome run = runCommand({"info", bad, "--json"});
  EXPECT_EQ(run.status, 3);
  EXPECT_NE(run.err.find("warning: " + bad + ": entry OEBPS/c2.xhtml is damaged ("),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find(bad + " is damaged: 1 problem, each named above"), std::string::npos);
  // Still a full answer for what could be read: the other two chapters.
  const Json info = Json::parse(run.out, nullptr, false);
  ASSERT_FALSE(info.is_discarded());
  EXPECT_EQ(info["spine"][1]["pages"], 0);
  EXPECT_EQ(info["pages"].get<int>(),
            whole["pages"].get<int>() - whole["spine"][1]["pages"].get<int>());
  // Drawing a page that survived still works, and says the book is damaged
  // when the damaged chapter comes before it; a page before it needs no
  // look at that chapter.
  const Outcome render = runCommand({"render", bad, "--page", "2", "-o", path("out")});
  EXPECT_EQ(render.status, 3) << render.err;
  EXPECT_TRUE(readPng(path("out/page-002.png")).ok);
  EXPECT_EQ(runCommand({"render", bad, "--page", "1", "-o", path("out")}).status, 0);
}

// One change to a book: `from` replaced by `to` in the entry, the entry
// replaced whole or added (`from` empty), or removed (`to` is kGone).
struct Edit {
  std::string entry, from, to;
};
const char kGone[] = "(removed)";

std::vector<Entry> edited(std::vector<Entry> book, const std::vector<Edit>& edits) {
  for (const auto& e : edits) {
    if (e.from.empty() &&
        std::none_of(book.begin(), book.end(), [&](const Entry& b) { return b.name == e.entry; }))
      book.push_back({e.entry, e.to});
    for (auto it = book.begin(); it != book.end(); ++it) {
      if (it->name != e.entry) continue;
      if (e.to == kGone) {
        book.erase(it);
      } else if (e.from.empty()) {
        it->text = e.to;
      } else {
        const size_t at = it->text.find(e.from);
        EXPECT_NE(at, std::string::npos) << e.from;
        if (at != std::string::npos) it->text.replace(at, e.from.size(), e.to);
      }
      break;
    }
  }
  return book;
}

// Nothing is lost silently: each damaged book exits 3 with a warning naming
// the file and the reason; misleading cases get their own words; a book
// without pages fails alike whatever pages are asked for.
TEST_F(EpubreaderTest, DamagedBooksAreNamedWithTheirReason) {
  const std::string opf = "OEBPS/content.opf", c2 = "OEBPS/c2.xhtml";
  const std::string deepNcx = [] {
    std::string points;
    for (int i = 0; i < 40000; ++i) points += "<navPoint><navLabel><text>L</text></navLabel>";
    for (int i = 0; i < 40000; ++i) points += "</navPoint>";
    return "<ncx><navMap>" + points + "</navMap></ncx>";
  }();
  std::string deepNav = "<html><body><nav><ol>";
  for (int i = 0; i < 100000; ++i) deepNav += "<li><a href=\"c1.xhtml\">x</a><ol>";
  for (int i = 0; i < 100000; ++i) deepNav += "</ol></li>";
  deepNav += "</ol></nav></body></html>";
  const std::string navItem =
      "<item id=\"nav\" href=\"nav.xhtml\" media-type=\"application/xhtml+xml\" "
      "properties=\"nav\"/></manifest>";
  struct Case {
    std::vector<Edit> edits;
    std::vector<std::string> args;  // after the command, before the book
    int status;
    std::string err;
  };
  const Case cases[] = {
      {{{opf, "<dc:title>", "<dc:rights>&copy; 2022</dc:rights>\n<dc:title>"}},
       {"info"},
       3,
       "OEBPS/content.opf, line 1: the entity '&copy;' is not one of the five"},
      {{{opf, "Three chapters", "Tom & Jerry"}}, {"render", "--all"}, 3, "line 1: a bare '&'"},
      {{{opf, "<package", "<opf:package"}, {opf, "</package>", "</opf:package>"}},
       {"toc"},
       3,
       "the package element is written opf:package"},
      {{{c2, "", kGone}},
       {"render", "--all", "-o", path("o")},
       3,
       "OEBPS/c2.xhtml is in the reading order but not in the archive"},
      {{{c2, "", ""}}, {"info"}, 3, "OEBPS/c2.xhtml could not be laid out by the renderer"},
      {{{c2, "</p>", "<img src=\"gone.png\"/></p>"}},
       {"info"},
       3,
       "OEBPS/gone.png, needed by OEBPS/c2.xhtml, is not in the archive"},
      {{{"OEBPS/toc.ncx", "<navMap>", "<navMap>&nbsp;"}},
       {"toc"},
       3,
       "OEBPS/toc.ncx, line 1: the entity '&nbsp;'"},
      {{{c2, "</p>", std::string(3 << 20, 'a') + "</p>"}},
       {"info", "--max-entry-mb", "2"},
       3,
       "entry OEBPS/c2.xhtml is damaged (larger than the budget of 2 MB per entry"},
      // Warnings that do not stop the book, and failures that do.
      {{{"mimetype", "", kGone}}, {"info"}, 0, "there is no mimetype entry"},
      {{{"mimetype", "", "application/epub+zip\n"}},
       {"info"},
       0,
       "the mimetype entry is 'application/epub+zip\\n', with white space after"},
      {{{"META-INF/container.xml", "package+xml", "package+xm"}},
       {"info"},
       1,
       "no rootfile has the media-type application/oebps-package+xml, written exactly (found "
       "'application/oebps-package+xm')"},
      {{{opf, "<itemref idref=\"c1\"/><itemref idref=\"c2\"/><itemref idref=\"c3\"/>", ""}},
       {"render", "--page", "1"},
       1,
       "three.epub: this book has no pages"},
      {{{opf, "<itemref idref=\"c1\"/><itemref idref=\"c2\"/><itemref idref=\"c3\"/>", ""}},
       {"render", "--all"},
       1,
       "three.epub: this book has no pages"},
      // Contents nested 40,000 and 100,000 deep are listed at level 32.
      {{{"OEBPS/toc.ncx", "", deepNcx}}, {"toc"}, 0, "listed at level 32"},
      {{{"OEBPS/toc.ncx", "", kGone},
        {opf, "</manifest>", navItem},
        {"OEBPS/nav.xhtml", "", deepNav}},
       {"toc", "--json"},
       0,
       "listed at level 32"},
  };
  const std::string book = path("three.epub");
  for (const auto& c : cases) {
    writeZip(book, edited(threeChapterBook("Plain words."), c.edits));
    std::vector<std::string> args = c.args;
    args.insert(args.begin() + 1, book);
    SCOPED_TRACE(c.err);
    const Outcome run = runCommand(args, 60);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    EXPECT_LT(run.out.size(), 64u << 20);
  }
  // Output that cannot be written is a failure.
  const Outcome full = runCommand({"info"}, 60, "", "/dev/full");
  EXPECT_EQ(full.status, 1);
  EXPECT_NE(full.err.find("cannot write the output"), std::string::npos) << full.err;
}

// Standard output of a shell command line (mutool), empty when it fails.
std::string shell(const std::string& line) {
  std::string out;
  if (FILE* pipe = popen((line + " 2>/dev/null").c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    pclose(pipe);
  }
  return out;
}

// What users of other e-book tools reach for: the metadata the records lack,
// a user style sheet, the cover, the images and fonts, and a PDF that
// mutool opens with the same pages, its outline and live links.
TEST_F(EpubreaderTest, CoverExtractConvertAndTheMetadataTheRecordsLack) {
  const Json sample = parseJson(runCommand({"info", "--json"}));
  EXPECT_EQ(sample["metadata"]["date"], "2026-01-15");
  EXPECT_EQ(sample["metadata"]["uniqueIdentifier"],
            "urn:uuid:3f1c6a52-5b0e-4c1d-9a57-0d2b8e6a4c11");
  const std::string nav = path("nav.epub"), three = path("three.epub"), css = path("big.css");
  writeZip(nav, navOnlyBook());
  const Json navInfo = parseJson(runCommand({"info", nav, "--json"}));
  EXPECT_EQ(navInfo["landmarks"], Json::parse(R"([{"label": "Start here", "href": "a.xhtml"}])"));
  EXPECT_EQ(navInfo["pageList"].size(), 2u);
  const std::string opf = "OEBPS/content.opf";
  writeZip(three, edited(threeChapterBook("Plain words."),
                         {{opf, "<metadata", "<opf:metadata xmlns:opf=\"x\""},
                          {opf, "</metadata>", "</opf:metadata>"}}));
  EXPECT_EQ(parseJson(runCommand({"info", three, "--json"}))["metadata"]["title"],
            "Three chapters");
  writeFile(css, "p, h1 { font-size: 90pt }");
  EXPECT_GT(parseJson(runCommand({"info", "--json", "--css", css}))["pages"].get<int>(),
            sample["pages"].get<int>());

  // A generated EPUB 3 book with a cover-image, a font and an image the
  // archive lacks; a book whose guide names its cover.
  const std::string gen = path("gen.epub"), guide = path("guide.epub");
  writeZip(gen, edited(navOnlyBook(),
                       {{opf, "</manifest>",
                         "<item id=\"p\" href=\"pic.svg\" media-type=\"image/svg+xml\" "
                         "properties=\"cover-image\"/><item id=\"f\" href=\"fonts/f.ttf\" "
                         "media-type=\"font/ttf\"/><item id=\"g\" href=\"gone.png\" "
                         "media-type=\"image/png\"/></manifest>"},
                        {"OEBPS/pic.svg", "",
                         "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"60\" height=\"90\">"
                         "<rect width=\"60\" height=\"90\"/></svg>"},
                        {"OEBPS/fonts/f.ttf", "", "font bytes"}}));
  writeZip(guide,
           edited(threeChapterBook("Plain words."),
                  {{opf, "</spine>",
                    "</spine><guide><reference type=\"cover\" href=\"c3.xhtml\"/></guide>"}}));

  // The cover: the image the package names, else the guide's, else page 1.
  for (const auto& [book, said] :
       {std::pair<std::string, std::string>{"", "image OEBPS/images/cover.svg (the cover meta)"},
        {gen, "image OEBPS/pic.svg (the cover-image property)"},
        {guide, "document OEBPS/c3.xhtml (the guide)"},
        {three, "page 1 (the book names no cover)"}}) {
    std::vector<std::string> args = {"cover", "-o", path("cover.png"), "-r", "36"};
    if (!book.empty()) args.insert(args.begin() + 1, book);
    const Outcome run = runCommand(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("cover: " + said), std::string::npos) << run.out;
    const Png png = readPng(path("cover.png"));
    EXPECT_EQ(png.width, 300u) << said;
    EXPECT_GT(png.ink, 100u) << said;
  }
  // Images and fonts under their container paths; a missing one is damage.
  const Outcome extract = runCommand({"extract", "-o", path("x")});
  EXPECT_EQ(extract.status, 0) << extract.err;
  EXPECT_EQ(std::count(extract.out.begin(), extract.out.end(), '\n'), 3);
  EXPECT_EQ(readFile(path("x/OEBPS/images/lamp.svg")),
            readFile(std::string(EPUB_SOURCE_DIR) + "/sample/book/OEBPS/images/lamp.svg"));
  const Outcome partial = runCommand({"extract", gen, "-o", path("y")});
  EXPECT_EQ(partial.status, 3);
  EXPECT_EQ(partial.out, path("y/OEBPS/pic.svg") + "\n" + path("y/OEBPS/fonts/f.ttf") + "\n");
  EXPECT_NE(partial.err.find("OEBPS/gone.png is in the manifest but not in the archive"),
            std::string::npos)
      << partial.err;
  EXPECT_EQ(readFile(path("y/OEBPS/fonts/f.ttf")), "font bytes");
  // Files that cannot be written fail.
  writeFile(path("notes"), "a file where a folder is asked for");
  for (const char* command : {"convert", "cover", "extract"}) {
    const Outcome denied = runCommand({command, "-o", path("notes/out")});
    EXPECT_EQ(denied.status, 1) << command << denied.err;
    EXPECT_NE(denied.err.find("cannot "), std::string::npos) << denied.err;
  }

  // The PDF of the sample and of the generated book: every page, the
  // contents as outline; three live links on the sample's page 4.
  const std::string pdf = path("book.pdf"), genPdf = path("gen.pdf");
  const Outcome convert = runCommand({"convert", "-o", pdf});
  ASSERT_EQ(convert.status, 0) << convert.err;
  EXPECT_EQ(convert.out, pdf + "\n");
  ASSERT_EQ(runCommand({"convert", gen, "-o", genPdf}).status, 0);
  if (shell("mutool -v").empty() && shell("command -v mutool").empty()) GTEST_SKIP() << "no mutool";
  for (const auto& [file, pages, entry] :
       {std::tuple<std::string, int, std::string>{pdf, sample["pages"].get<int>(),
                                                  "\"The lamp\"\t#page=2"},
        {genPdf, navInfo["pages"].get<int>(), "\"A section\"\t#page=1"}}) {
    EXPECT_NE(shell("mutool info " + file).find("Pages: " + std::to_string(pages) + "\n"),
              std::string::npos)
        << file;
    const std::string outline = shell("mutool show " + file + " outline");
    EXPECT_NE(outline.find(entry), std::string::npos) << outline;
  }
  const std::string objects = shell("mutool show " + pdf + " grep");
  size_t links = 0;
  for (size_t at = 0; (at = objects.find("/Subtype/Link", at)) != std::string::npos; ++at) ++links;
  EXPECT_EQ(links, 3u);
  EXPECT_NE(shell("mutool draw -F txt " + pdf + " 2").find("the keeper counts"), std::string::npos);
}

// Bytes of the sample changed at random, fed to 'info': it must end on its
// own with a known status and its one-line messages, never a crash.
TEST_F(EpubreaderTest, MutatedSampleNeverCrashes) {
  const std::string sample = readFile(EPUB_SAMPLE);
  ASSERT_GT(sample.size(), 1000u);
  std::mt19937 random(20260101);
#ifdef EPUB_SANITIZED
  const int rounds = 40;
#else
  const int rounds = 120;
#endif
  const std::string book = path("mutated.epub");
  std::map<int, int> statuses;
  for (int round = 0; round < rounds; ++round) {
    std::string bytes = sample;
    const int edits = 1 + int(random() % 8);
    for (int e = 0; e < edits; ++e) {
      const size_t at = random() % bytes.size();
      switch (random() % 3) {
        case 0:
          bytes[at] = char(random());
          break;
        case 1:
          bytes.erase(at, 1 + random() % 16);
          break;
        default:
          bytes.insert(at, std::string(1 + random() % 16, char(random())));
      }
      if (bytes.empty()) bytes = "x";
    }
    writeFile(book, bytes);
    const Outcome run = runCommand({"info", book}, 60);
    SCOPED_TRACE("round " + std::to_string(round));
    ASSERT_FALSE(run.timedOut);
    ASSERT_EQ(run.signal, 0) << run.err;
    EXPECT_TRUE(run.status == 0 || run.status == 1 || run.status == 3) << run.err;
    EXPECT_EQ(run.err.find("Sanitizer"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("runtime error"), std::string::npos) << run.err;
    if (run.status != 0) {
      EXPECT_FALSE(run.err.empty());
    }
    ++statuses[run.status];
  }
  // The mutations reach past the zip directory into the entries.
  EXPECT_GT(statuses[1], 0);
}

}  // namespace
