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

// A page drawn with the book laid out only as far as that page is the same
// image, byte for byte, as the page of the whole book laid out: on the
// built-in sample, a generated book of short documents with figures, and
// three chapters of which the second runs over several pages.
TEST_F(EpubreaderTest, APageDrawnLazilyIsThePageOfTheWholeBook) {
  const std::string generated = path("generated.epub"), three = path("three.epub");
  ASSERT_EQ(std::system((std::string(EPUB_RENDER_BOOK) + " " + generated + " 5").c_str()), 0);
  std::string longText;
  for (int i = 0; i < 400; ++i) longText += "The keeper wrote line " + std::to_string(i) + ". ";
  writeZip(three, threeChapterBook(longText));
  for (const std::string& book : {std::string(), generated, three}) {
    SCOPED_TRACE(book.empty() ? "the sample" : book);
    std::vector<std::string> all = {"render", "--all", "-o", path("all")};
    if (!book.empty()) all.insert(all.begin() + 1, book);
    const Outcome whole = runCommand(all);
    ASSERT_EQ(whole.status, 0) << whole.err;
    const auto pages = pngsIn(path("all"));
    ASSERT_GT(pages.size(), 3u);
    for (size_t n = 1; n <= pages.size(); ++n) {
      std::vector<std::string> one = {"render", "--page", std::to_string(n), "-o", path("one")};
      if (!book.empty()) one.insert(one.begin() + 1, book);
      const Outcome run = runCommand(one);
      ASSERT_EQ(run.status, 0) << run.err;
      const std::string name =
          run.out.substr(run.out.rfind('/') + 1, run.out.size() - 1 - run.out.rfind('/') - 1);
      EXPECT_TRUE(pages.count(name) && pages.at(name) == readFile(path("one/" + name)))
          << "page " << n << " (" << name << ") differs";
    }
    fs::remove_all(path("all"));
    fs::remove_all(path("one"));
  }
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
  const std::vector<std::vector<std::string>> commands = {{"render", "--all", "-o"},
                                                          {"info", "--json"},
                                                          {"search", "keeper", "--json"},
                                                          {"search", "buffer"}};
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

}  // namespace
