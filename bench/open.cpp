// Opening a publication held in memory: the library's exports from
// EpubReader_new to the Spine and Navigation lists, against a minimal reader
// of the same files on pugixml (container, OPF and NCX parsed from their
// UTF-8 bytes; the spine's full paths and the flattened navigation list
// built). Publications of 1,000, 5,000 and 10,000 documents, ten NCX points
// per document (a chapter point holding nine section points).
//
// Only the opening is timed; releasing the reader (or the peer's trees) runs
// with the timer paused. Compare the two rows of one size for the ratio, and
// the 1,000 and 10,000 rows of one reader for the growth.
//
// Both readers run with the C library's heap kept whole (glibc): left to its
// own rules, it hands the top of its heap back to the system after a large
// release and maps large blocks afresh, depending on what ran before, and
// the next open then faults those pages in again. On a virtual machine
// whose host backs pages slowly, that made the pugixml reader's opens of
// 5,000 and 10,000 documents ten times as long in some runs and not in
// others; the readers, not the allocator's history, are what is compared.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <pugixml.hpp>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "epubreader.h"
#include "generated_package.h"

namespace {

constexpr int kSectionsPerDocument = 9;  // plus the chapter point: ten

using bench::number;

#if defined(__GLIBC__)
// Set before any benchmark runs: blocks up to 32 MiB (glibc's largest
// threshold) come from the heap, which is never trimmed.
[[maybe_unused]] const bool kHeapKept = [] {
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  return true;
}();
#endif

struct Files {
  std::string container;
  std::map<std::u16string, std::string> byPath;
};

Files makePublication(int documents) {
  Files files;
  files.container =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<container version=\"1.0\" xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\">\n"
      "  <rootfiles>\n"
      "    <rootfile full-path=\"OEBPS/content.opf\" "
      "media-type=\"application/oebps-package+xml\"/>\n"
      "  </rootfiles>\n</container>\n";

  std::string opf = bench::packageText(
      documents,
      "    <dc:title>Tom &amp; Jerry: the complete edition</dc:title>\n"
      "    <dc:creator opf:role=\"aut\">Jane Doe</dc:creator>\n"
      "    <dc:language>en</dc:language>\n"
      "    <dc:identifier id=\"BookId\">urn:uuid:00000000-0000-0000-0000-000000000000"
      "</dc:identifier>\n",
      "");

  std::string ncx =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<ncx xmlns=\"http://www.daisy.org/z3986/2005/ncx/\" version=\"2005-1\">\n"
      "  <head>\n    <meta name=\"dtb:uid\" content=\"urn:uuid:0\"/>\n"
      "    <meta name=\"dtb:depth\" content=\"2\"/>\n  </head>\n"
      "  <docTitle><text>Tom &amp; Jerry</text></docTitle>\n"
      "  <docAuthor><text>Jane Doe</text></docAuthor>\n  <navMap>\n";
  int order = 0;
  for (int d = 0; d < documents; ++d) {
    const std::string file = "Text/chapter" + number(d) + ".xhtml";
    ++order;
    ncx += "    <navPoint id=\"np" + std::to_string(order) + "\" playOrder=\"" +
           std::to_string(order) + "\">\n      <navLabel><text>Chapter " + std::to_string(d + 1) +
           "</text></navLabel>\n      <content src=\"" + file + "\"/>\n";
    for (int s = 1; s <= kSectionsPerDocument; ++s) {
      ++order;
      ncx += "      <navPoint id=\"np" + std::to_string(order) + "\" playOrder=\"" +
             std::to_string(order) + "\">\n        <navLabel><text>Section " +
             std::to_string(d + 1) + "." + std::to_string(s) +
             "</text></navLabel>\n        <content src=\"" + file + "#s" + std::to_string(s) +
             "\"/>\n      </navPoint>\n";
    }
    ncx += "    </navPoint>\n";
  }
  ncx += "  </navMap>\n</ncx>\n";

  files.byPath[u"OEBPS/content.opf"] = std::move(opf);
  files.byPath[u"OEBPS/toc.ncx"] = std::move(ncx);
  return files;
}

const Files& publication(int documents) {
  static std::map<int, Files> made;
  auto it = made.find(documents);
  if (it == made.end()) it = made.emplace(documents, makePublication(documents)).first;
  return it->second;
}

bool readFile(void* user, const char16_t* path, const uint8_t** bytes, uint32_t* length) {
  const auto& files = static_cast<const Files*>(user)->byPath;
  auto it = files.find(path ? path : u"");
  if (it == files.end()) return false;
  *bytes = reinterpret_cast<const uint8_t*>(it->second.data());
  *length = static_cast<uint32_t>(it->second.size());
  return true;
}

void setCounters(benchmark::State& state, double spine, double navigation) {
  state.counters["spine"] = spine;
  state.counters["nav_points"] = navigation;
}

// The library, through its exports.
void BM_EpubReader_open(benchmark::State& state) {
  const int documents = int(state.range(0));
  const Files& files = publication(documents);
  EpubReaderHostOptions options{};
  options.read = readFile;
  options.userData = const_cast<Files*>(&files);
  uint32_t spineCount = 0;
  int32_t navCount = 0;
  for (auto _ : state) {
    EpubReader* reader = EpubReader_new(&options);
    const char16_t* opf =
        EpubReader_readContainer(reader, reinterpret_cast<const uint8_t*>(files.container.data()),
                                 static_cast<uint32_t>(files.container.size()));
    const EpubReaderSpineList* spine = EpubReader_getSpine(reader);
    const EpubReaderNavList* navigation = EpubReader_getNavMap(reader);
    if (!opf || !spine || !navigation) {
      state.SkipWithError("the publication did not open");
      break;
    }
    spineCount = spine->count;
    navCount = navigation->count;
    state.PauseTiming();
    EpubReader_free(&reader);
    state.ResumeTiming();
  }
  if (spineCount != uint32_t(documents) || navCount != documents * (kSectionsPerDocument + 1)) {
    state.SkipWithError("wrong spine or navigation count");
  }
  setCounters(state, spineCount, navCount);
}

// The peer: the least a reader must do to give the same answers.
struct NavEntry {
  int depth;
  const char* id;
  const char* playOrder;
  const char* label;
  const char* src;
};

struct PeerPublication {
  pugi::xml_document container, opf, ncx;
  std::vector<std::string> spinePaths;
  std::vector<NavEntry> navigation;
};

bool peerLoad(pugi::xml_document& document, const Files& files, const std::u16string& path) {
  auto it = files.byPath.find(path);
  if (it == files.byPath.end()) return false;
  return bool(document.load_buffer(it->second.data(), it->second.size()));
}

std::u16string widen(std::string_view text) { return {text.begin(), text.end()}; }

void peerFlatten(pugi::xml_node parent, int depth, std::vector<NavEntry>& out) {
  for (pugi::xml_node point = parent.child("navPoint"); point;
       point = point.next_sibling("navPoint")) {
    out.push_back(NavEntry{depth, point.attribute("id").value(),
                           point.attribute("playOrder").value(),
                           point.child("navLabel").child("text").text().get(),
                           point.child("content").attribute("src").value()});
    peerFlatten(point, depth + 1, out);
  }
}

bool peerOpen(const Files& files, PeerPublication& pub) {
  if (!pub.container.load_buffer(files.container.data(), files.container.size())) return false;
  const std::string opfPath =
      pub.container.child("container")
          .child("rootfiles")
          .find_child_by_attribute("rootfile", "media-type", "application/oebps-package+xml")
          .attribute("full-path")
          .value();
  if (!peerLoad(pub.opf, files, widen(opfPath))) return false;
  const std::string base = opfPath.substr(0, opfPath.rfind('/') + 1);
  const pugi::xml_node package = pub.opf.child("package");
  std::unordered_map<std::string_view, const char*> hrefById;
  const char* ncxHref = nullptr;
  for (pugi::xml_node item : package.child("manifest").children("item")) {
    hrefById[item.attribute("id").value()] = item.attribute("href").value();
    if (std::string_view(item.attribute("media-type").value()) == "application/x-dtbncx+xml") {
      ncxHref = item.attribute("href").value();
    }
  }
  for (pugi::xml_node itemref : package.child("spine").children("itemref")) {
    auto it = hrefById.find(itemref.attribute("idref").value());
    if (it != hrefById.end()) pub.spinePaths.push_back(base + it->second);
  }
  if (ncxHref && peerLoad(pub.ncx, files, widen(base + ncxHref))) {
    peerFlatten(pub.ncx.child("ncx").child("navMap"), 1, pub.navigation);
  }
  return true;
}

void BM_pugixml_reader_open(benchmark::State& state) {
  const int documents = int(state.range(0));
  const Files& files = publication(documents);
  size_t spineCount = 0, navCount = 0;
  for (auto _ : state) {
    auto* pub = new PeerPublication;
    if (!peerOpen(files, *pub)) {
      state.SkipWithError("the publication did not open");
      delete pub;
      break;
    }
    spineCount = pub->spinePaths.size();
    navCount = pub->navigation.size();
    benchmark::DoNotOptimize(pub->navigation.data());
    state.PauseTiming();
    delete pub;
    state.ResumeTiming();
  }
  if (spineCount != size_t(documents) ||
      navCount != size_t(documents) * (kSectionsPerDocument + 1)) {
    state.SkipWithError("wrong spine or navigation count");
  }
  setCounters(state, double(spineCount), double(navCount));
}

BENCHMARK(BM_EpubReader_open)->Arg(1000)->Arg(5000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_pugixml_reader_open)->Arg(1000)->Arg(5000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
