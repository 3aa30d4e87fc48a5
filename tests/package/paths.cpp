// Paths inside the container: the OPF folder, segment splitting, joining the
// folder with an href, and percent-decoding of manifest hrefs.
#include "package/paths.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace epub::package {
namespace {

struct Row {
  std::u16string in, expected;
};

TEST(Paths, PackageLocationAndSegments) {
  // The folder is everything up to and including the last "/" (a backslash
  // is an ordinary character); splitting never yields an empty segment, and
  // "." and ".." are ordinary segments there. Segments are joined by "|".
  const std::u16string rows[][3] = {
      {u"OEBPS/content.opf", u"OEBPS/", u"OEBPS|content.opf"},
      {u"/a//b/c.opf", u"/a//b/", u"a|b|c.opf"},
      {u"dir/", u"dir/", u"dir"},
      {u"content.opf", u"", u"content.opf"},
      {u"", u"", u""},
      {u"///", u"///", u""},
      {u"./..\\x/c#d?e", u"./..\\x/", u".|..\\x|c#d?e"},
  };
  for (const auto& [path, folder, segments] : rows) {
    SCOPED_TRACE(testing::PrintToString(path));
    PackageLocation location{u"stale", u"stale/", u"kept"};
    setPackageLocation(location, path);
    EXPECT_EQ(location.opfPath, path);
    EXPECT_EQ(location.opfDirectory, folder);
    EXPECT_EQ(location.rootfileMediaType, u"kept");
    std::u16string joined;
    for (std::u16string_view s : splitPath(path))
      joined += (joined.empty() ? u"" : u"|") + std::u16string(s);
    EXPECT_EQ(joined, segments);
  }
}

TEST(Paths, ResolvePath) {
  const std::u16string deep = u"a/b/c/d/e/f/g/h/i/j/k/l/m/n/o/p/q/r/s/";
  const std::u16string rows[][3] = {
      // Relative hrefs join the folder; ".." climbs, never above the root,
      // and "." stays.
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
      // An empty href is the folder without its slash; the base's leading
      // "/" is ignored, separators collapse, and the result has no leading
      // or trailing "/".
      {u"OEBPS/", u"", u"OEBPS"},
      {u"/OEBPS/", u"Text//a.xhtml/", u"OEBPS/Text/a.xhtml"},
      // Fragments, queries and backslashes are ordinary characters.
      {u"OEBPS/", u"ch1.xhtml#s2", u"OEBPS/ch1.xhtml#s2"},
      {u"OEBPS/", u"Text\\a.xhtml?x=1", u"OEBPS/Text\\a.xhtml?x=1"},
      // A segment equal to the working list's segment at the same position
      // is taken as present, wherever it stands; positions count "." and
      // "..", against the list as it is then; segments compare exactly.
      {u"OEBPS/", u"OEBPS/Text/c1.xhtml", u"OEBPS/Text/c1.xhtml"},
      {u"OEBPS/", u"OEBPS/OEBPS/a.xhtml", u"OEBPS/OEBPS/a.xhtml"},
      {u"A/", u"B/B/c", u"A/B/c"},
      {u"a/b/", u"x/b/c", u"a/b/x/c"},
      {u"OEBPS/", u"./OEBPS/a", u"OEBPS/OEBPS/a"},
      {u"a/b/", u"../b/c", u"a/b/c"},
      {u"OEBPS/", u"oebps/a.xhtml", u"OEBPS/oebps/a.xhtml"},
      // The base's own "." and ".." are not folded.
      {u"./x/", u"y", u"./x/y"},
      {u"a/../", u"b", u"a/../b"},
      // Paths longer than the segments kept in place.
      {deep, u"t/u/../v/w", deep + u"t/v/w"},
  };
  for (const auto& [base, href, expected] : rows) {
    SCOPED_TRACE(testing::PrintToString(base) + " + " + testing::PrintToString(href));
    EXPECT_EQ(resolvePath(base, href), expected);
  }
}

TEST(Paths, DecodeHref) {
  const Row rows[] = {
      // Without any "%" the href is returned untouched, "+" included.
      {u"a+b.xhtml", u"a+b.xhtml"},
      {u"", u""},
      // Escapes in any letter case give their byte; "+" is a space once a
      // "%" is present; a "%" without two hex digits stays, and what follows
      // reads normally.
      {u"a+b%2Bc%4a%4A%4b%20", u"a b+cJJK "},
      {u"100%.xhtml", u"100%.xhtml"},
      {u"%zz%2%%41%4%41%", u"%zz%2%A%4A%"},
      // Escaped bytes are UTF-8; characters that are not escaped keep their
      // value, astral ones too, and a lone surrogate becomes U+FFFD.
      {u"%E2%82%AC%F0%9F%98%80caf%C3%A9", u"\u20AC\U0001F600caf\u00E9"},
      {u"\u00E9%20\u4E2D\U0001F600", u"\u00E9 \u4E2D\U0001F600"},
      {u"%20" + std::u16string(1, char16_t(0xD800)) + u"x", u" \uFFFDx"},
      // %00 ends the href; nothing before it gives the empty string.
      {u"a%00b", u"a"},
      {u"%00abc", u""},
      // Bytes that are not UTF-8: each maximal bad subpart (a lone lead or
      // continuation byte, a cut sequence, an overlong form, an encoded
      // surrogate, a value above U+10FFFF) becomes one U+FFFD, and the
      // characters after it survive.
      {u"%E9.%E2%82x%80%80|%C0%AF|%ED%A0%80|%F4%90%80%80|%FF%F0%9F",
       u"\uFFFD.\uFFFDx\uFFFD\uFFFD|\uFFFD\uFFFD|\uFFFD\uFFFD\uFFFD|\uFFFD\uFFFD\uFFFD\uFFFD|"
       u"\uFFFD\uFFFD"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.in));
    EXPECT_EQ(decodeHref(row.in), row.expected);
  }
}

}  // namespace
}  // namespace epub::package
