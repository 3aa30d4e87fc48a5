// Element views: a view of a record answers what a handle to it answers,
// over every record of parsed trees, and reading a tree through views takes
// no reference.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "xml/xml_element.h"
#include "xml/xml_node.h"
#include "xml_dump.h"

namespace epub::xml {
namespace {

using test::narrow;

// Compares the view with the handle of the same record, then every child
// pair in turn, depth first; `visited` counts the records compared.
void expectSameAnswers(const CXmlNode& node, XmlElement view, int& visited) {
  ++visited;
  ASSERT_EQ(view.isNull(), node.isNull());
  EXPECT_EQ(view.name(), node.name());
  EXPECT_EQ(view.firstText(), node.firstText());
  ASSERT_EQ(view.attributeCount(), node.attributeCount());
  for (int32_t i = 0; i < view.attributeCount(); ++i) {
    EXPECT_EQ(view.attributeAt(i).name, node.attributeAt(i).name);
    EXPECT_EQ(view.attributeAt(i).value, node.attributeAt(i).value);
  }
  ASSERT_EQ(view.childCount(), node.childCount());
  for (int32_t i = 0; i < view.childCount(); ++i) {
    SCOPED_TRACE("child " + std::to_string(i) + " " + narrow(node.childNameAt(i)));
    expectSameAnswers(node.childAt(i), view.childAt(i), visited);
  }
}

// Every record gets a reference count; the view walk must leave them all.
void collectCounts(const CXmlNode& node, std::vector<int32_t>& counts) {
  counts.push_back(node.referenceCount());
  for (int32_t i = 0; i < node.childCount(); ++i) collectCounts(node.childAt(i), counts);
}

int countThroughViews(XmlElement view) {
  int count = 1;
  for (int32_t i = 0; i < view.childCount(); ++i) count += countThroughViews(view.childAt(i));
  return count;
}

TEST(ElementView, AnswersWhatTheHandleAnswers) {
  struct Row {
    std::u16string text;
    int records;  // records from the returned node down, itself included
  };
  const Row rows[] = {
      // Attributes with and without values, texts, empty and nested elements.
      {u"<r a=\"1\" b c='x'><p>one<q/>two</p><p/>tail</r>", 4},
      // A declaration, a comment and CDATA around and among the elements.
      {u"<?xml version=\"1.0\"?><!-- c --><r><![CDATA[d]]><s t=\"&amp;\">&lt;</s></r>", 3},
      // A navigation map's shape, with names in other letter cases.
      {u"<navMap><navPoint id=\"a\" playOrder=\"1\"><navLabel><text>A</text></navLabel>"
       u"<content src=\"a.xhtml\"/><NavPoint ID=\"b\"/></navPoint></navMap>",
       6},
      // A document with no element: the top node alone.
      {u"just text", 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(narrow(row.text.c_str()));
    const CXmlNode top = CXmlNode::parseDocument(row.text.c_str(), nullptr);
    ASSERT_FALSE(top.isNull());
    std::vector<int32_t> before;
    collectCounts(top, before);
    EXPECT_EQ(countThroughViews(XmlElement(top)), row.records);
    int visited = 0;
    expectSameAnswers(top, XmlElement(top), visited);
    EXPECT_EQ(visited, row.records);
    std::vector<int32_t> after;
    collectCounts(top, after);
    EXPECT_EQ(after, before);
  }
}

// The null view answers like the null handle: no name, text, children or
// attributes.
TEST(ElementView, NullViewAnswersNothing) {
  const XmlElement none;
  EXPECT_TRUE(none.isNull());
  EXPECT_EQ(none.name(), nullptr);
  EXPECT_EQ(none.firstText(), nullptr);
  EXPECT_EQ(none.childCount(), 0);
  EXPECT_EQ(none.attributeCount(), 0);
  const XmlElement ofNull(CXmlNode::null());
  EXPECT_TRUE(ofNull.isNull());
  EXPECT_EQ(ofNull.childCount(), 0);
}

// A compact rendering of what views read: name{attributes}"first text"(children).
std::string viewDump(XmlElement view) {
  std::string out = narrow(view.name());
  if (view.attributeCount() > 0) {
    out += '{';
    for (int32_t i = 0; i < view.attributeCount(); ++i) {
      out += (i > 0 ? " " : "") + narrow(view.attributeAt(i).name) + '=' +
             narrow(view.attributeAt(i).value);
    }
    out += '}';
  }
  if (view.firstText() != nullptr) out += '"' + narrow(view.firstText()) + '"';
  if (view.childCount() > 0) {
    out += '(';
    for (int32_t i = 0; i < view.childCount(); ++i) {
      out += (i > 0 ? " " : "") + viewDump(view.childAt(i));
    }
    out += ')';
  }
  return out;
}

// What a watch was told: the watched elements as read when told, in order.
// Each is marked with its place in that order.
struct Told {
  std::vector<std::string> dumps;
  static bool closed(void* context, XmlElement element) {
    auto* told = static_cast<Told*>(context);
    told->dumps.push_back(viewDump(element));
    element.setMark(static_cast<uint32_t>(told->dumps.size()));
    return false;  // the finished tree keeps every record
  }
};

// The marked records of a finished tree, as (mark, dump) in document order.
void collectMarked(XmlElement view, std::vector<std::pair<uint32_t, std::string>>& marked) {
  if (view.mark() != 0) marked.emplace_back(view.mark(), viewDump(view));
  for (int32_t i = 0; i < view.childCount(); ++i) collectMarked(view.childAt(i), marked);
}

TEST(CloseWatch, ToldOfEachCompleteElementOnce) {
  struct Row {
    std::u16string text;
    std::vector<std::string> told;  // in the order told
    bool failed = false;            // the parse gives no tree
  };
  const Row rows[] = {
      // Children are told before their parent; empty elements when their
      // tag ends; other names, and the same name in other letter case, never.
      {u"<r><p id=\"1\"><q/><p a=\"x\">t</p></p><P/><p/></r>",
       {"p{a=x}\"t\"", "p{id=1}(q p{a=x}\"t\")", "p"}},
      // A misnested end tag completes the elements it closes, innermost first.
      {u"<r><p id=\"a\"><p id=\"b\"><x></p></r>", {"p{id=b}(x)", "p{id=a}(p{id=b}(x))"}},
      // Elements still open when the text ends are completed then.
      {u"<r><p id=\"a\"><p id=\"b\">text", {"p{id=b}\"text\"", "p{id=a}(p{id=b}\"text\")"}},
      // A start tag cut off by the end of the text.
      {u"<r><p id=\"a\"><p x=\"1\"", {"p{x=1}", "p{id=a}(p{x=1})"}},
      // Under a top-level declaration; attribute values with references and
      // without quotes, texts joined over a comment.
      {u"<?xml version=\"1.0\"?><r><p v=\"&lt;&#65;\" w=u>A<!-- c -->B</p></r>",
       {"p{v=<A w=u}\"AB\""}},
      // A parse that fails has told of the elements completed before, and
      // completes those still open when it stops; the tree then goes.
      {u"<r><p/><p>&bad;</p></r>", {"p", "p"}, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(narrow(row.text.c_str()));
    Told told;
    const XmlCloseWatch watch{u"p", &Told::closed, &told};
    const CXmlNode top = parseDocumentWatching(row.text.c_str(), nullptr, watch);
    EXPECT_EQ(told.dumps, row.told);
    ASSERT_EQ(top.isNull(), row.failed);
    if (row.failed) continue;
    // Each told element reads the same in the finished tree and bears its
    // mark; no other record bears one.
    std::vector<std::pair<uint32_t, std::string>> marked;
    collectMarked(XmlElement(top), marked);
    ASSERT_EQ(marked.size(), told.dumps.size());
    for (const auto& [mark, dump] : marked) EXPECT_EQ(dump, told.dumps.at(mark - 1));
  }
}

// A text too long to be copied whole is read, not written: the strings a
// watch reads are copies, complete and terminated when it is told.
TEST(CloseWatch, LongBorrowedText) {
  std::u16string text = u"<r>";
  std::vector<std::string> expected;
  for (int i = 0; text.size() < (600u << 10); ++i) {
    const std::u16string n = std::u16string(u"v") + char16_t(u'0' + i % 10);
    text += u"<p n=\"" + n + u"\"><q>" + n + u"</q></p>";
    const std::string v = "v" + std::to_string(i % 10);
    expected.push_back("p{n=" + v + "}(q\"" + v + "\")");
  }
  text += u"</r>";
  Told told;
  const XmlCloseWatch watch{u"p", &Told::closed, &told};
  const CXmlNode top = parseDocumentWatching(text.c_str(), u"r", watch);
  ASSERT_FALSE(top.isNull());
  EXPECT_EQ(told.dumps, expected);
  EXPECT_EQ(XmlElement(top).childAt(3).mark(), 4u);
}

// A watch that keeps the strings it is told of, as the tree's own pointers,
// and lets the parse give back the records below each watched element.
struct Kept {
  std::vector<const char16_t*> strings;  // attribute values and first texts, in order
  static void keep(Kept& kept, XmlElement element) {
    for (int32_t i = 0; i < element.attributeCount(); ++i) {
      kept.strings.push_back(element.attributeAt(i).value);
    }
    if (element.firstText() != nullptr) kept.strings.push_back(element.firstText());
    for (int32_t i = 0; i < element.childCount(); ++i) keep(kept, element.childAt(i));
  }
  static bool closed(void* context, XmlElement element) {
    keep(*static_cast<Kept*>(context), element);
    return true;
  }
};

std::vector<std::string> narrowAll(const std::vector<const char16_t*>& strings) {
  std::vector<std::string> out;
  for (const char16_t* s : strings) out.push_back(narrow(s));
  return out;
}

TEST(CloseWatch, ReleasedContent) {
  struct Row {
    std::u16string text;
    std::vector<std::string> kept;  // the strings read when told, read again after the parse
    std::string tree;               // the finished tree's root
  };
  // A watched element whose records fill more than the largest chunk.
  std::u16string wide = u"<r><p>";
  std::string wideTree = "r(p(";
  for (int i = 0; i < 10000; ++i) {
    wide += u"<q v=\"x\">y</q>";
    wideTree += std::string(i > 0 ? " " : "") + "q{v=x}\"y\"";
  }
  wide += u"</p><p a=\"z\"/></r>";
  wideTree += ") p)";
  std::vector<std::string> wideKept;
  for (int i = 0; i < 10000; ++i) wideKept.insert(wideKept.end(), {"x", "y"});
  wideKept.push_back("z");
  const Row rows[] = {
      // Watched elements keep their name only; the records after them reuse
      // the memory of what stood below.
      {u"<r><p id=\"1\"><q>one</q></p><s t=\"u\"/><p id=\"2\"><q>two</q></p>tail</r>",
       {"1", "one", "2", "two"},
       "r\"tail\"(p s{t=u} p)"},
      // Nested: the inner one is released first, and its parent is told of
      // it bare.
      {u"<r><p id=\"a\"><q>A</q><p id=\"b\"><q>B</q></p></p></r>", {"b", "B", "a", "A"}, "r(p)"},
      // Closed by a misnested end tag, by the end of the text, or empty.
      {u"<r><p id=\"a\"><p id=\"b\"><x>t</p><p c=\"d\"/></r>", {"b", "t", "d", "a"}, "r(p)"},
      {u"<r><p id=\"a\"><q>open", {"a", "open"}, "r(p)"},
      // References decoded where they stand.
      {u"<r><p v=\"&lt;&#65;\">&amp;B</p><p/></r>", {"<A", "&B"}, "r(p p)"},
      // A text joined over a comment lies among the records: the element
      // keeps them, later ones are released again.
      {u"<r><p><q>A<!-- c -->B</q></p><p><q>C</q></p></r>", {"AB", "C"}, "r(p(q\"AB\") p)"},
      {u"<r><p>A<!-- c -->B<!-- d -->C</p><p>D</p></r>", {"ABC", "D"}, "r(p\"ABC\" p)"},
      // Records spread over two chunks stay.
      {wide, wideKept, wideTree},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(narrow(row.text.substr(0, 60).c_str()));
    for (const bool owned : {false, true}) {
      Kept kept;
      const XmlCloseWatch watch{u"p", &Kept::closed, &kept};
      XmlText text(row.text.c_str());
      if (owned) {
        auto copy = std::make_unique<char16_t[]>(row.text.size() + 1);
        std::copy(row.text.begin(), row.text.end(), copy.get());
        text = XmlText(std::move(copy), row.text.size());
      }
      const CXmlNode top = parseDocumentWatching(std::move(text), u"r", watch);
      ASSERT_FALSE(top.isNull());
      EXPECT_EQ(narrowAll(kept.strings), row.kept);
      EXPECT_EQ(viewDump(XmlElement(top)), row.tree);
    }
  }
}

}  // namespace
}  // namespace epub::xml
