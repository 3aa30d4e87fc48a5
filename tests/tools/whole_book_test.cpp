// The commands that work on the whole book, or on as much of it as they
// need: pages laid out lazily, the workers of --jobs, plain text, progress
// and interruption.
#include <algorithm>
#include <cstdlib>
#include <map>

#include "command.h"

namespace {

using namespace command_test;

// The pages a render wrote, by file name.
std::map<std::string, std::string> pngsIn(const std::string& folder) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::directory_iterator(folder))
    out[e.path().filename()] = readFile(e.path());
  return out;
}

// A page drawn with the book laid out only as far as that page, and one
// drawn from the page counts the whole book's layout left in the cache
// folder (laying out the page's document alone), are the same image, byte
// for byte, as the page of the whole book laid out: on the built-in
// sample, a generated book of short documents with figures, and three
// chapters of which the second runs over several pages. Counts that prove
// wrong are forgotten and the page is still right.
TEST_F(EpubreaderTest, APageDrawnLazilyIsThePageOfTheWholeBook) {
  const char* before = std::getenv("XDG_CACHE_HOME");
  const std::string saved = before ? before : "";
  const auto cache = [&](const char* folder) { setenv("XDG_CACHE_HOME", path(folder).c_str(), 1); };
  const std::string generated = path("generated.epub"), three = path("three.epub");
  ASSERT_EQ(std::system((std::string(EPUB_RENDER_BOOK) + " " + generated + " 5").c_str()), 0);
  std::string longText;
  for (int i = 0; i < 400; ++i) longText += "The keeper wrote line " + std::to_string(i) + ". ";
  writeZip(three, threeChapterBook(longText));
  for (const std::string& book : {std::string(), generated, three}) {
    SCOPED_TRACE(book.empty() ? "the sample" : book);
    std::vector<std::string> all = {"render", "--all", "-o", path("all")};
    if (!book.empty()) all.insert(all.begin() + 1, book);
    fs::remove_all(path("cache"));
    cache("cache");
    const Outcome whole = runCommand(all);
    ASSERT_EQ(whole.status, 0) << whole.err;
    const auto pages = pngsIn(path("all"));
    ASSERT_GT(pages.size(), 3u);
    const std::string counts = fs::directory_iterator(path("cache/epubreader/pages"))->path();
    const std::string good = readFile(counts), key = good.substr(0, good.find("\n--\n") + 4);
    std::string wrong = key;
    for (auto c = good.begin() + long(key.size()); c != good.end(); ++c)
      if (*c == '\n') wrong += "99999\n";
    for (size_t n = 1; n <= pages.size(); ++n)
      for (const char* folder : {"none", "cache", "wrong"}) {
        writeFile(counts, folder == std::string("wrong") ? wrong : good);
        cache(folder == std::string("none") ? "none" : "cache");
        std::vector<std::string> one = {"render", "--page", std::to_string(n), "-o", path("one")};
        if (!book.empty()) one.insert(one.begin() + 1, book);
        const Outcome run = runCommand(one);
        ASSERT_EQ(run.status, 0) << run.err;
        const std::string name =
            run.out.substr(run.out.rfind('/') + 1, run.out.size() - 1 - run.out.rfind('/') - 1);
        EXPECT_TRUE(pages.count(name) && pages.at(name) == readFile(path("one/" + name)))
            << "page " << n << " (" << name << ") differs, cache " << folder;
      }
    fs::remove_all(path("all"));
    fs::remove_all(path("one"));
  }
  before ? setenv("XDG_CACHE_HOME", saved.c_str(), 1) : unsetenv("XDG_CACHE_HOME");
}

