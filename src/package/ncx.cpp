#include <iostream>
#include <utility>
#include <vector>

#include "package/readers.h"
#include "package/xml_values.h"
#include "xml/xml_element.h"

namespace epub::package {

using namespace std::string_view_literals;
namespace {

using xml::CXmlNode;
using xml::XmlElement;

// The first text of the element's first "text" child, or empty.
std::u16string textChildOf(const CXmlNode& element) {
  return valueOrEmpty(element.findChild(u"text"sv).firstText());
}

// Appends a label record holding the element's text, built in place.
void appendLabel(std::vector<LabelRecord>& labels, const CXmlNode& element) {
  labels.emplace_back().text.third = textChildOf(element);
}

// A string of the tree as a point keeps it: never null.
const char16_t* orEmpty(const char16_t* value) { return value ? value : u""; }

// The first text of the label's first child named "text" (any letter case):
// what findChild("text").firstText() answers.
const char16_t* labelTextOf(XmlElement label) {
  const int32_t count = label.childCount();
  for (int32_t i = 0; i < count; ++i) {
    const XmlElement child = label.childAt(i);
    if (isFolded(child.name(), u"text")) return child.firstText();
  }
  return nullptr;
}

// Appends the point of a navPoint element: its attributes, and the labels
// and content src of its children. Its navPoint children, whose points
// follow later, go to the end of `childPoints`.
void appendPoint(NcxRecord& ncx, XmlElement element, std::vector<XmlElement>& childPoints) {
  // The first attribute of each name counts, even one without a value.
  const char16_t* values[3];
  attributesOf(element, values, u"id", u"class", u"playorder");
  NavigationPoint point{
      orEmpty(values[0]), orEmpty(values[1]), orEmpty(values[2]), u"", nullptr, 0, 0};
  // Names are matched exactly here: a NavPoint or a NAVLABEL is skipped,
  // with everything below it. The last content child's src wins.
  constexpr int32_t kNoted = 4;  // labels noted on the way
  XmlElement labelAt[kNoted];
  XmlElement content;
  const int32_t count = element.childCount();
  for (int32_t i = 0; i < count; ++i) {
    const XmlElement child = element.childAt(i);
    const char16_t* name = child.name();
    if (isExactly(name, u"navPoint")) {
      childPoints.push_back(child);
    } else if (isExactly(name, u"navLabel")) {
      if (point.labelCount < kNoted) labelAt[point.labelCount] = child;
      ++point.labelCount;
    } else if (isExactly(name, u"content")) {
      content = child;
    }
  }
  if (!content.isNull()) {
    const char16_t* src;
    attributesOf(content, &src, u"src");
    point.contentSrc = orEmpty(src);
  }
  if (point.labelCount > 0) {
    const char16_t** labels = ncx.pool.pointers(size_t(point.labelCount));
    point.labels = labels;
    if (point.labelCount <= kNoted) {
      for (int32_t k = 0; k < point.labelCount; ++k) labels[k] = orEmpty(labelTextOf(labelAt[k]));
    } else {
      for (int32_t i = 0; i < count; ++i) {
        const XmlElement child = element.childAt(i);
        if (isExactly(child.name(), u"navLabel")) *labels++ = orEmpty(labelTextOf(child));
      }
    }
  }
  ncx.points.push_back(point);
}

// The navPoint children still to visit of every open point, while a tree of
// points is appended: those of a point lie in `childPoints` from its frame's
// `next` to `end`. Kept across the top-level points of one navigation map.
struct PointWalk {
  struct Frame {
    size_t point;
    size_t first;
    size_t next;
    size_t end;
  };
  std::vector<XmlElement> childPoints;
  std::vector<Frame> stack;
};

// Appends the point of a top-level navPoint element and, depth-first in
// document order, every point below it. The walk keeps its own stack rather
// than recursing, so an NCX nested a hundred thousand levels deep cannot
// exhaust the call stack. The elements are read through views: the caller's
// handle on the tree keeps them alive.
void appendPointTree(NcxRecord& ncx, XmlElement topElement, PointWalk& walk) {
  std::vector<XmlElement>& childPoints = walk.childPoints;
  std::vector<PointWalk::Frame>& stack = walk.stack;
  childPoints.clear();
  appendPoint(ncx, topElement, childPoints);
  stack.push_back(PointWalk::Frame{ncx.points.size() - 1, 0, 0, childPoints.size()});
  while (!stack.empty()) {
    PointWalk::Frame& frame = stack.back();
    if (frame.next == frame.end) {
      // Everything appended since this point lies below it.
      ncx.points[frame.point].descendantCount =
          static_cast<int32_t>(ncx.points.size() - frame.point - 1);
      childPoints.resize(frame.first);
      stack.pop_back();
      continue;
    }
    const XmlElement child = childPoints[frame.next++];
    // The next siblings are fetched ahead, one step apart: read right after
    // a parse of a large NCX, the tree is out of the cache, and each point
    // would otherwise wait for its record's block, then for its children's
    // records, one after the other.
    if (frame.next < frame.end) childPoints[frame.next].prefetchChildren();
    if (frame.next + 1 < frame.end) childPoints[frame.next + 1].prefetchArrays();
    const size_t first = childPoints.size();
    appendPoint(ncx, child, childPoints);  // may move `childPoints`, not `frame`
    // A point without navPoint children is complete: its descendant count
    // stays 0 and it needs no frame.
    if (childPoints.size() == first) continue;
    stack.push_back(  // invalidates `frame`
        PointWalk::Frame{ncx.points.size() - 1, first, first, childPoints.size()});
  }
}

void readHead(NcxRecord& ncx, const CXmlNode& root) {
  const CXmlNode head = root.findChild(u"head"sv);
  const int32_t count = head.childCount();
  // The reader's one diagnostic, written without a line end.
  if (count == 0) std::cout << "head count == 0";
  for (int32_t i = 0; i < count; ++i) {
    // Any child of head is read like a meta element.
    const CXmlNode meta = head.childAt(i);
    std::u16string name = attributeOrEmpty(meta, u"name"sv);
    StringTriple record{name, attributeOrEmpty(meta, u"content"sv), {}};
    ncx.metas.insert_or_assign(std::move(name), std::move(record));
  }
}

void readAuthors(NcxRecord& ncx, const CXmlNode& root) {
  // The k-th docAuthor for k below their count is the next one after the
  // (k-1)-th, so a cursor walks them in one pass.
  const int32_t count = root.countChildren(u"docAuthor"sv);
  ncx.docAuthors.reserve(static_cast<size_t>(count));
  int32_t cursor = 0;
  for (int32_t k = 0; k < count; ++k) {
    const CXmlNode author = root.findChild(u"docAuthor"sv, &cursor);
    ncx.docAuthors.push_back(StringTriple{{}, {}, textChildOf(author)});
  }
}

void readNavMap(NcxRecord& ncx, const CXmlNode& root) {
  const CXmlNode navMap = root.findChild(u"navMap"sv);
  const XmlElement map(navMap);
  const int32_t count = map.childCount();
  PointWalk walk;
  for (int32_t i = 0; i < count; ++i) {
    const XmlElement child = map.childAt(i);
    const char16_t* name = child.name();
    if (isExactly(name, u"navLabel")) {
      appendLabel(ncx.navMapLabels, navMap.childAt(i));
    } else if (isExactly(name, u"navInfo")) {
      appendLabel(ncx.navInfos, navMap.childAt(i));
    } else if (isExactly(name, u"navPoint")) {
      appendPointTree(ncx, child, walk);
    }
  }
}

}  // namespace

void parseNcx(xml::XmlText text, PackageRecord& record) {
  NcxRecord& ncx = record.ncx;
  CXmlNode root = CXmlNode::parseDocument(std::move(text), u"ncx");
  readHead(ncx, root);
  ncx.docTitle = StringTriple{{}, {}, textChildOf(root.findChild(u"docTitle"sv))};
  readAuthors(ncx, root);
  readNavMap(ncx, root);
  ncx.navPointCount = static_cast<int32_t>(ncx.points.size());
  ncx.trees.push_back(std::move(root));
}

}  // namespace epub::package
