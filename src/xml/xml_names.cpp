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

bool nameIs(const char16_t* name, std::u16string_view wanted) noexcept {
  if (name == nullptr) return false;
  for (size_t i = 0; i < wanted.size(); ++i) {
    // A NUL in the name ends it: the wanted name is longer (or holds a NUL,
    // which no name can).
    if (name[i] == u'\0' || foldLetter(name[i]) != foldLetter(wanted[i])) return false;
  }
  return name[wanted.size()] == u'\0';
}

}  // namespace epub::xml
