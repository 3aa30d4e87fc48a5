// The one frame every export runs in: a null handle gives the export's
// failure value at once; a locked export holds the handle lock for the
// whole call and leaves it on every path.
//
// Exceptions. Out-of-memory (std::bad_alloc) leaves the export for the host
// to handle, as the interface promises. Any other exception is a bug in the
// library, never an answer: a debug build reports it with the export's name
// on stderr and aborts, so that tests and fuzzing stop at it; a release
// build gives the export's failure value, the same as any other failure.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <new>
#include <type_traits>

#include "reader.h"

namespace epub::api {

enum class Lock { kNone, kHeld };

// The failure value of an export that returns nothing.
struct Nothing {};
inline constexpr Nothing kNothing{};

inline void unexpectedException([[maybe_unused]] const char* exportName,
                                [[maybe_unused]] const char* what) noexcept {
#ifndef NDEBUG
  std::fprintf(stderr, "EpubReader: bug: %s threw: %s\n", exportName, what);
  std::abort();
#endif
}

template <class Result, Lock kLock, class Failure, class Body>
Result runExport(const char* exportName, EpubReader* reader, Failure failure, Body&& body) {
  static_assert(std::is_void_v<Result> == std::is_same_v<Failure, Nothing>,
                "an export that returns nothing has the failure value kNothing");
  auto fail = [&]() -> Result {
    if constexpr (!std::is_void_v<Result>) return failure;
  };
  if (!reader) return fail();
  try {
    if constexpr (kLock == Lock::kHeld) {
      std::lock_guard guard(reader->lock);
      return body(reader->session);
    } else {
      return body(reader->session);
    }
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    unexpectedException(exportName, e.what());
  } catch (...) {
    unexpectedException(exportName, "an exception of unknown type");
  }
  return fail();
}

}  // namespace epub::api

// One export: result type, name, parameters (the handle named `reader`),
// value for a null handle (kNothing for an export without a result), lock,
// and the operation it runs on the session `session`.
#define EPUB_EXPORT(Result, Name, Params, Failure, LockMode, Operation)                  \
  extern "C" EPUBREADER_API Result Name Params {                                         \
    using namespace ::epub::api;                                                         \
    return runExport<Result, Lock::LockMode>(                                            \
        #Name, reader, Failure,                                                          \
        [&]([[maybe_unused]] ::epub::Session& session) -> Result { return Operation; }); \
  }
