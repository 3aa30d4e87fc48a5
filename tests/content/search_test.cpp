// Search: every document's bytes are read through the host and searched by
// the renderer, the answers summed; one document's search reads any path.
#include "content_fixture.h"

namespace contenttest {
namespace {

class Search : public ContentTest {
 protected:
  std::string searched(const std::string& path, intptr_t a, intptr_t b, intptr_t c) {
    return "search(" + path + ", " + host.bytesOf(wide(path)) + ", " + num(a) + ", " + num(b) +
           ", " + num(c) + ")";
  }
};

TEST_F(Search, SumsOverEveryReadableDocument) {
  open({"a.xhtml", "b.xhtml", "c.xhtml"});
  host.files[u"OEBPS/x.xhtml"] = "<p>x</p>";  // readable, but in no item
  testrenderer::answer("search", [](const Call& c) -> intptr_t {
    if (c.path == u"OEBPS/a.xhtml") return 2;
    if (c.path == u"OEBPS/c.xhtml") return 5;
    if (c.path == u"OEBPS/x.xhtml") return 9;
    return 0;
  });
  const std::string a = "OEBPS/a.xhtml", b = "OEBPS/b.xhtml", c = "OEBPS/c.xhtml";
  const std::vector<std::string> readAll = {"read(" + a + ")", "read(" + b + ")",
                                            "read(" + c + ")"};
  run({
      // Nothing is loaded: search reads every document anyway, in order.
      {"three documents answering 2, 0 and 5",
       [&] { return num(EpubReader_search(reader, 1, -2, 3)); },
       "7",
       {searched(a, 1, -2, 3), searched(b, 1, -2, 3), searched(c, 1, -2, 3)},
       readAll},
      {"a document that cannot be read is skipped",
       [&] {
         host.unreadable = {wide(c)};
         return num(EpubReader_search(reader, 4, 5, 6));
       },
       "2",
       {searched(a, 4, 5, 6), searched(b, 4, 5, 6)},
       readAll},
      {"searchContent reads any path the host can supply",
       [&] { return num(EpubReader_searchContent(reader, u"x.xhtml", 7, 8, 9)); },
       "9",
       {searched("OEBPS/x.xhtml", 7, 8, 9)},
       {"read(OEBPS/x.xhtml)"}},
      {"searchContent on a failed read",
       [&] { return num(EpubReader_searchContent(reader, u"c.xhtml", 7, 8, 9)); },
       "-1",
       {},
       {"read(OEBPS/c.xhtml)"}},
      {"setSearchDrawItem resolves the path",
       [&] {
         EpubReader_setSearchDrawItem(reader, u"Text/../c.xhtml", 4, 5);
         EpubReader_setSearchDrawItem(reader, nullptr, 6, 7);
         return std::string("none");
       },
       "none",
       {"setSearchDrawItem(OEBPS/c.xhtml, 4, 5)", "setSearchDrawItem(OEBPS, 6, 7)"}},
  });
}

TEST_F(Search, NoDocuments) {
  host.files[u"a.xhtml"] = "<p/>";
  testrenderer::answer("search", [](const Call&) -> intptr_t { return 3; });
  run({{"before opening: nothing to sum; one document still searched",
        [&] {
          const int32_t all = EpubReader_search(reader, 1, 2, 3);
          return num(all) + " " + num(EpubReader_searchContent(reader, u"a.xhtml", 1, 2, 3));
        },
        "0 3",
        {searched("a.xhtml", 1, 2, 3)},
        {"read(a.xhtml)"}}});
}

}  // namespace
}  // namespace contenttest
