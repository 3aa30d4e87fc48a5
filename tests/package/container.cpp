// The container document: which rootfile names the package document, and
// what is recorded about it.
#include <gtest/gtest.h>

#include <string>

#include "package/readers.h"

namespace epub::package {
namespace {

TEST(Container, RootfileChoice) {
  struct Row {
    std::u16string text;
    bool found;
    std::u16string opfPath;
    std::u16string opfDirectory;
  };
  const Row rows[] = {
      // The usual document, declaration and namespace included.
      {u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
       u"<container version=\"1.0\" xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\">"
       u"<rootfiles><rootfile full-path=\"OEBPS/content.opf\" "
       u"media-type=\"application/oebps-package+xml\"/></rootfiles></container>",
       true, u"OEBPS/content.opf", u"OEBPS/"},
      // The first rootfile with the exact package media type wins.
      {u"<container><rootfiles>"
       u"<rootfile full-path=\"a.pdf\" media-type=\"application/pdf\"/>"
       u"<rootfile full-path=\"b/second.opf\" media-type=\"application/oebps-package+xml\"/>"
       u"<rootfile full-path=\"c/third.opf\" media-type=\"application/oebps-package+xml\"/>"
       u"</rootfiles></container>",
       true, u"b/second.opf", u"b/"},
      // The media type compares exactly: other letter case or spaces skip.
      {u"<container><rootfiles>"
       u"<rootfile full-path=\"x.opf\" media-type=\"Application/OEBPS-Package+XML\"/>"
       u"<rootfile full-path=\"y.opf\" media-type=\" application/oebps-package+xml\"/>"
       u"<rootfile full-path=\"z.opf\"/>"
       u"</rootfiles></container>",
       false, u"", u""},
      // Element and attribute names ignore letter case.
      {u"<CONTAINER><ROOTFILES><RootFile FULL-PATH=\"content.opf\" "
       u"Media-Type=\"application/oebps-package+xml\"/></ROOTFILES></CONTAINER>",
       true, u"content.opf", u""},
      // An unrelated child of rootfiles only adds a try; the rootfile is found.
      {u"<container><rootfiles><note/>"
       u"<rootfile full-path=\"p/q.opf\" media-type=\"application/oebps-package+xml\"/>"
       u"</rootfiles></container>",
       true, u"p/q.opf", u"p/"},
      // A prefixed name is another name: opf:rootfile is not a rootfile.
      {u"<container><rootfiles>"
       u"<opf:rootfile full-path=\"p.opf\" media-type=\"application/oebps-package+xml\"/>"
       u"</rootfiles></container>",
       false, u"", u""},
      // Only the first rootfiles element is read.
      {u"<container><rootfiles/><rootfiles>"
       u"<rootfile full-path=\"p.opf\" media-type=\"application/oebps-package+xml\"/>"
       u"</rootfiles></container>",
       false, u"", u""},
      // A missing or empty full-path is taken as written: empty.
      {u"<container><rootfiles>"
       u"<rootfile media-type=\"application/oebps-package+xml\"/></rootfiles></container>",
       true, u"", u""},
      {u"<container><rootfiles><rootfile full-path "
       u"media-type=\"application/oebps-package+xml\"/></rootfiles></container>",
       true, u"", u""},
      // A path with a leading "/" is kept with it.
      {u"<container><rootfiles><rootfile full-path=\"/OEBPS/content.opf\" "
       u"media-type=\"application/oebps-package+xml\"/></rootfiles></container>",
       true, u"/OEBPS/content.opf", u"/OEBPS/"},
      // Rootfiles nested deeper, another root, or no usable text: nothing.
      {u"<container><x><rootfiles><rootfile full-path=\"p.opf\" "
       u"media-type=\"application/oebps-package+xml\"/></rootfiles></x></container>",
       false, u"", u""},
      {u"<package><rootfiles><rootfile full-path=\"p.opf\" "
       u"media-type=\"application/oebps-package+xml\"/></rootfiles></package>",
       false, u"", u""},
      {u"", false, u"", u""},
      {u"not xml at all <<<", false, u"", u""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("row " + std::to_string(&row - rows));
    PackageLocation location;
    EXPECT_EQ(parseContainer(row.text.c_str(), location), row.found);
    EXPECT_EQ(location.opfPath, row.opfPath);
    EXPECT_EQ(location.opfDirectory, row.opfDirectory);
    EXPECT_EQ(location.rootfileMediaType,
              row.found ? u"application/oebps-package+xml" : std::u16string());
  }
}

// A failed search leaves an earlier location untouched.
TEST(Container, FailureLeavesTheLocationAsItWas) {
  PackageLocation location;
  setPackageLocation(location, u"old/content.opf");
  location.rootfileMediaType = u"old";
  EXPECT_FALSE(parseContainer(u"<container><rootfiles/></container>", location));
  EXPECT_FALSE(parseContainer(nullptr, location));
  EXPECT_EQ(location.opfPath, u"old/content.opf");
  EXPECT_EQ(location.opfDirectory, u"old/");
  EXPECT_EQ(location.rootfileMediaType, u"old");
}

}  // namespace
}  // namespace epub::package
