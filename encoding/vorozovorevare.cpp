// KWT::CVorozoVorevare: the encoding codes and how the object chooses a
// charset for each are described in vorozovorevare.h and README.md.
#include "vorozovorevare.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "charsets.h"
#include "sniff.h"

namespace KWT {

namespace {

constexpr int kUtf16LeWithMark = 0;
constexpr int kUndeclared = 1;
constexpr int kUtf8 = 2;
constexpr int kOtherCharset = 3;

// Declarations sit at the top of a document; a window keeps the scan cheap
// for big files.
constexpr uint32_t kScanWindow = 4096;

struct Declaration {
  int code = kUndeclared;
  std::string charset;  // ICU name; empty for kUndeclared
};

Declaration fromLabel(std::string_view label) {
  std::string charset = vorozo::resolveDeclaredLabel(label);
  if (charset.empty()) return {};
  return {vorozo::isUtf8Name(charset) ? kUtf8 : kOtherCharset, charset};
}

// What the bytes say about their encoding. The constructor asks without
// meta declarations, findEncodingXhtml and the object's re-scan with them.
Declaration findDeclaration(const uint8_t* bytes, uint32_t length, bool withMeta) {
  if (const char* mark = vorozo::byteOrderMarkCharset(bytes, length)) {
    if (std::strcmp(mark, "UTF-16LE") == 0) return {kUtf16LeWithMark, mark};
    if (std::strcmp(mark, "UTF-8") == 0) return {kUtf8, mark};
    return {kOtherCharset, mark};
  }
  // BOM-less wide text: the byte layout decides, whatever it declares.
  vorozo::Layout layout = vorozo::findLayout(bytes, length);
  if (layout != vorozo::Layout::Bytes) return {kOtherCharset, vorozo::layoutCharset(layout)};

  std::string text = vorozo::asciiWindow(bytes, length, kScanWindow);
  std::string_view label = vorozo::xmlDeclaredLabel(text);
  if (!label.empty()) {
    Declaration d = fromLabel(label);
    if (d.code != kUndeclared) return d;
  }
  if (withMeta) {
    for (std::string_view meta : vorozo::metaDeclaredLabels(text)) {
      Declaration d = fromLabel(meta);
      if (d.code != kUndeclared) return d;
    }
  }
  return {};
}

}  // namespace

struct CVorozoVorevare::Impl {
  const uint8_t* bytes;
  uint32_t length;
  bool strict;
  // The charset the constructor found declared; empty when it found none.
  std::string declared;
  // The converted text and the code it was converted for (-1: none yet).
  std::u16string text;
  int textCode = -1;

  std::string charsetFor(int code) const {
    if (code == kUtf8) return "UTF-8";
    if (code != kUndeclared && code != kOtherCharset) return "UTF-16LE";
    if (!declared.empty()) return declared;
    // Code 3 set from outside (after findEncodingXhtml), or code 1 asked to
    // convert: the same scan findEncodingXhtml makes, then a guess.
    Declaration d = findDeclaration(bytes, length, true);
    if (!d.charset.empty()) return d.charset;
    return strict ? std::string("UTF-8") : vorozo::guessCharset(bytes, length);
  }

  // Well-formed UTF-8 is decoded straight into the caller's buffer; the
  // answer is kept per code.
  int utf8Code = -1;
  std::string charset;  // charsetFor(utf8Code)
  uint32_t utf8Mark = 0;
  size_t utf8Units = vorozo::kIllFormed;

  bool isWellFormedUtf8(int code) {
    if (utf8Code != code) {
      utf8Code = code;
      utf8Units = vorozo::kIllFormed;
      charset = charsetFor(code);
      if (vorozo::isUtf8Name(charset)) {
        utf8Mark = vorozo::markLength("UTF-8", bytes, length);  // skipped, as converters do
        utf8Units = vorozo::wellFormedUtf8(bytes + utf8Mark, length - utf8Mark, nullptr, 0);
        if (utf8Units > UINT32_MAX - 1) utf8Units = vorozo::kIllFormed;
      }
    }
    return utf8Units != vorozo::kIllFormed;
  }

  const std::u16string& convert(int code) {
    if (textCode != code) {
      text = vorozo::convertToUtf16(bytes, length, utf8Code == code ? charset : charsetFor(code));
      // Callers allocate length + 1 units in 32 bits.
      if (text.size() > UINT32_MAX - 1) text.resize(UINT32_MAX - 1);
      textCode = code;
    }
    return text;
  }
};

CVorozoVorevare::CVorozoVorevare(const uint8_t* bytes, uint32_t length, bool strict)
    : encoding(kUndeclared),
      impl_(
          new Impl{bytes, bytes ? length : 0, strict, {}, {}, -1, -1, {}, 0, vorozo::kIllFormed}) {
  Declaration d = findDeclaration(impl_->bytes, impl_->length, false);
  encoding = d.code;
  impl_->declared = std::move(d.charset);
}

CVorozoVorevare::~CVorozoVorevare() = default;

int CVorozoVorevare::findEncodingXhtml(const uint8_t* bytes, uint32_t length) {
  if (!bytes) return kUndeclared;
  return findDeclaration(bytes, length, true).code;
}

void CVorozoVorevare::setEncoding(int code) { encoding = code; }

uint32_t CVorozoVorevare::getUCS2LELength() {
  if (impl_->isWellFormedUtf8(encoding)) return static_cast<uint32_t>(impl_->utf8Units);
  return static_cast<uint32_t>(impl_->convert(encoding).size());
}

bool CVorozoVorevare::toUCS2LE(char16_t* destination, uint32_t count) {
  if (impl_->isWellFormedUtf8(encoding)) {
    if (!destination) return count == 0;
    vorozo::wellFormedUtf8(impl_->bytes + impl_->utf8Mark, impl_->length - impl_->utf8Mark,
                           destination, count);
    return count >= impl_->utf8Units;
  }
  const std::u16string& text = impl_->convert(encoding);
  if (!destination) return count == 0;
  const size_t n = std::min<size_t>(count, text.size());
  std::copy_n(text.data(), n, destination);
  return n == text.size();
}

}  // namespace KWT
