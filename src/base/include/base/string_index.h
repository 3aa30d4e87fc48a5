// An index of a table's entries by a string key, for tables filled once and
// then looked up by key (the manifest by id, the Content table by path).
//
// Open addressing over a power-of-two array of slots, at most half full.
// Each slot holds the key's hash in its high half and the entry's index plus
// 1 in its low half (0: empty). A probe compares hashes before it reads a
// key, so it mostly touches the slots and the one entry it finds, where a
// node map reads a node and a key copy per step. The entries stay with the
// table's owner; `keyOf(index)` gives an entry's key.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

namespace epub {

class StringIndex {
 public:
  static constexpr uint32_t kNone = UINT32_MAX;

  // The index of the entry with this key, or kNone.
  template <class KeyOf>
  uint32_t find(std::u16string_view key, const KeyOf& keyOf) const noexcept {
    if (slots_.empty()) return kNone;
    const uint64_t slot = slots_[probe(key, hashOf(key), keyOf)];
    return slot == 0 ? kNone : static_cast<uint32_t>(slot) - 1;
  }

  // The index of the entry with this key; when there is none yet, `index`
  // (which keyOf must already answer for) becomes it.
  template <class KeyOf>
  uint32_t insert(std::u16string_view key, uint32_t index, const KeyOf& keyOf) {
    if (2 * (used_ + 1) > slots_.size()) grow(used_ + 1, keyOf);
    const uint32_t hash = hashOf(key);
    uint64_t& slot = slots_[probe(key, hash, keyOf)];
    if (slot != 0) return static_cast<uint32_t>(slot) - 1;
    slot = (uint64_t(hash) << 32) | (index + 1);
    ++used_;
    return index;
  }

  // Makes room for `count` keys at once, for a table about to be filled.
  template <class KeyOf>
  void reserve(size_t count, const KeyOf& keyOf) {
    if (2 * count > slots_.size()) grow(count, keyOf);
  }

  // Forgets every key and gives the slots back.
  void clear() noexcept {
    slots_ = {};
    used_ = 0;
  }

 private:
  // Never 0, so that a slot in use never reads as empty.
  static uint32_t hashOf(std::u16string_view key) noexcept {
    return static_cast<uint32_t>(std::hash<std::u16string_view>{}(key)) | 1u;
  }

  // The position of this key's slot, or of the empty slot where it would go.
  template <class KeyOf>
  size_t probe(std::u16string_view key, uint32_t hash, const KeyOf& keyOf) const noexcept {
    const size_t mask = slots_.size() - 1;
    for (size_t at = hash & mask;; at = (at + 1) & mask) {
      const uint64_t slot = slots_[at];
      if (slot == 0 || (static_cast<uint32_t>(slot >> 32) == hash &&
                        keyOf(static_cast<uint32_t>(slot) - 1) == key)) {
        return at;
      }
    }
  }

  template <class KeyOf>
  void grow(size_t count, const KeyOf& keyOf) {
    size_t room = 16;
    while (room < 2 * count) room *= 2;
    const std::vector<uint64_t> old = std::exchange(slots_, std::vector<uint64_t>(room, 0));
    for (const uint64_t slot : old) {
      if (slot == 0) continue;
      const auto index = static_cast<uint32_t>(slot) - 1;
      slots_[probe(keyOf(index), static_cast<uint32_t>(slot >> 32), keyOf)] = slot;
    }
  }

  std::vector<uint64_t> slots_;
  size_t used_ = 0;  // slots in use
};

}  // namespace epub
