// The OPF package document: the package attributes, the metadata record with
// the element-name rules that decide which elements count, and the manifest,
// spine, guide and NCX item.
#include <gtest/gtest.h>

#include <string>

#include "package/readers.h"
#include "record_lines.h"

namespace epub::package {
namespace {

using test::Lines;

std::u16string pkg(const std::u16string& body) { return u"<package>" + body + u"</package>"; }
std::u16string md(const std::u16string& metadata) {
  return pkg(u"<metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">" + metadata +
             u"</metadata>");
}
// A package with the unique-identifier attribute `uid`.
std::u16string uid(const std::u16string& id, const std::u16string& metadata) {
  return u"<package unique-identifier=\"" + id + u"\"><metadata>" + metadata +
         u"</metadata></package>";
}

struct Row {
  std::u16string text;
  Lines lines;
};

void check(const Row* begin, const Row* end) {
  for (const Row* row = begin; row != end; ++row) {
    SCOPED_TRACE(testing::PrintToString(row->text));
    PackageRecord record;
    parsePackageDocument(row->text.c_str(), record);
    EXPECT_EQ(test::opfLines(record), row->lines);
  }
}

TEST(Opf, Metadata) {
  const Row rows[] = {
      // Package attributes as written; root and metadata found in any case.
      {u"<?xml version=\"1.0\"?><PACKAGE xmlns=\"http://www.idpf.org/2007/opf\" Version=\"3.0\" "
       u"UNIQUE-IDENTIFIER=\"id\"><METADATA><dc:title>U</dc:title></METADATA></PACKAGE>",
       {u"xmlns=http://www.idpf.org/2007/opf", u"version=3.0", u"uid=id", u"title=U"}},
      // Without a package element, or past the first metadata, nothing.
      {u"<other><metadata><dc:title>T</dc:title></metadata></other>", {}},
      {pkg(u"<metadata/><metadata><dc:title>late</dc:title></metadata>"), {}},
      {u"", {}},
      // Every dc element lands in the field of its name.
      {md(u"<dc:title>T</dc:title><dc:creator>C</dc:creator><dc:subject>S</dc:subject>"
          u"<dc:description>D</dc:description><dc:publisher>P</dc:publisher>"
          u"<dc:contributor>K</dc:contributor><dc:date>2001</dc:date><dc:type>Y</dc:type>"
          u"<dc:format>F</dc:format><dc:source>O</dc:source><dc:language>en</dc:language>"
          u"<dc:relation>R</dc:relation><dc:coverage>V</dc:coverage><dc:rights>G</dc:rights>"),
       {u"title=T", u"creator=C", u"subject=S", u"description=D", u"publisher=P", u"contributor=K",
        u"date=2001", u"type=Y", u"format=F", u"source=O", u"language=en", u"relation=R",
        u"coverage=V", u"rights=G"}},
      // The last element wins, even an empty one.
      {md(u"<dc:title>A</dc:title><dc:title>B</dc:title><dc:creator>A</dc:creator><dc:creator/>"
          u"<dc:rights>A</dc:rights><dc:rights>  </dc:rights>"),
       {u"title=B"}},
      // Names count as written: unprefixed, other case, another prefix or a
      // nested element set nothing; "dc:" is found anywhere in the name.
      {md(u"<title>X</title><DC:title>Y</DC:title><opf:meta name=\"title\" content=\"Z\"/>"
          u"<Meta name=\"type\" content=\"Z\"/><dc:dc:title>X</dc:dc:title><dc:Title>X</dc:Title>"
          u"<dc:titles>Y</dc:titles><group><dc:source>deep</dc:source></group>"),
       {}},
      {md(u"<xdc:title>X</xdc:title>"), {u"title=X"}},
      // A meta element sets any field through its name attribute.
      {md(u"<dc:title>X</dc:title><meta name=\"title\" content=\"Y\"/><meta name=\"cover\" "
          u"content=\"img\"/><meta NAME=\"language\" CONTENT=\"fr\"/><meta content=\"orphan\"/>"
          u"<meta name=\"rights\"/>"),
       {u"title=Y", u"language=fr"}},
      // Dates are dispatched on opf:event (its name in any case), compared
      // exactly; no other attribute counts.
      {md(u"<dc:date opf:event=\"creation\">c</dc:date><dc:date OPF:EVENT=\"modification\">m"
          u"</dc:date><meta name=\"date\" content=\"p\" opf:event=\"publication\"/>"),
       {u"date=p", u"creationDate=c", u"modificationDate=m"}},
      {md(u"<dc:date opf:event=\"Creation\">c</dc:date>"), {u"date=c"}},
      {md(u"<dc:date event=\"creation\">c</dc:date><meta name=\"date\" content=\"m\" "
          u"opf:event=\"modification\"/><dc:creator opf:role=\"aut\" id=\"x\">N</dc:creator>"),
       {u"creator=N", u"date=c", u"modificationDate=m"}},
      // The identifier whose id is the unique-identifier is the unique one;
      // ids compare exactly, and two empty ids are equal.
      {uid(u"BookId",
           u"<dc:identifier ID=\"BookId\">u</dc:identifier><dc:identifier "
           u"opf:scheme=\"ISBN\">978</dc:identifier>"),
       {u"uid=BookId", u"identifier=978", u"uniqueIdentifier=u"}},
      {uid(u"BookId", u"<dc:identifier id=\"bookid\">u</dc:identifier>"),
       {u"uid=BookId", u"identifier=u"}},
      {md(u"<dc:identifier>u</dc:identifier>"), {u"uniqueIdentifier=u"}},
      {uid(u"", u"<meta name=\"identifier\" content=\"u\" id=\"\"/>"), {u"uniqueIdentifier=u"}},
      // Only the first text item counts; CDATA is not text; entities decode.
      {md(u"<dc:description>a<b>x</b>c</dc:description><dc:title><![CDATA[cdata]]></dc:title>"
          u"<dc:rights>  &#169; A &amp; B  </dc:rights>"),
       {u"description=a", u"rights=\u00A9 A & B"}},
  };
  check(std::begin(rows), std::end(rows));
}

TEST(Opf, ManifestSpineAndGuide) {
  const Row rows[] = {
      // Items stored by exact id, the same id again replacing the item; a
      // spine entry finds its item, or none, and stays either way, in order,
      // duplicates and linear kept.
      {pkg(u"<manifest><item id=\"c1\" href=\"a.xhtml\" media-type=\"t\"/><item id=\"c1\" "
           u"href=\"b.xhtml\"/><item id=\"Ch1\" href=\"x\" media-type=\"text/css\"/></manifest>"
           u"<spine toc=\"ncx\"><itemref idref=\"c1\"/><itemref idref=\"ch1\" linear=\"no\"/>"
           u"<itemref idref=\"Ch1\"/><itemref idref=\"c1\"/></spine>"),
       {u"items=2", u"toc=ncx", u"spine c1 -> b.xhtml ", u"spine ch1 no -> none",
        u"spine Ch1 -> x text/css", u"spine c1 -> b.xhtml "}},
      // Any element names will do, attribute names ignore case; a child
      // without id or href, or with one written without a value, is skipped,
      // while an empty value counts; nested elements are no items.
      {pkg(u"<MANIFEST><resource ID=\"r\" HREF=\"r.png\" Media-Type=\"image/png\"/><item "
           u"href=\"a\"/>"
           u"<item id=\"b\"/><item id=\"c\" href/><item id href=\"d\"/><item id=\"\" href=\"\"/>"
           u"<group><item id=\"n\" href=\"n\"/></group></MANIFEST><SPINE><page IDREF=\"r\"/>"
           u"<itemref/><itemref idref/><itemref idref=\"\"/><itemref idref=\"b\"/>"
           u"<itemref idref=\"n\"/></SPINE>"),
       {u"items=2", u"spine r -> r.png image/png", u"spine  ->  ", u"spine b -> none",
        u"spine n -> none"}},
      // Hrefs are percent-decoded after entities; "+" is a space only beside
      // a "%".
      {pkg(u"<manifest><item id=\"a\" href=\"a%20b+c&amp;%21.xhtml\"/><item id=\"p\" "
           u"href=\"a+b.xhtml\"/></manifest><spine><itemref idref=\"a\"/><itemref idref=\"p\"/>"
           u"</spine>"),
       {u"items=2", u"spine a -> a b c&!.xhtml ", u"spine p -> a+b.xhtml "}},
      // The last item with exactly the NCX media type is the NCX item, its
      // href as written; its manifest entry is decoded.
      {pkg(u"<manifest><item id=\"n1\" href=\"a.ncx\" media-type=\"application/x-dtbncx+xml\"/>"
           u"<item id=\"n2\" href=\"t%20x.ncx\" media-type=\"application/x-dtbncx+xml\"/>"
           u"<item id=\"n3\" href=\"b.ncx\" media-type=\"APPLICATION/X-DTBNCX+XML\"/>"
           u"<item id=\"n4\" media-type=\"application/x-dtbncx+xml\"/></manifest>"
           u"<spine toc=\"n3\"><itemref idref=\"n2\"/></spine>"),
       {u"items=3", u"ncx=n2 t%20x.ncx", u"toc=n3",
        u"spine n2 -> t x.ncx application/x-dtbncx+xml"}},
      // Only the first spine and guide are read; guide references keep
      // their attributes as written, and no child is skipped.
      {pkg(u"<guide><reference type=\"toc\" title=\"Contents\" href=\"toc.xhtml#a%20b\"/>"
           u"<reference/><other TYPE=\"t\"/></guide><guide><reference type=\"late\"/></guide>"
           u"<spine toc=\"t1\"/><spine toc=\"t2\"><itemref idref=\"x\"/></spine>"),
       {u"toc=t1", u"guide toc|Contents|toc.xhtml#a%20b", u"guide ||", u"guide t||"}},
  };
  check(std::begin(rows), std::end(rows));
}

// The manifest over many ids: each id is found with its latest item, ids
// never stored are not, and an item stays where it was while the table grows
// around it (the spine's items are pointers into it).
TEST(Opf, ManifestOfManyIds) {
  struct Size {
    int ids;
    bool again;   // every id put a second time, replacing the first item
    int reserve;  // room asked for first
  };
  for (const Size& size : {Size{50000, false, 0}, Size{3000, true, 0}, Size{4096, false, 4096}}) {
    SCOPED_TRACE(size.ids);
    auto id = [](int i) { return u"item" + test::number(size_t(i)); };
    Manifest manifest;
    manifest.reserve(size_t(size.reserve));
    manifest.put(ManifestItem{id(0), u"first", u""});
    const ManifestItem* first = manifest.find(id(0));
    for (int i = 1; i < size.ids; ++i) manifest.put(ManifestItem{id(i), u"h" + id(i), u""});
    for (int i = 0; size.again && i < size.ids; ++i) manifest.put(ManifestItem{id(i), u"2", u""});
    EXPECT_EQ(manifest.size(), size_t(size.ids));
    EXPECT_EQ(manifest.find(id(0)), first);
    EXPECT_EQ(first->href, size.again ? u"2" : u"first");
    for (int i = 1; i < size.ids; ++i) {
      const ManifestItem* item = manifest.find(id(i));
      ASSERT_NE(item, nullptr) << i;
      ASSERT_EQ(item->href, size.again ? u"2" : u"h" + id(i)) << i;
    }
    for (const char16_t* miss : {u"item", u"item1x", u"Item1", u"", u"tem1"}) {
      EXPECT_EQ(manifest.find(miss), nullptr);
    }
  }
}

}  // namespace
}  // namespace epub::package
