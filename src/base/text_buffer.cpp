// Text buffers: a header before the first unit records the block's size and
// whether it is a mapping of its own.
#include "base/text_buffer.h"

#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "base/address_sanitizer.h"
#include "base/memory_policy.h"

namespace epub::base {

namespace {

// A header before the first unit: the block's size in bytes, and whether it
// is a mapping of its own.
struct TextHeader {
  size_t bytes;
  size_t mapped;
};
constexpr size_t kHeaderBytes = 16;
static_assert(sizeof(TextHeader) <= kHeaderBytes);

TextHeader* headerOf(char16_t* text) noexcept {
  return reinterpret_cast<TextHeader*>(reinterpret_cast<char*>(text) - kHeaderBytes);
}

#if defined(__linux__) && !defined(EPUB_ADDRESS_SANITIZED)
// Released mappings, kept for the next texts of about their sizes (see
// memory_policy.h).
class KeptMappings {
 public:
  // The smallest kept mapping of `bytes` to twice that, or null.
  TextHeader* take(size_t bytes) noexcept {
    const std::lock_guard lock(mutex_);
    TextHeader** best = nullptr;
    for (TextHeader*& kept : kept_) {
      if (kept != nullptr && kept->bytes >= bytes && kept->bytes / 2 <= bytes &&
          (best == nullptr || kept->bytes < (*best)->bytes)) {
        best = &kept;
      }
    }
    if (best == nullptr) return nullptr;
    keptBytes_ -= (*best)->bytes;
    return std::exchange(*best, nullptr);
  }
  // Keeps the mapping if it fits the bound, making room by unmapping smaller
  // ones kept (a large text costs more to make present again); unmaps it
  // otherwise.
  void release(TextHeader* header) noexcept {
    if (header->bytes > kKeptMaxBytes) {
      munmap(header, header->bytes);
      return;
    }
    TextHeader* dropped[kSlots + 1] = {};
    size_t droppedCount = 0;
    {
      const std::lock_guard lock(mutex_);
      for (;;) {
        TextHeader** free = nullptr;
        TextHeader** smallest = nullptr;
        for (TextHeader*& kept : kept_) {
          if (kept == nullptr) {
            free = &kept;
          } else if (smallest == nullptr || kept->bytes < (*smallest)->bytes) {
            smallest = &kept;
          }
        }
        if (free != nullptr && keptBytes_ + header->bytes <= kKeptMaxBytes) {
          keptBytes_ += header->bytes;
          *free = header;
          break;
        }
        if (smallest == nullptr || (*smallest)->bytes >= header->bytes) {
          dropped[droppedCount++] = header;
          break;
        }
        keptBytes_ -= (*smallest)->bytes;
        dropped[droppedCount++] = std::exchange(*smallest, nullptr);
      }
    }
    for (size_t i = 0; i < droppedCount; ++i) munmap(dropped[i], dropped[i]->bytes);
  }

 private:
  static constexpr size_t kSlots = memory::kKeptTextMappings;
  static constexpr size_t kKeptMaxBytes = memory::kKeptTextMappingBytes;
  std::mutex mutex_;
  TextHeader* kept_[kSlots] = {};
  size_t keptBytes_ = 0;
};

// Never destroyed, so a text released during the process's exit still
// finds it.
KeptMappings& keptMappings() {
  static KeptMappings* kept = new KeptMappings;
  return *kept;
}
#endif

}  // namespace

void ReleaseText::operator()(char16_t* text) const noexcept {
  if (text == nullptr) return;
  TextHeader* header = headerOf(text);
#if defined(__linux__)
  if (header->mapped != 0) {
#if !defined(EPUB_ADDRESS_SANITIZED)
    keptMappings().release(header);
#endif
    return;
  }
#endif
  ::operator delete(header);
}

TextBuffer allocateText(size_t units, Fill fill) {
  const bool zeroed = fill == Fill::kZeroed;
  if (units > (SIZE_MAX - kHeaderBytes) / sizeof(char16_t)) throw std::bad_alloc();
  const size_t bytes = kHeaderBytes + units * sizeof(char16_t);
#if defined(__linux__) && !defined(EPUB_ADDRESS_SANITIZED)
  if (bytes > memory::kTextMappedAboveBytes) {
    if (TextHeader* kept = keptMappings().take(bytes)) {
      char16_t* text = reinterpret_cast<char16_t*>(reinterpret_cast<char*>(kept) + kHeaderBytes);
      if (zeroed) std::memset(text, 0, units * sizeof(char16_t));
      return TextBuffer(text);
    }
    // Fresh anonymous pages read as zero: no fill needed. In huge pages
    // where the system allows them on request: writing and parsing a text
    // this large walk all of it twice, and with 4 KiB pages each walk misses
    // the address cache at every page. The pages are made present at once;
    // a system without that request faults them in as they are written.
    void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block != MAP_FAILED) {
      madvise(block, bytes, MADV_HUGEPAGE);
#ifdef MADV_POPULATE_WRITE
      madvise(block, bytes, MADV_POPULATE_WRITE);
#endif
      auto* header = static_cast<TextHeader*>(block);
      *header = TextHeader{bytes, 1};
      return TextBuffer(reinterpret_cast<char16_t*>(static_cast<char*>(block) + kHeaderBytes));
    }
  }
#endif
  auto* header = static_cast<TextHeader*>(::operator new(bytes));
  *header = TextHeader{bytes, 0};
  char16_t* text = reinterpret_cast<char16_t*>(reinterpret_cast<char*>(header) + kHeaderBytes);
  if (zeroed) std::memset(text, 0, units * sizeof(char16_t));
  return TextBuffer(text);
}

}  // namespace epub::base
