// Parse throughput of the library's XML reader against pugixml on the same
// synthetic OPF package document. Ours reads UTF-16; pugixml gets the same
// document both as UTF-8 and as UTF-16 (which it converts as it loads), with
// its default parse options. Each iteration parses and releases one tree.
// Compare the documents/s ("items_per_second") column: the byte counts
// differ between the UTF-8 and UTF-16 inputs.
//
// The first rows parse a text the parser may not change, given with its
// length: pugixml's load_buffer copies the whole text and parses the copy in
// place; ours does the same with a text of less than 512 KiB (the 200-item
// OPF) and reads a larger one where it lies, copying each name, value and
// text it keeps. The "in place" rows hand each
// parser a fresh copy made with the timer paused (ours through XmlText, pugixml's
// load_buffer_inplace), so they compare the parses alone.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <pugixml.hpp>
#include <string>

#include "generated_package.h"
#include "xml/xml_node.h"

namespace {

using bench::number;

// A package document with `items` manifest items and as many spine entries.
std::string opfText(int items) {
  return bench::packageText(
      items,
      "    <dc:title>Tom &amp; Jerry: the complete edition</dc:title>\n"
      "    <dc:creator opf:role=\"aut\" opf:file-as=\"Doe, Jane\">Jane Doe</dc:creator>\n"
      "    <dc:language>en</dc:language>\n"
      "    <dc:identifier id=\"BookId\" opf:scheme=\"ISBN\">978-0-00-000000-0</dc:identifier>\n"
      "    <meta name=\"cover\" content=\"cover-image\"/>\n",
      "  <guide>\n"
      "    <reference type=\"text\" title=\"Start\" href=\"Text/chapter00000.xhtml\"/>\n"
      "  </guide>\n");
}

// The document is ASCII, so widening each byte gives its UTF-16 form.
std::u16string widen(const std::string& text) { return std::u16string(text.begin(), text.end()); }

void BM_CXmlNode_parseDocument(benchmark::State& state) {
  const std::u16string text = widen(opfText(int(state.range(0))));
  for (auto _ : state) {
    epub::xml::CXmlNode package = epub::xml::CXmlNode::parseDocument(
        epub::xml::XmlText(text.c_str(), text.size()), u"package");
    if (package.childCount() == 0) state.SkipWithError("no tree");
    benchmark::DoNotOptimize(package.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size() * sizeof(char16_t)));
  state.SetItemsProcessed(state.iterations());
}

void BM_pugixml_utf8(benchmark::State& state) {
  const std::string text = opfText(int(state.range(0)));
  for (auto _ : state) {
    pugi::xml_document document;
    if (!document.load_buffer(text.data(), text.size())) state.SkipWithError("no tree");
    benchmark::DoNotOptimize(document.first_child().internal_object());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
  state.SetItemsProcessed(state.iterations());
}

void BM_pugixml_utf16(benchmark::State& state) {
  const std::u16string text = widen(opfText(int(state.range(0))));
  const size_t bytes = text.size() * sizeof(char16_t);
  for (auto _ : state) {
    pugi::xml_document document;
    if (!document.load_buffer(text.data(), bytes, pugi::parse_default, pugi::encoding_utf16_le)) {
      state.SkipWithError("no tree");
    }
    benchmark::DoNotOptimize(document.first_child().internal_object());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
  state.SetItemsProcessed(state.iterations());
}

void BM_CXmlNode_parseDocument_inPlace(benchmark::State& state) {
  const std::u16string text = widen(opfText(int(state.range(0))));
  for (auto _ : state) {
    state.PauseTiming();
    auto copy = std::make_unique_for_overwrite<char16_t[]>(text.size() + 1);
    std::memcpy(copy.get(), text.c_str(), (text.size() + 1) * sizeof(char16_t));
    state.ResumeTiming();
    epub::xml::CXmlNode package = epub::xml::CXmlNode::parseDocument(
        epub::xml::XmlText(std::move(copy), text.size()), u"package");
    if (package.childCount() == 0) state.SkipWithError("no tree");
    benchmark::DoNotOptimize(package.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size() * sizeof(char16_t)));
  state.SetItemsProcessed(state.iterations());
}

void BM_pugixml_utf8_inPlace(benchmark::State& state) {
  const std::string text = opfText(int(state.range(0)));
  std::string copy;
  for (auto _ : state) {
    state.PauseTiming();
    copy = text;
    state.ResumeTiming();
    pugi::xml_document document;
    if (!document.load_buffer_inplace(copy.data(), copy.size())) state.SkipWithError("no tree");
    benchmark::DoNotOptimize(document.first_child().internal_object());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
  state.SetItemsProcessed(state.iterations());
}

// 200 items: a typical book (~60 KB of UTF-16); 20,000: ~5.5 MB.
BENCHMARK(BM_CXmlNode_parseDocument)->Arg(200)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_pugixml_utf8)->Arg(200)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_pugixml_utf16)->Arg(200)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CXmlNode_parseDocument_inPlace)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_pugixml_utf8_inPlace)->Arg(20000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
