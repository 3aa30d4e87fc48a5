#include "package/package_record.h"

#include <cstdint>
#include <utility>

#include "base/memory_policy.h"

namespace epub::package {

namespace {
constexpr size_t kPoolBlockBytes = memory::kRecordPoolBlockBytes;
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

void Manifest::put(ManifestItem item) {
  // Stored last first, so that the index can read its id; taken back when
  // the id was there already and the item replaces that one instead.
  items_.push_back(std::move(item));
  const auto last = static_cast<uint32_t>(items_.size() - 1);
  const uint32_t at = index_.insert(items_[last].id, last, IdOf{&items_});
  if (at != last) items_[at] = items_.popBack();
}

}  // namespace epub::package
