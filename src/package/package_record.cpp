#include "package/package_record.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "xml/xml_node.h"

namespace epub::package {

namespace {
constexpr size_t kPoolBlockBytes = size_t(32) << 10;
}  // namespace

void* RecordPool::allocate(size_t bytes, size_t alignment) {
  // alignment is a power of two
  const size_t skip = (0 - reinterpret_cast<uintptr_t>(cursor_)) & (alignment - 1);
  if (cursor_ == nullptr || skip + bytes > left_) {
    // A request over a quarter block gets a block of its own, so the current
    // block's rest is not given up for it.
    const bool own = bytes > kPoolBlockBytes / 4;
    const size_t blockBytes = own ? bytes : kPoolBlockBytes;
    // operator new[] of char gives memory aligned for any fundamental type.
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(blockBytes));
    char* block = blocks_.back().get();
    if (own) return block;
    cursor_ = block;
    left_ = blockBytes;
    return allocate(bytes, alignment);
  }
  char* out = cursor_ + skip;
  cursor_ = out + bytes;
  left_ -= skip + bytes;
  return out;
}

const char16_t* RecordPool::copy(const char16_t* text) {
  if (text == nullptr || *text == u'\0') return u"";
  const size_t units = xml::unitsBeforeNul(text) + 1;
  auto* out = static_cast<char16_t*>(allocate(units * sizeof(char16_t), alignof(char16_t)));
  std::memcpy(out, text, units * sizeof(char16_t));
  return out;
}

const char16_t** RecordPool::pointers(size_t count) {
  return static_cast<const char16_t**>(
      allocate(count * sizeof(const char16_t*), alignof(const char16_t*)));
}

}  // namespace epub::package
