// The one frame every export shares: a null handle gives the export's
// failure value at once; locked exports hold the handle lock for the whole
// call. Exceptions other than out-of-memory never cross the C boundary.
#pragma once

#include <mutex>
#include <new>

#include "api/reader.h"

namespace epub::api {

enum class Lock { kNone, kHeld };

template <class Result, class Body>
Result frame(EpubReader* reader, Lock lock, Result failure, Body&& body) {
  if (!reader) return failure;
  try {
    if (lock == Lock::kHeld) {
      std::lock_guard guard(reader->lock);
      return body(reader->session);
    }
    return body(reader->session);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (...) {
    return failure;
  }
}

template <class Body>
void frameVoid(EpubReader* reader, Lock lock, Body&& body) {
  if (!reader) return;
  try {
    if (lock == Lock::kHeld) {
      std::lock_guard guard(reader->lock);
      body(reader->session);
      return;
    }
    body(reader->session);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (...) {
  }
}

}  // namespace epub::api

// One export: result type, name, parameters (the handle named `reader`),
// value for a null handle, lock, and the operation it runs on the session `s`.
#define EPUB_EXPORT(Result, Name, Params, Failure, LockMode, Operation)            \
  extern "C" EPUBREADER_API Result Name Params {                                   \
    return ::epub::api::frame<Result>(                                             \
        reader, ::epub::api::Lock::LockMode, Failure,                              \
        [&]([[maybe_unused]] ::epub::Session& s) -> Result { return Operation; }); \
  }

#define EPUB_EXPORT_VOID(Name, Params, LockMode, Operation)                          \
  extern "C" EPUBREADER_API void Name Params {                                       \
    ::epub::api::frameVoid(reader, ::epub::api::Lock::LockMode,                      \
                           [&]([[maybe_unused]] ::epub::Session& s) { Operation; }); \
  }
