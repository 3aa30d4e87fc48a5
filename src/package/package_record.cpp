#include "package/package_record.h"

#include <cstdint>

namespace epub::package {

namespace {
constexpr size_t kPoolBlockBytes = size_t(32) << 10;
}  // namespace

void* RecordPool::allocateInNewBlock(size_t bytes) {
  // A request over a quarter block gets a block of its own, so the current
  // block's rest is not given up for it. operator new[] of char gives memory
  // aligned for any fundamental type.
  const bool own = bytes > kPoolBlockBytes / 4;
  const size_t blockBytes = own ? bytes : kPoolBlockBytes;
  blocks_.push_back(std::make_unique_for_overwrite<char[]>(blockBytes));
  char* block = blocks_.back().get();
  if (own) return block;
  cursor_ = block + bytes;
  left_ = blockBytes - bytes;
  return block;
}

const char16_t** RecordPool::pointers(size_t count) {
  return static_cast<const char16_t**>(
      allocate(count * sizeof(const char16_t*), alignof(const char16_t*)));
}

}  // namespace epub::package
