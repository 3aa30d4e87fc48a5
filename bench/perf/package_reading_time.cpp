// Reading cost: a package document with 50,000 manifest items and spine
// entries and an NCX with 50,000 navigation points are read in time close to
// that of the bare XML parse of the same bytes, and twice the size costs
// about twice the time.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "package/package_text.h"
#include "package/readers.h"
#include "xml/xml_node.h"

namespace epub::package {
namespace {

std::string bigOpf(int items) {
  std::string s =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><package version=\"2.0\" "
      "unique-identifier=\"id\"><metadata xmlns:dc=\"x\"><dc:title>Big</dc:title>"
      "<dc:identifier id=\"id\">u</dc:identifier></metadata><manifest>";
  for (int i = 0; i < items; ++i) {
    s += "<item id=\"item" + std::to_string(i) + "\" href=\"Text/chapter%20" + std::to_string(i) +
         ".xhtml\" media-type=\"application/xhtml+xml\"/>";
  }
  s += "</manifest><spine toc=\"ncx\">";
  // Spine order differs from manifest order, so lookups go all over the map.
  for (int i = 0; i < items; ++i) {
    s += "<itemref idref=\"item" + std::to_string((i * 7919) % items) + "\"/>";
  }
  return s + "</spine></package>";
}

// Points nested in chains of ten, so both breadth and depth are exercised.
std::string bigNcx(int points) {
  std::string s =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><ncx><head><meta name=\"dtb:uid\" "
      "content=\"u\"/></head><docTitle><text>Big</text></docTitle><navMap>";
  int open = 0;
  for (int i = 0; i < points; ++i) {
    s += "<navPoint id=\"p" + std::to_string(i) + "\" playOrder=\"" + std::to_string(i + 1) +
         "\"><navLabel><text>Point " + std::to_string(i) + "</text></navLabel><content src=\"c" +
         std::to_string(i) + ".xhtml#a\"/>";
    ++open;
    if (open == 10 || i + 1 == points) {
      for (; open > 0; --open) s += "</navPoint>";
    }
  }
  return s + "</navMap></ncx>";
}

using Clock = std::chrono::steady_clock;

#ifdef EPUB_SANITIZED
// Under the sanitizers only the bookkeeping is checked, on smaller input.
constexpr int kSize = 10000;
constexpr int kRuns = 1;
#else
constexpr int kSize = 50000;
constexpr int kRuns = 3;
#endif

// Best of kRuns runs, in milliseconds.
template <class Work>
double bestMs(Work work) {
  double best = 1e30;
  for (int run = 0; run < kRuns; ++run) {
    const auto start = Clock::now();
    work();
    best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  return best;
}

struct Timings {
  double readers;  // decoding and the OPF and NCX readers
  double bareXml;  // decoding and the XML parse only
};

Timings timeReading(int size) {
  const std::string opf = bigOpf(size);
  const std::string ncx = bigNcx(size);
  auto bytes = [](const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); };
  auto length = [](const std::string& s) { return static_cast<uint32_t>(s.size()); };
  Timings t{};
  t.readers = bestMs([&] {
    PackageRecord record;
    PackageText text;
    decodePackageText(text, bytes(opf), length(opf));
    parsePackageDocument(text.text.get(), record);
    decodePackageText(text, bytes(ncx), length(ncx));
    parseNcx(text.text.get(), record);
    EXPECT_EQ(record.manifest.size(), size_t(size));
    EXPECT_EQ(record.spine.size(), size_t(size));
    EXPECT_EQ(record.ncx.navPointCount, size);
  });
  t.bareXml = bestMs([&] {
    PackageText text;
    decodePackageText(text, bytes(opf), length(opf));
    EXPECT_FALSE(xml::CXmlNode::parseDocument(text.text.get(), u"package").isNull());
    decodePackageText(text, bytes(ncx), length(ncx));
    EXPECT_FALSE(xml::CXmlNode::parseDocument(text.text.get(), u"ncx").isNull());
  });
  return t;
}

TEST(ReadingTime, LinearAndCloseToTheBareParse) {
  const Timings half = timeReading(kSize / 2);
  const Timings full = timeReading(kSize);
  std::printf("[ timing ] %d items/entries/points: readers %.1f ms, bare XML parse %.1f ms\n",
              kSize, full.readers, full.bareXml);
  std::printf("[ timing ] %d items/entries/points: readers %.1f ms, bare XML parse %.1f ms\n",
              kSize / 2, half.readers, half.bareXml);
#ifndef EPUB_SANITIZED
  // Loose bounds: the readers add hashing and copying to the parse, and a
  // quadratic step would show as a ratio far beyond these.
  EXPECT_LT(full.readers, 6 * full.bareXml + 20);
  EXPECT_LT(full.readers, 4 * half.readers + 20);
#endif
}

}  // namespace
}  // namespace epub::package
