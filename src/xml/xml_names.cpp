#include "xml/xml_names.h"

#include "xml/xml_node.h"
#include "xml/xml_node_data.h"

namespace epub::xml {

bool namesEqual(std::u16string_view a, std::u16string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (foldLetter(a[i]) != foldLetter(b[i])) return false;
  }
  return true;
}

}  // namespace epub::xml
