// Loading documents into the renderer and taking them out: what is read,
// what the renderer and the host hear and in which order, and the page
// counts that result.
#include "content_fixture.h"

namespace contenttest {
namespace {

class Loading : public ContentTest {
 protected:
  std::string load(const char16_t* path) {
    return flag(EpubReader_loadContent(reader, path, Host::progress, &host));
  }
  std::string loadAll() {
    return all({flag(EpubReader_loadAll(reader, Host::progress, &host)), total()});
  }
  void unload(const char16_t* path) { EpubReader_deleteContent(reader, path); }
  void unreadable(std::set<std::u16string> paths) { host.unreadable = std::move(paths); }
};

// The log of a document read and laid out with the host's progress callback.
#define LAID_OUT(path) \
  "read(" path ")", "xhtml(" path ", bytes, progress, host)", "getPageLength(" path ")"

TEST_F(Loading, LoadDeleteAndReloadInSequence) {
  open({"a.xhtml", "b.xhtml", "c.xhtml"});
  script("a.xhtml", 3);
  script("b.xhtml", 0);
  script("c.xhtml", 2);
  const char16_t *a = u"a.xhtml", *c = u"c.xhtml";
  check({
      // Every document not loaded is read and laid out; the progress
      // callback follows each item, a failed read included, once its count
      // is in the total.
      {"first loadAll, c unreadable",
       (unreadable({u"o/c.xhtml"}), loadAll()),
       "true 3",
       {LAID_OUT("o/a.xhtml"), "progress(3, 1, total 3)", LAID_OUT("o/b.xhtml"),
        "progress(3, 2, total 3)", "read(o/c.xhtml)", "progress(3, 3, total 3)"}},
      // Loaded documents are neither read nor asked again; the total is
      // summed afresh.
      {"second loadAll reads only c",
       (unreadable({}), loadAll()),
       "true 5",
       {"progress(3, 1, total 3)", "progress(3, 2, total 3)", LAID_OUT("o/c.xhtml"),
        "progress(3, 3, total 5)"}},
      {"loadContent of a loaded document reads nothing", load(a), "false"},
      // The renderer hears first, then the host; the page count stays.
      {"deleteContent",
       (unload(a), all({pages(a), total()})),
       "3 5",
       {"deleteXhtml(o/a.xhtml)", "release(o/a.xhtml)"}},
      // A deleted document that cannot be read still adds its old count.
      {"loadAll, a deleted and unreadable",
       (unreadable({u"o/a.xhtml"}), script("a.xhtml", 4), loadAll()),
       "true 5",
       {"read(o/a.xhtml)", "progress(3, 1, total 3)", "progress(3, 2, total 3)",
        "progress(3, 3, total 5)"}},
      // loadContent hands the callback on, never calls it itself, and leaves
      // the total as the last loadAll computed it.
      {"loadContent after the delete",
       (unreadable({}), all({load(a), pages(a), total()})),
       "true 4 5",
       {LAID_OUT("o/a.xhtml")}},
      // A failed read leaves the document unloaded, so it is read again.
      {"loadContent failing",
       (unload(c), unreadable({u"o/c.xhtml"}), load(c)),
       "false",
       {"deleteXhtml(o/c.xhtml)", "release(o/c.xhtml)", "read(o/c.xhtml)"}},
      {"then succeeding", (unreadable({}), load(c)), "true", {LAID_OUT("o/c.xhtml")}},
      // Paths resolve against the OPF folder: one repeating the folder and
      // one from the container root name the document...
      {"paths with the folder and from the root",
       (unload(u"o/b.xhtml"), load(u"/o/b.xhtml")),
       "true",
       {"deleteXhtml(o/b.xhtml)", "release(o/b.xhtml)", LAID_OUT("o/b.xhtml")}},
      // ...then compare exactly: another letter case, null and unknown
      // paths name nothing.
      {"paths naming nothing",
       (unload(u"B.xhtml"), unload(nullptr), unload(u"x.xhtml"),
        all({load(u"o/B.xhtml"), load(nullptr), load(u"")})),
       "false false false"},
  });
}

// Deleting a document never loaded still takes it out of the renderer and
// tells the host. Two spine entries naming one document are two items with
// one path, each loaded on its own; a lookup by path finds the first (page
// 6 lies in the first item only if it is the one reloaded with 7 pages).
TEST_F(Loading, DuplicatesAndDocumentsNeverLoaded) {
  open({"a.xhtml", "a.xhtml", "b.xhtml"});
  script("a.xhtml", 2);
  script("b.xhtml", 1);
  const char16_t* a = u"a.xhtml";
  check({
      {"delete before any load",
       (unload(u"b.xhtml"), pages(u"b.xhtml")),
       "0",
       {"deleteXhtml(o/b.xhtml)", "release(o/b.xhtml)"}},
      {"loadAll reads the shared document twice",
       loadAll(),
       "true 5",
       {LAID_OUT("o/a.xhtml"), "progress(3, 1, total 2)", LAID_OUT("o/a.xhtml"),
        "progress(3, 2, total 4)", LAID_OUT("o/b.xhtml"), "progress(3, 3, total 5)"}},
      {"the first of the two is deleted and loaded again",
       (script("a.xhtml", 7), unload(a), all({load(a), load(a)})),
       "true false",
       {"deleteXhtml(o/a.xhtml)", "release(o/a.xhtml)", LAID_OUT("o/a.xhtml")}},
      {"page 6",
       (EpubReader_draw(reader, 6, 0, 0, 0, 0), ""),
       "",
       {"draw(o/a.xhtml, 6, 0, 0, 0, 0)"}},
  });
}

// An empty reading order (no idref names a manifest item): loadAll succeeds
// with a total of 0 and no progress report; nothing else is found.
TEST_F(Loading, EmptyContentTable) {
  open({"?", "?"});
  host.files[u"o/a.xhtml"] = "<p/>";
  check({{"every load", all({loadAll(), (unload(u"a.xhtml"), load(u"a.xhtml"))}), "true 0 false"}});
}

}  // namespace
}  // namespace contenttest
