// What the renderer test programs share: the files they make (a content
// document, a style-sheet link, a UTF-16 text, a binary PPM of one colour,
// the system font), and the host they play: files held by full path, served
// through the read trampoline, and the reports renderer callback 2 makes.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

// Rounds of a randomized test: fewer under the sanitizers, which make each
// round many times slower.
constexpr int randomizedRounds([[maybe_unused]] int plain, [[maybe_unused]] int sanitized) {
#ifdef EPUB_SANITIZED
  return sanitized;
#else
  return plain;
#endif
}

struct Report {
  std::u16string document, resource;
  intptr_t reason;
  bool operator==(const Report&) const = default;
};

struct FileHost {
  std::map<std::u16string, std::string> files;
  std::vector<Report> reports;
  static bool read(void* context, const char16_t* path, const uint8_t** bytes, uint32_t* length) {
    auto* self = static_cast<FileHost*>(context);
    auto it = self->files.find(path);
    if (it == self->files.end()) return false;
    *bytes = reinterpret_cast<const uint8_t*>(it->second.data());
    *length = static_cast<uint32_t>(it->second.size());
    return true;
  }
  static bool report(void* context, intptr_t document, intptr_t resource, intptr_t reason) {
    static_cast<FileHost*>(context)->reports.push_back({reinterpret_cast<const char16_t*>(document),
                                                        reinterpret_cast<const char16_t*>(resource),
                                                        reason});
    return true;
  }
};

// An XHTML content document with `head` and `body`.
inline std::string page(const std::string& head, const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
         "<html xmlns=\"http://www.w3.org/1999/xhtml\" "
         "xmlns:xlink=\"http://www.w3.org/1999/xlink\"><head><title>t</title>" +
         head + "</head><body>" + body + "</body></html>";
}

// A link to the style sheet at `href`.
inline std::string link(const std::string& href) {
  return "<link rel=\"stylesheet\" type=\"text/css\" href=\"" + href + "\"/>";
}

// An ASCII text as UTF-16LE with its byte order mark.
inline std::string utf16le(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) out += {c, '\0'};
  return out;
}

// The system's DejaVu Sans, or nothing when it is not installed.
constexpr const char* kFontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
inline std::string fontFile() {
  std::ifstream in(kFontFile, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A binary PPM of one colour.
inline std::string ppm(int side, char r, char g, char b) {
  std::string out = "P6\n" + std::to_string(side) + " " + std::to_string(side) + "\n255\n";
  for (int i = 0; i < side * side; ++i) out += {r, g, b};
  return out;
}

// `text` with 1 to `maxEdits` random edits: a byte overwritten, up to
// `maxErase` bytes erased, or up to `maxCopy` of its own bytes copied in.
inline std::string mutate(std::string text, std::mt19937& random, int maxEdits, size_t maxErase,
                          size_t maxCopy) {
  const int edits = 1 + static_cast<int>(random() % unsigned(maxEdits));
  for (int e = 0; e < edits && !text.empty(); ++e) {
    const size_t at = random() % text.size();
    switch (random() % 3) {
      case 0:
        text[at] = static_cast<char>(random());
        break;
      case 1:
        text.erase(at, random() % maxErase);
        break;
      default:
        text.insert(at, text.substr(random() % text.size(), random() % maxCopy));
        break;
    }
  }
  return text;
}
