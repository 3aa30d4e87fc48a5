#include "zip_host.h"

#include <stdlib.h>
#include <string.h>

int zip_host_open(struct zip_host* host, const char* path) {
  int error = 0;
  memset(host, 0, sizeof *host);
  host->zip = zip_open(path, ZIP_RDONLY, &error);
  return host->zip != NULL;
}

void zip_host_close(struct zip_host* host) {
  size_t k;
  for (k = 0; k < host->count; ++k) free(host->buffers[k]);
  free(host->buffers);
  if (host->zip) zip_close(host->zip);
  memset(host, 0, sizeof *host);
}

int zip_host_utf8(const char16_t* s, char* out, size_t size) {
  size_t n = 0;
  for (; *s; ++s) {
    uint32_t c = *s;
    if (c >= 0xD800 && c < 0xDC00 && s[1] >= 0xDC00 && s[1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (uint32_t)(s[1] - 0xDC00);
      ++s;
    }
    if (n + 5 >= size) return 0;
    if (c < 0x80) {
      out[n++] = (char)c;
    } else if (c < 0x800) {
      out[n++] = (char)(0xC0 | (c >> 6));
      out[n++] = (char)(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out[n++] = (char)(0xE0 | (c >> 12));
      out[n++] = (char)(0x80 | ((c >> 6) & 0x3F));
      out[n++] = (char)(0x80 | (c & 0x3F));
    } else {
      out[n++] = (char)(0xF0 | (c >> 18));
      out[n++] = (char)(0x80 | ((c >> 12) & 0x3F));
      out[n++] = (char)(0x80 | ((c >> 6) & 0x3F));
      out[n++] = (char)(0x80 | (c & 0x3F));
    }
  }
  out[n] = 0;
  return 1;
}

static uint8_t* read_entry(struct zip_host* host, const char* name, uint32_t* length) {
  zip_stat_t st;
  zip_file_t* file;
  uint8_t* data;
  if (zip_stat(host->zip, name, 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE) || st.size > 0x7FFFFFFF)
    return NULL;
  file = zip_fopen(host->zip, name, 0);
  if (!file) return NULL;
  data = malloc(st.size ? st.size : 1);
  if (data && zip_fread(file, data, st.size) != (zip_int64_t)st.size) {
    free(data);
    data = NULL;
  }
  zip_fclose(file);
  if (!data) return NULL;
  if (host->count == host->capacity) {
    size_t capacity = host->capacity ? host->capacity * 2 : 16;
    uint8_t** grown = realloc(host->buffers, capacity * sizeof *grown);
    if (!grown) {
      free(data);
      return NULL;
    }
    host->buffers = grown;
    host->capacity = capacity;
  }
  host->buffers[host->count++] = data;
  *length = (uint32_t)st.size;
  return data;
}

static bool read_callback(void* user, const char16_t* path, const uint8_t** bytes,
                          uint32_t* length) {
  char name[4096];
  if (!path || !zip_host_utf8(path, name, sizeof name)) return false;
  *bytes = read_entry(user, name, length);
  return *bytes != NULL;
}

EpubReaderHostOptions zip_host_options(struct zip_host* host) {
  EpubReaderHostOptions options;
  memset(&options, 0, sizeof options);
  options.read = read_callback;
  options.userData = host;
  return options;
}

const char16_t* zip_host_open_publication(struct zip_host* host, EpubReader* reader) {
  uint32_t mimetype_length = 0, container_length = 0;
  const uint8_t* mimetype = read_entry(host, "mimetype", &mimetype_length);
  const uint8_t* container = read_entry(host, "META-INF/container.xml", &container_length);
  if (mimetype) EpubReader_readMimeType(reader, mimetype, (int32_t)mimetype_length);
  return container ? EpubReader_readContainer(reader, container, container_length) : NULL;
}
