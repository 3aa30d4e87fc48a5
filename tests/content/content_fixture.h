// A host for the content tests: a publication built in memory (container
// document, OPF, content documents) served by the read callback, every host
// callback logged, and the recording test renderer. Everything is driven
// through the exports.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "epubreader.h"
#include "test_renderer.h"

namespace contenttest {

using testrenderer::Call;

inline std::u16string wide(const std::string& ascii) { return {ascii.begin(), ascii.end()}; }
inline std::string narrow(const char16_t* text) {
  return text ? testrenderer::utf8(text) : std::string("null");
}
inline std::string flag(bool value) { return value ? "true" : "false"; }
inline std::string num(intptr_t value) { return std::to_string(value); }
inline std::string num(const void* pointer) {
  return std::to_string(reinterpret_cast<intptr_t>(pointer));
}
// Full 32-bit values as a 32-bit host passes them, and as the recording
// renderer prints them: signed in 32 bits, zero-extended in 64.
inline const intptr_t kAllOnes = static_cast<intptr_t>(UINT32_C(0xFFFFFFFF));
inline const intptr_t kTopBit = static_cast<intptr_t>(UINT32_C(0x80000000));
inline const std::string kAllOnesText = sizeof(intptr_t) == 4 ? "-1" : "4294967295";
inline const std::string kTopBitText = sizeof(intptr_t) == 4 ? "-2147483648" : "2147483648";

struct Host {
  std::map<std::u16string, std::string> files;
  std::set<std::u16string> unreadable;  // files whose read fails
  // "read(path)", "release(path)", "progress(count, done)"; a progress call
  // with a context other than `progressContext` is logged as "progress(?)".
  std::vector<std::string> log;
  std::recursive_mutex mutex;
  void* progressContext = nullptr;
  // Run inside the read callback (before the file is looked up) and the
  // release callback.
  std::function<void(const std::u16string&)> onRead;
  std::function<void(const std::u16string&)> onRelease;

  void note(std::string entry) {
    std::lock_guard lock(mutex);
    log.push_back(std::move(entry));
  }
  std::vector<std::string> takeLog() {
    std::lock_guard lock(mutex);
    std::vector<std::string> out;
    out.swap(log);
    return out;
  }

  static bool read(void* user, const char16_t* path, const uint8_t** bytes, uint32_t* length) {
    auto* host = static_cast<Host*>(user);
    std::u16string p = path ? path : u"";
    host->note("read(" + testrenderer::utf8(p) + ")");
    if (host->onRead) host->onRead(p);
    std::lock_guard lock(host->mutex);
    auto it = host->files.find(p);
    if (it == host->files.end() || host->unreadable.count(p)) return false;
    *bytes = reinterpret_cast<const uint8_t*>(it->second.data());
    *length = static_cast<uint32_t>(it->second.size());
    return true;
  }
  static void release(void* user, const char16_t* path) {
    auto* host = static_cast<Host*>(user);
    host->note("release(" + narrow(path) + ")");
    if (host->onRelease) host->onRelease(path ? path : u"");
  }
  static void progress(void* context, uint32_t count, uint32_t done) {
    Host* host = *static_cast<Host**>(context);
    if (context != host->progressContext) {
      host->note("progress(?)");
      return;
    }
    host->note("progress(" + std::to_string(count) + ", " + std::to_string(done) + ")");
  }

  // The bytes the host hands out for a file, as the renderer log shows them.
  std::string bytesOf(const std::u16string& path) {
    std::lock_guard lock(mutex);
    const std::string& data = files.at(path);
    return num(data.data()) + ", " + std::to_string(data.size());
  }
};

// One manifest item: id and href (relative to the OPF's folder).
struct Item {
  std::string id;
  std::string href;
};

inline std::string containerXml(const std::string& opfPath) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<container version=\"1.0\" "
         "xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\">\n"
         "  <rootfiles>\n"
         "    <rootfile full-path=\"" +
         opfPath +
         "\" media-type=\"application/oebps-package+xml\"/>\n"
         "  </rootfiles>\n"
         "</container>\n";
}

inline std::string opfXml(const std::vector<Item>& manifest,
                          const std::vector<std::string>& spine) {
  std::string opf =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<package xmlns=\"http://www.idpf.org/2007/opf\" version=\"2.0\" "
      "unique-identifier=\"uid\">\n"
      "  <metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
      "    <dc:title>Pages</dc:title><dc:identifier id=\"uid\">urn:test</dc:identifier>\n"
      "  </metadata>\n  <manifest>\n";
  for (const Item& item : manifest) {
    opf += "    <item id=\"" + item.id + "\" href=\"" + item.href +
           "\" media-type=\"application/xhtml+xml\"/>\n";
  }
  opf += "  </manifest>\n  <spine>\n";
  for (const std::string& idref : spine) opf += "    <itemref idref=\"" + idref + "\"/>\n";
  return opf + "  </spine>\n</package>\n";
}

