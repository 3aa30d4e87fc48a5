// The NCX: head metas and the diagnostic for a missing head, title and
// authors, and the navigation map with its exactly-named elements.
#include <gtest/gtest.h>

#include <iostream>
#include <string>

#include "package/package_text.h"
#include "package/readers.h"
#include "record_lines.h"

namespace epub::package {
namespace {

using test::Lines;

// The record's lines, and "stdout=..." for what the reader printed. The text
// is read twice: lent and then overwritten, and handed over, as the open
// step does; the points' strings must outlive a lent text.
Lines read(const std::u16string& text) {
  auto parse = [](xml::XmlText xmlText, PackageRecord& record) {
    testing::internal::CaptureStdout();
    parseNcx(std::move(xmlText), record);
    std::cout.flush();
    return testing::internal::GetCapturedStdout();
  };
  PackageRecord lent, owned;
  std::u16string copy = text;
  const std::string printedLent = parse(copy.c_str(), lent);
  copy.assign(copy.size(), u'X');
  TextBuffer buffer = zeroedText(text.size() + 1);
  text.copy(buffer.get(), text.size());
  const std::string printed = parse(xml::XmlText(std::move(buffer), text.size()), owned);
  EXPECT_EQ(printedLent, printed);
  Lines lines = test::ncxLines(owned.ncx);
  EXPECT_EQ(test::ncxLines(lent.ncx), lines);
  if (!printed.empty())
    lines.push_back(u"stdout=" + std::u16string(printed.begin(), printed.end()));
  return lines;
}

const std::u16string kStart = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><ncx version=\"2005-1\">";
const std::u16string kHead = u"<head><meta name=\"m\" content=\"c\"/></head>";
std::u16string ncx(const std::u16string& body) { return kStart + body + u"</ncx>"; }
std::u16string doc(const std::u16string& body) { return ncx(kHead + body); }
std::u16string nav(const std::u16string& map) { return doc(u"<navMap>" + map + u"</navMap>"); }

struct Row {
  std::u16string text;
  Lines lines;
};

TEST(Ncx, HeadAndDiagnostic) {
  const Row rows[] = {
      // Each child of head is stored under its name attribute; the same name
      // again replaces, names differing in case are two keys.
      {ncx(u"<head><meta name=\"a\" content=\"1\"/><meta name=\"a\" content=\"2\"/>"
           u"<meta name=\"A\" content=\"3\"/><meta name=\"d\" content=\"4\"/></head>"),
       {u"meta A=3", u"meta a=2", u"meta d=4"}},
      // Any element counts as a meta; attribute names ignore case, missing
      // ones read as empty. Only the first head is read.
      {ncx(u"<HEAD><smil:x NAME=\"n\" CONTENT=\"c\"/><meta/></HEAD><head><meta "
           u"name=\"y\"/></head>"),
       {u"meta =", u"meta n=c"}},
      // A navPoint there is a meta too, not a point, whatever lies below it.
      {ncx(u"<head><navPoint name=\"n\" content=\"c\"><navPoint name=\"inner\"/>"
           u"<navLabel><text>L</text></navLabel></navPoint></head>"),
       {u"meta n=c"}},
      // No head, a head without child elements, no text or no XML: the
      // diagnostic, without a line end; the rest is still read.
      {ncx(u"<docTitle><text>T</text></docTitle>"), {u"title=T", u"stdout=head count == 0"}},
      {ncx(u"<head>text only</head>"), {u"stdout=head count == 0"}},
      {u"", {u"stdout=head count == 0"}},
      {u"<<<", {u"stdout=head count == 0"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.text));
    EXPECT_EQ(read(row.text), row.lines);
  }
}

TEST(Ncx, TitleAuthorsAndMap) {
  const Row rows[] = {
      // Title and every author in document order; names ignore letter case,
      // text is trimmed and entity-decoded.
      {doc(u"<DOCTITLE><TEXT>  Tom &amp; Jerry </TEXT></DOCTITLE><docAuthor><text>A</text>"
           u"</docAuthor><DocAuthor><Text>B</Text></DocAuthor><docAuthor><text>C</text></"
           u"docAuthor>"),
       {u"title=Tom & Jerry", u"author=A", u"author=B", u"author=C"}},
      // A docAuthor without text is an empty author.
      {doc(u"<docAuthor/><docAuthor><text>B</text></docAuthor><docAuthor><text/></docAuthor>"),
       {u"author=", u"author=B", u"author="}},
      // Only the first text child and its first text item count; navPoints
      // outside the map are no points.
      {doc(u"<docTitle><text>a<navPoint id=\"p\"><text>in</text></navPoint>b</text><text>2</text>"
           u"</docTitle><docAuthor><navPoint/><text>A</text></docAuthor>"),
       {u"title=a", u"author=A"}},
      {doc(u"<docTitle>bare</docTitle><navMap><docAuthor><text>N</text></docAuthor></navMap>"), {}},
      // Nested points: descendant counts at every level, attributes and src
      // as written (fragment and escapes kept, playOrder as text).
      {nav(u"<navPoint id=\"p1\" class=\"chapter\" playOrder=\"1\">"
           u"<navLabel><text>One</text></navLabel><content src=\"c1.xhtml\"/>"
           u"<navPoint id=\"p2\" playOrder=\"2\"><navLabel><text>Two</text></navLabel>"
           u"<content src=\"c1.xhtml#s2\"/><navPoint id=\"p3\"><content src=\"c1.xhtml#s3\"/>"
           u"</navPoint></navPoint><navPoint id=\"p4\" playOrder=\"04\"><content "
           u"src=\"c%202.xhtml\"/>"
           u"</navPoint></navPoint><navPoint id=\"p5\" playOrder=\"x\"/>"),
       {u"p1|chapter|1|3|c1.xhtml|One", u">p2||2|1|c1.xhtml#s2|Two", u">>p3|||0|c1.xhtml#s3",
        u">p4||04|0|c%202.xhtml", u"p5||x|0|", u"count=5"}},
      // Every label is kept in order around other children; the last content
      // child wins.
      {nav(u"<navPoint id=\"a\"><navLabel><text>L1</text></navLabel><content src=\"1.xhtml\"/>"
           u"<navLabel><text>L2</text></navLabel><navPoint id=\"b\"/><navLabel><text>L3</text>"
           u"</navLabel><navLabel><text>L4</text></navLabel><navLabel/><content src=\"2.xhtml\"/>"
           u"</navPoint>"),
       {u"a|||1|2.xhtml|L1|L2|L3|L4|", u">b|||0|", u"count=2"}},
      // Navigation names are exact: another letter case is skipped with all
      // below it, while attribute names still ignore case.
      {nav(u"<NavPoint id=\"gone\"><navPoint id=\"child\"/></NavPoint>"
           u"<navPoint ID=\"k\" PLAYORDER=\"7\" CLASS=\"c\"><NavLabel><text>no</text></NavLabel>"
           u"<Content src=\"no.xhtml\"/><navpoint id=\"no\"/><content "
           u"SRC=\"yes.xhtml\"/></navPoint>"),
       {u"k|c|7|0|yes.xhtml", u"count=1"}},
      // Labels and infos of the map itself; unknown children are skipped,
      // inside a point too.
      {nav(u"<navInfo><text>I</text></navInfo><navLabel><text>M</text></navLabel><pageList/>"
           u"<navLabel><text>M2</text></navLabel><NavInfo><text>no</text></NavInfo>"
           u"<navPoint id=\"a\"><extra><navPoint id=\"hidden\"/></extra><navInfo/></navPoint>"),
       {u"label=M", u"label=M2", u"info=I", u"a|||0|", u"count=1"}},
      {nav(u""), {}},
      // Only the root's first navMap child (in any letter case) gives
      // points, not one nested elsewhere or inside a point.
      {doc(u"<docTitle><navMap><navPoint id=\"n\"/></navMap></docTitle><navmap><navPoint id=\"a\">"
           u"<navMap><navPoint id=\"in\"/></navMap></navPoint><navPoint id=\"b\"/></navmap>"
           u"<navMap><navPoint id=\"late\"/></navMap>"),
       {u"a|||0|", u"b|||0|", u"count=2"}},
      // Points whose elements end without their own end tag, closed by a
      // misnested end tag or by the end of the text, even inside a start tag.
      {kStart + kHead +
           u"<navMap><navPoint id=a><navLabel><text>A</text></navLabel>"
           u"<navPoint id=b playOrder=2><content src=b.xhtml></navMap></ncx>",
       {u"a|||1||A", u">b||2|0|b.xhtml", u"count=2"}},
      {kStart + kHead +
           u"<navMap><navPoint id=\"a\"><content src=\"a.xhtml\"/><navPoint id=\"b\">"
           u"<navLabel><text>B",
       {u"a|||1|a.xhtml", u">b|||0||B", u"count=2"}},
      {kStart + kHead + u"<navMap><navPoint id=\"a\"><navPoint id=\"b\" class=c",
       {u"a|||1|", u">b|c||0|", u"count=2"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.text));
    Lines want = {u"meta m=c"};
    want.insert(want.end(), row.lines.begin(), row.lines.end());
    EXPECT_EQ(read(row.text), want);
  }
}

// More points than a page of the points array holds, more label pointers
// than a pool block, and one point with more labels than a quarter block.
TEST(Ncx, ManyPointsAndLabels) {
  std::u16string map;
  Lines want = {u"meta m=c"};
  for (size_t i = 0; i < 5000; ++i) {
    const std::u16string id = test::number(i), src(i % 40, char16_t(u'a' + i % 26));
    map += u"<navPoint id=\"" + id + u"\"><content src=\"" + src + u"\"/>";
    want.push_back(id + u"|||0|" + src);
    for (size_t k = 0; k < (i == 7 ? 1100 : i % 3); ++k) {
      map += u"<navLabel><text>" + id + u"</text></navLabel>";
      want.back() += u"|" + id;
    }
    map += u"</navPoint>";
  }
  want.push_back(u"count=5000");
  EXPECT_EQ(read(nav(map)), want);
}

// A map nested a hundred thousand levels deep is read completely and
// released without exhausting the call stack.
TEST(Ncx, VeryDeepNesting) {
  constexpr size_t kDepth = 100000;
  std::u16string map;
  for (size_t i = 0; i < kDepth; ++i) map += u"<navPoint><content src=\"a\"/>";
  for (size_t i = 0; i < kDepth; ++i) map += u"</navPoint>";
  PackageRecord record;
  testing::internal::CaptureStdout();
  parseNcx(nav(map).c_str(), record);
  testing::internal::GetCapturedStdout();
  const NcxRecord& n = record.ncx;
  ASSERT_EQ(n.points.size(), kDepth);
  EXPECT_EQ(n.navPointCount, int32_t(kDepth));
  for (size_t i = 0; i < kDepth; ++i) {
    ASSERT_EQ(size_t(n.points[i].descendantCount), kDepth - 1 - i) << "point " << i;
    ASSERT_EQ(std::u16string_view(n.points[i].contentSrc), u"a") << "point " << i;
  }
}

}  // namespace
}  // namespace epub::package
