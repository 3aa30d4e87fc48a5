// Where the container document puts the OPF, joining the OPF folder with an
// href, and percent-decoding of manifest hrefs.
#include "package/paths.h"

#include <gtest/gtest.h>

#include "package/readers.h"
#include "record_text.h"

namespace epub::package {
namespace {

const std::u16string kType = u"application/oebps-package+xml";

std::u16string rootfile(const std::u16string& path, const std::u16string& type = kType) {
  return u"<rootfile full-path='" + path + u"' media-type='" + type + u"'/>";
}
std::u16string container(const std::u16string& rootfiles) {
  return u"<container><rootfiles>" + rootfiles + u"</rootfiles></container>";
}

// The OPF path and folder found ("" for none: the location is left as it was).
TEST(Container, RootfileChoice) {
  const std::u16string rows[][2] = {
      // The usual document, declaration and namespace included.
      {u"<?xml version='1.0' encoding='UTF-8'?><container version='1.0' "
       u"xmlns='urn:oasis:names:tc:opendocument:xmlns:container'><rootfiles>" +
           rootfile(u"OEBPS/content.opf") + u"</rootfiles></container>",
       u"OEBPS/content.opf OEBPS/"},
      // The first rootfile with exactly the package media type wins.
      {container(rootfile(u"a.pdf", u"application/pdf") + rootfile(u"x", u" " + kType) +
                 u"<rootfile full-path='z'/>" + rootfile(u"b/2.opf") + rootfile(u"c/3.opf")),
       u"b/2.opf b/"},
      {container(rootfile(u"x", u"Application/OEBPS-Package+XML")), u""},
      // Element and attribute names ignore letter case.
      {u"<CONTAINER><ROOTFILES><RootFile FULL-PATH='content.opf' Media-Type='" + kType +
           u"'/></ROOTFILES></CONTAINER>",
       u"content.opf "},
      // An unrelated child only adds a try; a prefixed name is another name.
      {container(u"<note/>" + rootfile(u"p/q.opf")), u"p/q.opf p/"},
      {container(u"<opf:rootfile full-path='p.opf' media-type='" + kType + u"'/>"), u""},
      // A missing, valueless or leading-"/" full-path is taken as written.
      {container(u"<rootfile media-type='" + kType + u"'/>"), u" "},
      {container(u"<rootfile full-path media-type='" + kType + u"'/>"), u" "},
      {container(rootfile(u"/OEBPS/content.opf")), u"/OEBPS/content.opf /OEBPS/"},
      // The folder is the path up to its last "/"; a backslash is no "/".
      {container(rootfile(u"a//b/c.opf")), u"a//b/c.opf a//b/"},
      {container(rootfile(u"a\\b.opf")), u"a\\b.opf "},
      // Only the root's first rootfiles child counts; other roots, no XML.
      {u"<container><rootfiles/><rootfiles>" + rootfile(u"p.opf") + u"</rootfiles></container>",
       u""},
      {u"<container><x><rootfiles>" + rootfile(u"p.opf") + u"</rootfiles></x></container>", u""},
      {u"<package><rootfiles>" + rootfile(u"p.opf") + u"</rootfiles></package>", u""},
      {u"not xml at all <<<", u""},
  };
  for (const auto& [text, expected] : rows) {
    PackageLocation location{u"old/x.opf", u"old/", u"old"};
    const bool found = parseContainer(test::handedOver(text), location);
    EXPECT_EQ(location.opfPath + u" " + location.opfDirectory + u" " + location.rootfileMediaType,
              found ? expected + u" " + kType : u"old/x.opf old/ old")
        << testing::PrintToString(text);
    EXPECT_EQ(found, !expected.empty());
  }
  PackageLocation location;
  EXPECT_FALSE(parseContainer(nullptr, location));
}

TEST(Paths, ResolvePath) {
  const std::u16string deep = u"a/b/c/d/e/f/g/h/i/j/k/l/m/n/o/p/q/r/s/";
  const std::u16string rows[][3] = {
      // Relative hrefs join the folder; ".." climbs, never above the root.
      {u"OEBPS/", u"Text/ch1.xhtml", u"OEBPS/Text/ch1.xhtml"},
      {u"OEBPS/", u"../Images/a.png", u"Images/a.png"},
      {u"OEBPS/", u"../../a.png", u"a.png"},
      {u"", u"./x.xhtml", u"x.xhtml"},
      {u"a/b/", u"./c/../d.xhtml", u"a/b/d.xhtml"},
      // A leading "/" starts at the root, the rest taken literally.
      {u"OEBPS/", u"/OEBPS/a.xhtml", u"OEBPS/a.xhtml"},
      {u"OEBPS/", u"/a/../b.xhtml", u"a/../b.xhtml"},
      {u"OEBPS/", u"//a.xhtml", u"/a.xhtml"},
      // Separators collapse; no "/" leads or ends the result.
      {u"OEBPS/", u"", u"OEBPS"},
      {u"/OEBPS/", u"Text//a.xhtml/", u"OEBPS/Text/a.xhtml"},
      // Fragments, queries and backslashes are ordinary characters.
      {u"OEBPS/", u"ch1.xhtml#s2", u"OEBPS/ch1.xhtml#s2"},
      {u"OEBPS/", u"Text\\a.xhtml?x=1", u"OEBPS/Text\\a.xhtml?x=1"},
      // A segment equal (exactly) to the list's at its position ("." and ".." counted) is there.
      {u"OEBPS/", u"OEBPS/Text/c1.xhtml", u"OEBPS/Text/c1.xhtml"},
      {u"OEBPS/", u"OEBPS/OEBPS/a.xhtml", u"OEBPS/OEBPS/a.xhtml"},
      {u"A/", u"B/B/c", u"A/B/c"},
      {u"OEBPS/", u"./OEBPS/a", u"OEBPS/OEBPS/a"},
      {u"a/b/", u"../b/c", u"a/b/c"},
      {u"OEBPS/", u"oebps/a.xhtml", u"OEBPS/oebps/a.xhtml"},
      // The base's own "." and ".." are not folded.
      {u"a/../", u"b", u"a/../b"},
      // More segments than are kept in place.
      {deep, u"t/u/../v/w", deep + u"t/v/w"},
  };
  for (const auto& [base, href, expected] : rows) {
    SCOPED_TRACE(testing::PrintToString(base) + " + " + testing::PrintToString(href));
    EXPECT_EQ(resolvePath(base, href), expected);
  }
  // Splitting alone: never an empty segment, "." is an ordinary one.
  EXPECT_EQ(splitPath(u"/a//b\\c/./"), (std::vector<std::u16string_view>{u"a", u"b\\c", u"."}));
  EXPECT_TRUE(splitPath(u"///").empty());
}

TEST(Paths, DecodeHref) {
  const std::u16string rows[][2] = {
      // Without any "%" the href is returned untouched, "+" included.
      {u"a+b.xhtml", u"a+b.xhtml"},
      // Escapes in any case, "+" a space beside a "%"; a "%" without two hex digits stays.
      {u"a+b%2Bc%4a%4A%4b%20", u"a b+cJJK "},
      {u"100%.xhtml", u"100%.xhtml"},
      {u"%zz%2%%41%4%41%", u"%zz%2%A%4A%"},
      // Escaped bytes are UTF-8; others keep their value, a lone surrogate not.
      {u"%E2%82%AC%F0%9F%98%80caf%C3%A9", u"\u20AC\U0001F600caf\u00E9"},
      {u"\u00E9%20\u4E2D\U0001F600", u"\u00E9 \u4E2D\U0001F600"},
      {u"%20" + std::u16string(1, char16_t(0xD800)) + u"x", u" \uFFFDx"},
      // %00 ends the href; nothing before it gives the empty string.
      {u"a%00b", u"a"},
      {u"%00abc", u""},
      // Not UTF-8: one U+FFFD per maximal bad subpart (lone, cut, overlong, surrogate, high).
      {u"%E9.%E2%82x%80%80|%C0%AF|%ED%A0%80|%F4%90%80%80|%FF%F0%9F",
       u"\uFFFD.\uFFFDx\uFFFD\uFFFD|\uFFFD\uFFFD|\uFFFD\uFFFD\uFFFD|\uFFFD\uFFFD\uFFFD\uFFFD|"
       u"\uFFFD\uFFFD"},
  };
  for (const auto& [href, expected] : rows) {
    SCOPED_TRACE(testing::PrintToString(href));
    EXPECT_EQ(decodeHref(href), expected);
  }
}

}  // namespace
}  // namespace epub::package
