// Search: every document's bytes are read through the host and searched by
// the renderer, the answers summed; one document's search reads any path.
#include "content_fixture.h"

namespace contenttest {
namespace {

using Search = ContentTest;

// A document read and searched with the given values.
#define SEARCHED(path, values) "read(" path ")", "search(" path ", bytes, " values ")"

TEST_F(Search, SumsOverEveryReadableDocument) {
  open({"a.xhtml", "b.xhtml", "c.xhtml"});
  host.files[u"o/x.xhtml"] = "<p>x</p>";  // readable, but in no item
  testrenderer::answer("search", [](const Call& c) -> intptr_t {
    return c.path == u"o/a.xhtml" ? 2 : c.path == u"o/c.xhtml" ? 5 : c.path == u"o/x.xhtml" ? 9 : 0;
  });
  check({
      // Nothing is loaded: search reads every document anyway, in order.
      {"three documents answering 2, 0 and 5",
       num(EpubReader_search(reader, 1, -2, 3)),
       "7",
       {SEARCHED("o/a.xhtml", "1, -2, 3"), SEARCHED("o/b.xhtml", "1, -2, 3"),
        SEARCHED("o/c.xhtml", "1, -2, 3")}},
      {"a document that cannot be read is skipped",
       (host.unreadable = {u"o/c.xhtml"}, num(EpubReader_search(reader, 4, 5, 6))),
       "2",
       {SEARCHED("o/a.xhtml", "4, 5, 6"), SEARCHED("o/b.xhtml", "4, 5, 6"), "read(o/c.xhtml)"}},
      // searchContent resolves the path and searches whatever the host can
      // supply, -1 when it cannot; setSearchDrawItem resolves the path too.
      {"searchContent",
       all({num(EpubReader_searchContent(reader, u"x.xhtml", 7, 8, 9)),
            num(EpubReader_searchContent(reader, u"c.xhtml", 7, 8, 9))}),
       "9 -1",
       {SEARCHED("o/x.xhtml", "7, 8, 9"), "read(o/c.xhtml)"}},
      {"setSearchDrawItem",
       (EpubReader_setSearchDrawItem(reader, u"Text/../c.xhtml", 4, 5),
        EpubReader_setSearchDrawItem(reader, nullptr, 6, 7), ""),
       "",
       {"setSearchDrawItem(o/c.xhtml, 4, 5)", "setSearchDrawItem(o, 6, 7)"}},
  });
}

}  // namespace
}  // namespace contenttest
