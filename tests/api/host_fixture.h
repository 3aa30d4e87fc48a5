// A host for tests of the exports: a publication served from memory by the
// read callback, every host callback logged, and the test renderer reset.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "epubreader.h"
#include "test_renderer.h"

namespace epubtest {

inline const char* kContainer =
    R"(<?xml version="1.0"?><container><rootfiles><rootfile full-path="OEBPS/content.opf" )"
    R"(media-type="application/oebps-package+xml"/></rootfiles></container>)";

// Every Dublin Core field; one spine idref names nothing, one item twice.
inline const char* kOpf = R"(<?xml version="1.0"?><package unique-identifier="id">
<metadata><dc:title>The &amp; Title</dc:title><dc:creator>Ann</dc:creator>
<dc:subject>Sub</dc:subject><dc:description>Des</dc:description><dc:publisher>Pub</dc:publisher>
<dc:contributor>Con</dc:contributor><dc:date>2020</dc:date><dc:type>Typ</dc:type>
<dc:format>For</dc:format><dc:identifier id="id">urn:1</dc:identifier>
<dc:identifier>978-0</dc:identifier><dc:source>Src</dc:source><dc:language>en</dc:language>
<dc:relation>Rel</dc:relation><dc:coverage>Cov</dc:coverage><dc:rights>Rig</dc:rights></metadata>
<manifest><item id="ncx" href="toc.ncx" media-type="application/x-dtbncx+xml"/>
<item id="c1" href="Text/ch%201.xhtml" media-type="application/xhtml+xml"/>
<item id="c2" href="Text/ch2.xhtml" media-type="application/xhtml+xml"/></manifest>
<spine toc="ncx"><itemref idref="c1"/><itemref idref="missing"/><itemref idref="c2"/>
<itemref idref="c1"/></spine></package>)";

// Two points, the first with two children, one of which has no label.
inline const char* kNcx =
    R"(<?xml version="1.0"?><ncx><head><meta name="dtb:uid" content="1"/></head>
<docTitle><text>NCX Title</text></docTitle>
<docAuthor><text>First</text></docAuthor><docAuthor><text>Second</text></docAuthor><navMap>
<navPoint id="p1" playOrder="1"><navLabel><text>One</text></navLabel>
<content src="Text/ch%201.xhtml"/>
<navPoint id="p1a" playOrder="2"><navLabel><text>1A</text></navLabel><content src="#a"/></navPoint>
<navPoint id="p1b"><content src="#b"/></navPoint></navPoint>
<navPoint id="p2" playOrder="4"><navLabel><text>Two</text></navLabel><content src="ch2"/></navPoint>
</navMap></ncx>)";

inline const uint8_t* bytes(const char* s) { return reinterpret_cast<const uint8_t*>(s); }
inline uint32_t length(const char* s) { return static_cast<uint32_t>(std::strlen(s)); }
inline std::string u8(const char16_t* s) { return s ? testrenderer::utf8(s) : "(null)"; }

struct Host {
  // The publication above: OPF, NCX and its two content documents.
  std::map<std::u16string, std::string> files = {{u"OEBPS/content.opf", kOpf},
                                                 {u"OEBPS/toc.ncx", kNcx},
                                                 {u"OEBPS/Text/ch 1.xhtml", "<p>1</p>"},
                                                 {u"OEBPS/Text/ch2.xhtml", "<p>2</p>"}};
  std::vector<std::string> log;  // "read(path)", "release(path)", "cb1(a, b)", ...

  static void note(void* user, const std::string& entry) {
    static_cast<Host*>(user)->log.push_back(entry);
  }
  static bool read(void* user, const char16_t* path, const uint8_t** bytes, uint32_t* length) {
    note(user, "read(" + u8(path) + ")");
    const auto& files = static_cast<Host*>(user)->files;
    const auto it = files.find(path ? path : u"");
    if (it == files.end()) return false;
    *bytes = reinterpret_cast<const uint8_t*>(it->second.data());
    *length = static_cast<uint32_t>(it->second.size());
    return true;
  }
  // The renderer callbacks answer a == b and a + b == c.
  static bool callback1(void* user, intptr_t a, intptr_t b) {
    note(user, "cb1(" + std::to_string(a) + ", " + std::to_string(b) + ")");
    return a == b;
  }
  static bool callback2(void* user, intptr_t a, intptr_t b, intptr_t c) {
    note(user,
         "cb2(" + std::to_string(a) + ", " + std::to_string(b) + ", " + std::to_string(c) + ")");
    return a + b == c;
  }
  static void release(void* user, const char16_t* path) { note(user, "release(" + u8(path) + ")"); }

  EpubReaderHostOptions options() { return {read, callback1, callback2, release, this, {}}; }
  // A new handle on this host, with the publication opened or not.
  EpubReader* reader(bool opened) {
    const EpubReaderHostOptions o = options();
    EpubReader* r = EpubReader_new(&o);
    if (opened && !EpubReader_readContainer(r, bytes(kContainer), length(kContainer)))
      ADD_FAILURE() << "the publication did not open";
    log.clear();
    return r;
  }
};

class ReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testrenderer::reset();
    reader = host.reader(false);
    ASSERT_EQ(testrenderer::handles().size(), 1u);
    renderer = testrenderer::handles()[0];
    testrenderer::clearCalls();
  }
  void TearDown() override {
    EpubReader_free(&reader);
    testrenderer::reset();
  }

  Host host;
  EpubReader* reader = nullptr;
  ZaveVevode* renderer = nullptr;
};

}  // namespace epubtest
