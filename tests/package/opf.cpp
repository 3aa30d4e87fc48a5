// The OPF package document: package attributes, metadata with the name rules
// that decide which elements count, manifest, spine, guide and NCX item.
#include <gtest/gtest.h>

#include "package/readers.h"
#include "record_text.h"

namespace epub::package {
namespace {

std::u16string pkg(const std::u16string& body) { return u"<package>" + body + u"</package>"; }
// Metadata in a package with the given attributes.
std::u16string md(const std::u16string& metadata, const std::u16string& attributes = u"") {
  return u"<package" + attributes + u"><metadata>" + metadata + u"</metadata></package>";
}

TEST(Opf, Records) {
  const std::u16string rows[][2] = {
      // Package attributes as written; root and metadata found in any case.
      {u"<?xml version='1.0'?><PACKAGE xmlns='http://www.idpf.org/2007/opf' Version='3.0' "
       u"UNIQUE-IDENTIFIER='id'><METADATA><dc:title>U</dc:title></METADATA></PACKAGE>",
       u"xmlns=http://www.idpf.org/2007/opf; version=3.0; uid=id; title=U"},
      // Without a package element, or past the first metadata, nothing.
      {u"<other><metadata><dc:title>T</dc:title></metadata></other>", u""},
      {pkg(u"<metadata/><metadata><dc:title>late</dc:title></metadata>"), u""},
      // Every dc element lands in the field of its name.
      {md(u"<dc:title>T</dc:title><dc:creator>C</dc:creator><dc:subject>S</dc:subject>"
          u"<dc:description>D</dc:description><dc:publisher>P</dc:publisher>"
          u"<dc:contributor>K</dc:contributor><dc:date>2001</dc:date><dc:type>Y</dc:type>"
          u"<dc:format>F</dc:format><dc:source>O</dc:source><dc:language>en</dc:language>"
          u"<dc:relation>R</dc:relation><dc:coverage>V</dc:coverage><dc:rights>G</dc:rights>"),
       u"title=T; creator=C; subject=S; description=D; publisher=P; contributor=K; date=2001; "
       u"type=Y; format=F; source=O; language=en; relation=R; coverage=V; rights=G"},
      // The last element wins, even an empty one.
      {md(u"<dc:title>A</dc:title><dc:title>B</dc:title><dc:creator>A</dc:creator><dc:creator/>"
          u"<dc:rights>A</dc:rights><dc:rights>  </dc:rights>"),
       u"title=B"},
      // Names as written (no other case or prefix, not nested); "dc:" anywhere in the name.
      {md(u"<title>X</title><DC:title>Y</DC:title><opf:meta name='title' content='Z'/><Meta "
          u"name='type' content='Z'/><dc:dc:title>X</dc:dc:title><dc:Title>X</dc:Title>"
          u"<dc:titles>Y</dc:titles><group><dc:source>deep</dc:source></group>"
          u"<xdc:language>X</xdc:language>"),
       u"language=X"},
      // A meta element sets any field through its name attribute.
      {md(u"<dc:title>X</dc:title><meta name='title' content='Y'/><meta name='cover' "
          u"content='img'/><meta NAME='language' CONTENT='fr'/><meta content='orphan'/>"
          u"<meta name='rights'/>"),
       u"title=Y; language=fr"},
      // Dates go by opf:event (its value exact); no other attribute counts.
      {md(u"<dc:date opf:event='creation'>c</dc:date><dc:date OPF:EVENT='modification'>m"
          u"</dc:date><meta name='date' content='p' opf:event='publication'/>"),
       u"date=p; creationDate=c; modificationDate=m"},
      {md(u"<dc:date opf:event='Creation'>c</dc:date><dc:date event='creation'>e</dc:date><meta "
          u"name='date' content='m' opf:event='modification'/><dc:creator opf:role='aut' "
          u"id='x'>N</dc:creator>"),
       u"creator=N; date=e; modificationDate=m"},
      // The identifier whose id (exact, empty too) is the unique-identifier.
      {md(u"<dc:identifier ID='BookId'>u</dc:identifier><dc:identifier opf:scheme='x'>978"
          u"</dc:identifier>",
          u" unique-identifier='BookId'"),
       u"uid=BookId; identifier=978; uniqueIdentifier=u"},
      {md(u"<dc:identifier id='bookid'>u</dc:identifier>", u" unique-identifier='BookId'"),
       u"uid=BookId; identifier=u"},
      {md(u"<dc:identifier>u</dc:identifier>"), u"uniqueIdentifier=u"},
      {md(u"<meta name='identifier' content='u' id=''/>", u" unique-identifier=''"),
       u"uniqueIdentifier=u"},
      // Only the first text item counts; CDATA is not text; entities decode.
      {md(u"<dc:description>a<b>x</b>c</dc:description><dc:title><![CDATA[cdata]]></dc:title>"
          u"<dc:rights>  &#169; A &amp; B  </dc:rights>"),
       u"description=a; rights=\u00A9 A & B"},
      // Items by exact id, the later replacing; spine entries in order, duplicates kept.
      {pkg(u"<manifest><item id='c1' href='a.xhtml' media-type='t'/><item id='c1' "
           u"href='b.xhtml'/><item id='Ch1' href='x' media-type='text/css'/></manifest>"
           u"<spine toc='ncx'><itemref idref='c1'/><itemref idref='ch1' linear='no'/>"
           u"<itemref idref='Ch1'/><itemref idref='c1'/></spine>"),
       u"items=2; toc=ncx; spine c1 -> b.xhtml ; spine ch1 no -> none; spine Ch1 -> x text/css; "
       u"spine c1 -> b.xhtml "},
      // Any element, attributes in any case; no id, href or idref (or no value) skips it.
      {pkg(u"<MANIFEST><resource ID='r' HREF='r.png' Media-Type='image/png'/><item href='a'/>"
           u"<item id='b'/><item id='c' href/><item id href='d'/><item id='' href=''/><group>"
           u"<item id='n' href='n'/></group></MANIFEST><SPINE><page IDREF='r'/><itemref/>"
           u"<itemref idref/><itemref idref=''/><itemref idref='b'/><itemref idref='n'/></SPINE>"),
       u"items=2; spine r -> r.png image/png; spine  ->  ; spine b -> none; spine n -> none"},
      // Hrefs are percent-decoded after entities, "+" only beside a "%".
      {pkg(u"<manifest><item id='a' href='a%20b+c&amp;%21.xhtml'/><item id='p' href='a+b.xhtml'/>"
           u"</manifest><spine><itemref idref='a'/><itemref idref='p'/></spine>"),
       u"items=2; spine a -> a b c&!.xhtml ; spine p -> a+b.xhtml "},
      // The last item with exactly the NCX media type, its href as written.
      {pkg(u"<manifest><item id='n1' href='a.ncx' media-type='application/x-dtbncx+xml'/>"
           u"<item id='n2' href='t%20x.ncx' media-type='application/x-dtbncx+xml'/>"
           u"<item id='n3' href='b.ncx' media-type='APPLICATION/X-DTBNCX+XML'/>"
           u"<item id='n4' media-type='application/x-dtbncx+xml'/></manifest>"
           u"<spine toc='n3'><itemref idref='n2'/></spine>"),
       u"items=3; ncx=n2 t%20x.ncx; toc=n3; spine n2 -> t x.ncx application/x-dtbncx+xml"},
      // The first spine and guide only; no guide child is skipped.
      {pkg(u"<guide><reference type='toc' title='Contents' href='toc.xhtml#a%20b'/><reference/>"
           u"<other TYPE='t'/></guide><guide><reference type='late'/></guide><spine toc='t1'/>"
           u"<spine toc='t2'><itemref idref='x'/></spine>"),
       u"toc=t1; guide toc|Contents|toc.xhtml#a%20b; guide ||; guide t||"},
  };
  for (const auto& [text, expected] : rows) {
    SCOPED_TRACE(testing::PrintToString(text));
    PackageRecord record;
    parsePackageDocument(test::handedOver(text), record);
    EXPECT_EQ(test::opfText(record), expected);
  }
}

// Thousands of items, each id twice (the second replacing the first), then
// more added afterwards: the index grows around the entries already there.
TEST(Opf, ManyItems) {
  std::u16string items;
  for (size_t i = 0; i < 3000; ++i) {
    const std::u16string id = u"i" + test::number(i);
    items += u"<item id='" + id + u"' href='x'/><item id='" + id + u"' href='" + id + u"'/>";
  }
  PackageRecord record;
  parsePackageDocument(test::handedOver(pkg(u"<manifest>" + items + u"</manifest>")), record);
  for (size_t i = 3000; i < 9000; ++i) addManifestItem(record, u"i" + test::number(i), u"y", u"");
  ASSERT_EQ(record.manifest.size(), 9000u);
  for (size_t i = 0; i < 9000; ++i) {
    const std::u16string id = u"i" + test::number(i);
    const ManifestItem* item = record.findManifestItem(id);
    ASSERT_TRUE(item && item->href == (i < 3000 ? id : u"y") && !record.findManifestItem(u"I" + id))
        << i;
  }
}

}  // namespace
}  // namespace epub::package
