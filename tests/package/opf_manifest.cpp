// OPF manifest, spine and guide: which children are kept, how ids and
// hrefs are stored, and which item is taken as the NCX.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/readers.h"

namespace epub::package {
namespace {

PackageRecord parse(const std::u16string& body) {
  const std::u16string text = u"<package version=\"2.0\">" + body + u"</package>";
  PackageRecord record;
  parsePackageDocument(text.c_str(), record);
  return record;
}

struct Item {
  std::u16string id, href, mediaType;
};

TEST(OpfManifest, Items) {
  struct Row {
    std::u16string manifest;
    std::vector<Item> items;  // every stored item, any order
  };
  const Row rows[] = {
      // Items are stored by id with their media type.
      {u"<item id=\"c1\" href=\"c1.xhtml\" media-type=\"application/xhtml+xml\"/>"
       u"<item id=\"css\" href=\"s.css\" media-type=\"text/css\"/>",
       {{u"c1", u"c1.xhtml", u"application/xhtml+xml"}, {u"css", u"s.css", u"text/css"}}},
      // The same id again replaces the earlier item.
      {u"<item id=\"c1\" href=\"a.xhtml\"/><item id=\"c1\" href=\"b.xhtml\"/>",
       {{u"c1", u"b.xhtml", u""}}},
      // Ids are case-sensitive: these are two items.
      {u"<item id=\"Ch1\" href=\"x.xhtml\"/><item id=\"ch1\" href=\"y.xhtml\"/>",
       {{u"Ch1", u"x.xhtml", u""}, {u"ch1", u"y.xhtml", u""}}},
      // Without id or href, or with one written without a value, the child
      // is skipped; an empty value counts as present.
      {u"<item href=\"a.xhtml\"/><item id=\"b\"/><item id=\"c\" href/><item id href=\"d\"/>"
       u"<item id=\"\" href=\"\"/>",
       {{u"", u"", u""}}},
      // Any element name will do; attribute names ignore letter case.
      {u"<resource ID=\"r\" HREF=\"r.png\" Media-Type=\"image/png\"/>",
       {{u"r", u"r.png", u"image/png"}}},
      // Hrefs are percent-decoded; "+" becomes a space only beside a "%".
      {u"<item id=\"a\" href=\"a%20b.xhtml\"/><item id=\"p\" href=\"a+b.xhtml\"/>"
       u"<item id=\"q\" href=\"a+b%2Bc.xhtml\"/><item id=\"e\" href=\"caf%C3%A9.xhtml\"/>",
       {{u"a", u"a b.xhtml", u""},
        {u"p", u"a+b.xhtml", u""},
        {u"q", u"a b+c.xhtml", u""},
        {u"e", u"caf\u00E9.xhtml", u""}}},
      // Entities in attribute values are decoded before the href is.
      {u"<item id=\"amp\" href=\"a&amp;b%21.xhtml\"/>", {{u"amp", u"a&b!.xhtml", u""}}},
      // Nested elements are not items.
      {u"<group><item id=\"n\" href=\"n.xhtml\"/></group>", {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("row " + std::to_string(&row - rows));
    const PackageRecord record = parse(u"<manifest>" + row.manifest + u"</manifest>");
    EXPECT_EQ(record.manifest.size(), row.items.size());
    for (const Item& want : row.items) {
      const ManifestItem* item = record.findManifestItem(want.id);
      ASSERT_NE(item, nullptr) << "id index " << (&want - row.items.data());
      EXPECT_EQ(item->id, want.id);
      EXPECT_EQ(item->href, want.href);
      EXPECT_EQ(item->mediaType, want.mediaType);
    }
  }
}

TEST(OpfManifest, NcxItem) {
  struct Row {
    std::u16string manifest;
    std::u16string ncxItemId, ncxItemHref;
  };
  const Row rows[] = {
      // The item with the NCX media type is noted, its href as written.
      {u"<item id=\"ncx\" href=\"toc%20x.ncx\" media-type=\"application/x-dtbncx+xml\"/>", u"ncx",
       u"toc%20x.ncx"},
      // The last such item wins.
      {u"<item id=\"n1\" href=\"a.ncx\" media-type=\"application/x-dtbncx+xml\"/>"
       u"<item id=\"n2\" href=\"b.ncx\" media-type=\"application/x-dtbncx+xml\"/>",
       u"n2", u"b.ncx"},
      // The media type compares exactly.
      {u"<item id=\"n\" href=\"a.ncx\" media-type=\"APPLICATION/X-DTBNCX+XML\"/>"
       u"<item id=\"m\" href=\"b.ncx\" media-type=\"application/x-dtbncx+xml \"/>",
       u"", u""},
      // A skipped child is not noted either.
      {u"<item id=\"n\" media-type=\"application/x-dtbncx+xml\"/>", u"", u""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("row " + std::to_string(&row - rows));
    const PackageRecord record = parse(u"<manifest>" + row.manifest + u"</manifest>");
    EXPECT_EQ(record.ncxItemId, row.ncxItemId);
    EXPECT_EQ(record.ncxItemHref, row.ncxItemHref);
  }
  // The NCX item's manifest entry itself has the decoded href.
  const PackageRecord record = parse(
      u"<manifest><item id=\"ncx\" href=\"toc%20x.ncx\" "
      u"media-type=\"application/x-dtbncx+xml\"/></manifest>");
  ASSERT_NE(record.findManifestItem(u"ncx"), nullptr);
  EXPECT_EQ(record.findManifestItem(u"ncx")->href, u"toc x.ncx");
}

TEST(OpfManifest, Spine) {
  struct Row {
    std::u16string spine;
    std::u16string toc;
    std::vector<SpineEntry> entries;
  };
  const Row rows[] = {
      // Entries keep document order, duplicates and linear as written.
      {u"<spine toc=\"ncx\"><itemref idref=\"a\"/><itemref idref=\"b\" linear=\"no\"/>"
       u"<itemref idref=\"a\"/></spine>",
       u"ncx",
       {{u"a", u""}, {u"b", u"no"}, {u"a", u""}}},
      // Any child with an idref is an entry; one without is skipped.
      {u"<spine><page idref=\"p\"/><itemref/><itemref idref/><itemref IDREF=\"q\"/></spine>",
       u"",
       {{u"p", u""}, {u"q", u""}}},
      // Ids missing from the manifest stay in the spine.
      {u"<spine><itemref idref=\"missing\"/></spine>", u"", {{u"missing", u""}}},
      // No spine: no toc, no entries; only the first spine is read.
      {u"", u"", {}},
      {u"<spine toc=\"t1\"/><spine toc=\"t2\"><itemref idref=\"x\"/></spine>", u"t1", {}},
      {u"<SPINE TOC=\"T\"><itemref idref=\"x\"/></SPINE>", u"T", {{u"x", u""}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("row " + std::to_string(&row - rows));
    const PackageRecord record = parse(row.spine);
    EXPECT_EQ(record.toc, row.toc);
    ASSERT_EQ(record.spine.size(), row.entries.size());
    for (size_t i = 0; i < row.entries.size(); ++i) {
      EXPECT_EQ(record.spine[i].idref, row.entries[i].idref);
      EXPECT_EQ(record.spine[i].linear, row.entries[i].linear);
    }
  }
}

// Spine entries find their items by exact id; ids not in the manifest find
// nothing and are passed over by every reader of the spine.
TEST(OpfManifest, SpineLookup) {
  const PackageRecord record = parse(
      u"<manifest><item id=\"Ch1\" href=\"one.xhtml\"/><item id=\"ch1\" href=\"two.xhtml\"/>"
      u"<item id=\"nohref\"/></manifest>"
      u"<spine><itemref idref=\"ch1\"/><itemref idref=\"CH1\"/>"
      u"<itemref idref=\"nohref\"/><itemref idref=\"Ch1\"/></spine>");
  std::vector<std::u16string> found;
  for (const SpineEntry& entry : record.spine) {
    const ManifestItem* item = record.findManifestItem(entry.idref);
    found.push_back(item ? item->href : u"-");
  }
  EXPECT_EQ(found, (std::vector<std::u16string>{u"two.xhtml", u"-", u"-", u"one.xhtml"}));
}

TEST(OpfManifest, Guide) {
  struct Row {
    std::u16string guide;
    std::vector<GuideReference> references;
  };
  const Row rows[] = {
      // References keep document order and their attributes as written.
      {u"<reference type=\"cover\" title=\"Cover\" href=\"cover.xhtml\"/>"
       u"<reference type=\"toc\" title=\"Contents\" href=\"toc.xhtml#a%20b\"/>",
       {{u"cover", u"Cover", u"cover.xhtml"}, {u"toc", u"Contents", u"toc.xhtml#a%20b"}}},
      // No child is skipped, whatever it lacks or is named.
      {u"<reference/><other TYPE=\"t\"/>", {{u"", u"", u""}, {u"t", u"", u""}}},
      {u"", {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("row " + std::to_string(&row - rows));
    const PackageRecord record = parse(u"<guide>" + row.guide + u"</guide>");
    ASSERT_EQ(record.guide.size(), row.references.size());
    for (size_t i = 0; i < row.references.size(); ++i) {
      EXPECT_EQ(record.guide[i].type, row.references[i].type);
      EXPECT_EQ(record.guide[i].title, row.references[i].title);
      EXPECT_EQ(record.guide[i].href, row.references[i].href);
    }
  }
}

// Sections are read independently: a missing manifest leaves the spine and
// guide intact, and sections are found in any order and letter case.
TEST(OpfManifest, SectionsInAnyOrder) {
  const PackageRecord record = parse(
      u"<GUIDE><reference type=\"x\"/></GUIDE><spine><itemref idref=\"a\"/></spine>"
      u"<Manifest><item id=\"a\" href=\"a.xhtml\"/></Manifest>");
  EXPECT_EQ(record.manifest.size(), 1u);
  EXPECT_EQ(record.spine.size(), 1u);
  EXPECT_EQ(record.guide.size(), 1u);
  const PackageRecord bare = parse(u"<spine><itemref idref=\"a\"/></spine>");
  EXPECT_TRUE(bare.manifest.empty());
  EXPECT_EQ(bare.findManifestItem(u"a"), nullptr);
  EXPECT_EQ(bare.spine.size(), 1u);
}

}  // namespace
}  // namespace epub::package

namespace epub::package {
namespace {

// The manifest's table over many ids: every id stored is found with its
// latest item, ids never stored are not, and an item stays where it was
// while the table grows around it.
TEST(OpfManifest, TableOfManyIds) {
  struct Row {
    int ids;      // distinct ids put, each twice when `again`
    bool again;   // each id put a second time, replacing the first item
    int reserve;  // room asked for first (0: none)
  };
  const Row rows[] = {
      // Growing from nothing, through many doublings.
      {50000, false, 0},
      // Replacing every item once, after all were put.
      {3000, true, 0},
      // A table sized ahead never needs to grow.
      {4096, false, 4096},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("row " + std::to_string(&row - rows));
    auto id = [](int i) {
      const std::string digits = std::to_string(i);
      return u"item" + std::u16string(digits.begin(), digits.end());
    };
    Manifest manifest;
    if (row.reserve > 0) manifest.reserve(size_t(row.reserve));
    manifest.put(ManifestItem{id(0), u"first", u""});
    const ManifestItem* first = manifest.find(id(0));
    ASSERT_NE(first, nullptr);
    for (int i = 1; i < row.ids; ++i) manifest.put(ManifestItem{id(i), u"h" + id(i), u"t"});
    if (row.again) {
      for (int i = 0; i < row.ids; ++i) manifest.put(ManifestItem{id(i), u"again", u"t2"});
    }
    EXPECT_EQ(manifest.size(), size_t(row.ids));
    // The first item was replaced where it stands, or left as it was.
    EXPECT_EQ(manifest.find(id(0)), first);
    EXPECT_EQ(first->href, row.again ? u"again" : u"first");
    for (int i = 1; i < row.ids; ++i) {
      const ManifestItem* item = manifest.find(id(i));
      ASSERT_NE(item, nullptr) << i;
      EXPECT_EQ(item->id, id(i));
      EXPECT_EQ(item->href, row.again ? u"again" : u"h" + id(i));
    }
    // Ids differing from stored ones by a prefix, a suffix or letter case.
    for (const std::u16string miss : {u"item", u"item1x", u"Item1", u"", u"tem1"}) {
      EXPECT_EQ(manifest.find(miss), nullptr);
    }
  }
}

}  // namespace
}  // namespace epub::package
