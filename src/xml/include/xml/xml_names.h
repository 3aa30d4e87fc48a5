// Letter-case folding shared by name comparisons and the parser.
#pragma once

namespace epub::xml {

// Names and entity names compare case-insensitively for A-Z only: every
// other code unit compares as it is.
constexpr char16_t foldLetter(char16_t c) noexcept {
  return (c >= u'A' && c <= u'Z') ? char16_t(c + (u'a' - u'A')) : c;
}

}  // namespace epub::xml
