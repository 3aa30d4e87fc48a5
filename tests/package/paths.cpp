// Paths inside the container: the OPF location, segment splitting, joining
// the OPF folder with an href, and percent-decoding of manifest hrefs.
#include "package/paths.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace epub::package {
namespace {

TEST(Paths, PackageLocationKeepsPathAndFolder) {
  struct Row {
    std::u16string fullPath;
    std::u16string folder;
  };
  const Row rows[] = {
      // The folder is everything up to and including the last "/".
      {u"OEBPS/content.opf", u"OEBPS/"},
      {u"a/b/c.opf", u"a/b/"},
      {u"/OEBPS/content.opf", u"/OEBPS/"},
      {u"dir/", u"dir/"},
      // Without any "/" the OPF sits at the root: the folder is empty.
      {u"content.opf", u""},
      {u"", u""},
      // A backslash is an ordinary character, not a separator.
      {u"OEBPS\\content.opf", u""},
  };
  for (const Row& row : rows) {
    PackageLocation location;
    location.opfDirectory = u"stale/";
    location.rootfileMediaType = u"kept";
    setPackageLocation(location, row.fullPath);
    EXPECT_EQ(location.opfPath, row.fullPath);
    EXPECT_EQ(location.opfDirectory, row.folder) << "path index " << (&row - rows);
    EXPECT_EQ(location.rootfileMediaType, u"kept");
  }
}

TEST(Paths, SplitPathNeverYieldsEmptySegments) {
  struct Row {
    std::u16string path;
    std::vector<std::u16string> segments;
  };
  const Row rows[] = {
      // Leading, trailing and doubled separators produce no segment.
      {u"a/b/c", {u"a", u"b", u"c"}},
      {u"/a//b/", {u"a", u"b"}},
      {u"///", {}},
      {u"", {}},
      // "." and ".." are ordinary segments here; folding is resolvePath's job.
      {u"./../x", {u".", u"..", u"x"}},
      {u"a\\b/c#d?e", {u"a\\b", u"c#d?e"}},
  };
  for (const Row& row : rows) {
    const auto views = splitPath(row.path);
    std::vector<std::u16string> got(views.begin(), views.end());
    EXPECT_EQ(got, row.segments) << "row " << (&row - rows);
  }
}

TEST(Paths, ResolvePathJoinsFolderAndHref) {
  struct Row {
    std::u16string base;
    std::u16string href;
    std::u16string expected;
  };
  const Row rows[] = {
      // Relative hrefs join the folder; ".." climbs, "." stays.
      {u"OEBPS/", u"Text/ch1.xhtml", u"OEBPS/Text/ch1.xhtml"},
      {u"OEBPS/", u"../Images/a.png", u"Images/a.png"},
      {u"OEBPS/", u"../../a.png", u"a.png"},
      {u"", u"./x.xhtml", u"x.xhtml"},
      {u"a/b/", u"./c/../d.xhtml", u"a/b/d.xhtml"},
      {u"", u"..", u""},
      // A leading "/" starts at the root and is taken literally from there.
      {u"OEBPS/", u"/OEBPS/a.xhtml", u"OEBPS/a.xhtml"},
      {u"OEBPS/", u"/a/../b.xhtml", u"a/../b.xhtml"},
      {u"OEBPS/", u"//a.xhtml", u"/a.xhtml"},
      {u"OEBPS/", u"/", u""},
      // An empty href resolves to the folder itself, without its slash.
      {u"OEBPS/", u"", u"OEBPS"},
      {u"", u"", u""},
      // A leading "/" on the base is ignored; separators collapse.
      {u"/OEBPS/", u"Text/c.xhtml", u"OEBPS/Text/c.xhtml"},
      {u"OEBPS/", u"Text//a.xhtml/", u"OEBPS/Text/a.xhtml"},
      // Fragments and queries are ordinary characters of the last segment.
      {u"OEBPS/", u"ch1.xhtml#s2", u"OEBPS/ch1.xhtml#s2"},
      {u"OEBPS/", u"a.xhtml?x=1", u"OEBPS/a.xhtml?x=1"},
      // A segment equal to the folder's segment at the same position is
      // already there: a root-relative repetition of the folder is kept once.
      {u"OEBPS/", u"OEBPS/Text/c1.xhtml", u"OEBPS/Text/c1.xhtml"},
      {u"OEBPS/", u"OEBPS/OEBPS/a.xhtml", u"OEBPS/OEBPS/a.xhtml"},
      {u"A/", u"B/B/c", u"A/B/c"},
      {u"a/b/", u"x/b/c", u"a/b/x/c"},
      // Positions count "." and ".." too, against the list as it is then.
      {u"OEBPS/", u"./OEBPS/a", u"OEBPS/OEBPS/a"},
      {u"a/b/", u"../b/c", u"a/b/c"},
      // Segment comparison is case-sensitive.
      {u"OEBPS/", u"oebps/a.xhtml", u"OEBPS/oebps/a.xhtml"},
      // The base's own "." and ".." are not folded.
      {u"./x/", u"y", u"./x/y"},
      {u"a/../", u"b", u"a/../b"},
      // A backslash is not a separator.
      {u"OEBPS/", u"Text\\a.xhtml", u"OEBPS/Text\\a.xhtml"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(resolvePath(row.base, row.href), row.expected)
        << "row " << (&row - rows) << " href index";
  }
}

TEST(Paths, DecodeHrefPercentEscapes) {
  struct Row {
    std::u16string href;
    std::u16string expected;
  };
  const Row rows[] = {
      // Without any "%" the href is returned untouched, "+" included.
      {u"a+b.xhtml", u"a+b.xhtml"},
      {u"plain.xhtml", u"plain.xhtml"},
      {u"", u""},
      // Escapes in any letter case give their byte; "+" is a space once a
      // "%" is present.
      {u"a%20b.xhtml", u"a b.xhtml"},
      {u"a+b%2Bc", u"a b+c"},
      {u"%4a%4A%4b", u"JJK"},
      // A "%" without two hex digits stays, and what follows reads normally.
      {u"100%.xhtml", u"100%.xhtml"},
      {u"%zz", u"%zz"},
      {u"%2", u"%2"},
      {u"%", u"%"},
      {u"%%41", u"%A"},
      {u"%4%41", u"%4A"},
      // Escaped bytes are UTF-8.
      {u"%E2%82%AC.xhtml", u"\u20AC.xhtml"},
      {u"%F0%9F%98%80", u"\U0001F600"},
      {u"caf%C3%A9", u"caf\u00E9"},
      // Characters that are not escaped keep their value, astral ones too.
      {u"\u00E9%20\u4E2D", u"\u00E9 \u4E2D"},
      {u"\U0001F600%21", u"\U0001F600!"},
      // %00 ends the href; nothing before it gives the empty string.
      {u"a%00b", u"a"},
      {u"%00abc", u""},
      // Bytes that are not UTF-8: each maximal bad subpart becomes one U+FFFD
      // and the characters after it survive.
      {u"%E9", u"\uFFFD"},
      {u"caf%E9.xhtml", u"caf\uFFFD.xhtml"},
      {u"%E2%82", u"\uFFFD"},
      {u"%E2%82x", u"\uFFFDx"},
      {u"%80%80", u"\uFFFD\uFFFD"},
      {u"%C0%AF", u"\uFFFD\uFFFD"},                    // overlong
      {u"%ED%A0%80", u"\uFFFD\uFFFD\uFFFD"},           // encoded surrogate
      {u"%F4%90%80%80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {u"%FF%FE", u"\uFFFD\uFFFD"},
      // A lone surrogate in the href cannot be UTF-8: it becomes U+FFFD.
      {std::u16string(u"%20") + char16_t(0xD800) + u"x", u" \uFFFDx"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(decodeHref(row.href), row.expected) << "row " << (&row - rows);
  }
}

}  // namespace
}  // namespace epub::package
