// The close watch: what it is told during a parse, read through element
// views, the marks it leaves, and the records it lets the parse give back.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "xml/xml_element.h"
#include "xml_dump.h"

namespace epub::xml {
namespace {

using test::narrow;

// What views read: name{attributes}"first text"(children).
std::string viewDump(XmlElement view) {
  std::string out = narrow(view.name());
  for (int32_t i = 0; i < view.attributeCount(); ++i) {
    const XmlAttributeView a = view.attributeAt(i);
    out += (i > 0 ? " " : "{") + narrow(a.name) + '=' + narrow(a.value);
  }
  out += view.attributeCount() > 0 ? "}" : "";
  if (view.firstText() != nullptr) out += '"' + narrow(view.firstText()) + '"';
  for (int32_t i = 0; i < view.childCount(); ++i) {
    out += (i > 0 ? " " : "(") + viewDump(view.childAt(i));
  }
  return out + (view.childCount() > 0 ? ")" : "");
}

// A watch on the elements named "p": notes what each reads when told, marks
// it with its place in that order, and keeps the strings it read (the
// tree's own pointers) with what they read then; it lets the parse give
// back the records below each one when `release`.
struct Watch {
  bool release;
  std::vector<std::string> told;
  std::vector<std::pair<const char16_t*, std::string>> strings;
  void keep(XmlElement element) {
    for (int32_t i = 0; i < element.attributeCount(); ++i) {
      strings.emplace_back(element.attributeAt(i).value, narrow(element.attributeAt(i).value));
    }
    if (element.firstText()) strings.emplace_back(element.firstText(), narrow(element.firstText()));
    for (int32_t i = 0; i < element.childCount(); ++i) keep(element.childAt(i));
  }
  static bool closed(void* context, XmlElement element) {
    auto* watch = static_cast<Watch*>(context);
    watch->told.push_back(viewDump(element));
    element.setMark(uint32_t(watch->told.size()));
    watch->keep(element);
    return watch->release;
  }
};

// Each marked record of a tree reads as the watch was told of it, and as
// many bear a mark as were told.
void expectMarks(XmlElement view, const std::vector<std::string>& told, size_t& marked) {
  if (view.mark() != 0) {
    EXPECT_EQ(viewDump(view), told.at(view.mark() - 1));
    ++marked;
  }
  for (int32_t i = 0; i < view.childCount(); ++i) expectMarks(view.childAt(i), told, marked);
}

TEST(CloseWatch, ToldOfEachCompleteElementOnce) {
  struct Row {
    std::u16string text;
    bool release;
    std::vector<std::string> told;  // in the order told
    std::string tree;               // the finished tree as views read it, "" for none
  };
  // A borrowed text too long to be copied into the tree's memory, and one
  // whose watched element's records fill more than a chunk of that memory.
  Row large{u"<r>", false, {}, "r("}, wide{u"<r><p>", true, {"p("}, ""};
  for (int i = 0; large.text.size() < (600u << 10); ++i) {
    const std::u16string v = u"v" + std::u16string(1, char16_t(u'0' + i % 10));
    large.text += u"<p n=\"" + v + u"\"><q>" + v + u"</q></p>";
    large.told.push_back("p{n=" + narrow(v) + "}(q\"" + narrow(v) + "\")");
    large.tree += (i > 0 ? " " : "") + large.told.back();
  }
  for (int i = 0; i < 10000; ++i) {
    wide.text += u"<q v=\"x\">y</q>";
    wide.told[0] += std::string(i > 0 ? " " : "") + "q{v=x}\"y\"";
  }
  large.text += u"</r>", large.tree += ")";
  wide.text += u"</p><p a=\"z\"/></r>", wide.told[0] += ")", wide.told.push_back("p{a=z}");
  wide.tree = "r(" + wide.told[0] + " p)";
  const Row rows[] = {
      // Children are told before their parent; empty elements when their
      // tag ends; other names, and the same name in other letter case, never.
      {u"<r><p id=\"1\"><q/><p a=\"x\">t</p></p><P/><p/></r>",
       false,
       {"p{a=x}\"t\"", "p{id=1}(q p{a=x}\"t\")", "p"},
       "r(p{id=1}(q p{a=x}\"t\") P p)"},
      // A misnested end tag completes the elements it closes, innermost
      // first; the end of the text those still open, a start tag cut off too.
      {u"<r><p id=\"a\"><p id=\"b\"><x></p><p x=\"1\"",
       false,
       {"p{id=b}(x)", "p{x=1}", "p{id=a}(p{id=b}(x) p{x=1})"},
       "r(p{id=a}(p{id=b}(x) p{x=1}))"},
      // Under a top-level declaration; values with references and without
      // quotes, texts joined over a comment.
      {u"<?xml version=\"1.0\"?><r><p v=\"&lt;&#65;\" w=u>A<!-- c -->B</p></r>",
       false,
       {"p{v=<A w=u}\"AB\""},
       "r(p{v=<A w=u}\"AB\")"},
      // A parse that fails has told of the elements completed before, and
      // completes those still open when it stops; the tree then goes.
      {u"<r><p/><p>&bad;</p></r>", false, {"p", "p"}, ""},
      large,
      // Released: a watched element keeps its name only, and the records
      // after it reuse the memory of what stood below; a parent is told of
      // a released child bare; so are elements closed otherwise.
      {u"<r><p id=\"1\"><q>one</q></p><s t=\"u\"/><p id=\"2\"><q>two</q></p>tail</r>",
       true,
       {"p{id=1}(q\"one\")", "p{id=2}(q\"two\")"},
       "r\"tail\"(p s{t=u} p)"},
      {u"<r><p id=\"a\"><q>A</q><p id=\"b\"><q>B</q></p></p></r>",
       true,
       {"p{id=b}(q\"B\")", "p{id=a}(q\"A\" p)"},
       "r(p)"},
      {u"<r><p id=\"a\"><p id=\"b\"><x>t</p><p c=\"d\"/></r>",
       true,
       {"p{id=b}(x\"t\")", "p{c=d}", "p{id=a}(p p)"},
       "r(p)"},
      {u"<r><p id=\"a\"><q>open", true, {"p{id=a}(q\"open\")"}, "r(p)"},
      // A text joined over a comment lies among the records: the element
      // keeps them, later ones are released again; so do records spread
      // over two chunks.
      {u"<r><p><q>A<!-- c -->B</q></p><p>C<!--d-->D<!--e-->E</p><p><q>F</q></p></r>",
       true,
       {"p(q\"AB\")", "p\"CDE\"", "p(q\"F\")"},
       "r(p(q\"AB\") p\"CDE\" p)"},
      wide,
  };
  for (const Row& row : rows) {
    for (const bool owned : {false, true}) {
      SCOPED_TRACE(narrow(row.text.substr(0, 60)) + (owned ? " handed over" : " borrowed"));
      Watch watch{row.release, {}, {}};
      const XmlCloseWatch on{u"p", &Watch::closed, &watch};
      const CXmlNode top =
          owned ? parseDocumentWatching(XmlText(test::copyOf(row.text), row.text.size()), u"r", on)
                : parseDocumentWatching(row.text.c_str(), u"r", on);
      EXPECT_EQ(watch.told, row.told);
      ASSERT_EQ(top.isNull() ? "" : viewDump(XmlElement(top)), row.tree);
      // The strings read when told read the same as long as the tree.
      for (const auto& [string, then] : watch.strings) ASSERT_EQ(narrow(string), then);
      size_t marked = 0;
      if (!row.release) expectMarks(XmlElement(top), watch.told, marked);
      EXPECT_EQ(marked, row.release || top.isNull() ? 0 : watch.told.size());
    }
  }
  // The null view answers like the null handle.
  const XmlElement none(CXmlNode::null());
  EXPECT_TRUE(none.isNull() && !none.name() && !none.firstText() && none.mark() == 0);
  EXPECT_TRUE(none.childCount() == 0 && none.attributeCount() == 0 && none.parent().isNull());
}

}  // namespace
}  // namespace epub::xml
