#include <iostream>
#include <utility>
#include <vector>

#include "package/readers.h"
#include "xml/xml_element.h"
#include "xml_values.h"

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

// The points of the navPoint elements, read as the parse completes each
// element, in that order: a point's navPoint children before the point. An
// element's mark is its index in `entries` plus 1. Read there, a point's
// records are still in the processor's caches; a walk of the finished tree
// of a large NCX would wait on memory for each of them.
struct ClosedPoints {
  struct Entry {
    NavigationPoint point;
    // Its navPoint children, as indexes into `entries`, are
    // children[firstChild, firstChild + childCount).
    uint32_t firstChild;
    uint32_t childCount;
  };
  NcxRecord* ncx;  // whose pool keeps the label arrays
  // In pages, like the points: one growing block would be taken fresh from
  // the system, page by page, at every open of a large NCX.
  PagedArray<Entry, 512> entries;
  PagedArray<uint32_t, 4096> children;
};

// Reads the point of a navPoint element, whose navPoint children were read
// before it: its attributes, and the labels and content src of its children.
// True when nothing below the element is read again, so that the parse may
// give its records back: always, except for a child of a head element,
// whose attributes the head reader reads as a meta's.
bool readPoint(ClosedPoints& closed, XmlElement element) {
  // The first attribute of each name counts, even one without a value.
  const char16_t* values[3];
  attributesOf(element, values, u"id", u"class", u"playorder");
  NavigationPoint point{
      orEmpty(values[0]), orEmpty(values[1]), orEmpty(values[2]), u"", nullptr, 0, 0};
  const auto firstChild = static_cast<uint32_t>(closed.children.size());
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
      closed.children.push_back(child.mark() - 1);  // completed before its parent
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
    const char16_t** labels = closed.ncx->pool.pointers(size_t(point.labelCount));
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
  closed.entries.push_back(ClosedPoints::Entry{
      point, firstChild, static_cast<uint32_t>(closed.children.size()) - firstChild});
  element.setMark(static_cast<uint32_t>(closed.entries.size()));
  return !isFolded(element.parent().name(), u"head");
}

// A point being appended with those below it: the children still to
// append of the point at `point` in ncx.points are closed.children[next, end).
struct OpenPoint {
  size_t point;
  uint32_t next;
  uint32_t end;
};

// Appends the point read at index `top` and, depth-first in document order,
// every point below it. The walk keeps its own stack (empty between calls)
// rather than recursing, so an NCX nested a hundred thousand levels deep
// cannot exhaust the call stack.
void appendPointTree(NcxRecord& ncx, const ClosedPoints& closed, uint32_t top,
                     std::vector<OpenPoint>& stack) {
  auto append = [&](uint32_t index) {
    const ClosedPoints::Entry& entry = closed.entries[index];
    ncx.points.push_back(entry.point);
    // A point without navPoint children is complete: its descendant count
    // stays 0 and it needs no frame.
    if (entry.childCount != 0) {
      stack.push_back(
          OpenPoint{ncx.points.size() - 1, entry.firstChild, entry.firstChild + entry.childCount});
    }
  };
  append(top);
  while (!stack.empty()) {
    OpenPoint& frame = stack.back();
    if (frame.next == frame.end) {
      // Everything appended since this point lies below it.
      ncx.points[frame.point].descendantCount =
          static_cast<int32_t>(ncx.points.size() - frame.point - 1);
      stack.pop_back();
      continue;
    }
    append(closed.children[frame.next++]);  // may invalidate `frame`
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

void readNavMap(NcxRecord& ncx, const CXmlNode& root, const ClosedPoints& closed) {
  const CXmlNode navMap = root.findChild(u"navMap"sv);
  const XmlElement map(navMap);
  const int32_t count = map.childCount();
  std::vector<OpenPoint> stack;
  for (int32_t i = 0; i < count; ++i) {
    const XmlElement child = map.childAt(i);
    const char16_t* name = child.name();
    if (isExactly(name, u"navLabel")) {
      appendLabel(ncx.navMapLabels, navMap.childAt(i));
    } else if (isExactly(name, u"navInfo")) {
      appendLabel(ncx.navInfos, navMap.childAt(i));
    } else if (isExactly(name, u"navPoint")) {
      appendPointTree(ncx, closed, child.mark() - 1, stack);
    }
  }
}

}  // namespace

void parseNcx(xml::XmlText text, PackageRecord& record) {
  NcxRecord& ncx = record.ncx;
  ClosedPoints closed{&ncx, {}, {}};
  const xml::XmlCloseWatch watch{u"navPoint"sv,
                                 [](void* context, XmlElement element) {
                                   return readPoint(*static_cast<ClosedPoints*>(context), element);
                                 },
                                 &closed};
  CXmlNode root = xml::parseDocumentWatching(std::move(text), u"ncx", watch);
  readHead(ncx, root);
  ncx.docTitle = StringTriple{{}, {}, textChildOf(root.findChild(u"docTitle"sv))};
  readAuthors(ncx, root);
  readNavMap(ncx, root, closed);
  ncx.navPointCount = static_cast<int32_t>(ncx.points.size());
  ncx.trees.push_back(std::move(root));
}

}  // namespace epub::package
