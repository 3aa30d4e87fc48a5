// Walking a MuPDF DOM in document order without recursion: documents may
// nest far deeper than a thread's stack allows.
#pragma once

#include <mupdf/fitz.h>

namespace pendrel_mupdf {

// The node after `node` and all below it in document order, staying below
// `top` when one is given; null at the end.
inline fz_xml* nextPast(fz_xml* node, fz_xml* top = nullptr) {
  while (node != top && !fz_xml_next(node)) node = fz_xml_up(node);
  return node && node != top ? fz_xml_next(node) : nullptr;
}

// The node after `node` in document order, children first, staying below
// `top` when one is given; null at the end.
inline fz_xml* nextInTree(fz_xml* node, fz_xml* top = nullptr) {
  return fz_xml_down(node) ? fz_xml_down(node) : nextPast(node, top);
}

}  // namespace pendrel_mupdf
