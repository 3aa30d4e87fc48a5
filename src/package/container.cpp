#include <utility>

#include "package/readers.h"
#include "xml_values.h"

namespace epub::package {

using namespace std::string_view_literals;

bool parseContainer(xml::XmlText text, PackageLocation& location) {
  const xml::CXmlNode root = xml::CXmlNode::parseDocument(std::move(text), u"container");
  const xml::CXmlNode rootfiles = root.findChild(u"rootfiles"sv);
  // Every child of rootfiles counts towards the number of tries, whatever
  // its name, but the tries walk only the rootfile children in order. Once
  // those run out the remaining tries can match nothing, so a cursor over
  // the rootfile children gives the same answer in one pass.
  const int32_t tries = rootfiles.childCount();
  int32_t cursor = 0;
  for (int32_t k = 0; k < tries; ++k) {
    const xml::CXmlNode entry = rootfiles.findChild(u"rootfile"sv, &cursor);
    if (entry.isNull()) break;
    const char16_t* type = entry.attribute(u"media-type"sv);
    if (type != nullptr && std::u16string_view(type) == u"application/oebps-package+xml") {
      setPackageLocation(location, valueOrEmpty(entry.attribute(u"full-path"sv)));
      location.rootfileMediaType = type;
      return true;
    }
  }
  return false;
}

}  // namespace epub::package
