// The text-encoding library (libVorozoVorevare): detects the character set of
// a package file and converts its bytes to UTF-16LE. Built on ICU.
//
// Encoding codes, as stored in `encoding` and passed to setEncoding:
//   0      UTF-16LE beginning with the byte-order mark FF FE. Callers copy
//          such text themselves; if asked, the object converts it anyway
//          (as UTF-16LE, mark skipped).
//   1      nothing declared: no byte-order mark, no UTF-16/32 byte layout and
//          no usable XML declaration. Callers may look further with
//          findEncodingXhtml. Converting with code 1 uses a declared charset
//          if one turns up (an XHTML meta declaration), else the best guess:
//          valid UTF-8 (pure ASCII included, or damaged in a few bytes only)
//          is UTF-8, anything else goes to ICU's charset detector, falling
//          back to windows-1252.
//   2      UTF-8, named by its byte-order mark or a declaration (the mark is
//          skipped).
//   3      another charset, named by a byte-order mark (UTF-16BE, UTF-32LE,
//          UTF-32BE), by the byte layout of BOM-less UTF-16/32 text that
//          starts with an ASCII character, or by a declaration. The object
//          keeps the charset's ICU name; when code 3 arrives through
//          setEncoding without one (findEncodingXhtml is static and cannot
//          hand a name over), the object re-scans its own bytes the same way
//          findEncodingXhtml did, and guesses if that finds nothing.
//   other  treated like 0.
//
// The constructor decides from what XML itself allows: byte-order mark, byte
// layout, XML declaration. findEncodingXhtml adds the XHTML meta
// declarations (<meta charset> and <meta http-equiv="Content-Type"
// content="...; charset=...">), searched case-insensitively in the first
// 4 KB. Declared labels are resolved through ICU's aliases, preferring the
// supersets that documents really use: ISO-8859-1 and US-ASCII read as
// windows-1252, GB2312 and GBK as GB18030, EUC-KR as windows-949. A label ICU
// does not know, or one that cannot be true of ASCII-compatible bytes (UTF-16
// declared in single-byte text, EBCDIC), counts as no declaration.
//
// `strict` (constructor): when true, undeclared text is not guessed but read
// as UTF-8, the XML default; declarations are honoured either way.
//
// Invalid or unmapped input becomes U+FFFD. The converted text is cached
// between getUCS2LELength and toUCS2LE, so the bytes are converted once per
// code.
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
  // object). A null pointer reads as empty input.
  CVorozoVorevare(const uint8_t* bytes, uint32_t length, bool strict);
  ~CVorozoVorevare();
  CVorozoVorevare(const CVorozoVorevare&) = delete;
  CVorozoVorevare& operator=(const CVorozoVorevare&) = delete;

  // Looks for a byte-order mark, the UTF-16/32 byte layout, the XML
  // declaration or an XHTML meta declaration and returns the code they give
  // (1 when none is usable).
  static int findEncodingXhtml(const uint8_t* bytes, uint32_t length);

  // Changes the code the object converts by.
  void setEncoding(int code);
  // Number of UTF-16 code units that toUCS2LE will produce; converts the
  // bytes and keeps the text.
  uint32_t getUCS2LELength();
  // Writes min(count, getUCS2LELength()) code units to `destination`, no
  // terminator. Returns false when the text was cut short to fit `count` or
  // `destination` is null (with a non-zero count).
  bool toUCS2LE(char16_t* destination, uint32_t count);

  // The detected encoding code; read right after construction.
  int encoding;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace KWT

#endif
