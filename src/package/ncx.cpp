#include <iostream>
#include <vector>

#include "package/readers.h"
#include "package/xml_values.h"

namespace epub::package {
namespace {

using xml::CXmlNode;

// The first text of the element's first "text" child, or empty.
std::u16string textChildOf(const CXmlNode& element) {
  return valueOrEmpty(element.findChild(u"text").firstText());
}

// Appends a label record holding the element's text, built in place.
void appendLabel(std::vector<LabelRecord>& labels, const CXmlNode& element) {
  labels.emplace_back().text.third = textChildOf(element);
}

std::unique_ptr<NavigationPoint> newPoint(const CXmlNode& element) {
  std::unique_ptr<NavigationPoint> point(new NavigationPoint);  // no zero-fill first
  static constexpr std::u16string_view kNames[] = {u"id", u"class", u"playOrder"};
  const char16_t* values[3];
  element.attributes(kNames, values, 3);
  point->id = valueOrEmpty(values[0]);
  point->className = valueOrEmpty(values[1]);
  point->playOrder = valueOrEmpty(values[2]);
  return point;
}

// Fills a navigation point and everything below it, depth-first in document
// order. The walk keeps its own stack rather than recursing, so an NCX
// nested a hundred thousand levels deep cannot exhaust the call stack.
void fillPoint(NavigationPoint& top, const CXmlNode& topElement) {
  struct Frame {
    CXmlNode element;
    NavigationPoint* point;
    int32_t next;
    int32_t count;
  };
  std::vector<Frame> stack;
  stack.push_back(Frame{topElement, &top, 0, topElement.childCount()});
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.next == frame.count) {
      // Done with this point: its parent counts it and its descendants.
      const int32_t below = frame.point->descendantCount;
      stack.pop_back();
      if (!stack.empty()) stack.back().point->descendantCount += 1 + below;
      continue;
    }
    const CXmlNode child = frame.element.childAt(frame.next++);
    // Names are matched exactly here: a NavPoint or a NAVLABEL is skipped,
    // with everything below it.
    if (hasExactName(child, u"navLabel")) {
      appendLabel(frame.point->labels, child);
    } else if (hasExactName(child, u"content")) {
      frame.point->contentSrc = attributeOrEmpty(child, u"src");  // the last one wins
    } else if (hasExactName(child, u"navPoint")) {
      NavigationPoint* parent = frame.point;
      if (parent->children.empty()) {
        // One allocation for all the point's children.
        int32_t points = 0;
        for (int32_t i = frame.next - 1; i < frame.count; ++i) {
          points += isExactly(frame.element.childNameAt(i), u"navPoint");
        }
        parent->children.reserve(size_t(points));
      }
      parent->children.push_back(newPoint(child));
      NavigationPoint* point = parent->children.back().get();
      const int32_t count = child.childCount();
      stack.push_back(Frame{child, point, 0, count});  // invalidates `frame`
    }
  }
}

void readHead(NcxRecord& ncx, const CXmlNode& root) {
  const CXmlNode head = root.findChild(u"head");
  const int32_t count = head.childCount();
  // The reader's one diagnostic, written without a line end.
  if (count == 0) std::cout << "head count == 0";
  for (int32_t i = 0; i < count; ++i) {
    // Any child of head is read like a meta element.
    const CXmlNode meta = head.childAt(i);
    std::u16string name = attributeOrEmpty(meta, u"name");
    StringTriple record{name, attributeOrEmpty(meta, u"content"), {}};
    ncx.metas.insert_or_assign(std::move(name), std::move(record));
  }
}

void readAuthors(NcxRecord& ncx, const CXmlNode& root) {
  // The k-th docAuthor for k below their count is the next one after the
  // (k-1)-th, so a cursor walks them in one pass.
  const int32_t count = root.countChildren(u"docAuthor");
  ncx.docAuthors.reserve(static_cast<size_t>(count));
  int32_t cursor = 0;
  for (int32_t k = 0; k < count; ++k) {
    const CXmlNode author = root.findChild(u"docAuthor", &cursor);
    ncx.docAuthors.push_back(StringTriple{{}, {}, textChildOf(author)});
  }
}

void readNavMap(NcxRecord& ncx, const CXmlNode& root) {
  const CXmlNode navMap = root.findChild(u"navMap");
  const int32_t count = navMap.childCount();
  for (int32_t i = 0; i < count; ++i) {
    const CXmlNode child = navMap.childAt(i);
    if (hasExactName(child, u"navLabel")) {
      appendLabel(ncx.navMapLabels, child);
    } else if (hasExactName(child, u"navInfo")) {
      appendLabel(ncx.navInfos, child);
    } else if (hasExactName(child, u"navPoint")) {
      std::unique_ptr<NavigationPoint> point = newPoint(child);
      fillPoint(*point, child);
      ncx.navPointCount += 1 + point->descendantCount;
      ncx.navPoints.push_back(std::move(point));
    }
  }
}

}  // namespace

void parseNcx(const char16_t* text, PackageRecord& record) {
  NcxRecord& ncx = record.ncx;
  const CXmlNode root = CXmlNode::parseDocument(text, u"ncx");
  readHead(ncx, root);
  ncx.docTitle = StringTriple{{}, {}, textChildOf(root.findChild(u"docTitle"))};
  readAuthors(ncx, root);
  readNavMap(ncx, root);
}

}  // namespace epub::package
