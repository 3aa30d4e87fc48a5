// The test host of the MuPDF renderer's suites: files served through the
// read trampoline, the reports of renderer callback 2, a renderer on that
// host, documents and pages drawn.
#pragma once

#include <EpubReader/pendrel_mupdf.h>

#include <algorithm>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "pendrel.h"

namespace mupdf_test {

inline const char16_t* kDoc = u"OEBPS/text/ch.xhtml";

// A report of renderer callback 2: document, resource, reason.
using Report = std::tuple<std::u16string, std::u16string, intptr_t>;

// The host: files by full path for the read trampoline; renderer callback 2's reports.
struct Host {
  std::map<std::u16string, std::string> files;
  std::vector<Report> reports;
  static bool read(void* context, const char16_t* path, const uint8_t** bytes, uint32_t* length) {
    auto& files = static_cast<Host*>(context)->files;
    auto it = files.find(path);
    if (it == files.end()) return false;
    *bytes = reinterpret_cast<const uint8_t*>(it->second.data());
    *length = static_cast<uint32_t>(it->second.size());
    return true;
  }
  static bool report(void* context, intptr_t document, intptr_t resource, intptr_t reason) {
    auto text = [](intptr_t value) { return reinterpret_cast<const char16_t*>(value); };
    static_cast<Host*>(context)->reports.emplace_back(text(document), text(resource), reason);
    return true;
  }
};

inline std::string page(const std::string& head, const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" "
         "xmlns:xlink=\"http://www.w3.org/1999/xlink\"><head><title>t</title>" +
         head + "</head><body>" + body + "</body></html>";
}
inline std::string link(const std::string& href, const std::string& extra = "") {
  return "<link rel=\"stylesheet\" type=\"text/css\" href=\"" + href + "\"" + extra + "/>";
}

inline std::string ppm(int side) {  // a red square
  std::string out = "P6\n" + std::to_string(side) + " " + std::to_string(side) + "\n255\n";
  for (int i = 0; i < side * side; ++i) out += {'\xE0', 0, 0};
  return out;
}

inline intptr_t handle(const void* p) { return reinterpret_cast<intptr_t>(p); }

inline const uint8_t* bytesOf(const std::string& s) {
  return reinterpret_cast<const uint8_t*>(s.data());
}

// A renderer on `host`, pages of 300 x 400 points unless the settings give a size.
struct Renderer {
  ZaveVevode* r;
  explicit Renderer(Host& host, ZaveVevodeSettings settings = {}) {
    if (!settings.setting1) settings.setting1 = 300, settings.setting2 = 400;
    ZaveVevodeOptions options{Host::read, nullptr, Host::report, nullptr, &host, settings};
    r = ZaveVevode_new(&options);
  }
  ~Renderer() { ZaveVevode_free(&r); }
  bool load(const std::string& text, const char16_t* path = kDoc) {
    return ZaveVevode_xhtml(r, path, bytesOf(text), static_cast<uint32_t>(text.size()), nullptr,
                            nullptr);
  }
  int32_t pages(const char16_t* path = kDoc) { return ZaveVevode_getPageLength(r, path); }
  int32_t search(const std::string& text, const char16_t* path = kDoc) {
    return ZaveVevode_search(r, path, bytesOf(text), static_cast<uint32_t>(text.size()), 0, 0, 0);
  }
};

// A 300 x 400 bitmap drawn by the renderer (blank when it draws nothing).
struct Page {
  std::vector<uint8_t> pixels = std::vector<uint8_t>(300 * 400 * 4);
  PendrelBitmap bitmap{pixels.data(), 300, 400, 300 * 4};
  Page(ZaveVevode* r, const char16_t* path, int32_t page = 0, intptr_t zoom = 100) {
    ZaveVevode_draw(r, path, page, handle(&bitmap), 0, 0, zoom);
  }
  // How many pixels pass `test`, and their bounding box (x0, y0, x1, y1).
  template <class Test>
  size_t count(Test test, std::vector<int>* box = nullptr) const {
    size_t n = 0;
    for (int i = 0, x = 0, y = 0; i < 300 * 400; x = ++i % 300, y = i / 300)
      if (test(pixels[i * 4], pixels[i * 4 + 1], pixels[i * 4 + 2]) && ++n && box)
        *box = {std::min((*box)[0], x), std::min((*box)[1], y), std::max((*box)[2], x + 1),
                std::max((*box)[3], y + 1)};
    return n;
  }
};

// Pixels with ink.
inline const auto kInk = [](int r, int g, int b) { return r < 200 || g < 200 || b < 200; };

}  // namespace mupdf_test
