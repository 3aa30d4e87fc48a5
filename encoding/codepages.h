// Declared labels and the Windows code pages of their charsets, for the
// Windows backend. Plain tables, no Windows headers, so the tests can check
// them on any system.
#ifndef VOROZO_CODEPAGES_H
#define VOROZO_CODEPAGES_H

#include <cstdint>
#include <span>
#include <string_view>

namespace vorozo {

struct CodePageCharset {
  std::string_view name;  // the backend's name for the charset
  uint32_t codePage;
};

struct CodePageLabel {
  std::string_view label;  // lower case, as the sniffer hands it over
  std::string_view name;   // a CodePageCharset name
};

// Every charset the Windows backend converts with a code page.
std::span<const CodePageCharset> codePageCharsets();

// Every label it knows. Labels of charsets that documents use for a superset
// give the superset, as in the ICU backend: ISO-8859-1 and US-ASCII read as
// windows-1252, GB2312 as GB18030, EUC-KR as windows-949. GBK labels read as
// code page 936 rather than GB18030: its byte 0x80 is the euro sign, which
// code page 54936 does not map.
std::span<const CodePageLabel> codePageLabels();

// The code page of a charset name; 0 for names not in the table.
uint32_t codePageOf(std::string_view name);

}  // namespace vorozo

#endif
