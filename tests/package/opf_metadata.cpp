// OPF metadata: the package attributes and the metadata record, with the
// element-name rules that decide which elements count.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "package/readers.h"

namespace epub::package {
namespace {

using Fields = std::vector<std::pair<MetadataField, std::u16string>>;

// The record that parsing `metadata` inside a package element with the
// given unique-identifier attribute gives, compared field by field with the
// expected non-empty ones.
void expectMetadata(const std::u16string& packageAttributes, const std::u16string& metadata,
                    const Fields& expected) {
  const std::u16string text = u"<?xml version=\"1.0\"?><package " + packageAttributes +
                              u"><metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
                              u"xmlns:opf=\"http://www.idpf.org/2007/opf\">" +
                              metadata + u"</metadata></package>";
  PackageRecord record;
  parsePackageDocument(text.c_str(), record);
  Metadata want;
  for (const auto& [field, value] : expected) want[field] = value;
  for (int f = 0; f < kMetadataFieldCount; ++f) {
    EXPECT_EQ(record.metadata[f], want[f]) << "field " << f;
  }
}

TEST(OpfMetadata, Fields) {
  struct Row {
    std::u16string packageAttributes;
    std::u16string metadata;
    Fields expected;
  };
  const Row rows[] = {
      // Every dc element lands in the field of its name.
      {u"",
       u"<dc:title>T</dc:title><dc:creator>C</dc:creator><dc:subject>S</dc:subject>"
       u"<dc:description>D</dc:description><dc:publisher>P</dc:publisher>"
       u"<dc:contributor>K</dc:contributor><dc:date>2001</dc:date><dc:type>Y</dc:type>"
       u"<dc:format>F</dc:format><dc:source>O</dc:source><dc:language>en</dc:language>"
       u"<dc:relation>R</dc:relation><dc:coverage>V</dc:coverage><dc:rights>G</dc:rights>",
       {{kTitle, u"T"},
        {kCreator, u"C"},
        {kSubject, u"S"},
        {kDescription, u"D"},
        {kPublisher, u"P"},
        {kContributor, u"K"},
        {kDate, u"2001"},
        {kType, u"Y"},
        {kFormat, u"F"},
        {kSource, u"O"},
        {kLanguage, u"en"},
        {kRelation, u"R"},
        {kCoverage, u"V"},
        {kRights, u"G"}}},
      // The last element wins, even when it is empty.
      {u"", u"<dc:title>A</dc:title><dc:title>B</dc:title>", {{kTitle, u"B"}}},
      {u"", u"<dc:creator>A</dc:creator><dc:creator/>", {}},
      {u"", u"<dc:creator>A</dc:creator><dc:creator>   </dc:creator>", {}},
      // Names count as written: unprefixed, other letter case or another
      // prefix set nothing.
      {u"", u"<title>X</title><DC:title>Y</DC:title><opf:meta name=\"title\" content=\"Z\"/>", {}},
      {u"", u"<Meta name=\"title\" content=\"Z\"/><META name=\"title\" content=\"Z\"/>", {}},
      // "dc:" is found anywhere in the name; the key is what follows it.
      {u"", u"<xdc:title>X</xdc:title>", {{kTitle, u"X"}}},
      {u"", u"<dc:dc:title>X</dc:dc:title>", {}},
      {u"", u"<dc:Title>X</dc:Title><dc:titles>Y</dc:titles>", {}},
      // A meta element sets any field through its name attribute.
      {u"", u"<dc:title>X</dc:title><meta name=\"title\" content=\"Y\"/>", {{kTitle, u"Y"}}},
      {u"",
       u"<meta name=\"cover\" content=\"img\"/><meta name=\"language\" content=\"fr\"/>",
       {{kLanguage, u"fr"}}},
      {u"", u"<meta NAME=\"publisher\" CONTENT=\"Pub\"/>", {{kPublisher, u"Pub"}}},
      {u"", u"<meta content=\"orphan\"/><meta name=\"rights\"/>", {}},
      // Dates are dispatched on opf:event, compared exactly.
      {u"",
       u"<dc:date opf:event=\"creation\">c</dc:date>"
       u"<dc:date opf:event=\"modification\">m</dc:date>"
       u"<dc:date opf:event=\"publication\">p</dc:date>",
       {{kCreationDate, u"c"}, {kModificationDate, u"m"}, {kDate, u"p"}}},
      {u"", u"<dc:date opf:event=\"Creation\">c</dc:date>", {{kDate, u"c"}}},
      {u"", u"<dc:date OPF:EVENT=\"creation\">c</dc:date>", {{kCreationDate, u"c"}}},
      {u"", u"<dc:date event=\"creation\">c</dc:date>", {{kDate, u"c"}}},
      {u"",
       u"<meta name=\"date\" content=\"d\" opf:event=\"modification\"/>",
       {{kModificationDate, u"d"}}},
      // The identifier whose id matches unique-identifier is the unique one.
      {u"unique-identifier=\"BookId\"",
       u"<dc:identifier id=\"BookId\">urn:1</dc:identifier>"
       u"<dc:identifier opf:scheme=\"ISBN\">978</dc:identifier>",
       {{kUniqueIdentifier, u"urn:1"}, {kIdentifier, u"978"}}},
      {u"unique-identifier=\"BookId\"",
       u"<dc:identifier id=\"bookid\">urn:1</dc:identifier>",
       {{kIdentifier, u"urn:1"}}},
      {u"UNIQUE-IDENTIFIER=\"B\"",
       u"<dc:identifier ID=\"B\">u</dc:identifier>",
       {{kUniqueIdentifier, u"u"}}},
      // Two empty ids are equal: no id and no unique-identifier match.
      {u"", u"<dc:identifier>urn:2</dc:identifier>", {{kUniqueIdentifier, u"urn:2"}}},
      {u"unique-identifier=\"\"",
       u"<dc:identifier id=\"\">u</dc:identifier>",
       {{kUniqueIdentifier, u"u"}}},
      {u"unique-identifier=\"BookId\"",
       u"<dc:identifier>urn:3</dc:identifier>",
       {{kIdentifier, u"urn:3"}}},
      // Only the first text item counts; CDATA is not text; entities decode.
      {u"", u"<dc:description>a<b>x</b>c</dc:description>", {{kDescription, u"a"}}},
      {u"", u"<dc:title><![CDATA[cdata]]></dc:title>", {}},
      {u"", u"<dc:title>  A &amp; B  </dc:title>", {{kTitle, u"A & B"}}},
      {u"", u"<dc:rights>&#169; 2020</dc:rights>", {{kRights, u"\u00A9 2020"}}},
      // Elements nested deeper than metadata's children are not visited.
      {u"", u"<group><dc:title>deep</dc:title></group>", {}},
      // Other attributes change nothing.
      {u"",
       u"<dc:creator opf:role=\"aut\" opf:file-as=\"X\">Name</dc:creator>",
       {{kCreator, u"Name"}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("row " + std::to_string(&row - rows));
    expectMetadata(row.packageAttributes, row.metadata, row.expected);
  }
}

TEST(OpfMetadata, PackageElement) {
  struct Row {
    std::u16string text;
    std::u16string xmlns, version, uniqueIdentifierId, title;
  };
  const Row rows[] = {
      // The package attributes are kept as written.
      {u"<package xmlns=\"http://www.idpf.org/2007/opf\" version=\"2.0\" "
       u"unique-identifier=\"id\"><metadata><dc:title>T</dc:title></metadata></package>",
       u"http://www.idpf.org/2007/opf", u"2.0", u"id", u"T"},
      // The root and the metadata element are found in any letter case.
      {u"<?xml version=\"1.0\"?><PACKAGE Version=\"3.0\"><METADATA><dc:title>U</dc:title>"
       u"</METADATA></PACKAGE>",
       u"", u"3.0", u"", u"U"},
      // Only the first metadata element is read.
      {u"<package><metadata/><metadata><dc:title>late</dc:title></metadata></package>", u"", u"",
       u"", u""},
      // Without a package element nothing is filled.
      {u"<other><metadata><dc:title>T</dc:title></metadata></other>", u"", u"", u"", u""},
      {u"", u"", u"", u"", u""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("row " + std::to_string(&row - rows));
    PackageRecord record;
    parsePackageDocument(row.text.c_str(), record);
    EXPECT_EQ(record.xmlns, row.xmlns);
    EXPECT_EQ(record.version, row.version);
    EXPECT_EQ(record.uniqueIdentifierId, row.uniqueIdentifierId);
    EXPECT_EQ(record.metadata[kTitle], row.title);
  }
}

}  // namespace
}  // namespace epub::package
