// A replacement of the global operator new and delete for the fault tests:
// a countdown makes one allocation raise std::bad_alloc, and a count of
// live blocks shows a leak without a leak checker. Shared libraries' calls
// resolve to these through the dynamic linker, so the library's own
// allocations count too. Include it in exactly one file of a test program.
#pragma once

#include <atomic>
#include <cstdlib>
#include <new>

namespace failingnew {

// Allocations left before the failing one; negative when disarmed.
inline thread_local long countdown = -1;
// Whether the armed failure happened: once a run ends without it, every
// allocation has been tried.
inline thread_local bool fired = false;
// Blocks allocated and not yet freed.
inline std::atomic<long> live{0};

inline void* allocate(std::size_t size) {
  if (countdown >= 0 && countdown-- == 0 && (fired = true)) throw std::bad_alloc();
  if (void* p = std::malloc(size ? size : 1)) {
    ++live;
    return p;
  }
  throw std::bad_alloc();
}

inline void release(void* p) {
  if (!p) return;
  --live;
  std::free(p);
}

}  // namespace failingnew

__attribute__((visibility("default"))) void* operator new(std::size_t size) {
  return failingnew::allocate(size);
}
__attribute__((visibility("default"))) void* operator new[](std::size_t size) {
  return failingnew::allocate(size);
}
__attribute__((visibility("default"))) void operator delete(void* p) noexcept {
  failingnew::release(p);
}
__attribute__((visibility("default"))) void operator delete[](void* p) noexcept {
  failingnew::release(p);
}
__attribute__((visibility("default"))) void operator delete(void* p, std::size_t) noexcept {
  failingnew::release(p);
}
__attribute__((visibility("default"))) void operator delete[](void* p, std::size_t) noexcept {
  failingnew::release(p);
}
