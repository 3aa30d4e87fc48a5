// The whole open pipeline through the exports: mimetype, container, OPF,
// NCX and one content document carved from the input, opened, every host
// record read, every document loaded into the quiet renderer, then freed.
#include <cstdint>

#include "epubreader.h"
#include "fuzz_host.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace epubfuzz;
  // mimetype, container, OPF, NCX, content document
  const auto parts = carve(data, size, 5);
  Host host;
  host.hasOpf = parts.size() > 2;
  host.hasNcx = parts.size() > 3;
  host.hasContent = parts.size() > 4;
  if (host.hasOpf) host.opf = parts[2];
  if (host.hasNcx) host.ncx = parts[3];
  if (host.hasContent) host.content = parts[4];

  EpubReaderHostOptions options = host.options();
  EpubReader* reader = EpubReader_new(&options);
  EpubReader_readMimeType(reader, bytesOf(parts[0]), static_cast<uint32_t>(parts[0].size()));
  const std::string_view container = parts.size() > 1 ? parts[1] : std::string_view{};
  const char16_t* opfPath =
      EpubReader_readContainer(reader, bytesOf(container), static_cast<uint32_t>(container.size()));
  touch(opfPath);
  walkRecords(reader);
  if (opfPath) {
    EpubReader_loadAll(reader, Host::progress, &host);
    const int32_t pages = EpubReader_getPageCount(reader);
    if (pages < 0) __builtin_trap();
    if (pages > 0) touch(EpubReader_getFileName(reader, pages - 1));
  }
  EpubReader_free(&reader);
  if (reader) __builtin_trap();
  return 0;
}
