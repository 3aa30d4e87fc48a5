// The package document both opening benchmarks generate: `items` chapters
// (Text/chapterNNNNN.xhtml), each in the manifest and the spine, and an NCX.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace bench {

// `i` as the five digits the generated names carry.
inline std::string number(int i) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%05d", i);
  return buffer;
}

// `metadata` is the lines inside <metadata>; `tail` what follows </spine>.
inline std::string packageText(int items, std::string_view metadata, std::string_view tail) {
  std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<package xmlns=\"http://www.idpf.org/2007/opf\" unique-identifier=\"BookId\" "
      "version=\"2.0\">\n"
      "  <metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
      "xmlns:opf=\"http://www.idpf.org/2007/opf\">\n";
  text += metadata;
  text +=
      "  </metadata>\n  <manifest>\n"
      "    <item id=\"ncx\" href=\"toc.ncx\" media-type=\"application/x-dtbncx+xml\"/>\n";
  for (int i = 0; i < items; ++i) {
    text += "    <item id=\"chapter" + number(i) + "\" href=\"Text/chapter" + number(i) +
            ".xhtml\" media-type=\"application/xhtml+xml\"/>\n";
  }
  text += "  </manifest>\n  <spine toc=\"ncx\">\n";
  for (int i = 0; i < items; ++i) text += "    <itemref idref=\"chapter" + number(i) + "\"/>\n";
  text += "  </spine>\n";
  text += tail;
  text += "</package>\n";
  return text;
}

}  // namespace bench
