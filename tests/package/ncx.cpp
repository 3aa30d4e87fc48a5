// The NCX: head metas, the diagnostic for a missing head, title, authors,
// and the navigation map with its exactly-named elements.
#include <gtest/gtest.h>

#include <iostream>

#include "package/package_text.h"
#include "package/readers.h"
#include "record_text.h"

namespace epub::package {
namespace {

// The record as text, then "stdout=..." for what the reader printed.
std::u16string read(const std::u16string& text) {
  PackageRecord record;
  testing::internal::CaptureStdout();
  parseNcx(test::handedOver(text), record);
  std::cout.flush();
  const std::string printed = testing::internal::GetCapturedStdout();
  return test::join(
      {test::ncxText(record.ncx), printed.empty() ? u"" : u"stdout=" + test::str(printed)});
}

const std::u16string kStart = u"<?xml version='1.0' encoding='UTF-8'?><ncx version='2005-1'>";
const std::u16string kHead = u"<head><meta name='m' content='c'/></head>";
std::u16string ncx(const std::u16string& body) { return kStart + body + u"</ncx>"; }
std::u16string doc(const std::u16string& body) { return ncx(kHead + body); }
std::u16string nav(const std::u16string& map) { return doc(u"<navMap>" + map + u"</navMap>"); }
// A map left open, the document ending inside it.
std::u16string open(const std::u16string& map) { return kStart + kHead + u"<navMap>" + map; }

TEST(Ncx, Records) {
  const std::u16string rows[][2] = {
      // Any child of the first head, a navPoint too, is a meta by exact name, the last winning.
      {ncx(u"<HEAD><meta name='a' content='1'/><meta name='a' content='2'/><smil:x NAME='A' "
           u"CONTENT='3'/><meta/><navPoint name='n' content='c'><navPoint name='inner'/>"
           u"<navLabel><text>L</text></navLabel></navPoint></HEAD><head><meta name='y'/></head>"),
       u"meta =; meta A=3; meta a=2; meta n=c"},
      // No head, an empty one, no text or no XML: the diagnostic, no line end.
      {ncx(u"<docTitle><text>T</text></docTitle>"), u"title=T; stdout=head count == 0"},
      {ncx(u"<head>text only</head>"), u"stdout=head count == 0"},
      {u"<<<", u"stdout=head count == 0"},
      // Title and every author, in order; names ignore case; text is decoded.
      {doc(u"<DOCTITLE><TEXT>  Tom &amp; Jerry </TEXT></DOCTITLE><docAuthor><text>A</text>"
           u"</docAuthor><DocAuthor><Text>B</Text></DocAuthor><docAuthor/><docAuthor><text/>"
           u"</docAuthor>"),
       u"meta m=c; title=Tom & Jerry; author=A; author=B; author=; author="},
      // A first text child's first text item, only where expected: no points out of the map.
      {doc(u"<docTitle><text>a<navPoint id='p'><text>in</text></navPoint>b</text><text>2</text>"
           u"</docTitle><docAuthor><navPoint/><text>A</text></docAuthor><navMap><docAuthor>"
           u"<text>N</text></docAuthor></navMap>"),
       u"meta m=c; title=a; author=A"},
      {doc(u"<docTitle>bare</docTitle><navMap/>"), u"meta m=c"},
      // Nested points: descendants at every level; attributes and src as written.
      {nav(u"<navPoint id='p1' class='chapter' playOrder='1'><navLabel><text>One</text></navLabel>"
           u"<content src='c1.xhtml'/><navPoint id='p2' playOrder='2'><navLabel><text>Two</text>"
           u"</navLabel><content src='c1.xhtml#s2'/><navPoint id='p3'><content src='c1.xhtml#s3'/>"
           u"</navPoint></navPoint><navPoint id='p4' playOrder='04'><content src='c%202.xhtml'/>"
           u"</navPoint></navPoint><navPoint id='p5' playOrder='x'/>"),
       u"meta m=c; p1|chapter|1|3|c1.xhtml|One; >p2||2|1|c1.xhtml#s2|Two; >>p3|||0|c1.xhtml#s3; "
       u">p4||04|0|c%202.xhtml; p5||x|0|; count=5"},
      // Every label is kept, in order; the last content child wins.
      {nav(u"<navPoint id='a'><navLabel><text>L1</text></navLabel><content src='1.xhtml'/>"
           u"<navLabel><text>L2</text></navLabel><navPoint id='b'/><navLabel><text>L3</text>"
           u"</navLabel><navLabel><text>L4</text></navLabel><navLabel/><content src='2.xhtml'/>"
           u"</navPoint>"),
       u"meta m=c; a|||1|2.xhtml|L1|L2|L3|L4|; >b|||0|; count=2"},
      // Exact navigation names (not attributes), others skipped whole; the map's labels, infos.
      {nav(u"<NavPoint id='gone'><navPoint id='child'/></NavPoint><navPoint ID='k' PLAYORDER='7' "
           u"CLASS='c'><NavLabel><text>no</text></NavLabel><Content src='no'/><navpoint id='no'/>"
           u"<extra><navPoint id='hidden'/></extra><navInfo/><content SRC='yes.xhtml'/></navPoint>"
           u"<navInfo><text>I</text></navInfo><navLabel><text>M</text></navLabel><pageList/>"
           u"<navLabel><text>M2</text></navLabel><NavInfo><text>no</text></NavInfo>"),
       u"meta m=c; label=M; label=M2; info=I; k|c|7|0|yes.xhtml; count=1"},
      // Only the root's first navMap child, in any letter case, gives points.
      {doc(u"<docTitle><navMap><navPoint id='n'/></navMap></docTitle><navmap><navPoint id='a'>"
           u"<navMap><navPoint id='in'/></navMap></navPoint><navPoint id='b'/></navmap>"
           u"<navMap><navPoint id='late'/></navMap>"),
       u"meta m=c; a|||0|; b|||0|; count=2"},
      // Points closed by a misnested end tag or by the end of the text.
      {open(u"<navPoint id=a><navLabel><text>A</text></navLabel><navPoint id=b playOrder=2>"
            u"<content src=b.xhtml></navMap></ncx>"),
       u"meta m=c; a|||1||A; >b||2|0|b.xhtml; count=2"},
      {open(u"<navPoint id='a'><content src='a'/><navPoint id='b'><navLabel><text>B"),
       u"meta m=c; a|||1|a; >b|||0||B; count=2"},
      {open(u"<navPoint id='a'><navPoint id='b' class=c"), u"meta m=c; a|||1|; >b|c||0|; count=2"},
  };
  for (const auto& [text, expected] : rows) {
    SCOPED_TRACE(testing::PrintToString(text));
    EXPECT_EQ(read(text), expected);
  }
}

// Pages of points, blocks of label pointers, a point with 1,100 labels; a map
// nested 100,000 deep, read and released within the call stack.
TEST(Ncx, ManyPointsAndLabelsAndDeepNesting) {
  std::u16string map, expected = u"meta m=c";
  for (size_t i = 0; i < 5000; ++i) {
    const std::u16string id = test::number(i), src(i % 40, char16_t(u'a' + i % 26));
    map += u"<navPoint id='" + id + u"'><content src='" + src + u"'/>";
    expected += u"; " + id + u"|||0|" + src;
    for (size_t k = 0; k < (i == 7 ? 1100 : i % 3); ++k) {
      map += u"<navLabel><text>" + id + u"</text></navLabel>";
      expected += u"|" + id;
    }
    map += u"</navPoint>";
  }
  EXPECT_EQ(read(nav(map)), expected + u"; count=5000");
  constexpr size_t kDepth = 100000;
  map.clear();
  for (size_t i = 0; i < kDepth; ++i) map += u"<navPoint><content src='a'/>";
  for (size_t i = 0; i < kDepth; ++i) map += u"</navPoint>";
  PackageRecord record;
  parseNcx(test::handedOver(nav(map)), record);
  ASSERT_EQ(record.ncx.points.size(), kDepth);
  for (size_t i = 0; i < kDepth; ++i) {
    const NavigationPoint& p = record.ncx.points[i];
    ASSERT_TRUE(p.descendantCount == int(kDepth - 1 - i) && test::str(p.contentSrc) == u"a") << i;
  }
}

}  // namespace
}  // namespace epub::package
