// An in-memory host for the fuzz targets that drive the exports: the files
// of a publication carved from the input and served by the read callback,
// and a walk over every record the library hands back.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "epubreader.h"
#include "fuzz_input.h"

namespace epubfuzz {

// The files a host holds. The first path the library asks for gets the
// OPF, the second the NCX, every later one the content document: the
// carved input cannot know which paths its own container and OPF will name.
struct Host {
  std::string_view opf, ncx, content;
  bool hasOpf = false, hasNcx = false, hasContent = false;
  bool contentFails = false;  // content reads fail while set (a program can toggle it)
  std::map<std::u16string, int> assigned;
  uint32_t progressCalls = 0;

  static bool read(void* user, const char16_t* path, const uint8_t** bytes, uint32_t* length) {
    auto* host = static_cast<Host*>(user);
    const std::u16string key = path ? path : u"";
    auto [it, fresh] = host->assigned.emplace(key, static_cast<int>(host->assigned.size()));
    const int kind = std::min(it->second, 2);
    const std::string_view* file[] = {&host->opf, &host->ncx, &host->content};
    const bool present[] = {host->hasOpf, host->hasNcx, host->hasContent};
    if (!present[kind] || (kind == 2 && host->contentFails)) return false;
    *bytes = bytesOf(*file[kind]);
    *length = static_cast<uint32_t>(file[kind]->size());
    return true;
  }
  static void release(void*, const char16_t* path) { touch(path); }
  static void progress(void* context, uint32_t, uint32_t) {
    ++static_cast<Host*>(context)->progressCalls;
  }

  EpubReaderHostOptions options() {
    EpubReaderHostOptions o{};
    o.read = read;
    o.release = release;
    o.userData = this;
    return o;
  }
};

// Reads every string of every record the host can reach.
inline void walkRecords(EpubReader* reader) {
  if (const EpubReaderPublicationMetadata* m = EpubReader_getPublicationMetadata(reader)) {
    for (const char16_t* s : {m->title, m->creator, m->subject, m->description, m->publisher,
                              m->contributor, m->date, m->type, m->format, m->identifier, m->source,
                              m->language, m->relation, m->coverage, m->rights})
      touch(s);
  }
  touch(EpubReader_getNcxDocTitle(reader));
  touch(EpubReader_getNcxDocAuthor(reader));
  if (const EpubReaderSpineList* spine = EpubReader_getSpine(reader)) {
    uint32_t count = 0;
    for (const EpubReaderSpineNode* n = spine->first; n; n = n->next, ++count) {
      touch(n->item->id);
      touch(n->item->href);
      touch(n->item->mediaType);
    }
    if (count != spine->count) __builtin_trap();
  }
  if (const EpubReaderNavList* nav = EpubReader_getNavMap(reader)) {
    int32_t count = 0;
    for (const EpubReaderNavNode* n = nav->first; n; n = n->next, ++count) {
      if (n->depth < 1) __builtin_trap();
      touch(n->entry->id);
      touch(n->entry->playOrder);
      touch(n->entry->label);
      touch(n->entry->src);
    }
    if (count != nav->count) __builtin_trap();
  }
}

}  // namespace epubfuzz
