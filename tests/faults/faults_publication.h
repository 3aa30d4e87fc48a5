// The publication the fault-injection tests open: a container, an OPF with
// three content documents and an NCX, served from memory.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace faulttest {

inline const char* kContainer =
    R"(<?xml version="1.0"?><container><rootfiles><rootfile full-path="OEBPS/content.opf" )"
    R"(media-type="application/oebps-package+xml"/></rootfiles></container>)";

inline const char* kOpf =
    R"(<?xml version="1.0" encoding="UTF-8"?><package version="2.0" unique-identifier="id">)"
    R"(<metadata><dc:title>Title</dc:title><dc:creator>Ann</dc:creator>)"
    R"(<dc:identifier id="id">u</dc:identifier></metadata><manifest>)"
    R"(<item id="a" href="a.xhtml" media-type="application/xhtml+xml"/>)"
    R"(<item id="b" href="b.xhtml" media-type="application/xhtml+xml"/>)"
    R"(<item id="c" href="c.xhtml" media-type="application/xhtml+xml"/>)"
    R"(<item id="n" href="toc.ncx" media-type="application/x-dtbncx+xml"/></manifest>)"
    R"(<spine toc="n"><itemref idref="a"/><itemref idref="b"/><itemref idref="c"/></spine>)"
    R"(</package>)";

inline const char* kNcx =
    R"(<ncx><head><meta name="dtb:uid" content="u"/></head><docTitle><text>Contents</text>)"
    R"(</docTitle><docAuthor><text>Ann</text></docAuthor><navMap>)"
    R"(<navPoint id="p1" playOrder="1"><navLabel><text>One</text></navLabel>)"
    R"(<content src="a.xhtml"/><navPoint id="p2" playOrder="2"><navLabel><text>Two</text>)"
    R"(</navLabel><content src="b.xhtml"/></navPoint></navPoint></navMap></ncx>)";

inline const char* kDocument = "<html><body><p>Text</p></body></html>";

inline const uint8_t* bytes(const char* text) { return reinterpret_cast<const uint8_t*>(text); }
inline uint32_t length(const char* text) { return static_cast<uint32_t>(std::strlen(text)); }

// The file a full container path names, or null.
inline const char* file(const std::u16string& path) {
  if (path == u"OEBPS/content.opf") return kOpf;
  if (path == u"OEBPS/toc.ncx") return kNcx;
  if (path == u"OEBPS/a.xhtml" || path == u"OEBPS/b.xhtml" || path == u"OEBPS/c.xhtml")
    return kDocument;
  return nullptr;
}

}  // namespace faulttest
