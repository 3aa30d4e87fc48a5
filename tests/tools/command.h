// The epubreader command run as a separate process, and the books its tests
// write: shared by the command's test files.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace command_test {

namespace fs = std::filesystem;
using Json = nlohmann::json;

struct Outcome {
  int status = -1;  // exit status, -1 when killed by a signal or timed out
  int signal = 0;
  bool timedOut = false;
  std::string out, err;
};

// Runs the command with a time limit, collecting both output streams
// (stdin and stdout from and to files when named).
inline Outcome runCommand(const std::vector<std::string>& args, int seconds = 120,
                          const std::string& in = "", const std::string& out = "") {
  int outPipe[2], errPipe[2];
  Outcome run;
  if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return run;
  const pid_t pid = fork();
  if (pid == 0) {
    if (!in.empty()) dup2(open(in.c_str(), O_RDONLY), 0);
    dup2(out.empty() ? outPipe[1] : open(out.c_str(), O_WRONLY), 1);
    dup2(errPipe[1], 2);
    close(outPipe[0]);
    close(errPipe[0]);
    close(outPipe[1]);
    close(errPipe[1]);
    std::vector<char*> argv;
    std::string program = EPUBREADER_PROGRAM;
    argv.push_back(program.data());
    std::vector<std::string> copy = args;
    for (auto& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(outPipe[1]);
  close(errPipe[1]);
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&run.out, &run.err};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int open = 2;
  while (open > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) {
      run.timedOut = true;
      kill(pid, SIGKILL);
      break;
    }
    if (poll(fds, 2, int(left)) < 0) break;
    for (int k = 0; k < 2; ++k) {
      if (fds[k].fd < 0 || !(fds[k].revents & (POLLIN | POLLHUP))) continue;
      char buffer[65536];
      const ssize_t n = read(fds[k].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[k]->append(buffer, size_t(n));
      } else {
        close(fds[k].fd);
        fds[k].fd = -1;
        --open;
      }
    }
  }
  for (auto& f : fds)
    if (f.fd >= 0) close(f.fd);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!run.timedOut && WIFEXITED(status)) run.status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
  return run;
}

// A scratch folder for one test, removed afterwards.
class EpubreaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() /
           ("epubreader_test_" + std::to_string(getpid()) + "_" + info->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  fs::path dir_;
};

struct Entry {
  std::string name, text;
};

// Writes a zip archive; the mimetype (when listed first) is stored, the
// rest deflated.
inline void writeZip(const std::string& file, const std::vector<Entry>& entries) {
  fs::remove(file);
  int error = 0;
  zip_t* zip = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  ASSERT_NE(zip, nullptr);
  for (const auto& e : entries) {
    zip_source_t* source = zip_source_buffer(zip, e.text.data(), e.text.size(), 0);
    const zip_int64_t index = zip_file_add(zip, e.name.c_str(), source, ZIP_FL_ENC_UTF_8);
    ASSERT_GE(index, 0);
    zip_set_file_compression(zip, zip_uint64_t(index),
                             e.name == "mimetype" ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0);
  }
  ASSERT_EQ(zip_close(zip), 0);
}

inline const char kContainer[] =
    "<?xml version=\"1.0\"?><container version=\"1.0\" "
    "xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\"><rootfiles>"
    "<rootfile full-path=\"OEBPS/content.opf\" media-type=\"application/oebps-package+xml\"/>"
    "</rootfiles></container>";

inline std::string chapter(const std::string& title, const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><html xmlns=\"http://www.w3.org/1999/xhtml\">"
         "<head><title>" +
         title + "</title></head><body><h1>" + title + "</h1>" + body + "</body></html>";
}

