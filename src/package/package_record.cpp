#include "package/package_record.h"

#include <cstdint>
#include <functional>
#include <utility>

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

namespace {

uint32_t hashOf(std::u16string_view id) noexcept {
  // Never 0, so that no slot in use reads as empty in its high half either.
  return static_cast<uint32_t>(std::hash<std::u16string_view>{}(id)) | 1u;
}

}  // namespace

void Manifest::reserve(size_t count) {
  if (2 * count > slots_.size()) grow(count);
}

void Manifest::grow(size_t count) {
  size_t room = 16;
  while (room < 2 * count) room *= 2;
  std::vector<uint64_t> old = std::exchange(slots_, std::vector<uint64_t>(room, 0));
  for (const uint64_t slot : old) {
    if (slot == 0) continue;
    const auto index = static_cast<uint32_t>(slot) - 1;
    *slotFor(items_[index].id, static_cast<uint32_t>(slot >> 32)) = slot;
  }
}

uint64_t* Manifest::slotFor(std::u16string_view id, uint32_t hash) noexcept {
  const size_t mask = slots_.size() - 1;
  for (size_t at = hash & mask;; at = (at + 1) & mask) {
    uint64_t& slot = slots_[at];
    if (slot == 0) return &slot;
    if (static_cast<uint32_t>(slot >> 32) == hash &&
        items_[static_cast<uint32_t>(slot) - 1].id == id) {
      return &slot;
    }
  }
}

void Manifest::put(ManifestItem item) {
  if (2 * (items_.size() + 1) > slots_.size()) grow(items_.size() + 1);
  const uint32_t hash = hashOf(item.id);
  uint64_t* slot = slotFor(item.id, hash);
  if (*slot != 0) {
    items_[static_cast<uint32_t>(*slot) - 1] = std::move(item);
    return;
  }
  items_.push_back(std::move(item));
  *slot = (uint64_t(hash) << 32) | static_cast<uint32_t>(items_.size());
}

const ManifestItem* Manifest::find(std::u16string_view id) const noexcept {
  if (slots_.empty()) return nullptr;
  const uint32_t hash = hashOf(id);
  const size_t mask = slots_.size() - 1;
  for (size_t at = hash & mask;; at = (at + 1) & mask) {
    const uint64_t slot = slots_[at];
    if (slot == 0) return nullptr;
    const ManifestItem& item = items_[static_cast<uint32_t>(slot) - 1];
    if (static_cast<uint32_t>(slot >> 32) == hash && item.id == id) return &item;
  }
}

}  // namespace epub::package
