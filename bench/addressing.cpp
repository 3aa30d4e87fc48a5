// Page and position addressing on a large publication: 2,000 documents
// opened through the exports and the test renderer (scripted page counts and
// object indexes), loaded with loadAll, then the markable position of every
// publication page.
//
// The library asks the renderer for the object count of every earlier
// document on each query, so that its answers always follow the renderer's
// current layout; a query costs one renderer call per earlier document. The
// peer is the same set of queries answered from offsets precomputed once,
// with one renderer call per query: the least any implementation must do.
#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

#include "epubreader.h"
#include "test_renderer.h"

namespace {

constexpr int kDocuments = 2000;
constexpr uint32_t kObjectsPerPage = 10;

int32_t pagesOf(int document) { return 1 + document % 3; }  // 1 to 3, about 4,000 in all

std::u16string wide(const std::string& text) { return {text.begin(), text.end()}; }

std::string href(int document) {
  std::string number = std::to_string(document);
  return "Text/d" + std::string(4 - number.size(), '0') + number + ".xhtml";
}

// The host: every file of the publication in memory.
struct Host {
  std::map<std::u16string, std::string> files;

  static bool read(void* user, const char16_t* path, const uint8_t** bytes, uint32_t* length) {
    auto& files = static_cast<Host*>(user)->files;
    auto it = files.find(path ? path : u"");
    if (it == files.end()) return false;
    *bytes = reinterpret_cast<const uint8_t*>(it->second.data());
    *length = static_cast<uint32_t>(it->second.size());
    return true;
  }
};

// One opened and loaded publication. The renderer keeps no call log and
// answers page counts and object indexes straight from its tables, as a real
// renderer would from its layout, so that the figures are the library's.
struct Publication {
  Host host;
  EpubReader* reader = nullptr;
  ZaveVevode* renderer = nullptr;
  int32_t pages = 0;

  Publication() {
    testrenderer::reset();
    std::string manifest, spine;
    for (int d = 0; d < kDocuments; ++d) {
      const std::string id = "d" + std::to_string(d);
      manifest += "<item id=\"" + id + "\" href=\"" + href(d) +
                  "\" media-type=\"application/xhtml+xml\"/>\n";
      spine += "<itemref idref=\"" + id + "\"/>\n";
      const std::u16string path = wide("OEBPS/" + href(d));
      host.files[path] = "<html><body><p>" + id + "</p></body></html>";
      std::vector<uint32_t> indexes;
      for (int32_t p = 0; p <= pagesOf(d); ++p) indexes.push_back(kObjectsPerPage * uint32_t(p));
      testrenderer::setPageCount(path, pagesOf(d));
      testrenderer::setObjectIndexes(path, indexes);
    }
    host.files[u"OEBPS/content.opf"] =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<package xmlns=\"http://www.idpf.org/2007/opf\" version=\"2.0\" unique-identifier=\"u\">\n"
        "<metadata><dc:identifier xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
        "id=\"u\">bench</dc:identifier></metadata>\n<manifest>\n" +
        manifest + "</manifest>\n<spine>\n" + spine + "</spine>\n</package>\n";
    const std::string container =
        "<?xml version=\"1.0\"?>\n<container version=\"1.0\" "
        "xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\"><rootfiles>"
        "<rootfile full-path=\"OEBPS/content.opf\" "
        "media-type=\"application/oebps-package+xml\"/></rootfiles></container>\n";

    EpubReaderHostOptions options{};
    options.read = Host::read;
    options.userData = &host;
    reader = EpubReader_new(&options);
    renderer = testrenderer::handles().at(0);
    testrenderer::setRecording(false);
    testrenderer::setQuickTables(true);
    if (!EpubReader_readContainer(reader, reinterpret_cast<const uint8_t*>(container.data()),
                                  static_cast<uint32_t>(container.size())) ||
        !EpubReader_loadAll(reader, nullptr, nullptr)) {
      throw std::runtime_error("the benchmark publication did not open");
    }
    pages = EpubReader_getPageCount(reader);
  }
  ~Publication() {
    EpubReader_free(&reader);
    testrenderer::reset();
  }
};

Publication& publication() {
  static Publication p;
  return p;
}

uint64_t expectedSum() {
  // Page p's first object is 10 * p: every page before it holds 10 objects.
  const uint64_t pages = static_cast<uint64_t>(publication().pages);
  return kObjectsPerPage * pages * (pages - 1) / 2;
}

// The library: getMarkablePosition for every page.
void MarkablePositionOfEveryPage(benchmark::State& state) {
  Publication& pub = publication();
  for (auto _ : state) {
    uint64_t sum = 0;
    for (int32_t page = 0; page < pub.pages; ++page) {
      sum += EpubReader_getMarkablePosition(pub.reader, page);
    }
    if (sum != expectedSum()) state.SkipWithError("wrong markable positions");
    benchmark::DoNotOptimize(sum);
  }
  state.counters["pages"] = pub.pages;
  state.counters["per_page"] =
      benchmark::Counter(double(pub.pages), benchmark::Counter::kIsIterationInvariantRate |
                                                benchmark::Counter::kInvert);
}

// The peer: offsets computed once, one renderer call per page.
void PeerWithPrecomputedOffsets(benchmark::State& state) {
  Publication& pub = publication();
  struct Page {
    std::u16string path;
    int32_t page;
    uint32_t before;
  };
  std::vector<Page> table;
  uint32_t before = 0;
  for (int d = 0; d < kDocuments; ++d) {
    const std::u16string path = wide("OEBPS/" + href(d));
    for (int32_t p = 0; p < pagesOf(d); ++p) table.push_back({path, p, before});
    before += ZaveVevode_getObjectIndex(pub.renderer, path.c_str(), pagesOf(d));
  }
  for (auto _ : state) {
    uint64_t sum = 0;
    for (const Page& page : table) {
      sum += page.before + ZaveVevode_getObjectIndex(pub.renderer, page.path.c_str(), page.page);
    }
    if (sum != expectedSum()) state.SkipWithError("wrong markable positions");
    benchmark::DoNotOptimize(sum);
  }
  state.counters["pages"] = double(table.size());
  state.counters["per_page"] =
      benchmark::Counter(double(table.size()), benchmark::Counter::kIsIterationInvariantRate |
                                                   benchmark::Counter::kInvert);
}

// Everything a host does first: open, load every document, then ask for
// every page's position.
void OpenLoadAndAddressEveryPage(benchmark::State& state) {
  for (auto _ : state) {
    Publication pub;
    uint64_t sum = 0;
    for (int32_t page = 0; page < pub.pages; ++page) {
      sum += EpubReader_getMarkablePosition(pub.reader, page);
    }
    benchmark::DoNotOptimize(sum);
  }
}

}  // namespace

BENCHMARK(MarkablePositionOfEveryPage)->Unit(benchmark::kMillisecond);
BENCHMARK(PeerWithPrecomputedOffsets)->Unit(benchmark::kMillisecond);
BENCHMARK(OpenLoadAndAddressEveryPage)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