// An EPUB 3 book whose only table of contents is its navigation document.
inline std::vector<Entry> navOnlyBook() {
  const std::string opf =
      "<?xml version=\"1.0\"?><package xmlns=\"http://www.idpf.org/2007/opf\" version=\"3.0\" "
      "unique-identifier=\"id\"><metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
      "<dc:identifier id=\"id\">urn:x-test:nav</dc:identifier><dc:title>Navigation "
      "only</dc:title><dc:language>en</dc:language></metadata><manifest>"
      "<item id=\"nav\" href=\"nav%20doc.xhtml\" media-type=\"application/xhtml+xml\" "
      "properties=\"scripted nav\"/>"
      "<item id=\"a\" href=\"a.xhtml\" media-type=\"application/xhtml+xml\"/>"
      "<item id=\"b\" href=\"b.xhtml\" media-type=\"application/xhtml+xml\"/></manifest>"
      "<spine><itemref idref=\"a\"/><itemref idref=\"b\"/></spine></package>";
  const std::string nav =
      "<?xml version=\"1.0\"?><html xmlns=\"http://www.w3.org/1999/xhtml\" "
      "xmlns:epub=\"http://www.idpf.org/2007/ops\"><head><title>Nav</title></head><body>"
      "<nav epub:type=\"landmarks\"><ol><li><a href=\"a.xhtml\">Start here</a></li></ol></nav>"
      "<nav epub:type=\"toc\"><h1>Contents</h1><ol>"
      "<li><a href=\"a.xhtml\">First   part</a><ol><li><a href=\"a.xhtml#s\">A "
      "section</a></li></ol></li>"
      "<li><span>Second part</span><ol><li><a href=\"b.xhtml\"><em>Chapter</em> "
      "<em>two</em></a></li></ol></li></ol></nav><nav epub:type=\"page-list\"><ol><li><a "
      "href=\"a.xhtml\">i</a></li><li><a href=\"b.xhtml\">ii</a></li></ol></nav></body></html>";
  return {{"mimetype", "application/epub+zip"},
          {"META-INF/container.xml", kContainer},
          {"OEBPS/content.opf", opf},
          {"OEBPS/nav doc.xhtml", nav},
          {"OEBPS/a.xhtml", chapter("First", "<p id=\"s\">One harbour, a Harbour wall.</p>")},
          {"OEBPS/b.xhtml", chapter("Second", "<p>Two.</p>")}};
}

// Three chapters with an NCX; the words are counted by the search tests.
inline std::vector<Entry> threeChapterBook(const std::string& longText) {
  const std::string opf =
      "<?xml version=\"1.0\"?><package xmlns=\"http://www.idpf.org/2007/opf\" version=\"2.0\" "
      "unique-identifier=\"id\"><metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
      "<dc:identifier id=\"id\">urn:x-test:three</dc:identifier><dc:title>Three "
      "chapters</dc:title></metadata><manifest>"
      "<item id=\"ncx\" href=\"toc.ncx\" media-type=\"application/x-dtbncx+xml\"/>"
      "<item id=\"c1\" href=\"c1.xhtml\" media-type=\"application/xhtml+xml\"/>"
      "<item id=\"c2\" href=\"c2.xhtml\" media-type=\"application/xhtml+xml\"/>"
      "<item id=\"c3\" href=\"c3.xhtml\" media-type=\"application/xhtml+xml\"/></manifest>"
      "<spine toc=\"ncx\"><itemref idref=\"c1\"/><itemref idref=\"c2\"/><itemref "
      "idref=\"c3\"/></spine></package>";
  const std::string ncx =
      "<?xml version=\"1.0\"?><ncx xmlns=\"http://www.daisy.org/z3986/2005/ncx/\"><navMap>"
      "<navPoint id=\"p1\"><navLabel><text>One</text></navLabel><content src=\"c1.xhtml\"/>"
      "</navPoint><navPoint id=\"p2\"><navLabel><text>Two</text></navLabel><content "
      "src=\"c2.xhtml\"/></navPoint></navMap></ncx>";
  return {
      {"mimetype", "application/epub+zip"},
      {"META-INF/container.xml", kContainer},
      {"OEBPS/content.opf", opf},
      {"OEBPS/toc.ncx", ncx},
      {"OEBPS/c1.xhtml",
       chapter("One", "<p>The lighthouse keeper climbs the lighthouse stair.</p>")},
      {"OEBPS/c2.xhtml", chapter("Two", "<p>" + longText + "</p>")},
      {"OEBPS/c3.xhtml", chapter("Three", "<p>A Lighthouse on the hill and a keeper's lamp.</p>")}};
}

inline std::string readFile(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

inline void writeFile(const std::string& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary) << bytes;
}

inline Json parseJson(const Outcome& run) {
  EXPECT_EQ(run.status, 0) << run.err;
  Json json = Json::parse(run.out, nullptr, false);
  EXPECT_FALSE(json.is_discarded()) << run.out << run.err;
  return json;
}

struct Png {
  bool ok = false;
  uint32_t width = 0, height = 0;
  size_t ink = 0;  // pixels that are not near-white
};

inline Png readPng(const std::string& file) {
  Png result;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, file.c_str())) return result;
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return result;
  result.ok = true;
  result.width = image.width;
  result.height = image.height;
  for (size_t i = 0; i + 2 < pixels.size(); i += 3)
    if (pixels[i] < 200 || pixels[i + 1] < 200 || pixels[i + 2] < 200) ++result.ink;
  return result;
}

}  // namespace command_test