// Work shared out among workers gives what one worker gives, byte for
// byte: the pages' PNG files and the lines naming them, info, search, and
// the damage warned about (a resource missing from a document, a document
// missing from the archive), for two and three workers.
TEST_F(EpubreaderTest, WorkersGiveWhatOneWorkerGives) {
  const std::string generated = path("generated.epub"), damaged = path("damaged.epub");
  ASSERT_EQ(std::system((std::string(EPUB_RENDER_BOOK) + " " + generated + " 7").c_str()), 0);
  writeZip(damaged, [] {
    auto book = threeChapterBook("A lighthouse <img src=\"gone.png\"/> keeper.");
    book.erase(book.begin() + 4);  // c1.xhtml
    return book;
  }());
  const std::vector<std::vector<std::string>> commands = {
      {"render", "--all", "-o"}, {"info", "--json"}, {"search", "keeper", "--json"},
      {"search", "buffer"},      {"text", "--json"}, {"text", "--objects", "--json"}};
  for (const std::string& book : {std::string(), generated, damaged}) {
    for (const auto& command : commands) {
      SCOPED_TRACE((book.empty() ? "the sample" : book) + ": " + command[0] + " " + command[1]);
      std::vector<Outcome> runs;
      std::vector<std::map<std::string, std::string>> pngs;
      for (const char* jobs : {"1", "2", "3"}) {
        std::vector<std::string> args = command;
        if (command[0] == "render") args.push_back(path(std::string("out") + jobs));
        if (!book.empty()) args.insert(args.begin() + 1, book);
        args.insert(args.end(), {"--jobs", jobs});
        runs.push_back(runCommand(args));
        if (command[0] == "render") pngs.push_back(pngsIn(path(std::string("out") + jobs)));
        for (std::string* text : {&runs.back().out, &runs.back().err})
          for (size_t at; (at = text->find(path(std::string("out") + jobs))) != std::string::npos;)
            text->replace(at, path("out1").size(), "OUT");
      }
      for (size_t k = 1; k < runs.size(); ++k) {
        EXPECT_EQ(runs[k].status, runs[0].status) << k + 1 << " workers";
        EXPECT_EQ(runs[k].out, runs[0].out) << k + 1 << " workers";
        EXPECT_EQ(runs[k].err, runs[0].err) << k + 1 << " workers";
        if (!pngs.empty()) {
          EXPECT_TRUE(pngs[k] == pngs[0]) << k + 1 << " workers: PNGs differ";
        }
      }
      EXPECT_EQ(runs[0].status, book == damaged ? 3 : 0) << runs[0].err;
    }
  }
}

// The text of the book: paragraphs in reading order with a blank line
// between them, every document beginning one; --pages keeps to its pages;
// --json places the paragraphs on pages and markable positions; --objects
// adds the page's document and its words in reading order with their boxes.
TEST_F(EpubreaderTest, TextIsTheParagraphsInReadingOrder) {
  const std::string book = path("three.epub");
  writeZip(book, threeChapterBook("Plain words for a page."));
  const Json hit = parseJson(runCommand({"search", book, "lighthouse keeper", "--json"}));
  ASSERT_EQ(hit["hits"].size(), 1u);
  struct Case {
    std::vector<std::string> args;
    std::string out;
  };
  const Case cases[] = {
      {{},
       "One\n\nThe lighthouse keeper climbs the lighthouse stair.\n\nTwo\n\nPlain words for a "
       "page.\n\nThree\n\nA Lighthouse on the hill and a keeper's lamp.\n"},
      {{"--pages", "2-3"},
       "Two\n\nPlain words for a page.\n\nThree\n\nA Lighthouse on the hill and a keeper's "
       "lamp.\n"},
      {{"--pages", "2", "--jobs", "2"}, "Two\n\nPlain words for a page.\n"},
      {{"--jobs", "3"},
       "One\n\nThe lighthouse keeper climbs the lighthouse stair.\n\nTwo\n\nPlain "
       "words for a page.\n\nThree\n\nA Lighthouse on the hill and a keeper's lamp.\n"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"text", book};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Outcome run = runCommand(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, c.out) << (c.args.empty() ? "the whole book" : c.args[0] + " " + c.args[1]);
  }
  const Json json = parseJson(runCommand({"text", book, "--json", "--pages", "1"}));
  ASSERT_EQ(json["pages"].size(), 1u);
  const Json& page = json["pages"][0];
  EXPECT_EQ(page["page"], 1);
  ASSERT_EQ(page["paragraphs"].size(), 2u);
  EXPECT_EQ(page["paragraphs"][1]["text"], "The lighthouse keeper climbs the lighthouse stair.");
  EXPECT_EQ(page["paragraphs"][1]["from"].get<uint32_t>() + 1, hit["hits"][0]["from"]);
  EXPECT_EQ(page["paragraphs"][1]["to"], page["paragraphs"][1]["from"].get<uint32_t>() + 6);
  const Json objects = parseJson(runCommand({"text", book, "--json", "--objects", "--pages", "1"}));
  const Json& words = objects["pages"][0]["objects"];
  EXPECT_EQ(objects["pages"][0]["document"], "c1.xhtml");
  ASSERT_EQ(words.size(), 8u);
  EXPECT_EQ(words[1]["text"], "The");
  EXPECT_EQ(words[1]["kind"], "word");
  EXPECT_GT(words[1]["y"], words[0]["y"]) << "the paragraph below the heading";
  EXPECT_GT(words[2]["x"], words[1]["x"]) << "the words of a line from left to right";
}

