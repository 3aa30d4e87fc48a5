// Randomized robustness: mutated and truncated container, OPF and NCX
// documents (from the texts below and the generated publications) and random
// bytes go through decoding and every reader. Nothing may crash, hang or
// leak, and the points the NCX reader reads as the parse completes them must
// be those a walk of the finished tree finds.
#include <gtest/gtest.h>

#include <iostream>
#include <random>
#include <sstream>

#include "package/package_text.h"
#include "package/readers.h"
#include "package/xml_values.h"
#include "record_lines.h"
#include "support/epub_archive.h"

namespace epub::package {
namespace {

using test::Lines;
using test::str;

#ifdef EPUB_SANITIZED
constexpr int kIterations = 2500;
#else
constexpr int kIterations = 20000;
#endif

using Bytes = std::vector<uint8_t>;

Bytes bytesOf(std::string_view s) { return {s.begin(), s.end()}; }

std::vector<Bytes> seedDocuments() {
  std::vector<Bytes> seeds = {
      bytesOf("<?xml version=\"1.0\"?><container><rootfiles><rootfile full-path=\"OEBPS/c.opf\" "
              "media-type=\"application/oebps-package+xml\"/></rootfiles></container>"),
      bytesOf("<?xml version=\"1.0\" encoding=\"UTF-8\"?><package unique-identifier=\"id\">"
              "<metadata><dc:title>T &amp; U</dc:title><dc:identifier id=\"id\">u</dc:identifier>"
              "<meta name=\"title\" content=\"M\"/><dc:date opf:event=\"creation\">d</dc:date>"
              "</metadata><manifest><item id=\"a\" href=\"a%20b.xhtml\"/><item id=\"n\" "
              "href=\"t.ncx\" media-type=\"application/x-dtbncx+xml\"/></manifest><spine toc=\"n\">"
              "<itemref idref=\"a\"/><itemref idref=\"z\"/></spine><guide><reference type=\"t\"/>"
              "</guide></package>"),
      bytesOf("<?xml version=\"1.0\"?><ncx><head><meta name=\"a\" content=\"b\"/></head>"
              "<docTitle><text>T</text></docTitle><docAuthor><text>A</text></docAuthor>"
              "<navMap><navLabel><text>L</text></navLabel><navPoint id=\"1\" playOrder=\"1\">"
              "<navLabel><text>One</text></navLabel><content src=\"a.xhtml#x\"/><navPoint "
              "id=\"2\"><content src=\"b\"/><navPoint id=\"3\"/></navPoint></navPoint>"
              "<navInfo><text>I</text></navInfo></navMap></ncx>"),
  };
  // The generated publications' package files, in their own encodings.
  for (const char* name : {"plain", "deep", "handmade"}) {
    epub::testing::EpubArchive archive(std::string(EPUB_BINARY_DIR) + "/fixtures/" + name +
                                       ".epub");
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

Bytes mutate(Bytes doc, const std::vector<Bytes>& all, std::mt19937& rng) {
  auto pick = [&](size_t n) { return n == 0 ? size_t{0} : size_t(rng() % n); };
  auto insert = [&](size_t at, const Bytes& from, size_t limit) {
    const size_t start = pick(from.size() + 1), n = std::min(from.size() - start, pick(limit) + 1);
    const Bytes piece(from.begin() + long(start), from.begin() + long(start + n));
    doc.insert(doc.begin() + long(at), piece.begin(), piece.end());
  };
  for (int steps = 1 + int(rng() % 4); steps > 0; --steps) {
    const size_t at = pick(doc.size() + 1);
    switch (rng() % 6) {
      case 0:  // flip a byte
        if (!doc.empty()) doc[pick(doc.size())] = uint8_t(rng());
        break;
      case 1:  // truncate
        doc.resize(at);
        break;
      case 2:  // delete a range
        doc.erase(doc.begin() + long(at),
                  doc.begin() + long(std::min(doc.size(), at + pick(64) + 1)));
        break;
      case 3:  // duplicate a range (nests elements)
        insert(at, Bytes(doc), 200);
        break;
      case 4:  // splice in part of another document, or a token
        insert(at, all[pick(all.size())], 300);
        break;
      default:
        insert(at, bytesOf(kTokens[pick(std::size(kTokens))]), 100);
        break;
    }
  }
  return doc;
}

// The points as a walk of the finished tree finds them with the tree's own
// queries: navPoint children named exactly, a label's first text child's
// first text, the last content child's src. Returns the number of points.
size_t walk(const xml::CXmlNode& parent, size_t depth, Lines& lines) {
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
  Lines tree;
  const xml::CXmlNode map =
      xml::CXmlNode::parseDocument(text.text.get(), u"ncx").findChild(u"navMap");
  if (const size_t count = walk(map, 0, tree)) tree.push_back(u"count=" + test::number(count));
  EXPECT_EQ(test::ncxLines(record.ncx, true), tree);
}

TEST(Randomized, MutatedPackageDocuments) {
  // The NCX reader's diagnostic would flood the output: send it nowhere.
  std::ostringstream sink;
  std::streambuf* saved = std::cout.rdbuf(sink.rdbuf());
  const auto seeds = seedDocuments();
  ASSERT_GE(seeds.size(), 9u);
  std::mt19937 rng(20240611);
  for (int i = 0; i < kIterations && !::testing::Test::HasFailure(); ++i) {
    readAll(mutate(seeds[rng() % seeds.size()], seeds, rng));
    if (i % 50 == 0) {  // pure noise now and then
      Bytes noise(rng() % 512);
      for (auto& b : noise) b = uint8_t(rng());
      readAll(noise);
    }
    sink.str({});
  }
  std::cout.rdbuf(saved);
}

// Paths and hrefs of the characters that matter to them: a result built from
// segments never starts or ends with "/", an href without "%" decodes to
// itself, and the OPF folder is empty or ends with "/".
TEST(Randomized, PathsOfRandomText) {
  const char16_t alphabet[] = {u'/', u'.',  u'%',   u'+',   u'a',   u'B',   u'0', u'F',
                               u'#', u'\\', 0x00E9, 0xD800, 0xDC00, 0x0000, u'e', u'2'};
  std::mt19937 rng(7);
  auto text = [&](size_t most) {
    std::u16string s(rng() % most, u' ');
    for (char16_t& c : s) c = alphabet[rng() % std::size(alphabet)];
    return s;
  };
  for (int i = 0; i < kIterations * 5; ++i) {
    const std::u16string base = text(12), href = text(16), resolved = resolvePath(base, href);
    if (!href.starts_with(u'/') && !resolved.empty()) {
      ASSERT_TRUE(resolved.front() != u'/' && resolved.back() != u'/')
          << ::testing::PrintToString(href);
    }
    const std::u16string decoded = decodeHref(href);
    if (href.find(u'%') == std::u16string::npos) {
      ASSERT_EQ(decoded, href);
    }
    PackageLocation location;
    setPackageLocation(location, base);
    ASSERT_TRUE(location.opfDirectory.empty() || location.opfDirectory.ends_with(u'/'));
  }
}

}  // namespace
}  // namespace epub::package
