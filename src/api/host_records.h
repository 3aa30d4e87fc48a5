// Records the host reads directly: the publication metadata, the spine list
// and the flattened navigation map. Their strings point into the Package
// record; the records themselves belong to the Reader handle.
#pragma once

#include "reader.h"

namespace epub::api {

// Builds the metadata record from the Package record (date left null).
void buildMetadataRecord(EpubReader& reader);
const char16_t* ncxDocTitle(Session& s);
const char16_t* ncxDocAuthor(Session& s);
// Built on the first call that finds something to list, then kept.
const EpubReaderSpineList* spineList(EpubReader& reader);
const EpubReaderNavList* navigationList(EpubReader& reader);
void freeHostRecords(EpubReader& reader);

}  // namespace epub::api
