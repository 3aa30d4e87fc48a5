#include <string_view>
#include <utility>

#include "package/readers.h"
#include "xml_values.h"

namespace epub::package {

using namespace std::string_view_literals;
namespace {

using xml::CXmlNode;

constexpr std::u16string_view kNcxMediaType = u"application/x-dtbncx+xml";

struct NamedField {
  std::u16string_view key;
  MetadataField field;
};

// Keys that land in the field of the same name. "identifier" and "date" are
// dispatched by their own rules.
constexpr NamedField kPlainFields[] = {
    {u"title", kTitle},         {u"creator", kCreator},
    {u"subject", kSubject},     {u"description", kDescription},
    {u"publisher", kPublisher}, {u"contributor", kContributor},
    {u"type", kType},           {u"format", kFormat},
    {u"source", kSource},       {u"language", kLanguage},
    {u"relation", kRelation},   {u"coverage", kCoverage},
    {u"rights", kRights},
};

// The field a metadata key is stored in, or nullptr for keys that set
// nothing. Keys compare exactly, letter case included.
std::u16string* metadataTarget(PackageRecord& record, std::u16string_view key,
                               const std::u16string& elementId, const std::u16string& event) {
  Metadata& m = record.metadata;
  if (key == u"identifier") {
    // Two empty ids are equal: an identifier without id in a package
    // without unique-identifier is the unique one.
    return elementId == record.uniqueIdentifierId ? &m[kUniqueIdentifier] : &m[kIdentifier];
  }
  if (key == u"date") {
    if (event == u"creation") return &m[kCreationDate];
    if (event == u"modification") return &m[kModificationDate];
    return &m[kDate];
  }
  for (const NamedField& f : kPlainFields) {
    if (key == f.key) return &m[f.field];
  }
  return nullptr;
}

// Metadata element names are matched as written: only an element named
// exactly "meta", or one whose name contains "dc:" (in this letter case)
// anywhere, carries a key. Everything else is ignored, so a DC:title or an
// unprefixed title changes nothing.
void readMetadataElement(PackageRecord& record, const CXmlNode& element) {
  const char16_t* rawName = element.name();
  if (rawName == nullptr) return;
  const std::u16string_view name(rawName);
  std::u16string key;
  std::u16string value;
  if (name == u"meta") {
    key = attributeOrEmpty(element, u"name"sv);
    value = attributeOrEmpty(element, u"content"sv);
  } else if (const size_t dc = name.find(u"dc:"); dc != std::u16string_view::npos) {
    key.assign(name.substr(dc + 3));
    value = valueOrEmpty(element.firstText());
  } else {
    return;
  }
  const std::u16string elementId = attributeOrEmpty(element, u"id"sv);
  const std::u16string event = attributeOrEmpty(element, u"opf:event"sv);
  if (std::u16string* target = metadataTarget(record, key, elementId, event)) {
    *target = std::move(value);  // the last element wins, even an empty one
  }
}

void readMetadata(PackageRecord& record, const CXmlNode& package) {
  const CXmlNode metadata = package.findChild(u"metadata"sv);
  const int32_t count = metadata.childCount();
  for (int32_t i = 0; i < count; ++i) readMetadataElement(record, metadata.childAt(i));
}

void readManifest(PackageRecord& record, const CXmlNode& package) {
  const CXmlNode manifest = package.findChild(u"manifest"sv);
  const int32_t count = manifest.childCount();
  record.manifest.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    const CXmlNode item = manifest.childAt(i);
    // An attribute written without a value reads as null, like a missing one.
    const char16_t* values[3];
    attributesOf(item, values, u"id", u"href", u"media-type");
    if (values[0] == nullptr || values[1] == nullptr) continue;
    const std::u16string_view id = viewOf(values[0]);
    const std::u16string_view href = viewOf(values[1]);
    const std::u16string_view mediaType = viewOf(values[2]);  // empty when absent
    addManifestItem(record, id, href, mediaType);
    if (mediaType == kNcxMediaType) {
      record.ncxItemId = id;
      record.ncxItemHref = href;  // as written: not percent-decoded
    }
  }
}

void readSpine(PackageRecord& record, const CXmlNode& package) {
  const CXmlNode spine = package.findChild(u"spine"sv);
  record.toc = attributeOrEmpty(spine, u"toc"sv);
  const int32_t count = spine.childCount();
  record.spine.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    // Any child with an idref is an entry, whatever its element name.
    const CXmlNode child = spine.childAt(i);
    const char16_t* values[2];
    attributesOf(child, values, u"idref", u"linear");
    if (values[0] == nullptr) continue;
    // Strings made to their length: assigning to an empty string would round
    // its room up.
    record.spine.push_back(
        SpineEntry{std::u16string(viewOf(values[0])), std::u16string(viewOf(values[1]))});
  }
}

void findSpineItems(PackageRecord& record) {
  record.spineItems.reserve(record.spine.size());
  for (const SpineEntry& entry : record.spine) {
    if (const ManifestItem* item = record.findManifestItem(entry.idref)) {
      record.spineItems.push_back(item);
    }
  }
}

void readGuide(PackageRecord& record, const CXmlNode& package) {
  const CXmlNode guide = package.findChild(u"guide"sv);
  const int32_t count = guide.childCount();
  record.guide.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    const CXmlNode child = guide.childAt(i);
    record.guide.push_back(GuideReference{attributeOrEmpty(child, u"type"sv),
                                          attributeOrEmpty(child, u"title"sv),
                                          attributeOrEmpty(child, u"href"sv)});
  }
}

}  // namespace

void addManifestItem(PackageRecord& record, std::u16string_view id, std::u16string_view href,
                     std::u16string_view mediaType) {
  // A later item with the same id replaces the earlier one.
  record.manifest.put(
      ManifestItem{std::u16string(id), decodeHref(href), std::u16string(mediaType)});
}

void parsePackageDocument(xml::XmlText text, PackageRecord& record) {
  const CXmlNode package = CXmlNode::parseDocument(std::move(text), u"package");
  record.xmlns = attributeOrEmpty(package, u"xmlns"sv);
  record.version = attributeOrEmpty(package, u"version"sv);
  record.uniqueIdentifierId = attributeOrEmpty(package, u"unique-identifier"sv);
  readMetadata(record, package);
  readManifest(record, package);
  readSpine(record, package);
  findSpineItems(record);
  readGuide(record, package);
}

}  // namespace epub::package
