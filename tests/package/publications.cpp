// Generated publications read end to end at the package level: container,
// OPF and NCX through decoding and the readers, compared with what the
// generator was told (the facts file beside each .epub).
#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <vector>

#include "package/package_text.h"
#include "package/readers.h"
#include "support/epub_archive.h"
#include "support/facts.h"

namespace epub::package {
namespace {

using epub::testing::EpubArchive;
using epub::testing::Facts;
using epub::testing::fromUtf8;

const std::string kFixtures = std::string(EPUB_BINARY_DIR) + "/fixtures/";

// Decodes the file's bytes and hands the text to `reader`.
template <class Reader>
void withText(const std::vector<uint8_t>& bytes, Reader reader) {
  PackageText text;
  decodePackageText(text, bytes.data(), static_cast<uint32_t>(bytes.size()));
  ASSERT_TRUE(text.hasText);
  reader(text.text.get());
}

// "depth|label|src" for every navigation point, in pre-order: the points
// from `first` up to `end` on one level, each followed by its descendants.
void flatten(const NcxRecord& n, size_t first, size_t end, int depth,
             std::vector<std::u16string>& out) {
  for (size_t i = first; i < end; i = n.after(i)) {
    const NavigationPoint& p = n.points[i];
    out.push_back(fromUtf8(std::to_string(depth)) + u"|" +
                  (p.labelCount == 0 ? u"" : std::u16string(n.labelsOf(p)[0])) + u"|" +
                  p.contentSrc);
    flatten(n, i + 1, n.after(i), depth + 1, out);
  }
}

TEST(Publications, ReadMatchesWhatTheGeneratorWasTold) {
  // One row per generated publication: OPF in a subfolder, a table of
  // contents nested five deep, and a hand-built one with its OPF at the
  // root in UTF-16, a Windows-1252 NCX, escaped hrefs and a dangling idref.
  const char* const names[] = {"plain", "deep", "handmade"};
  for (const char* name : names) {
    SCOPED_TRACE(name);
    const auto facts = Facts::read(kFixtures + name + ".facts");
    ASSERT_TRUE(facts.has_value());
    const Facts& f = *facts;
    EpubArchive archive(kFixtures + name + ".epub");
    ASSERT_TRUE(archive.isOpen());

    // Container: the package document's path and folder.
    const auto container = archive.read(std::string_view("META-INF/container.xml"));
    ASSERT_TRUE(container.has_value());
    PackageLocation location;
    bool found = false;
    withText(*container, [&](const char16_t* text) { found = parseContainer(text, location); });
    ASSERT_TRUE(found);
    EXPECT_EQ(location.opfPath, f.one("opf_path"));
    EXPECT_EQ(location.rootfileMediaType, u"application/oebps-package+xml");

    // OPF: metadata, then the spine through the manifest.
    const auto opf = archive.read(std::u16string_view(location.opfPath));
    ASSERT_TRUE(opf.has_value());
    PackageRecord record;
    record.opfBytes = opf->data();
    record.opfLength = static_cast<uint32_t>(opf->size());
    withText(*opf, [&](const char16_t* text) { parsePackageDocument(text, record); });
    const Metadata& m = record.metadata;
    EXPECT_EQ(m[kTitle], f.one("title"));
    EXPECT_EQ(m[kCreator], f.all("authors").back());  // the last creator wins
    EXPECT_EQ(m[kLanguage], f.one("language"));
    EXPECT_EQ(m[kUniqueIdentifier], f.one("identifier"));
    EXPECT_EQ(m[kIdentifier], f.one("other_identifier"));

    std::vector<std::u16string> idrefs, hrefs;
    for (const SpineEntry& entry : record.spine) {
      idrefs.push_back(entry.idref);
      if (const ManifestItem* item = record.findManifestItem(entry.idref)) {
        hrefs.push_back(item->href);
        // Every resolved spine document is in the archive under that path.
        EXPECT_TRUE(archive.read(resolvePath(location.opfDirectory, item->href)).has_value())
            << "missing " << epub::testing::toUtf8(item->href);
      }
    }
    EXPECT_EQ(idrefs, f.all("spine_idrefs"));
    EXPECT_EQ(hrefs, f.all("spine"));

    // NCX: found as the open step finds it, then title, authors and map.
    std::u16string ncxHref = record.ncxItemHref;
    if (ncxHref.empty()) {
      if (const ManifestItem* toc = record.findManifestItem(record.toc)) ncxHref = toc->href;
    }
    const std::u16string ncxPath = resolvePath(location.opfDirectory, ncxHref);
    EXPECT_EQ(ncxPath, f.one("ncx_path"));
    const auto ncx = archive.read(std::u16string_view(ncxPath));
    ASSERT_TRUE(ncx.has_value());
    ::testing::internal::CaptureStdout();
    withText(*ncx, [&](const char16_t* text) { parseNcx(text, record); });
    std::cout.flush();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");  // every fixture has a head

    const NcxRecord& n = record.ncx;
    EXPECT_EQ(n.docTitle.third, f.one("title"));
    std::vector<std::u16string> authors;
    for (const StringTriple& a : n.docAuthors) authors.push_back(a.third);
    EXPECT_EQ(authors, f.all("ncx_authors"));

    std::vector<std::u16string> toc, expected;
    flatten(n, 0, n.points.size(), 0, toc);
    for (const std::u16string& entry : f.all("toc")) {
      const auto e = epub::testing::fields(entry);  // depth, label, src
      expected.push_back(e.at(0) + u"|" + e.at(1) + u"|" + e.at(2));
    }
    EXPECT_EQ(toc, expected);
    EXPECT_EQ(n.navPointCount, static_cast<int32_t>(expected.size()));
  }
}

}  // namespace
}  // namespace epub::package
