// Randomized robustness: mutated and truncated container, OPF and NCX
// documents (from the texts below and from the generated publications) and
// random bytes go through decoding and every reader. Nothing may crash,
// hang or leak, the navigation counts must stay consistent, and the points
// the NCX reader reads as the parse completes them must be those a walk of
// the finished tree finds.
#include <gtest/gtest.h>

#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "ncx_lines.h"
#include "package/package_text.h"
#include "package/readers.h"
#include "package/xml_values.h"
#include "support/epub_archive.h"

namespace epub::package {
namespace {

#ifdef EPUB_SANITIZED
constexpr int kIterations = 2500;
#else
constexpr int kIterations = 20000;
#endif

std::vector<uint8_t> utf8(std::string_view s) { return {s.begin(), s.end()}; }

std::vector<std::vector<uint8_t>> seedDocuments() {
  std::vector<std::vector<uint8_t>> seeds = {
      utf8("<?xml version=\"1.0\"?><container><rootfiles><rootfile full-path=\"OEBPS/c.opf\" "
           "media-type=\"application/oebps-package+xml\"/></rootfiles></container>"),
      utf8("<?xml version=\"1.0\" encoding=\"UTF-8\"?><package version=\"2.0\" "
           "unique-identifier=\"id\"><metadata xmlns:dc=\"x\"><dc:title>T &amp; U</dc:title>"
           "<dc:identifier id=\"id\">u</dc:identifier><meta name=\"title\" content=\"M\"/>"
           "<dc:date opf:event=\"creation\">d</dc:date></metadata><manifest>"
           "<item id=\"a\" href=\"a%20b.xhtml\" media-type=\"application/xhtml+xml\"/>"
           "<item id=\"n\" href=\"t.ncx\" media-type=\"application/x-dtbncx+xml\"/></manifest>"
           "<spine toc=\"n\"><itemref idref=\"a\"/><itemref idref=\"z\"/></spine>"
           "<guide><reference type=\"t\" href=\"a.xhtml\"/></guide></package>"),
      utf8("<?xml version=\"1.0\"?><ncx><head><meta name=\"a\" content=\"b\"/></head>"
           "<docTitle><text>T</text></docTitle><docAuthor><text>A</text></docAuthor>"
           "<navMap><navLabel><text>L</text></navLabel><navPoint id=\"1\" playOrder=\"1\">"
           "<navLabel><text>One</text></navLabel><content src=\"a.xhtml#x\"/>"
           "<navPoint id=\"2\"><content src=\"b\"/><navPoint id=\"3\"/></navPoint></navPoint>"
           "<navInfo><text>I</text></navInfo></navMap></ncx>"),
  };
  // The generated publications' package files, in their own encodings.
  const std::string fixtures = std::string(EPUB_BINARY_DIR) + "/fixtures/";
  for (const char* name : {"plain", "deep", "handmade"}) {
    epub::testing::EpubArchive archive(fixtures + name + ".epub");
    for (const std::string& file : archive.names()) {
      if (file.ends_with(".xml") || file.ends_with(".opf") || file.ends_with(".ncx")) {
        if (auto bytes = archive.read(std::string_view(file))) seeds.push_back(std::move(*bytes));
      }
    }
  }
  return seeds;
}

// Fragments that steer mutations towards the readers' interesting paths.
const std::string_view kTokens[] = {
    "<navPoint>",
    "</navPoint>",
    "<navLabel><text>",
    "</text></navLabel>",
    "<content src=\"",
    "<rootfile full-path=\"x\" media-type=\"application/oebps-package+xml\"/>",
    "<dc:title>",
    "<item id=\"i\" href=\"%E9%zz%00+\"/>",
    "<itemref idref=\"i\"/>",
    "<head/>",
    "<![CDATA[",
    "]]>",
    "<!--",
    "-->",
    "&amp;",
    "&#xD800;",
    "&#0;",
    "<?xml",
    "?>",
    "\"",
    "'",
    "<",
    ">",
    "/>",
    "=",
    "<meta name=\"identifier\" content=\"c\"/>",
    "<!DOCTYPE x [",
    "\xFF\xFE",
    "\xEF\xBB\xBF",
    std::string_view("\0", 1),
    "encoding=\"UTF-16\"",
    "encoding=\"windows-1252\""};

std::vector<uint8_t> mutate(std::vector<uint8_t> doc, const std::vector<std::vector<uint8_t>>& all,
                            std::mt19937& rng) {
  auto pick = [&](size_t n) { return n == 0 ? size_t{0} : size_t(rng() % n); };
  const int steps = 1 + int(rng() % 4);
  for (int s = 0; s < steps; ++s) {
    const size_t at = pick(doc.size() + 1);
    switch (rng() % 7) {
      case 0:  // flip a byte
        if (!doc.empty()) doc[pick(doc.size())] = uint8_t(rng());
        break;
      case 1:  // truncate
        doc.resize(at);
        break;
      case 2: {  // delete a range
        const size_t n = std::min(doc.size() - at, pick(64) + 1);
        doc.erase(doc.begin() + long(at), doc.begin() + long(at + n));
        break;
      }
      case 3: {  // duplicate a range (nests elements)
        const size_t from = pick(doc.size() + 1);
        const size_t n = std::min(doc.size() - from, pick(200) + 1);
        std::vector<uint8_t> copy(doc.begin() + long(from), doc.begin() + long(from + n));
        doc.insert(doc.begin() + long(at), copy.begin(), copy.end());
        break;
      }
      case 4: {  // insert a token
        const std::string_view t = kTokens[pick(std::size(kTokens))];
        doc.insert(doc.begin() + long(at), t.begin(), t.end());
        break;
      }
      case 5: {  // splice in part of another document
        const auto& other = all[pick(all.size())];
        const size_t from = pick(other.size() + 1);
        const size_t n = std::min(other.size() - from, pick(300) + 1);
        doc.insert(doc.begin() + long(at), other.begin() + long(from),
                   other.begin() + long(from + n));
        break;
      }
      default: {  // random bytes
        const size_t n = pick(16) + 1;
        for (size_t i = 0; i < n; ++i) doc.insert(doc.begin() + long(at), uint8_t(rng()));
        break;
      }
    }
  }
  return doc;
}

// Counts the points on one level (from `first` up to `end`) and below,
// checking each point's descendantCount against its children's counts.
int32_t countPoints(const NcxRecord& n, size_t first, size_t end) {
  int32_t total = 0;
  size_t i = first;
  for (; i < end; i = n.after(i)) {
    const int32_t below = countPoints(n, i + 1, n.after(i));
    EXPECT_EQ(n.points[i].descendantCount, below);
    total += 1 + below;
  }
  EXPECT_EQ(i, end);
  return total;
}

using test::number;
using test::plain;

// The same lines read from the finished tree with the tree's own queries,
// the way a reader walking it would: the navigation map is the root's first
// navMap child, a point's elements are named exactly, labels are the first
// text of a label's first text child, the last content child's src counts.
// Returns the number of points appended.
int32_t treeLines(const xml::CXmlNode& point, int depth, std::vector<std::u16string>& lines) {
  const size_t at = lines.size();
  lines.emplace_back();
  std::u16string labels;
  const char16_t* src = nullptr;
  int32_t below = 0;
  std::vector<xml::CXmlNode> children;
  for (int32_t i = 0; i < point.childCount(); ++i) {
    const xml::CXmlNode child = point.childAt(i);
    if (hasExactName(child, u"navPoint")) {
      children.push_back(child);
    } else if (hasExactName(child, u"navLabel")) {
      labels += u"|" + plain(child.findChild(u"text").firstText());
    } else if (hasExactName(child, u"content")) {
      src = child.attribute(u"src");
    }
  }
  for (const xml::CXmlNode& child : children) below += treeLines(child, depth + 1, lines);
  lines[at] = std::u16string(size_t(depth), u'>') + plain(point.attribute(u"id")) + u"|" +
              plain(point.attribute(u"class")) + u"|" + plain(point.attribute(u"playOrder")) +
              u"|" + number(below) + u"|" + plain(src) + labels;
  return 1 + below;
}

std::vector<std::u16string> treeLines(const char16_t* text) {
  std::vector<std::u16string> lines;
  const xml::CXmlNode map = xml::CXmlNode::parseDocument(text, u"ncx").findChild(u"navMap");
  for (int32_t i = 0; i < map.childCount(); ++i) {
    if (hasExactName(map.childAt(i), u"navPoint")) treeLines(map.childAt(i), 0, lines);
  }
  return lines;
}

// Every reader over the decoded bytes; each exact-size copy lets the
// sanitizer see a read past the input.
void readAll(const std::vector<uint8_t>& input) {
  const std::vector<uint8_t> bytes(input);
  PackageText text;
  decodePackageText(text, bytes.empty() ? nullptr : bytes.data(),
                    static_cast<uint32_t>(bytes.size()));
  ASSERT_TRUE(text.hasText);
  ASSERT_EQ(text.text[static_cast<size_t>(text.length)], u'\0');
  PackageLocation location;
  parseContainer(text.text.get(), location);
  PackageRecord record;
  parsePackageDocument(text.text.get(), record);
  for (const SpineEntry& entry : record.spine) {
    if (const ManifestItem* item = record.findManifestItem(entry.idref)) {
      resolvePath(location.opfDirectory, item->href);
    }
  }
  parseNcx(text.text.get(), record);
  EXPECT_EQ(countPoints(record.ncx, 0, record.ncx.points.size()), record.ncx.navPointCount);
  // The points read during the parse are those a walk of the tree finds.
  EXPECT_EQ(test::pointLines(record.ncx), treeLines(text.text.get()));
}

TEST(Randomized, MutatedPackageDocuments) {
  // The NCX reader's diagnostic would flood the output: send it nowhere.
  std::ostringstream sink;
  std::streambuf* saved = std::cout.rdbuf(sink.rdbuf());
  const auto seeds = seedDocuments();
  ASSERT_GE(seeds.size(), 9u);
  std::mt19937 rng(20240611);
  for (int i = 0; i < kIterations && !::testing::Test::HasFailure(); ++i) {
    const auto& seed = seeds[rng() % seeds.size()];
    readAll(mutate(seed, seeds, rng));
    if (i % 50 == 0) {  // pure noise now and then
      std::vector<uint8_t> noise(rng() % 512);
      for (auto& b : noise) b = uint8_t(rng());
      readAll(noise);
    }
    sink.str({});
  }
  std::cout.rdbuf(saved);
}

TEST(Randomized, PathsOfRandomText) {
  // Paths and hrefs built from the characters that matter to them.
  const char16_t alphabet[] = {u'/', u'.',  u'%',   u'+',   u'a',   u'B',   u'0', u'F',
                               u'#', u'\\', 0x00E9, 0xD800, 0xDC00, 0x0000, u'e', u'2'};
  std::mt19937 rng(7);
  for (int i = 0; i < kIterations * 5; ++i) {
    std::u16string base, href;
    for (size_t n = rng() % 12; n > 0; --n) base.push_back(alphabet[rng() % std::size(alphabet)]);
    for (size_t n = rng() % 16; n > 0; --n) href.push_back(alphabet[rng() % std::size(alphabet)]);
    const std::u16string resolved = resolvePath(base, href);
    // Built from segments, a result never starts or ends with "/".
    if (!href.empty() && href[0] != u'/' && !resolved.empty()) {
      ASSERT_NE(resolved.front(), u'/');
      ASSERT_NE(resolved.back(), u'/');
    }
    const std::u16string decoded = decodeHref(href);
    if (href.find(u'%') == std::u16string::npos) {
      ASSERT_EQ(decoded, href);
    }
    PackageLocation location;
    setPackageLocation(location, base);
    ASSERT_TRUE(location.opfDirectory.empty() || location.opfDirectory.back() == u'/');
  }
}

}  // namespace
}  // namespace epub::package
