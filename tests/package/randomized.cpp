// The generated publications' package documents, mutated, through decoding
// and every reader: no crash, hang or leak, and the points as a tree walk finds them.
#include <gtest/gtest.h>

#include <iostream>
#include <random>
#include <sstream>

#include "package/readers.h"
#include "package/xml_values.h"
#include "record_text.h"
#include "support/epub_archive.h"

namespace epub::package {
namespace {

constexpr int kIterations = 5000;  // seconds under the sanitizers

using Bytes = std::vector<uint8_t>;
using test::str;
using namespace std::literals;

// Fragments that steer mutations towards the readers' paths, each between two \1.
constexpr std::string_view kTokens =
    "\1<navPoint>\1</navPoint>\1<navLabel><text>\1</text></navLabel>\1<content src='\1<dc:title>\1"
    "<rootfile full-path='x' media-type='application/oebps-package+xml'/>\1<head/>\1<!--\1-->\1"
    "<item id='i' href='%E9%zz%00+'/>\1<itemref idref='i'/>\1<![CDATA[\1]]>\1&amp;\1&#xD800;\1"
    "&#0;\1<?xml\1?>\1\"\1'\1<\1>\1/>\1=\1<meta name='identifier' content='c'/>\1<!DOCTYPE x [\1"
    "\xFF\xFE\1\xEF\xBB\xBF\1\0\1encoding='UTF-16'\1encoding='windows-1252'\1"sv;

Bytes mutate(Bytes doc, const std::vector<Bytes>& all, std::mt19937& rng) {
  auto pick = [&](size_t most) { return size_t(rng() % (most + 1)); };
  for (int steps = 1 + int(rng() % 4); steps > 0; --steps) {
    const size_t at = pick(doc.size()), kind = rng() % 5;
    Bytes piece;      // inserted at `at`
    if (kind == 0) {  // random bytes
      for (size_t n = pick(8); n > 0; --n) piece.push_back(uint8_t(rng()));
    } else if (kind == 1) {  // a token
      const size_t start = kTokens.rfind('\1', pick(kTokens.size() - 2)) + 1;
      piece.assign(&kTokens[start], &kTokens[kTokens.find('\1', start)]);
    } else if (kind == 2) {  // a piece of this document (nesting elements) or another
      const Bytes& from = rng() % 2 ? doc : all[rng() % all.size()];
      const size_t start = pick(from.size()), n = std::min(from.size() - start, pick(300));
      piece.assign(from.begin() + long(start), from.begin() + long(start + n));
    } else {  // truncate, or delete a range
      doc.erase(doc.begin() + long(at),
                kind == 3 ? doc.end() : doc.begin() + long(std::min(doc.size(), at + pick(64))));
    }
    doc.insert(doc.begin() + long(at), piece.begin(), piece.end());
  }
  return doc;
}

// The points as the finished tree's own queries find them: navPoint children
// named exactly, each label's first text, the last src. Gives their number.
size_t walk(const xml::CXmlNode& parent, size_t depth, std::vector<std::u16string>& lines) {
  size_t points = 0;
  for (int32_t i = 0; i < parent.childCount(); ++i) {
    const xml::CXmlNode point = parent.childAt(i);
    if (!hasExactName(point, u"navPoint")) continue;
    const size_t at = lines.size();
    lines.emplace_back();
    std::u16string labels, src;
    for (int32_t k = 0; k < point.childCount(); ++k) {
      const xml::CXmlNode child = point.childAt(k);
      if (hasExactName(child, u"navLabel"))
        labels += u"|" + str(child.findChild(u"text").firstText());
      if (hasExactName(child, u"content")) src = str(child.attribute(u"src"));
    }
    const size_t below = walk(point, depth + 1, lines);
    lines[at] = std::u16string(depth, u'>') + str(point.attribute(u"id")) + u"|" +
                str(point.attribute(u"class")) + u"|" + str(point.attribute(u"playOrder")) + u"|" +
                test::number(below) + u"|" + src + labels;
    points += 1 + below;
  }
  return points;
}

TEST(Randomized, MutatedPackageDocuments) {
  std::vector<Bytes> seeds;
  for (const char* name : {"plain", "deep", "handmade"}) {
    epub::testing::EpubArchive epub(EPUB_BINARY_DIR "/fixtures/"s + name + ".epub");
    for (const std::string& file : epub.names())
      if (file.ends_with(".xml") || file.ends_with(".opf") || file.ends_with(".ncx"))
        seeds.push_back(epub.read(std::string_view(file)).value());
  }
  ASSERT_GE(seeds.size(), 9u);
  // The NCX reader's diagnostic would flood the output: send it nowhere.
  std::ostringstream sink;
  std::streambuf* saved = std::cout.rdbuf(sink.rdbuf());
  std::mt19937 rng(20240611);
  for (int i = 0; i < kIterations && !HasFailure(); ++i, sink.str({})) {
    Bytes bytes = mutate(seeds[rng() % seeds.size()], seeds, rng);
    bytes.shrink_to_fit();  // so that the sanitizer sees a read past the input
    SCOPED_TRACE(std::string(bytes.begin(), bytes.end()));
    PackageText text;
    decodePackageText(text, bytes.empty() ? nullptr : bytes.data(), uint32_t(bytes.size()));
    ASSERT_TRUE(text.hasText && text.text[size_t(text.length)] == u'\0');
    PackageLocation location;
    parseContainer(text.text.get(), location);
    PackageRecord record;
    parsePackageDocument(text.text.get(), record);
    parseNcx(text.text.get(), record);
    for (const ManifestItem* item : record.spineItems)
      resolvePath(location.opfDirectory, item->href);
    for (size_t k = 0; k < record.ncx.points.size(); ++k)
      resolvePath(u"", decodeHref(str(record.ncx.points[k].contentSrc)));
    std::vector<std::u16string> tree;
    const auto map = xml::CXmlNode::parseDocument(text.text.get(), u"ncx").findChild(u"navMap");
    if (const size_t count = walk(map, 0, tree)) tree.push_back(u"count=" + test::number(count));
    ASSERT_EQ(test::pointLines(record.ncx), tree);
  }
  std::cout.rdbuf(saved);
}

}  // namespace
}  // namespace epub::package
