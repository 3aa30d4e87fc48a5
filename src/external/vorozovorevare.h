// The text-encoding library (libVorozoVorevare): detects the character set of
// a package file and converts its bytes to UTF-16LE.
//
// Encoding codes, as stored in `encoding` and passed to setEncoding:
//   0      the bytes are UTF-16LE and begin with a 2-byte byte-order mark;
//          the caller copies them itself.
//   1      no byte-order mark and no usable declaration found yet: the
//          caller may look for an XHTML declaration (findEncodingXhtml);
//          converting with code 1 uses the object's best guess.
//   2, 3   converted by this library (see the implementation notes in
//          encoding/README.md for which charset each stands for and how the
//          object remembers it).
// Every other code is treated by callers like 0.
#ifndef VOROZOVOREVARE_H
#define VOROZOVOREVARE_H

#include <cstdint>
#include <memory>

#if defined(_WIN32)
#if defined(VOROZOVOREVARE_BUILDING)
#define VOROZOVOREVARE_API __declspec(dllexport)
#else
#define VOROZOVOREVARE_API __declspec(dllimport)
#endif
#else
#define VOROZOVOREVARE_API __attribute__((visibility("default")))
#endif

namespace KWT {

class VOROZOVOREVARE_API CVorozoVorevare {
public:
  // Detects the encoding of the bytes (not copied: they must outlive the
  // object). `strict` is described in encoding/README.md.
  CVorozoVorevare(const uint8_t* bytes, uint32_t length, bool strict);
  ~CVorozoVorevare();
  CVorozoVorevare(const CVorozoVorevare&) = delete;
  CVorozoVorevare& operator=(const CVorozoVorevare&) = delete;

  // Looks for a charset declared by an XHTML document (meta charset,
  // http-equiv content type, or the XML declaration) and returns its code.
  static int findEncodingXhtml(const uint8_t* bytes, uint32_t length);

  void setEncoding(int code);
  // Number of UTF-16 code units that toUCS2LE will produce.
  uint32_t getUCS2LELength();
  // Writes exactly `count` code units (or fewer when the text is shorter);
  // invalid input becomes U+FFFD.
  bool toUCS2LE(char16_t* destination, uint32_t count);

  // The detected encoding code; read right after construction.
  int encoding;

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace KWT

#endif
