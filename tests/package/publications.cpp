// Generated publications read end to end at the package level: container,
// OPF and NCX through decoding and the readers, as the open step chains
// them, compared with what the generator was told (the facts file beside
// each .epub).
#include <gtest/gtest.h>

#include <iostream>

#include "package/package_text.h"
#include "package/readers.h"
#include "record_lines.h"
#include "support/epub_archive.h"
#include "support/facts.h"

namespace epub::package {
namespace {

using epub::testing::fields;

// The file decoded; empty when the archive lacks it.
PackageText decoded(const epub::testing::EpubArchive& archive, std::u16string_view path,
                    std::vector<uint8_t>& bytes) {
  bytes = archive.read(path).value_or(std::vector<uint8_t>{});
  EXPECT_FALSE(bytes.empty()) << ::testing::PrintToString(std::u16string(path));
  PackageText text;
  decodePackageText(text, bytes.data(), uint32_t(bytes.size()));
  return text;
}

// One publication with its OPF in a subfolder, one with a table of contents
// nested five deep, and a hand-built one with its OPF at the root in
// UTF-16, a Windows-1252 NCX, escaped hrefs and a dangling idref.
TEST(Publications, ReadMatchesWhatTheGeneratorWasTold) {
  for (const char* name : {"plain", "deep", "handmade"}) {
    SCOPED_TRACE(name);
    const std::string base = std::string(EPUB_BINARY_DIR) + "/fixtures/" + name;
    const auto facts = epub::testing::Facts::read(base + ".facts");
    ASSERT_TRUE(facts.has_value());
    const epub::testing::EpubArchive archive(base + ".epub");
    std::vector<uint8_t> bytes;

    PackageLocation location;
    ASSERT_TRUE(
        parseContainer(decoded(archive, u"META-INF/container.xml", bytes).text.get(), location));
    EXPECT_EQ(location.opfPath, facts->one("opf_path"));

    PackageRecord record;
    parsePackageDocument(decoded(archive, location.opfPath, bytes).text.get(), record);
    const Metadata& m = record.metadata;
    EXPECT_EQ(m[kTitle], facts->one("title"));
    EXPECT_EQ(m[kCreator], facts->all("authors").back());  // the last creator wins
    EXPECT_EQ(m[kLanguage], facts->one("language"));
    EXPECT_EQ(m[kUniqueIdentifier], facts->one("identifier"));
    EXPECT_EQ(m[kIdentifier], facts->one("other_identifier"));
    std::vector<std::u16string> idrefs, hrefs;
    for (const SpineEntry& entry : record.spine) idrefs.push_back(entry.idref);
    for (const ManifestItem* item : record.spineItems) {
      hrefs.push_back(item->href);
      // Every resolved spine document is in the archive under that path.
      EXPECT_TRUE(archive.read(resolvePath(location.opfDirectory, item->href)).has_value());
    }
    EXPECT_EQ(idrefs, facts->all("spine_idrefs"));
    EXPECT_EQ(hrefs, facts->all("spine"));

    // The NCX is the NCX item's href as written, or else the toc's item's.
    std::u16string ncxHref = record.ncxItemHref;
    const ManifestItem* toc = record.findManifestItem(record.toc);
    if (ncxHref.empty() && toc) ncxHref = toc->href;
    const std::u16string ncxPath = resolvePath(location.opfDirectory, ncxHref);
    EXPECT_EQ(ncxPath, facts->one("ncx_path"));
    ::testing::internal::CaptureStdout();
    parseNcx(decoded(archive, ncxPath, bytes).text.get(), record);
    std::cout.flush();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");  // every fixture has a head
    const NcxRecord& n = record.ncx;
    EXPECT_EQ(n.docTitle.third, facts->one("title"));
    std::vector<std::u16string> authors, points, expected;
    for (const StringTriple& a : n.docAuthors) authors.push_back(a.third);
    EXPECT_EQ(authors, facts->all("ncx_authors"));
    // The points' depths, first labels and srcs in pre-order.
    for (const std::u16string& line : test::ncxLines(n, true)) {
      if (line.starts_with(u"count=")) continue;
      const size_t depth = line.find_first_not_of(u'>');
      std::vector<std::u16string> f(1);  // id, class, playOrder, descendants, src, labels
      for (char16_t c : line.substr(depth)) c == u'|' ? (void)f.emplace_back() : f.back().push_back(c);
      points.push_back(test::number(depth) + u"|" + (f.size() > 5 ? f[5] : u"") + u"|" + f[4]);
    }
    for (const std::u16string& entry : facts->all("toc")) {
      const auto e = fields(entry);  // depth, label, src
      expected.push_back(e.at(0) + u"|" + e.at(1) + u"|" + e.at(2));
    }
    EXPECT_EQ(points, expected);
    EXPECT_EQ(n.navPointCount, int32_t(expected.size()));
  }
}

}  // namespace
}  // namespace epub::package
