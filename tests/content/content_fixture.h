// A host for the content tests: a publication built in memory and served by
// the read callback, and one log of everything the engine does, in order:
// each call of the recording test renderer and each host callback.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "epubreader.h"
#include "test_renderer.h"

namespace contenttest {

using testrenderer::Call;

inline std::u16string wide(const std::string& ascii) { return {ascii.begin(), ascii.end()}; }
inline std::string text(const char16_t* s) { return s ? testrenderer::utf8(s) : "null"; }
inline std::string flag(bool b) { return b ? "true" : "false"; }
inline std::string num(intptr_t v) { return std::to_string(v); }
inline std::string num(const void* p) { return num(reinterpret_cast<intptr_t>(p)); }
// Several answers as one string, separated by spaces; a braced list keeps
// the calls that give them in order.
inline std::string all(std::initializer_list<std::string> parts) {
  std::string out;
  for (const std::string& part : parts) out += (out.empty() ? "" : " ") + part;
  return out;
}
// Full 32-bit values as a 32-bit host passes them, and as the recording
// renderer prints them: signed in 32 bits, zero-extended in 64.
inline const intptr_t kAllOnes = static_cast<intptr_t>(UINT32_C(0xFFFFFFFF));
inline const intptr_t kTopBit = static_cast<intptr_t>(UINT32_C(0x80000000));
inline const std::string kAllOnesText = sizeof(intptr_t) == 4 ? "-1" : "4294967295";
inline const std::string kTopBitText = sizeof(intptr_t) == 4 ? "-2147483648" : "2147483648";

struct Host {
  EpubReader* reader = nullptr;
  std::map<std::u16string, std::string> files;
  std::set<std::u16string> unreadable;
  // Each host callback with the number of renderer calls made before it.
  std::vector<std::pair<size_t, std::string>> log;

