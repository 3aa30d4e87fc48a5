/* The part every command-line host shares: an .epub opened with libzip,
 * files served to the library through its read callback, and the
 * publication opened on a Reader handle. */
#ifndef EPUB_TOOLS_ZIP_HOST_H
#define EPUB_TOOLS_ZIP_HOST_H

#include <stddef.h>
#include <zip.h>

#include "epubreader.h"

/* Files read for the library stay alive until zip_host_close: the library
 * and the renderer may keep pointing at them. */
struct zip_host {
  zip_t* zip;
  uint8_t** buffers;
  size_t count, capacity;
};

/* Opens the archive; 0 when it is not a readable zip. */
int zip_host_open(struct zip_host* host, const char* path);
void zip_host_close(struct zip_host* host);

/* UTF-16 to UTF-8 into out (NUL-terminated); 0 when it does not fit. */
int zip_host_utf8(const char16_t* text, char* out, size_t size);

/* Options whose read callback serves the archive's files. */
EpubReaderHostOptions zip_host_options(struct zip_host* host);

/* Hands the library the mimetype and container files; returns the package
 * document's path, or NULL when the publication cannot be opened. */
const char16_t* zip_host_open_publication(struct zip_host* host, EpubReader* reader);

#endif
