// Text decoding through the real encoding library: the package readers'
// decoder, then the library object itself with every encoding code, strict
// or not, and output buffers cut short. The first byte chooses the object's
// settings; the rest is the file.
#include <cstdint>
#include <memory>
#include <vector>

#include "package/package_text.h"
#include "vorozovorevare.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t settings = data[0];
  const uint8_t* bytes = data + 1;
  const auto length = static_cast<uint32_t>(size - 1);

  epub::package::PackageText text;
  epub::package::decodePackageText(text, bytes, length);
  if (text.hasText && text.text[text.length] != 0) __builtin_trap();  // must be terminated
  text.release();

  KWT::CVorozoVorevare::findEncodingXhtml(bytes, length);
  KWT::CVorozoVorevare converter(bytes, length, (settings & 1) != 0);
  if (settings & 2) converter.setEncoding((settings >> 2) & 7);
  const uint32_t units = converter.getUCS2LELength();
  // Room for all of it, or a shorter buffer the object must not write past.
  const uint32_t room = (settings & 0x40) ? units / 2 : units;
  auto out = std::make_unique<char16_t[]>(room);
  converter.toUCS2LE(out.get(), room);
  return 0;
}
