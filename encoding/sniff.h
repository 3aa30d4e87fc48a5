// Reading what a document says about its own encoding: byte-order marks, the
// byte layout of BOM-less UTF-16/32, the XML declaration and XHTML meta
// declarations. Plain byte scanning, no ICU; labels come back as written and
// are resolved to converters elsewhere.
#ifndef VOROZO_SNIFF_H
#define VOROZO_SNIFF_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vorozo {

// How code points are laid out in bytes, as far as the first bytes show.
enum class Layout { Bytes, Utf16LE, Utf16BE, Utf32LE, Utf32BE };

// The ICU name of the charset whose byte-order mark starts the bytes, or
// null. FF FE 00 00 is taken as UTF-32LE, not as UTF-16LE followed by U+0000.
const char* byteOrderMarkCharset(const uint8_t* bytes, uint32_t length);

// Length of the byte-order mark of `charset` (an ICU name) at the start of
// the bytes; 0 when there is none.
uint32_t markLength(std::string_view charset, const uint8_t* bytes, uint32_t length);

// The layout of BOM-less text that starts with an ASCII character, as the XML
// rules for autodetection read it ("<\0?\0" is UTF-16LE, and so on). Text
// that starts otherwise is Layout::Bytes.
Layout findLayout(const uint8_t* bytes, uint32_t length);

// ICU name for a wide layout; null for Layout::Bytes.
const char* layoutCharset(Layout layout);

// The first `limit` bytes reduced to lower-case ASCII, every byte outside
// ASCII replaced by 0x80 so no label or markup can contain it. Declarations
// are searched for in this; wide layouts never get here, as their layout
// alone decides.
std::string asciiWindow(const uint8_t* bytes, uint32_t length, uint32_t limit);

// The encoding label of an XML declaration at the start of the window
// (leading white space allowed), or empty.
std::string_view xmlDeclaredLabel(std::string_view window);

// The labels of the XHTML meta declarations in the window, in document
// order: <meta charset="..."> or <meta http-equiv="content-type" content="...;
// charset=...">. Comments are skipped. The caller takes the first it can use.
std::vector<std::string_view> metaDeclaredLabels(std::string_view window);

}  // namespace vorozo

#endif
