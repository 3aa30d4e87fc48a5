// The generated publications' container, OPF and NCX documents, mutated, go
// through decoding and every reader: nothing may crash, hang or leak, the
// points read as the parse completes them must be those a walk of the
// finished tree finds, and the paths of their srcs keep their rules.
#include <gtest/gtest.h>

#include <iostream>
#include <random>
#include <sstream>

#include "package/package_text.h"
#include "package/readers.h"
#include "package/xml_values.h"
#include "record_text.h"
#include "support/epub_archive.h"

namespace epub::package {
namespace {

#ifdef EPUB_SANITIZED
constexpr int kIterations = 2500;
#else
constexpr int kIterations = 20000;
#endif

using Bytes = std::vector<uint8_t>;
using test::str;
using namespace std::string_view_literals;

// Fragments that steer mutations towards the readers' interesting paths,
// each between two \1 bytes.
constexpr std::string_view kTokens =
    "\1<navPoint>\1</navPoint>\1<navLabel><text>\1</text></navLabel>\1<content src='\1<dc:title>\1"
    "<rootfile full-path='x' media-type='application/oebps-package+xml'/>\1<head/>\1<!--\1-->\1"
    "<item id='i' href='%E9%zz%00+'/>\1<itemref idref='i'/>\1<![CDATA[\1]]>\1&amp;\1&#xD800;\1"
    "&#0;\1<?xml\1?>\1\"\1'\1<\1>\1/>\1=\1<meta name='identifier' content='c'/>\1<!DOCTYPE x [\1"
    "\xFF\xFE\1\xEF\xBB\xBF\1\0\1encoding='UTF-16'\1encoding='windows-1252'\1"sv;

Bytes mutate(Bytes doc, const std::vector<Bytes>& all, std::mt19937& rng) {
  auto pick = [&](size_t most) { return size_t(rng() % (most + 1)); };
  for (int steps = 1 + int(rng() % 4); steps > 0; --steps) {
    const size_t at = pick(doc.size());
    switch (rng() % 5) {
      case 0:  // random bytes
        for (size_t n = pick(8); n > 0; --n) doc.insert(doc.begin() + long(at), uint8_t(rng()));
        break;
      case 1:  // truncate
        doc.resize(at);
        break;
      case 2:  // delete a range
        doc.erase(doc.begin() + long(at), doc.begin() + long(std::min(doc.size(), at + pick(64))));
        break;
      case 3: {  // a token
        const size_t start = kTokens.find('\1', pick(kTokens.size() - 2)) + 1;
        const std::string_view token = kTokens.substr(start, kTokens.find('\1', start) - start);
        doc.insert(doc.begin() + long(at), token.begin(), token.end());
        break;
      }
      default: {  // a piece of this document (nesting elements) or another
        const Bytes from = rng() % 2 ? doc : all[rng() % all.size()];
        const size_t start = pick(from.size()), n = std::min(from.size() - start, pick(300));
        doc.insert(doc.begin() + long(at), from.begin() + long(start),
                   from.begin() + long(start + n));
      }
    }
  }
  return doc;
}

// The points as a walk of the finished tree finds them with the tree's own
// queries: navPoint children named exactly, a label's first text child's
// first text, the last content child's src. Returns the number of points.
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

// Every reader over the decoded bytes, from an exact-size copy so that the
// sanitizer sees a read past the input.
void readAll(const Bytes& input) {
  const Bytes bytes(input);
  PackageText text;
  decodePackageText(text, bytes.empty() ? nullptr : bytes.data(), uint32_t(bytes.size()));
  ASSERT_TRUE(text.hasText);
  ASSERT_EQ(text.text[size_t(text.length)], u'\0');
  PackageLocation location;
  parseContainer(text.text.get(), location);
  PackageRecord record;
  parsePackageDocument(text.text.get(), record);
  for (const ManifestItem* item : record.spineItems) resolvePath(location.opfDirectory, item->href);
  parseNcx(text.text.get(), record);
  std::vector<std::u16string> tree;
  const auto map = xml::CXmlNode::parseDocument(text.text.get(), u"ncx").findChild(u"navMap");
  if (const size_t count = walk(map, 0, tree)) tree.push_back(u"count=" + test::number(count));
  EXPECT_EQ(test::pointLines(record.ncx), tree);
  // A path resolved from segments has no leading or trailing "/"; an href
  // without "%" decodes to itself.
  for (size_t i = 0; i < record.ncx.points.size(); ++i) {
    const std::u16string src = record.ncx.points[i].contentSrc;
    const std::u16string path = resolvePath(location.opfDirectory, src);
    EXPECT_TRUE(src.starts_with(u'/') || !(path.starts_with(u'/') || path.ends_with(u'/')));
    EXPECT_TRUE(src.find(u'%') != src.npos || decodeHref(src) == src);
  }
}

TEST(Randomized, MutatedPackageDocuments) {
  std::vector<Bytes> seeds;
  for (const char* name : {"plain", "deep", "handmade"}) {
    epub::testing::EpubArchive archive(std::string(EPUB_BINARY_DIR) + "/fixtures/" + name +
                                       ".epub");
    for (const std::string& file : archive.names()) {
      if (file.ends_with(".xml") || file.ends_with(".opf") || file.ends_with(".ncx")) {
        seeds.push_back(archive.read(std::string_view(file)).value());
      }
    }
  }
  ASSERT_GE(seeds.size(), 9u);
  // The NCX reader's diagnostic would flood the output: send it nowhere.
  std::ostringstream sink;
  std::streambuf* saved = std::cout.rdbuf(sink.rdbuf());
  std::mt19937 rng(20240611);
  for (int i = 0; i < kIterations && !HasFailure(); ++i) {
    const Bytes doc = mutate(seeds[rng() % seeds.size()], seeds, rng);
    SCOPED_TRACE(std::string(doc.begin(), doc.end()));
    readAll(doc);
    sink.str({});
  }
  std::cout.rdbuf(saved);
}

}  // namespace
}  // namespace epub::package
