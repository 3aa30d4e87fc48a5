// The NCX: head metas and the diagnostic for a missing head, title and
// authors, and the navigation map with its exactly-named elements.
#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <vector>

#include "ncx_lines.h"
#include "package/package_text.h"
#include "package/readers.h"

namespace epub::package {
namespace {

struct Parsed {
  PackageRecord record;
  std::string printed;  // what the reader wrote to standard output
};

Parsed parseCapturing(const std::u16string& text) {
  Parsed parsed;
  testing::internal::CaptureStdout();
  parseNcx(text.c_str(), parsed.record);
  std::cout.flush();
  parsed.printed = testing::internal::GetCapturedStdout();
  return parsed;
}

std::u16string ncx(const std::u16string& body) {
  return u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
         u"<ncx xmlns=\"http://www.daisy.org/z3986/2005/ncx/\" version=\"2005-1\">" +
         body + u"</ncx>";
}

const std::u16string kHead = u"<head><meta name=\"dtb:uid\" content=\"u\"/></head>";

TEST(Ncx, HeadMetasAndDiagnostic) {
  struct Row {
    std::u16string text;
    std::vector<StringTriple> metas;  // every stored meta, any order
    std::string printed;
  };
  const Row rows[] = {
      // Each child of head is stored under its name attribute.
      {ncx(u"<head><meta name=\"dtb:uid\" content=\"u1\"/><meta name=\"dtb:depth\" "
           u"content=\"2\"/></head>"),
       {{u"dtb:uid", u"u1", u""}, {u"dtb:depth", u"2", u""}},
       ""},
      // The same name again replaces; names differing in case are two keys.
      {ncx(u"<head><meta name=\"a\" content=\"1\"/><meta name=\"a\" content=\"2\"/>"
           u"<meta name=\"A\" content=\"3\"/></head>"),
       {{u"a", u"2", u""}, {u"A", u"3", u""}},
       ""},
      // Any element counts as a meta; missing attributes read as empty.
      {ncx(u"<head><smil:x NAME=\"n\" CONTENT=\"c\"/><meta/></head>"),
       {{u"n", u"c", u""}, {u"", u"", u""}},
       ""},
      // A navPoint there too, its attributes read after the navigation
      // points below it.
      {ncx(u"<head><navPoint name=\"n\" content=\"c\"><navPoint name=\"inner\"/>"
           u"<navLabel><text>L</text></navLabel></navPoint></head>"),
       {{u"n", u"c", u""}},
       ""},
      // No head, or a head without child elements: the diagnostic, no line end.
      {ncx(u"<docTitle><text>T</text></docTitle>"), {}, "head count == 0"},
      {ncx(u"<head>text only</head>"), {}, "head count == 0"},
      {u"", {}, "head count == 0"},
      {u"<<<", {}, "head count == 0"},
      // Only the first head is read.
      {ncx(u"<HEAD><meta name=\"x\" content=\"1\"/></HEAD><head><meta name=\"y\"/></head>"),
       {{u"x", u"1", u""}},
       ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("row " + std::to_string(&row - rows));
    const Parsed parsed = parseCapturing(row.text);
    EXPECT_EQ(parsed.printed, row.printed);
    const auto& metas = parsed.record.ncx.metas;
    EXPECT_EQ(metas.size(), row.metas.size());
    for (const StringTriple& want : row.metas) {
      const auto it = metas.find(want.first);
      ASSERT_NE(it, metas.end());
      EXPECT_EQ(it->second.first, want.first);
      EXPECT_EQ(it->second.second, want.second);
      EXPECT_EQ(it->second.third, u"");
    }
  }
}

TEST(Ncx, TitleAndAuthors) {
  struct Row {
    std::u16string body;
    std::u16string title;
    std::vector<std::u16string> authors;
  };
  const Row rows[] = {
      // Title and every author, in document order.
      {u"<docTitle><text>The Book</text></docTitle><docAuthor><text>A</text></docAuthor>"
       u"<docAuthor><text>B</text></docAuthor><docAuthor><text>C</text></docAuthor>",
       u"The Book",
       {u"A", u"B", u"C"}},
      // Names ignore letter case here; the text is trimmed and decoded.
      {u"<DOCTITLE><TEXT>  Tom &amp; Jerry </TEXT></DOCTITLE><DocAuthor><Text>X</Text></DocAuthor>",
       u"Tom & Jerry",
       {u"X"}},
      // A docAuthor without text still counts, as an empty author.
      {u"<docAuthor/><docAuthor><text>B</text></docAuthor><docAuthor><text/></docAuthor>",
       u"",
       {u"", u"B", u""}},
      // Only the first text child and its first text item are read.
      {u"<docTitle><text>one</text><text>two</text></docTitle>", u"one", {}},
      {u"<docTitle><text>a<b/>c</text></docTitle>", u"a", {}},
      {u"<docTitle>bare</docTitle>", u"", {}},
      {u"<docTitle><text>a<navPoint id=\"p\"><text>in</text></navPoint>b</text></docTitle>"
       u"<docAuthor><navPoint/><text>A</text></docAuthor>",
       u"a",
       {u"A"}},
      // Elements deeper than the root's children are not titles or authors.
      {u"<navMap><docAuthor><text>N</text></docAuthor></navMap>", u"", {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("row " + std::to_string(&row - rows));
    const Parsed parsed = parseCapturing(ncx(kHead + row.body));
    const NcxRecord& n = parsed.record.ncx;
    EXPECT_EQ(n.docTitle.first, u"");
    EXPECT_EQ(n.docTitle.second, u"");
    EXPECT_EQ(n.docTitle.third, row.title);
    std::vector<std::u16string> authors;
    for (const StringTriple& a : n.docAuthors) {
      EXPECT_TRUE(a.first.empty() && a.second.empty());
      authors.push_back(a.third);
    }
    EXPECT_EQ(authors, row.authors);
  }
}

// The indexes of the points on one level: from `first` up to `end`, each
// after the previous one's descendants.
std::vector<size_t> pointsOnLevel(const NcxRecord& n, size_t first, size_t end) {
  std::vector<size_t> level;
  for (size_t i = first; i < end; i = n.after(i)) level.push_back(i);
  return level;
}

// The indexes of the children of point i.
std::vector<size_t> childrenOf(const NcxRecord& n, size_t i) {
  return pointsOnLevel(n, i + 1, n.after(i));
}

TEST(Ncx, NavigationMap) {
  struct Row {
    std::u16string navMap;
    std::vector<std::u16string> points;
    int32_t count;
    std::vector<std::u16string> mapLabels, infos;
  };
  const Row rows[] = {
      // Nested points: counts at every level, attributes as written.
      {u"<navPoint id=\"p1\" class=\"chapter\" playOrder=\"1\">"
       u"<navLabel><text>One</text></navLabel><content src=\"c1.xhtml\"/>"
       u"<navPoint id=\"p2\" playOrder=\"2\"><navLabel><text>Two</text></navLabel>"
       u"<content src=\"c1.xhtml#s2\"/>"
       u"<navPoint id=\"p3\" playOrder=\"3\"><content src=\"c1.xhtml#s3\"/></navPoint></navPoint>"
       u"<navPoint id=\"p4\" playOrder=\"04\"><content src=\"c%202.xhtml\"/></navPoint></navPoint>"
       u"<navPoint id=\"p5\" playOrder=\"x\"/>",
       {u"p1|chapter|1|3|c1.xhtml|One", u">p2||2|1|c1.xhtml#s2|Two", u">>p3||3|0|c1.xhtml#s3",
        u">p4||04|0|c%202.xhtml", u"p5||x|0|"},
       5,
       {},
       {}},
      // Two labels are both kept; the last content child wins.
      {u"<navPoint id=\"a\"><navLabel><text>L1</text></navLabel><navLabel><text>L2</text>"
       u"</navLabel><content src=\"first.xhtml\"/><content src=\"second.xhtml\"/></navPoint>",
       {u"a|||0|second.xhtml|L1|L2"},
       1,
       {},
       {}},
      // Navigation names are exact: other letter case is skipped with all
      // below it, while attribute names still ignore case.
      {u"<NavPoint id=\"gone\"><navPoint id=\"child\"/></NavPoint>"
       u"<navPoint ID=\"k\" PLAYORDER=\"7\" CLASS=\"c\"><NavLabel><text>no</text></NavLabel>"
       u"<Content src=\"no.xhtml\"/><navpoint id=\"no\"/><content SRC=\"yes.xhtml\"/></navPoint>",
       {u"k|c|7|0|yes.xhtml"},
       1,
       {},
       {}},
      // Labels and infos of the map itself; unknown children are skipped.
      {u"<navInfo><text>I</text></navInfo><navLabel><text>M</text></navLabel>"
       u"<pageList/><navLabel><text>M2</text></navLabel><NavInfo><text>no</text></NavInfo>",
       {},
       0,
       {u"M", u"M2"},
       {u"I"}},
      // A navPoint's own children other than the three are ignored.
      {u"<navPoint id=\"a\"><extra><navPoint id=\"hidden\"/></extra><navInfo/></navPoint>",
       {u"a|||0|"},
       1,
       {},
       {}},
      // An empty navMap gives nothing.
      {u"", {}, 0, {}, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("row " + std::to_string(&row - rows));
    const Parsed parsed = parseCapturing(ncx(kHead + u"<navMap>" + row.navMap + u"</navMap>"));
    const NcxRecord& n = parsed.record.ncx;
    EXPECT_EQ(test::pointLines(n), row.points);
    EXPECT_EQ(n.navPointCount, row.count);
    std::vector<std::u16string> labels, infos;
    for (const LabelRecord& l : n.navMapLabels) labels.push_back(l.text.third);
    for (const LabelRecord& l : n.navInfos) infos.push_back(l.text.third);
    EXPECT_EQ(labels, row.mapLabels);
    EXPECT_EQ(infos, row.infos);
  }
}

// Points whose elements end without their own end tag: closed by a
// misnested end tag, or still open when the text ends. Their points read as
// those of well-formed elements, with their strings ended where they were.
TEST(Ncx, PointsClosedWithoutTheirEndTag) {
  struct Row {
    std::u16string text;
    std::vector<std::u16string> points;
  };
  const std::u16string open = ncx(kHead + u"<navMap>");
  const std::u16string start = open.substr(0, open.size() - 6);  // without "</ncx>"
  const Row rows[] = {
      // "</navMap>" closes both points, the inner one first.
      {start + u"<navPoint id=a><navLabel><text>A</text></navLabel>"
               u"<navPoint id=b playOrder=2><content src=b.xhtml></navMap></ncx>",
       {u"a|||1||A", u">b||2|0|b.xhtml"}},
      // The text ends inside the points, then inside a start tag.
      {start + u"<navPoint id=\"a\"><content src=\"a.xhtml\"/><navPoint id=\"b\">"
               u"<navLabel><text>B",
       {u"a|||1|a.xhtml", u">b|||0||B"}},
      {start + u"<navPoint id=\"a\"><navPoint id=\"b\" class=c", {u"a|||1|", u">b|c||0|"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("row " + std::to_string(&row - rows));
    const Parsed parsed = parseCapturing(row.text);
    EXPECT_EQ(test::pointLines(parsed.record.ncx), row.points);
  }
}

// The navigation map read is the root's first navMap child, whatever other
// elements of that name hold navPoint children, and wherever they stand.
TEST(Ncx, OnlyTheRootsFirstMapGivesPoints) {
  struct Row {
    std::u16string body;
    std::vector<std::u16string> points;
  };
  const Row rows[] = {
      // A map nested in another element, before the root's map.
      {u"<docTitle><navMap><navPoint id=\"n\"><navPoint id=\"n2\"/></navPoint></navMap>"
       u"</docTitle><navMap><navPoint id=\"a\"><navPoint id=\"b\"/></navPoint></navMap>",
       {u"a|||1|", u">b|||0|"}},
      // The root's first map has no points; a later one does.
      {u"<navmap><navLabel><text>L</text></navLabel></navmap>"
       u"<navMap><navPoint id=\"late\"/></navMap>",
       {}},
      // A map inside a point of the root's map holds no points of it.
      {u"<navMap><navPoint id=\"a\"><navMap><navPoint id=\"in\"/></navMap></navPoint>"
       u"<navPoint id=\"b\"/></navMap>",
       {u"a|||0|", u"b|||0|"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("row " + std::to_string(&row - rows));
    const Parsed parsed = parseCapturing(ncx(kHead + row.body));
    EXPECT_EQ(test::pointLines(parsed.record.ncx), row.points);
  }
}

// An NCX read twice into one record: the second reading's points follow the
// first's.
TEST(Ncx, ReadTwiceAppends) {
  const std::u16string text =
      ncx(kHead + u"<navMap><navPoint id=\"a\"><navPoint id=\"b\"/></navPoint></navMap>");
  PackageRecord record;
  testing::internal::CaptureStdout();
  parseNcx(text.c_str(), record);
  parseNcx(text.c_str(), record);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(test::pointLines(record.ncx),
            (std::vector<std::u16string>{u"a|||1|", u">b|||0|", u"a|||1|", u">b|||0|"}));
}

// Only the first navMap is read; a map in another letter case is found.
TEST(Ncx, FirstNavMapOnly) {
  const Parsed parsed = parseCapturing(
      ncx(kHead + u"<NAVMAP><navPoint id=\"a\"/></NAVMAP><navMap><navPoint id=\"b\"/></navMap>"));
  const NcxRecord& n = parsed.record.ncx;
  const auto navPoints = pointsOnLevel(n, 0, n.points.size());
  ASSERT_EQ(navPoints.size(), 1u);
  EXPECT_EQ(n.points[navPoints[0]].id, std::u16string_view(u"a"));
}

// A navigation map nested a hundred thousand levels deep is read completely
// and released without exhausting the call stack.
TEST(Ncx, VeryDeepNesting) {
  constexpr int kDepth = 100000;
  std::u16string text = ncx(u"");
  text.resize(text.size() - 6);  // drop "</ncx>"
  text += kHead + u"<navMap>";
  for (int i = 0; i < kDepth; ++i) text += u"<navPoint playOrder=\"1\"><content src=\"a\"/>";
  for (int i = 0; i < kDepth; ++i) text += u"</navPoint>";
  text += u"</navMap></ncx>";
  const Parsed parsed = parseCapturing(text);
  const NcxRecord& n = parsed.record.ncx;
  EXPECT_EQ(n.navPointCount, kDepth);
  ASSERT_EQ(pointsOnLevel(n, 0, n.points.size()).size(), 1u);
  size_t p = 0;
  int depth = 1;
  while (!childrenOf(n, p).empty()) {
    EXPECT_EQ(n.points[p].descendantCount, kDepth - depth);
    const auto children = childrenOf(n, p);
    ASSERT_EQ(children.size(), 1u);
    p = children[0];
    ++depth;
  }
  EXPECT_EQ(depth, kDepth);
  EXPECT_EQ(n.points[p].contentSrc, std::u16string_view(u"a"));
}

// Strings of every length, from empty to longer than the record's storage
// blocks, and more points than fit one page of the points array, come back
// whole and in order.
TEST(Ncx, LongStringsAndManyPoints) {
  constexpr int kPoints = 1500;
  auto text = [](int i) {
    // Lengths 0 to about 9,000 units, each string made of its point's digits.
    const std::string ascii = std::to_string(i);
    const std::u16string digits(ascii.begin(), ascii.end());
    std::u16string out;
    while (out.size() < size_t(i % 7 == 0 ? i * 6 : i % 40)) out += digits;
    return out;
  };
  std::u16string map;
  for (int i = 0; i < kPoints; ++i) {
    map += u"<navPoint id=\"" + text(i) + u"\"><navLabel><text>" + text(i + 1) +
           u"</text></navLabel><content src=\"" + text(i + 2) + u"\"/></navPoint>";
  }
  const Parsed parsed = parseCapturing(ncx(kHead + u"<navMap>" + map + u"</navMap>"));
  const NcxRecord& n = parsed.record.ncx;
  ASSERT_EQ(n.points.size(), size_t(kPoints));
  for (int i = 0; i < kPoints; ++i) {
    SCOPED_TRACE("point " + std::to_string(i));
    const NavigationPoint& p = n.points[size_t(i)];
    EXPECT_EQ(std::u16string_view(p.id), text(i));
    ASSERT_EQ(p.labelCount, 1);
    EXPECT_EQ(std::u16string_view(n.labelsOf(p)[0]), text(i + 1));
    EXPECT_EQ(std::u16string_view(p.contentSrc), text(i + 2));
  }
}

// A point's labels, however many, keep their document order around the
// other children.
TEST(Ncx, ManyLabelsInOrder) {
  for (int labels = 1; labels <= 7; ++labels) {
    SCOPED_TRACE(std::to_string(labels) + " labels");
    std::u16string point = u"<navPoint id=\"p\">";
    std::vector<std::u16string> expected;
    for (int k = 0; k < labels; ++k) {
      const std::u16string label(1, char16_t(u'a' + k));
      point += u"<navLabel><text>" + label + u"</text></navLabel>";
      if (k == 1) point += u"<content src=\"s\"/><navPoint id=\"q\"/>";
      expected.push_back(label);
    }
    const Parsed parsed =
        parseCapturing(ncx(kHead + u"<navMap>" + point + u"</navPoint></navMap>"));
    const NcxRecord& n = parsed.record.ncx;
    ASSERT_EQ(n.points.size(), labels > 1 ? 2u : 1u);
    std::vector<std::u16string> read;
    for (const char16_t* l : n.labelsOf(n.points[0])) read.emplace_back(l);
    EXPECT_EQ(read, expected);
  }
}

// The points' strings belong to the record: they stay whole after the text
// they were read from is gone, whether it was lent or handed over, and after
// a second NCX is read into the same record.
TEST(Ncx, PointStringsOutliveTheirText) {
  auto map = [](const std::u16string& id) {
    return ncx(kHead + u"<navMap><navPoint id=\"" + id + u"\" playOrder=\"7\"><navLabel><text>L" +
               id + u"</text></navLabel><content src=\"s" + id + u"\"/></navPoint></navMap>");
  };
  PackageRecord record;
  testing::internal::CaptureStdout();
  {
    // Lent: overwritten and freed once read.
    std::u16string lent = map(u"a");
    parseNcx(lent.c_str(), record);
    lent.assign(lent.size(), u'X');
  }
  {
    // Handed over, as the open step does.
    const std::u16string text = map(u"b");
    TextBuffer buffer = zeroedText(text.size() + 1);
    text.copy(buffer.get(), text.size());
    parseNcx(xml::XmlText(std::move(buffer), text.size()), record);
  }
  testing::internal::GetCapturedStdout();
  const NcxRecord& n = record.ncx;
  ASSERT_EQ(n.points.size(), 2u);
  const char* ids[] = {"a", "b"};
  for (size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(ids[i]);
    const std::u16string id(1, char16_t(ids[i][0]));
    const NavigationPoint& p = n.points[i];
    EXPECT_EQ(std::u16string_view(p.id), id);
    EXPECT_EQ(std::u16string_view(p.playOrder), u"7");
    EXPECT_EQ(std::u16string_view(p.className), u"");
    EXPECT_EQ(std::u16string_view(p.contentSrc), u"s" + id);
    ASSERT_EQ(p.labelCount, 1);
    EXPECT_EQ(std::u16string_view(n.labelsOf(p)[0]), u"L" + id);
  }
}

}  // namespace
}  // namespace epub::package
