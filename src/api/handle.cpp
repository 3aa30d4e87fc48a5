// Creating and freeing the Reader handle.
#include <mutex>
#include <type_traits>

#include "host_records.h"
#include "reader.h"

namespace {

epub::HostCallbacks hostCallbacks(const EpubReaderHostOptions& options) {
  static_assert(std::is_same_v<decltype(epub::HostCallbacks::read), EpubReaderReadCallback>);
  static_assert(std::is_same_v<decltype(epub::HostCallbacks::rendererCallback1),
                               EpubReaderRendererCallback1>);
  static_assert(std::is_same_v<decltype(epub::HostCallbacks::rendererCallback2),
                               EpubReaderRendererCallback2>);
  static_assert(std::is_same_v<decltype(epub::HostCallbacks::release), EpubReaderReleaseCallback>);
  return {options.read, options.rendererCallback1, options.rendererCallback2, options.release,
          options.userData};
}

// The thirteen settings, each with its width, as the renderer's options
// lay them out.
ZaveVevodeSettings rendererSettings(const EpubReaderRendererSettings& in) {
  ZaveVevodeSettings out{};
  out.setting1 = in.setting1;
  out.setting2 = in.setting2;
  out.setting3 = in.setting3;
  out.setting4 = in.setting4;
  out.setting5 = in.setting5;
  out.setting6 = in.setting6;
  out.setting7 = in.setting7;
  out.setting8 = in.setting8;
  out.setting9 = in.setting9;
  out.setting10 = in.setting10;
  out.setting11 = in.setting11;
  out.setting12 = in.setting12;
  out.setting13 = in.setting13;
  return out;
}

}  // namespace

EpubReader::EpubReader(const EpubReaderHostOptions& options)
    : session(hostCallbacks(options), rendererSettings(options.settings)) {}

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