// One step of a table: what runs, what it answers, which renderer calls and
// host callbacks it makes, in order.
struct Step {
  const char* what;
  std::function<std::string()> run;
  std::string result;
  std::vector<std::string> rendererCalls;
  std::vector<std::string> hostLog = {};
};

class ContentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testrenderer::reset();
    EpubReaderHostOptions options{};
    options.read = Host::read;
    options.release = Host::release;
    options.userData = &host;
    reader = EpubReader_new(&options);
    ASSERT_NE(reader, nullptr);
    ASSERT_EQ(testrenderer::handles().size(), 1u);
    renderer = testrenderer::handles()[0];
    progressContext = &hostPointer;
    host.progressContext = progressContext;
    testrenderer::clearCalls();
  }
  void TearDown() override {
    EpubReader_free(&reader);
    testrenderer::reset();
  }

  // Opens a publication with the given manifest and spine, its OPF at
  // `opfPath`; every manifest item is readable ("<p>id</p>").
  void open(const std::vector<Item>& manifest, const std::vector<std::string>& spine,
            const std::string& opfPath = "OEBPS/content.opf") {
    folder = opfPath.substr(0, opfPath.rfind('/') + 1);
    const std::string opf = opfXml(manifest, spine);
    host.files[wide(opfPath)] = opf;
    for (const Item& item : manifest) host.files[fullPath(item.href)] = "<p>" + item.id + "</p>";
    const std::string container = containerXml(opfPath);
    const char16_t* opened =
        EpubReader_readContainer(reader, reinterpret_cast<const uint8_t*>(container.data()),
                                 static_cast<uint32_t>(container.size()));
    ASSERT_NE(opened, nullptr) << "the publication did not open";
    host.takeLog();
    testrenderer::clearCalls();
  }
  // A spine of the given hrefs, one manifest item each (ids d0, d1, ...).
  void open(const std::vector<std::string>& hrefs) {
    std::vector<Item> manifest;
    std::vector<std::string> spine;
    for (size_t i = 0; i < hrefs.size(); ++i) {
      manifest.push_back({"d" + std::to_string(i), hrefs[i]});
      spine.push_back("d" + std::to_string(i));
    }
    open(manifest, spine);
  }

  // The full path of an href in the OPF's folder (no "." or ".." in it).
  std::u16string fullPath(const std::string& href) const { return wide(folder + href); }

  // Scripts a document: its page count and the index of each page's first
  // object, the last entry being the document's object count.
  void script(const std::string& href, int32_t pages, std::vector<uint32_t> indexes) {
    testrenderer::setPageCount(fullPath(href), pages);
    testrenderer::setObjectIndexes(fullPath(href), std::move(indexes));
  }

  // The renderer calls since the last look, as strings; each must have been
  // made with the one renderer handle.
  std::vector<std::string> rendererCalls() {
    std::vector<std::string> out;
    for (const Call& call : testrenderer::calls()) {
      EXPECT_EQ(call.handle, renderer) << call.str();
      out.push_back(call.str());
    }
    testrenderer::clearCalls();
    return out;
  }

  // "xhtml(path, bytes, length, progress, context)" as the log shows it.
  std::string xhtml(const std::string& href, EpubReaderProgressCallback progress = nullptr,
                    const void* context = nullptr) {
    return "xhtml(" + folder + href + ", " + host.bytesOf(fullPath(href)) + ", " +
           num(reinterpret_cast<intptr_t>(progress)) + ", " + num(context) + ")";
  }

  // Runs the steps in order on the same reader.
  void run(const std::vector<Step>& steps) {
    for (const Step& step : steps) {
      SCOPED_TRACE(step.what);
      EXPECT_EQ(step.run(), step.result);
      EXPECT_EQ(rendererCalls(), step.rendererCalls);
      EXPECT_EQ(host.takeLog(), step.hostLog);
    }
  }

  // Loads every document and checks that loadAll succeeded.
  void loadAll() {
    ASSERT_TRUE(EpubReader_loadAll(reader, nullptr, nullptr));
    host.takeLog();
    testrenderer::clearCalls();
  }

  Host host;
  std::string folder;  // the OPF's folder
  Host* hostPointer = &host;
  void* progressContext = nullptr;
  EpubReader* reader = nullptr;
  ZaveVevode* renderer = nullptr;
};

}  // namespace contenttest
