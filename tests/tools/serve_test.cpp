// `epubreader serve` over HTTP: the server started as a process on a free
// port, against the sample, a generated book and a folder holding a broken
// one, and asked what the reader page asks.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

// The server as a child process, at the address it prints.
class Server {
 public:
  explicit Server(std::vector<std::string> args) {
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGTERM);  // no server outlives a crashed test
      dup2(out[1], 1);
      close(out[0]);
      close(out[1]);
      args.insert(args.begin(), {EPUBREADER_PROGRAM, "serve", "--port", "0"});
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(out[1]);
    output_ = fdopen(out[0], "r");
    char line[512] = "";
    if (output_ && std::fgets(line, sizeof line, output_))
      if (const char* port = std::strstr(line, "127.0.0.1:")) port_ = std::atoi(port + 10);
  }
  ~Server() { stop(); }

  // SIGTERM, as Ctrl-C would; the exit status.
  int stop() {
    if (pid_ <= 0) return status_;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = 0;
    if (output_) std::fclose(output_);
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return status_;
  }

  httplib::Result get(const std::string& path) { return client().Get(path); }
  Json json(const std::string& path) {
    auto r = get(path);
    return r ? Json::parse(r->body, nullptr, false) : Json();
  }
  httplib::Client client() const {
    httplib::Client c("127.0.0.1", port_);
    c.set_read_timeout(120);
    return c;
  }
  int port() const { return port_; }

 private:
  pid_t pid_ = -1;
  FILE* output_ = nullptr;
  int port_ = 0;
  int status_ = -1;
};

// Width and height from a PNG's header, or {0, 0} for anything else.
std::pair<int, int> pngSize(const std::string& png) {
  if (png.size() < 24 || png.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return {0, 0};
  auto be = [&](size_t at) {
    return int(uint8_t(png[at])) << 24 | int(uint8_t(png[at + 1])) << 16 |
           int(uint8_t(png[at + 2])) << 8 | int(uint8_t(png[at + 3]));
  };
  return {be(16), be(20)};
}

class Serve : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = fs::temp_directory_path() / ("serve_test_" + std::to_string(getpid()));
    fs::create_directories(dir_ / "shelf");
    const std::string make = "/usr/bin/python3 " EPUB_SOURCE_DIR "/scripts/make_render_book.py ";
    ASSERT_EQ(std::system((make + (dir_ / "book.epub").string() + " 12").c_str()), 0);
    fs::copy_file(dir_ / "book.epub", dir_ / "shelf" / "a-book.epub");
    fs::copy_file(EPUB_SAMPLE, dir_ / "shelf" / "b-sample.epub");
    std::ofstream(dir_ / "shelf" / "c-broken.epub") << "not a zip archive";
  }
  static void TearDownTestSuite() { fs::remove_all(dir_); }

  static std::string book() { return (dir_ / "book.epub").string(); }

  // Waits until the book is laid out whole; its status.
  static Json laidOut(Server& server, const std::string& id, const std::string& view = "") {
    Json status;
    for (int i = 0; i < 600 && !(status.is_object() && status.value("complete", false)); ++i) {
      if (i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
      status = server.json("/api/books/" + id + "?" + view);
    }
    return status;
  }

  static fs::path dir_;
};

fs::path Serve::dir_;

