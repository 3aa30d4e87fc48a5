// Parse entries beside CXmlNode::parseDocument that the XML reader keeps to
// itself and its tests.
#pragma once

#include <cstdint>

#include "xml/xml_node.h"

namespace epub::xml {

// CXmlNode::parseDocument with the parser's shortcuts turned off: every
// token is read by the token reader. For tests, which check that both ways
// build the same trees.
CXmlNode parseDocumentTokenByToken(XmlText text, const char16_t* rootName,
                                   int32_t* error = nullptr);

}  // namespace epub::xml
