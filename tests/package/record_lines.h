// A Package record as text lines, one per thing read, so that a table row can
// state a whole record and a failure shows every difference at once.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "package/package_record.h"

namespace epub::package::test {

using Lines = std::vector<std::u16string>;

inline std::u16string str(const char16_t* s) { return s ? s : u""; }

inline std::u16string number(size_t n) {
  const std::string digits = std::to_string(n);
  return {digits.begin(), digits.end()};
}

// "key=value" for every non-empty package attribute and metadata field, then
// "items=N", "ncx=id href", "toc=", one "spine idref[ linear] -> href type"
// (or "-> none") per entry and one "guide type|title|href" per reference.
inline Lines opfLines(const PackageRecord& r) {
  static const char16_t* const kFields[] = {
      u"title",       u"creator",    u"subject",         u"description",      u"publisher",
      u"contributor", u"date",       u"creationDate",    u"modificationDate", u"type",
      u"format",      u"identifier", u"source",          u"language",         u"relation",
      u"coverage",    u"rights",     u"uniqueIdentifier"};
  Lines out;
  auto put = [&](std::u16string key, const std::u16string& value) {
    if (!value.empty()) out.push_back(key + u"=" + value);
  };
  put(u"xmlns", r.xmlns);
  put(u"version", r.version);
  put(u"uid", r.uniqueIdentifierId);
  for (int f = 0; f < kMetadataFieldCount; ++f) put(kFields[f], r.metadata[f]);
  if (!r.manifest.empty()) put(u"items", number(r.manifest.size()));
  if (!r.ncxItemId.empty() || !r.ncxItemHref.empty())
    put(u"ncx", r.ncxItemId + u" " + r.ncxItemHref);
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
  return out;
}

// "meta name=content" (sorted), "title=", "author=", "label=" and "info=" of
// the map (unless `pointsOnly`), then per navigation point, in pre-order, ">"
// per level and "id|class|playOrder|descendants|src|label|label...", and
// "count=N".
inline Lines ncxLines(const NcxRecord& n, bool pointsOnly = false) {
  Lines out;
  for (const auto& [key, meta] : n.metas) {
    EXPECT_EQ(key, meta.first);
    EXPECT_EQ(meta.third, u"");
    out.push_back(u"meta " + meta.first + u"=" + meta.second);
  }
  std::sort(out.begin(), out.end());
  if (pointsOnly) out.clear();
  EXPECT_TRUE(n.docTitle.first.empty() && n.docTitle.second.empty());
  if (!pointsOnly) {
    if (!n.docTitle.third.empty()) out.push_back(u"title=" + n.docTitle.third);
    for (const StringTriple& a : n.docAuthors) out.push_back(u"author=" + a.third);
    for (const LabelRecord& l : n.navMapLabels) out.push_back(u"label=" + l.text.third);
    for (const LabelRecord& l : n.navInfos) out.push_back(u"info=" + l.text.third);
  }
  // Each point's depth: one more than that of the nearest earlier point whose
  // range holds it.
  std::vector<size_t> ends;
  for (size_t i = 0; i < n.points.size(); ++i) {
    while (!ends.empty() && ends.back() <= i) ends.pop_back();
    const NavigationPoint& p = n.points[i];
    std::u16string line = std::u16string(ends.size(), u'>') + str(p.id) + u"|" + str(p.className) +
                          u"|" + str(p.playOrder) + u"|" + number(size_t(p.descendantCount)) +
                          u"|" + str(p.contentSrc);
    for (const char16_t* label : n.labelsOf(p)) line += u"|" + str(label);
    out.push_back(line);
    ends.push_back(n.after(i));
  }
  if (n.navPointCount != 0 || !n.points.empty())
    out.push_back(u"count=" + number(size_t(n.navPointCount)));
  return out;
}

}  // namespace epub::package::test
