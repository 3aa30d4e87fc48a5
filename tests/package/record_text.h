// Test helpers for the package readers: a text handed over as decoded, and a
// record as one line, "; " between parts, so a failure shows every difference.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "package/package_record.h"
#include "package/package_text.h"

namespace epub::package::test {

inline std::u16string str(const char16_t* s) { return s ? s : u""; }
inline std::u16string str(const std::string& ascii) { return {ascii.begin(), ascii.end()}; }
inline std::u16string number(size_t n) { return str(std::to_string(n)); }

inline xml::XmlText handedOver(std::u16string_view text) {
  TextBuffer buffer = zeroedText(text.size() + 1);
  text.copy(buffer.get(), text.size());
  return xml::XmlText(std::move(buffer), text.size());
}

// The non-empty parts, "; " between them.
inline std::u16string join(const std::vector<std::u16string>& parts) {
  std::u16string out;
  for (const std::u16string& part : parts)
    if (!part.empty()) out += (out.empty() ? u"" : u"; ") + part;
  return out;
}

// "key=value" for each non-empty package attribute and metadata field, then
// "items=N", "ncx=id href", "toc=", one "spine idref[ linear] -> href type"
// (or "-> none") per entry and one "guide type|title|href" per reference.
inline std::u16string opfText(const PackageRecord& r) {
  static const char16_t* const kFields[] = {
      u"title",       u"creator",    u"subject",         u"description",      u"publisher",
      u"contributor", u"date",       u"creationDate",    u"modificationDate", u"type",
      u"format",      u"identifier", u"source",          u"language",         u"relation",
      u"coverage",    u"rights",     u"uniqueIdentifier"};
  std::vector<std::u16string> out;
  auto put = [&](const char16_t* key, const std::u16string& value) {
    out.push_back(value.empty() ? u"" : key + (u"=" + value));
  };
  put(u"xmlns", r.xmlns);
  put(u"version", r.version);
  put(u"uid", r.uniqueIdentifierId);
  for (int f = 0; f < kMetadataFieldCount; ++f) put(kFields[f], r.metadata[f]);
  put(u"items", r.manifest.empty() ? u"" : number(r.manifest.size()));
  put(u"ncx", (r.ncxItemId + r.ncxItemHref).empty() ? u"" : r.ncxItemId + u" " + r.ncxItemHref);
  put(u"toc", r.toc);
  std::vector<const ManifestItem*> found;
  for (const SpineEntry& e : r.spine) {
    const ManifestItem* item = r.findManifestItem(e.idref);
    if (item) found.push_back(item);
    out.push_back(u"spine " + e.idref + (e.linear.empty() ? u"" : u" " + e.linear) + u" -> " +
                  (item ? item->href + u" " + item->mediaType : u"none"));
  }
  EXPECT_EQ(r.spineItems, found);  // looked up once, as the spine's readers would
  for (const GuideReference& g : r.guide)
    out.push_back(u"guide " + g.type + u"|" + g.title + u"|" + g.href);
  return join(out);
}

// Per navigation point, in pre-order: ">" per level (the number of earlier
// points whose ranges, by their descendant counts, hold it), then
// "id|class|playOrder|descendants|src|labels"; last "count=N".
inline std::vector<std::u16string> pointLines(const NcxRecord& n) {
  std::vector<std::u16string> out;
  std::vector<size_t> ends;
  for (size_t i = 0; i < n.points.size(); ++i) {
    while (!ends.empty() && ends.back() <= i) ends.pop_back();
    const NavigationPoint& p = n.points[i];
    out.push_back(std::u16string(ends.size(), u'>') + str(p.id) + u"|" + str(p.className) + u"|" +
                  str(p.playOrder) + u"|" + number(size_t(p.descendantCount)) + u"|" +
                  str(p.contentSrc));
    for (const char16_t* label : n.labelsOf(p)) out.back() += u"|" + str(label);
    ends.push_back(n.after(i));
  }
  if (n.navPointCount != 0 || !out.empty()) out.push_back(u"count=" + number(n.navPointCount));
  return out;
}

// "meta name=content" (sorted), "title=", "author=", the map's "label=" and
// "info=", then the point lines.
inline std::u16string ncxText(const NcxRecord& n) {
  std::vector<std::u16string> out;
  for (const auto& [name, meta] : n.metas) out.push_back(u"meta " + name + u"=" + meta.second);
  std::sort(out.begin(), out.end());
  out.push_back(n.docTitle.third.empty() ? u"" : u"title=" + n.docTitle.third);
  for (const StringTriple& a : n.docAuthors) out.push_back(u"author=" + a.third);
  for (const LabelRecord& l : n.navMapLabels) out.push_back(u"label=" + l.text.third);
  for (const LabelRecord& l : n.navInfos) out.push_back(u"info=" + l.text.third);
  const std::vector<std::u16string> points = pointLines(n);
  out.insert(out.end(), points.begin(), points.end());
  return join(out);
}

}  // namespace epub::package::test
