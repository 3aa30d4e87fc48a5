// The handle lock: recursive, so a host callback running under it may call
// back into a locked export on the same thread; other threads block until
// it has been left as often as it was entered. On Windows it is a critical
// section, created with the handle (EpubReader_new) and deleted with it
// (EpubReader_free); elsewhere a std::recursive_mutex, which behaves the same.
// Either way it meets BasicLockable, so std::lock_guard holds it.
#pragma once

#ifdef _WIN32
#include "base/win32_api.h"
#else
#include <mutex>
#endif

namespace epub::api {

class HandleLock {
 public:
#ifdef _WIN32
  HandleLock() { InitializeCriticalSection(&section_); }
  ~HandleLock() { DeleteCriticalSection(&section_); }
  void lock() { EnterCriticalSection(&section_); }
  void unlock() { LeaveCriticalSection(&section_); }
#else
  HandleLock() = default;
  void lock() { mutex_.lock(); }
  void unlock() { mutex_.unlock(); }
#endif
  HandleLock(const HandleLock&) = delete;
  HandleLock& operator=(const HandleLock&) = delete;

 private:
#ifdef _WIN32
  CRITICAL_SECTION section_;
#else
  std::recursive_mutex mutex_;
#endif
};

}  // namespace epub::api
