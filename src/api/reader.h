// The Reader handle: one per open publication, owned by the host from
// EpubReader_new to EpubReader_free.
#pragma once

#include "content/session.h"
#include "epubreader.h"
#include "handle_lock.h"

struct EpubReader {
  // Recursive: a host callback running under the lock may call back into
  // a locked export on the same thread.
  epub::api::HandleLock lock;
  epub::Session session;
  // Records the host reads directly; built once, freed by EpubReader_free.
  EpubReaderPublicationMetadata* metadata = nullptr;
  EpubReaderSpineList* spine = nullptr;
  EpubReaderNavList* navigation = nullptr;

  explicit EpubReader(const EpubReaderHostOptions& options);
};
