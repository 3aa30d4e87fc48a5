// The container document: which rootfile names the package document, and
// what is recorded about it.
#include <gtest/gtest.h>

#include <string>

#include "package/readers.h"

namespace epub::package {
namespace {

const std::u16string kType = u"application/oebps-package+xml";

std::u16string rootfile(const std::u16string& path, const std::u16string& type = kType) {
  return u"<rootfile full-path=\"" + path + u"\" media-type=\"" + type + u"\"/>";
}
std::u16string container(const std::u16string& rootfiles) {
  return u"<container><rootfiles>" + rootfiles + u"</rootfiles></container>";
}

TEST(Container, RootfileChoice) {
  struct Row {
    std::u16string text;
    std::u16string opfPath, opfDirectory;  // "old/x.opf", "old/" when none is found
  };
  const Row rows[] = {
      // The usual document, declaration and namespace included.
      {u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><container version=\"1.0\" "
       u"xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\"><rootfiles>" +
           rootfile(u"OEBPS/content.opf") + u"</rootfiles></container>",
       u"OEBPS/content.opf", u"OEBPS/"},
      // The first rootfile with exactly the package media type wins; other
      // letter case, spaces or no media type skip.
      {container(rootfile(u"a.pdf", u"application/pdf") +
                 rootfile(u"x", u"Application/OEBPS-Package+XML") + rootfile(u"y", u" " + kType) +
                 u"<rootfile full-path=\"z\"/>" + rootfile(u"b/2.opf") + rootfile(u"c/3.opf")),
       u"b/2.opf", u"b/"},
      {container(rootfile(u"x", u"Application/OEBPS-Package+XML")), u"old/x.opf", u"old/"},
      // Element and attribute names ignore letter case.
      {u"<CONTAINER><ROOTFILES><RootFile FULL-PATH=\"content.opf\" Media-Type=\"" + kType +
           u"\"/></ROOTFILES></CONTAINER>",
       u"content.opf", u""},
      // An unrelated child of rootfiles only adds a try; a prefixed name is
      // another name.
      {container(u"<note/>" + rootfile(u"p/q.opf")), u"p/q.opf", u"p/"},
      {container(u"<opf:rootfile full-path=\"p.opf\" media-type=\"" + kType + u"\"/>"),
       u"old/x.opf", u"old/"},
      // A missing, valueless or leading-"/" full-path is taken as written.
      {container(u"<rootfile media-type=\"" + kType + u"\"/>"), u"", u""},
      {container(u"<rootfile full-path media-type=\"" + kType + u"\"/>"), u"", u""},
      {container(rootfile(u"/OEBPS/content.opf")), u"/OEBPS/content.opf", u"/OEBPS/"},
      // Only the first rootfiles child of the root is read.
      {u"<container><rootfiles/><rootfiles>" + rootfile(u"p.opf") + u"</rootfiles></container>",
       u"old/x.opf", u"old/"},
      {u"<container><x><rootfiles>" + rootfile(u"p.opf") + u"</rootfiles></x></container>",
       u"old/x.opf", u"old/"},
      // Another root, no text or no XML: nothing found.
      {u"<package><rootfiles>" + rootfile(u"p.opf") + u"</rootfiles></package>", u"old/x.opf",
       u"old/"},
      {u"", u"old/x.opf", u"old/"},
      {u"not xml at all <<<", u"old/x.opf", u"old/"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.text));
    PackageLocation location;
    setPackageLocation(location, u"old/x.opf");
    location.rootfileMediaType = u"old";
    const bool found = row.opfPath != u"old/x.opf";
    EXPECT_EQ(parseContainer(row.text.c_str(), location), found);
    EXPECT_EQ(location.opfPath, row.opfPath);
    EXPECT_EQ(location.opfDirectory, row.opfDirectory);
    EXPECT_EQ(location.rootfileMediaType, found ? kType : u"old");
  }
  PackageLocation location;
  EXPECT_FALSE(parseContainer(nullptr, location));
}

}  // namespace
}  // namespace epub::package
