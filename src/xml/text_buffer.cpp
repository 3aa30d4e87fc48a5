// Text buffers: a header before the first unit records the block's size and
// whether it is a mapping of its own.
#include "xml/text_buffer.h"

#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "address_sanitizer.h"

namespace epub::xml {

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
// The last released mapping, kept for the next text of about its size: a
// process that opens one large book after another then reuses its pages
// instead of having fresh ones made present (and, in a virtual machine,
// backed) each time. One mapping of at most 64 MiB, kept until the process
// ends.
class KeptMapping {
 public:
  TextHeader* take(size_t bytes) noexcept {
    const std::lock_guard lock(mutex_);
    if (kept_ == nullptr || kept_->bytes < bytes || kept_->bytes / 2 > bytes) return nullptr;
    return std::exchange(kept_, nullptr);
  }
  void release(TextHeader* header) noexcept {
    TextHeader* dropped = header;
    if (header->bytes <= kKeptMaxBytes) {
      const std::lock_guard lock(mutex_);
      dropped = std::exchange(kept_, header);
    }
    if (dropped != nullptr) munmap(dropped, dropped->bytes);
  }

 private:
  static constexpr size_t kKeptMaxBytes = size_t(64) << 20;
  std::mutex mutex_;
  TextHeader* kept_ = nullptr;
};

// Never destroyed, so a text released during the process's exit still
// finds it.
KeptMapping& keptMapping() {
  static KeptMapping* kept = new KeptMapping;
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
    keptMapping().release(header);
#endif
    return;
  }
#endif
  ::operator delete(header);
}

TextBuffer allocateText(size_t units, bool zeroed, [[maybe_unused]] size_t mappedAboveBytes) {
  if (units > (SIZE_MAX - kHeaderBytes) / sizeof(char16_t)) throw std::bad_alloc();
  const size_t bytes = kHeaderBytes + units * sizeof(char16_t);
#if defined(__linux__) && !defined(EPUB_ADDRESS_SANITIZED)
  if (bytes > mappedAboveBytes) {
    if (TextHeader* kept = keptMapping().take(bytes)) {
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

}  // namespace epub::xml
