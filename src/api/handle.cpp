// Creating and freeing the Reader handle.
#include <mutex>

#include "api/host_records.h"
#include "api/reader.h"

extern "C" EPUBREADER_API EpubReader* EpubReader_new(const EpubReaderHostOptions* options) {
  // A null options record is taken as one with no callbacks and zero
  // settings: every host callback then reads as failed.
  static const EpubReaderHostOptions kNoOptions{};
  // Constructing the handle creates its lock (on Windows, initialises its
  // critical section).
  return new EpubReader(options ? *options : kNoOptions);
}

extern "C" EPUBREADER_API void EpubReader_free(EpubReader** handle) {
  if (!handle || !*handle) return;
  EpubReader* reader = *handle;
  {
    std::lock_guard guard(reader->lock);
    epub::api::freeHostRecords(*reader);
  }
  // Destroying the handle destroys the session (renderer first, then the
  // Content table, the Package record and the strings), then the lock, its
  // first member (on Windows, deleting its critical section).
  delete reader;
  *handle = nullptr;
}