// The sample without a BOOK: the reader page at /, its assets, the books
// list, contents with pages, pages of the size asked for, a link followed.
TEST_F(Serve, SampleReaderContentsPagesAndLinks) {
  Server server({});
  ASSERT_GT(server.port(), 0);
  auto root = server.get("/");
  ASSERT_TRUE(root);
  EXPECT_EQ(root->status, 200);
  EXPECT_NE(root->body.find("data-book=\"sample\""), std::string::npos);
  for (const char* asset : {"/assets/reader.js", "/assets/library.js", "/assets/style.css"})
    EXPECT_EQ(server.get(asset)->status, 200) << asset;
  EXPECT_EQ(server.json("/api/books")[0]["title"], "A Lighthouse Keeper's Almanac");

  const Json status = laidOut(server, "sample");
  std::map<std::string, int> chapters;
  for (const auto& entry : status["contents"]) chapters[entry["label"]] = entry["page"];
  EXPECT_EQ(chapters.size(), 4u);
  EXPECT_LT(chapters["Spring"], chapters["Summer"]);
  EXPECT_LT(chapters["Summer"], chapters["Autumn and winter"]);

  // w x h points at zoom z: (w * z / 100) x (h * z / 100) pixels.
  const struct {
    int w, h, zoom;
  } sizes[] = {{600, 800, 100}, {600, 800, 200}, {333, 517, 150}, {1000, 700, 25}};
  for (const auto& s : sizes) {
    const std::string query = "?n=1&w=" + std::to_string(s.w) + "&h=" + std::to_string(s.h) +
                              "&zoom=" + std::to_string(s.zoom);
    auto page = server.get("/api/books/sample/page.png" + query);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->get_header_value("Content-Type"), "image/png") << query;
    EXPECT_EQ(pngSize(page->body), std::make_pair(s.w * s.zoom / 100, s.h * s.zoom / 100)) << query;
  }

  // The first link of the last chapter leads to the second chapter.
  int32_t to = -1;
  for (int page = chapters["Autumn and winter"]; to < 0 && page < status["pages"]; ++page) {
    const Json objects = server.json("/api/books/sample/objects?n=" + std::to_string(page));
    for (const auto& o : objects["objects"])
      if (o[5] == 1 && to < 0)
        to = server.json("/api/books/sample/link?n=" + std::to_string(page) +
                         "&pos=" + std::to_string(int(o[4])))["page"];
  }
  EXPECT_EQ(to, chapters["Summer"]);
  EXPECT_EQ(server.stop(), 0);
}

// Search hits are those of `epubreader search` at the same layout; a new
// font size keeps the reader on the page holding the same position.
TEST_F(Serve, SearchAndRelayout) {
  Server server({book()});
  const std::string id = server.json("/api/books")[0]["id"];
  const std::string base = "/api/books/" + id;
  const Json served = server.json(base + "/search?q=stream%20the&font=12");
  FILE* cli = popen((std::string(EPUBREADER_PROGRAM) + " search '" + book() +
                     "' 'stream the' --font-size 12 --json")
                        .c_str(),
                    "r");
  std::string text;
  for (int c; (c = std::fgetc(cli)) != EOF;) text.push_back(char(c));
  pclose(cli);
  const Json expected = Json::parse(text);
  ASSERT_GT(expected["count"], 0);
  ASSERT_EQ(served["count"], expected["count"]);
  for (size_t i = 0; i < expected["hits"].size(); ++i) {
    const Json& e = expected["hits"][i];
    EXPECT_EQ(served["hits"][i], Json({{"page", int(e["page"]) - 1},
                                       {"from", e["from"]},
                                       {"to", e["to"]},
                                       {"line", e["line"]}}))
        << "hit " << i;
  }

  // Each row: the font size and page of the position, then another font size.
  for (const auto& [font, page, other] : {std::tuple{12, 10, 20}, {20, 25, 9}, {16, 3, 40}}) {
    const std::string from = "&font=" + std::to_string(font), to = "&font=" + std::to_string(other);
    const uint32_t pos = server.json(base + "/objects?n=" + std::to_string(page) + from)["first"];
    const int moved = server.json(base + "/locate?pos=" + std::to_string(pos) + to)["page"];
    const Json here = server.json(base + "/objects?n=" + std::to_string(moved) + to);
    const Json next = server.json(base + "/objects?n=" + std::to_string(moved + 1) + to);
    EXPECT_LE(here["first"], pos) << "font " << font << " to " << other;
    EXPECT_GT(next.value("first", UINT32_MAX), pos) << "font " << font << " to " << other;
  }
  EXPECT_EQ(server.stop(), 0);
}

// Highlights are stored beside the book, returned, kept over a restart,
// and removed.
TEST_F(Serve, HighlightsAreKept) {
  const std::string file = book() + ".highlights.json";
  fs::remove(file);
  std::string id, base;
  {
    Server server({book()});
    id = server.json("/api/books")[0]["id"];
    base = "/api/books/" + id + "/highlights";
    auto added = server.client().Post(base + "?from=40&to=44", "", "text/plain");
    ASSERT_TRUE(added);
    EXPECT_EQ(added->status, 201);
    const Json h = Json::parse(added->body);
    EXPECT_EQ(h["from"], 40);
    const std::string words = h["text"];
    EXPECT_EQ(std::count(words.begin(), words.end(), ' '), 4) << words;
    EXPECT_EQ(server.json(base), Json::array({h}));
    EXPECT_TRUE(fs::exists(file));
    EXPECT_EQ(server.stop(), 0);
  }
  Server again({book()});
  EXPECT_EQ(again.json(base).size(), 1u);
  EXPECT_EQ(again.client().Delete(base + "?from=40&to=44")->status, 200);
  EXPECT_EQ(again.json(base), Json::array());
}

