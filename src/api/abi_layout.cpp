// Record layouts the host relies on. On a 32-bit build every offset and size
// is checked against the fixed layout; on 64-bit only the field order is.
#include <cstddef>

#include "epubreader.h"
#include "pendrel.h"

namespace {

#define EPUB_AT(Type, field, offset32) \
  static_assert(sizeof(void*) != 4 || offsetof(Type, field) == (offset32), #Type "." #field)
#define EPUB_SIZE(Type, size32) static_assert(sizeof(void*) != 4 || sizeof(Type) == (size32), #Type)

EPUB_AT(EpubReaderHostOptions, read, 0);
EPUB_AT(EpubReaderHostOptions, rendererCallback1, 4);
EPUB_AT(EpubReaderHostOptions, rendererCallback2, 8);
EPUB_AT(EpubReaderHostOptions, release, 12);
EPUB_AT(EpubReaderHostOptions, userData, 16);
EPUB_AT(EpubReaderHostOptions, settings.setting1, 20);
EPUB_AT(EpubReaderHostOptions, settings.setting2, 24);
EPUB_AT(EpubReaderHostOptions, settings.setting3, 28);
EPUB_AT(EpubReaderHostOptions, settings.setting4, 32);
EPUB_AT(EpubReaderHostOptions, settings.setting5, 36);
EPUB_AT(EpubReaderHostOptions, settings.setting6, 40);
EPUB_AT(EpubReaderHostOptions, settings.setting7, 44);
EPUB_AT(EpubReaderHostOptions, settings.setting8, 48);
EPUB_AT(EpubReaderHostOptions, settings.setting9, 52);
EPUB_AT(EpubReaderHostOptions, settings.setting10, 56);
EPUB_AT(EpubReaderHostOptions, settings.setting11, 60);
EPUB_AT(EpubReaderHostOptions, settings.setting12, 64);
EPUB_AT(EpubReaderHostOptions, settings.setting13, 68);
EPUB_SIZE(EpubReaderHostOptions, 72);

EPUB_AT(ZaveVevodeOptions, read, 0);
EPUB_AT(ZaveVevodeOptions, callback1, 4);
EPUB_AT(ZaveVevodeOptions, callback2, 8);
EPUB_AT(ZaveVevodeOptions, release, 12);
EPUB_AT(ZaveVevodeOptions, context, 16);
EPUB_AT(ZaveVevodeOptions, settings.setting1, 20);
EPUB_AT(ZaveVevodeOptions, settings.setting2, 24);
EPUB_AT(ZaveVevodeOptions, settings.setting3, 28);
EPUB_AT(ZaveVevodeOptions, settings.setting4, 32);
EPUB_AT(ZaveVevodeOptions, settings.setting5, 36);
EPUB_AT(ZaveVevodeOptions, settings.setting6, 40);
EPUB_AT(ZaveVevodeOptions, settings.setting7, 44);
EPUB_AT(ZaveVevodeOptions, settings.setting8, 48);
EPUB_AT(ZaveVevodeOptions, settings.setting9, 52);
EPUB_AT(ZaveVevodeOptions, settings.setting10, 56);
EPUB_AT(ZaveVevodeOptions, settings.setting11, 60);
EPUB_AT(ZaveVevodeOptions, settings.setting12, 64);
EPUB_AT(ZaveVevodeOptions, settings.setting13, 68);
EPUB_SIZE(ZaveVevodeOptions, 72);

EPUB_AT(EpubReaderPublicationMetadata, title, 0);
EPUB_AT(EpubReaderPublicationMetadata, creator, 4);
EPUB_AT(EpubReaderPublicationMetadata, subject, 8);
EPUB_AT(EpubReaderPublicationMetadata, description, 12);
EPUB_AT(EpubReaderPublicationMetadata, publisher, 16);
EPUB_AT(EpubReaderPublicationMetadata, contributor, 20);
EPUB_AT(EpubReaderPublicationMetadata, date, 24);
EPUB_AT(EpubReaderPublicationMetadata, type, 28);
EPUB_AT(EpubReaderPublicationMetadata, format, 32);
EPUB_AT(EpubReaderPublicationMetadata, identifier, 36);
EPUB_AT(EpubReaderPublicationMetadata, source, 40);
EPUB_AT(EpubReaderPublicationMetadata, language, 44);
EPUB_AT(EpubReaderPublicationMetadata, relation, 48);
EPUB_AT(EpubReaderPublicationMetadata, coverage, 52);
EPUB_AT(EpubReaderPublicationMetadata, rights, 56);
EPUB_SIZE(EpubReaderPublicationMetadata, 60);

EPUB_AT(EpubReaderSpineList, count, 0);
EPUB_AT(EpubReaderSpineList, first, 4);
EPUB_SIZE(EpubReaderSpineList, 8);
EPUB_AT(EpubReaderSpineNode, item, 0);
EPUB_AT(EpubReaderSpineNode, next, 4);
EPUB_SIZE(EpubReaderSpineNode, 8);
EPUB_AT(EpubReaderSpineItem, id, 0);
EPUB_AT(EpubReaderSpineItem, href, 4);
EPUB_AT(EpubReaderSpineItem, mediaType, 8);
EPUB_SIZE(EpubReaderSpineItem, 12);

EPUB_AT(EpubReaderNavList, reserved, 0);
EPUB_AT(EpubReaderNavList, count, 4);
EPUB_AT(EpubReaderNavList, first, 8);
EPUB_SIZE(EpubReaderNavList, 12);
EPUB_AT(EpubReaderNavNode, depth, 0);
EPUB_AT(EpubReaderNavNode, entry, 4);
EPUB_AT(EpubReaderNavNode, next, 8);
EPUB_SIZE(EpubReaderNavNode, 12);
EPUB_AT(EpubReaderNavEntry, id, 0);
EPUB_AT(EpubReaderNavEntry, playOrder, 4);
EPUB_AT(EpubReaderNavEntry, reserved, 8);
EPUB_AT(EpubReaderNavEntry, label, 12);
EPUB_AT(EpubReaderNavEntry, src, 16);
EPUB_SIZE(EpubReaderNavEntry, 20);

// The renderer's settings are copied member by member; both records must
// agree with each other on every build.
static_assert(sizeof(ZaveVevodeSettings) == sizeof(EpubReaderRendererSettings));
static_assert(offsetof(ZaveVevodeOptions, settings) == offsetof(EpubReaderHostOptions, settings));

#undef EPUB_AT
#undef EPUB_SIZE

}  // namespace