  void note(const std::string& entry) { log.emplace_back(testrenderer::calls().size(), entry); }
  static bool read(void* user, const char16_t* path, const uint8_t** bytes, uint32_t* length) {
    auto* host = static_cast<Host*>(user);
    const std::u16string p = path ? path : u"";
    host->note("read(" + text(path) + ")");
    auto it = host->files.find(p);
    if (it == host->files.end() || host->unreadable.count(p)) return false;
    *bytes = reinterpret_cast<const uint8_t*>(it->second.data());
    *length = static_cast<uint32_t>(it->second.size());
    return true;
  }
  static void release(void* user, const char16_t* path) {
    static_cast<Host*>(user)->note("release(" + text(path) + ")");
  }
  // The context is the host; the total shows what was summed so far.
  static void progress(void* context, uint32_t count, uint32_t done) {
    auto* host = static_cast<Host*>(context);
    host->note("progress(" + num(count) + ", " + num(done) + ", total " +
               num(EpubReader_getPageCount(host->reader)) + ")");
  }
};

// The log since the last look, of the test running now (set by the fixture).
inline std::function<std::vector<std::string>()> takeLog;

// One row of a table, evaluated in table order: what was asked, the answer,
// the answer due and the log due: every renderer call and host callback the
// row made, in order (none when the row gives no log).
struct Step {
  const char* what;
  std::string got;
  std::string expected;
  std::vector<std::string> log = {};
  std::vector<std::string> seen = takeLog();  // taken after `got`
};

class ContentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testrenderer::reset();
    EpubReaderHostOptions options{};
    options.read = Host::read;
    options.release = Host::release;
    options.userData = &host;
    host.reader = reader = EpubReader_new(&options);
    ASSERT_EQ(testrenderer::handles().size(), 1u);
    renderer = testrenderer::handles()[0];
    names = {{num(reinterpret_cast<const void*>(&Host::progress)), "progress"},
             {num(&host), "host"}};
    takeLog = [this] { return log(); };
    log();
  }
  void TearDown() override {
    takeLog = nullptr;
    EpubReader_free(&reader);
    testrenderer::reset();
  }

  // Opens a publication whose spine names these hrefs in order, one manifest
  // item per distinct href ("?" is an idref naming no item), its OPF at
  // `opfPath`. Every document is readable.
  void open(const std::vector<std::string>& spine, const std::string& opfPath = "o/content.opf") {
    folder = opfPath.substr(0, opfPath.rfind('/') + 1);
    std::map<std::string, std::string> ids;
    std::string manifest, itemrefs;
    for (const std::string& href : spine) {
      if (href != "?" && !ids.count(href)) {
        const std::string id = ids[href] = "d" + num(intptr_t(ids.size()));
        manifest += "<item id=\"" + id + "\" href=\"" + href + "\" media-type=\"text/html\"/>";
        host.files[path(href)] = "<p>" + href + "</p>";
      }
      itemrefs += "<itemref idref=\"" + (href == "?" ? "none" : ids[href]) + "\"/>";
    }
    host.files[wide(opfPath)] =
        "<package><manifest>" + manifest + "</manifest><spine>" + itemrefs + "</spine></package>";
    const std::string container = "<container><rootfiles><rootfile full-path=\"" + opfPath +
                                  "\" media-type=\"application/oebps-package+xml\"/>"
                                  "</rootfiles></container>";
    ASSERT_NE(EpubReader_readContainer(reader, reinterpret_cast<const uint8_t*>(container.data()),
                                       static_cast<uint32_t>(container.size())),
              nullptr);
    log();
  }
  std::u16string path(const std::string& href) const { return wide(folder + href); }

  // The renderer's page count of a document and the first object index of
  // each page, the last entry being the document's object count.
  void script(const std::string& href, int32_t pages, std::vector<uint32_t> indexes = {0}) {
    testrenderer::setPageCount(path(href), pages);
    testrenderer::setObjectIndexes(path(href), std::move(indexes));
  }
  void loadAll() {
    ASSERT_TRUE(EpubReader_loadAll(reader, nullptr, nullptr));
    log();
  }

  // Everything since the last look, renderer calls and host callbacks in
  // the order they happened.
  std::vector<std::string> log() {
    const std::vector<Call> calls = testrenderer::calls();
    std::vector<std::string> out;
    size_t h = 0;
    for (size_t i = 0; i <= calls.size(); ++i) {
      for (; h < host.log.size() && host.log[h].first <= i; ++h) out.push_back(host.log[h].second);
      if (i < calls.size()) out.push_back(show(calls[i]));
    }
    testrenderer::clearCalls();
    host.log.clear();
    return out;
  }

  // A renderer call as text: the bytes the host handed out for the call's
  // path (pointer and length) read "bytes", known values read by name, and
  // scrap positions as the unsigned 32-bit values they are, whatever the
  // width of intptr_t (a scrap call's first two arguments, the selection
  // box's third and fourth).
  std::string show(const Call& c) {
    EXPECT_EQ(c.handle, renderer) << c.function;
    const auto file = host.files.find(c.path);
    const bool bytes = file != host.files.end() && c.args.size() > 1 &&
                       c.args[0] == intptr_t(file->second.data()) &&
                       c.args[1] == intptr_t(file->second.size());
    const size_t at = c.function == "drawSelectionBox"                ? 2
                      : c.function.find("Scrap") != std::string::npos ? 0
                                                                      : SIZE_MAX - 1;
    std::vector<std::string> parts;
    if (c.hasPath) parts.push_back(testrenderer::utf8(c.path));
    if (bytes) parts.push_back("bytes");
    for (size_t i = bytes ? 2 : 0; i < c.args.size(); ++i) {
      const std::string arg = num(c.args[i]);
      parts.push_back(i == at || i == at + 1 ? std::to_string(static_cast<uint32_t>(c.args[i]))
                      : names.count(arg)     ? names[arg]
                                             : arg);
    }
    std::string out = c.function + "(";
    for (size_t i = 0; i < parts.size(); ++i) out += (i ? ", " : "") + parts[i];
    return out + ")";
  }

  void check(const std::vector<Step>& steps) {
    for (const Step& step : steps) {
      EXPECT_EQ(step.got, step.expected) << step.what;
      EXPECT_EQ(step.seen, step.log) << step.what;
    }
  }
  // A table of answers alone: what the rows asked of the renderer is not checked.
  void expect(const std::vector<Step>& rows) {
    for (const Step& row : rows) EXPECT_EQ(row.got, row.expected) << row.what;
  }
  std::string pages(const char16_t* path) {
    return num(EpubReader_getContentPageCount(reader, path));
  }
  std::string total() { return num(EpubReader_getPageCount(reader)); }

  Host host;
  std::string folder;                        // the OPF's folder
  std::map<std::string, std::string> names;  // argument values shown by name
  EpubReader* reader = nullptr;
  ZaveVevode* renderer = nullptr;
};

}  // namespace contenttest