// Refusals: each row a request and the status it must get.
TEST_F(Serve, BadRequestsAreRefused) {
  Server server({(dir_ / "shelf").string()});
  const Json books = server.json("/api/books");
  ASSERT_EQ(books.size(), 3u);
  EXPECT_TRUE(books[2].contains("error"));
  const std::string good = "/api/books/" + books[0]["id"].get<std::string>();
  const std::string broken = "/api/books/" + books[2]["id"].get<std::string>();
  const struct {
    std::string method, path;
    int status;
  } rows[] = {
      {"GET", "/", 200},
      {"GET", good + "/cover.png", 200},
      {"GET", good + "/page.png?n=0", 200},
      {"GET", good + "/page.png?n=99999", 404},  // past the last page
      {"GET", good + "/page.png?n=-1", 400},
      {"GET", good + "/page.png?n=one", 400},
      {"GET", good + "/page.png", 400},  // no page
      {"GET", good + "/page.png?n=1&n=2", 400},
      {"GET", good + "/page.png?n=1&zoom=5", 400},
      {"GET", good + "/page.png?n=1&w=4000&h=4000&zoom=400", 400},  // too many pixels
      {"GET", good + "/objects?n=0&font=1000", 400},
      {"GET", good + "/locate?pos=4000000000", 404},
      {"GET", good + "/search?q=", 400},
      {"GET", good + "/search?q=" + std::string(201, 'a'), 400},
      {"GET", good + "?a=1&b=2&c=3&d=4&e=5&f=6&g=7&h=8&i=9&j=10&k=11&l=12&m=13", 400},
      {"POST", good + "/highlights?from=9&to=3", 400},
      {"POST", good + "/highlights?from=0&to=4000000000", 400},  // past its document
      {"DELETE", good + "/highlights?from=1&to=2", 404},
      {"GET", "/api/books/nosuchbook/page.png?n=0", 404},
      {"GET", broken + "/page.png?n=0", 500},
      {"GET", "/read/" + books[2]["id"].get<std::string>(), 500},  // the error page
      {"GET", "/../../etc/passwd", 404},
      {"GET", "/assets/../serve.cpp", 404},
      {"PUT", good, 404},
  };
  httplib::Client client = server.client();
  for (const auto& row : rows) {
    httplib::Result r = row.method == "GET"    ? client.Get(row.path)
                        : row.method == "POST" ? client.Post(row.path, "", "text/plain")
                        : row.method == "PUT"  ? client.Put(row.path, "", "text/plain")
                                               : client.Delete(row.path);
    ASSERT_TRUE(r) << row.method << " " << row.path;
    EXPECT_EQ(r->status, row.status) << row.method << " " << row.path << ": " << r->body;
  }
  EXPECT_EQ(server.stop(), 0);
}

// Two readers at once, on one book and on two: every page comes.
TEST_F(Serve, ReadersAtOnce) {
  Server server({(dir_ / "shelf").string()});
  const Json books = server.json("/api/books");
  std::vector<std::thread> readers;
  std::atomic<int> pages{0};
  for (int reader = 0; reader < 4; ++reader)
    readers.emplace_back([&, reader] {
      httplib::Client client = server.client();
      const std::string id = books[reader % 2]["id"];
      const std::string view = reader < 2 ? "&font=16" : "&font=14";
      for (int n = 0; n < 5; ++n) {
        auto r = client.Get("/api/books/" + id + "/page.png?n=" + std::to_string(n) + view);
        pages += r && r->status == 200 && pngSize(r->body).first == 600;
      }
    });
  for (auto& t : readers) t.join();
  EXPECT_EQ(pages, 20);
  EXPECT_EQ(server.stop(), 0);
}

}  // namespace