// Ctrl-C in the middle of drawing every page leaves only whole PNG files:
// each file there decodes, and no temporary file is left.
TEST_F(EpubreaderTest, AnInterruptedRenderLeavesOnlyWholeFiles) {
  const std::string book = path("long.epub"), out = path("out");
  ASSERT_EQ(std::system((std::string(EPUB_RENDER_BOOK) + " " + book + " 60").c_str()), 0);
  for (const char* jobs : {"1", "2"}) {
    SCOPED_TRACE(std::string(jobs) + " workers");
    fs::remove_all(out);
    const pid_t pid = fork();
    if (pid == 0) {
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      execl(EPUBREADER_PROGRAM, EPUBREADER_PROGRAM, "render", book.c_str(), "--all", "-o",
            out.c_str(), "--jobs", jobs, nullptr);
      _exit(127);
    }
    // Interrupted once a few pages are written.
    for (int i = 0; i < 2000; ++i) {
      std::error_code ec;
      if (fs::is_directory(out) && std::distance(fs::directory_iterator(out, ec), {}) > 5) break;
      usleep(5000);
    }
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
    size_t files = 0;
    for (const auto& e : fs::directory_iterator(out)) {
      ++files;
      EXPECT_EQ(e.path().extension(), ".png") << e.path();
      EXPECT_TRUE(readPng(e.path()).ok) << e.path();
    }
    EXPECT_GT(files, 0u);
  }
}

// --hyphenate all on a narrow layout of a book in dc:language en: more
// other pages (fewer: broken words fill the lines), the same hits at the
// same positions.
TEST_F(EpubreaderTest, HyphenationMovesPagesNotPositions) {
  const std::string book = path("en.epub");
  ASSERT_EQ(std::system((std::string(EPUB_RENDER_BOOK) + " " + book + " 3").c_str()), 0);
  Json seen[2][2];  // [none, all][info, search]
  for (int on = 0; on < 2; ++on) {
    const std::vector<std::string> layout = {
        book, "--json", "--width", "180", "--height", "260", "--hyphenate", on ? "all" : "none"};
    for (int c = 0; c < 2; ++c) {
      std::vector<std::string> args = layout;
      args.insert(args.begin(), c ? "search" : "info");
      if (c) args.push_back("buffer");
      seen[on][c] = parseJson(runCommand(args));
    }
    for (auto& hit : seen[on][1]["hits"]) hit.erase("page"), hit.erase("line");
  }
  EXPECT_NE(seen[1][0]["pages"], seen[0][0]["pages"]);
  EXPECT_GT(seen[0][1]["count"].get<int>(), 0);
  EXPECT_EQ(seen[1][1], seen[0][1]);
}

}  // namespace
