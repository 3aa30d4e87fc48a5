// Opening a publication: the mimetype text and the package pipeline
// (container, OPF, Content table, NCX, metadata record).
#pragma once

#include <cstdint>

#include "reader.h"

namespace epub::api {

bool readMimeType(Session& s, const uint8_t* bytes, int32_t length);
// Returns opfPath, or null when the container names no package document,
// the OPF cannot be read, or a publication is already open on the handle.
const char16_t* readContainer(EpubReader& reader, const uint8_t* bytes, uint32_t length);

}  // namespace epub::api
