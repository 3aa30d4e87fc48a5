// Creating and freeing the Reader handle.
#include "api/host_records.h"
#include "api/reader.h"

extern "C" EPUBREADER_API EpubReader* EpubReader_new(const EpubReaderHostOptions* options) {
  // A null options record is taken as one with no callbacks and zero
  // settings: every host callback then reads as failed.
  static const EpubReaderHostOptions kNoOptions{};
  return new EpubReader(options ? *options : kNoOptions);
}

extern "C" EPUBREADER_API void EpubReader_free(EpubReader** handle) {
  if (!handle || !*handle) return;
  EpubReader* reader = *handle;
  {
    std::lock_guard guard(reader->lock);
    epub::api::freeHostRecords(*reader);
  }
  // Destroying the handle destroys the lock, then the session: renderer
  // first, then the Content table, the Package record and the strings.
  delete reader;
  *handle = nullptr;
}
