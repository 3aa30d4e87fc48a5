// Loading documents into the renderer and taking them out: what is read,
// what the renderer and the host hear, and which page counts result.
#include "content_fixture.h"

namespace contenttest {
namespace {

const std::u16string kA = u"OEBPS/a.xhtml";
const std::u16string kB = u"OEBPS/b.xhtml";
const std::u16string kC = u"OEBPS/c.xhtml";

class Loading : public ContentTest {
 protected:
  std::string total() { return " total " + num(EpubReader_getPageCount(reader)); }
  std::string count(const char16_t* path) {
    return num(EpubReader_getContentPageCount(reader, path));
  }
  std::string loadAllWithProgress() {
    const bool loaded = EpubReader_loadAll(reader, Host::progress, progressContext);
    return flag(loaded) + total();
  }
};

TEST_F(Loading, LoadDeleteAndReloadInSequence) {
  open({"a.xhtml", "b.xhtml", "c.xhtml"});
  script("a.xhtml", 3, {0, 5, 9, 12});
  script("b.xhtml", 0, {0});
  script("c.xhtml", 2, {0, 4, 8});
  host.unreadable = {kC};
  const auto progress = Host::progress;
  const void* context = progressContext;
  run({
      // Each document not loaded is read and laid out; progress follows every
      // item, a failed read included, after its count was added.
      {"first loadAll, c unreadable",
       [&] { return loadAllWithProgress(); },
       "true total 3",
       {xhtml("a.xhtml", progress, context), "getPageLength(OEBPS/a.xhtml)",
        xhtml("b.xhtml", progress, context), "getPageLength(OEBPS/b.xhtml)"},
       {"read(OEBPS/a.xhtml)", "progress(3, 1)", "read(OEBPS/b.xhtml)", "progress(3, 2)",
        "read(OEBPS/c.xhtml)", "progress(3, 3)"}},
      // Loaded documents are neither read nor asked again.
      {"second loadAll reads only c",
       [&] {
         host.unreadable.clear();
         return loadAllWithProgress();
       },
       "true total 5",
       {xhtml("c.xhtml", progress, context), "getPageLength(OEBPS/c.xhtml)"},
       {"progress(3, 1)", "progress(3, 2)", "read(OEBPS/c.xhtml)", "progress(3, 3)"}},
      {"third loadAll only sums",
       [&] { return loadAllWithProgress(); },
       "true total 5",
       {},
       {"progress(3, 1)", "progress(3, 2)", "progress(3, 3)"}},
      {"loadContent of a loaded document reads nothing",
       [&] { return flag(EpubReader_loadContent(reader, u"a.xhtml", progress, progressContext)); },
       "false",
       {}},
      // The renderer hears first, then the host; the page count survives.
      {"deleteContent",
       [&] {
         EpubReader_deleteContent(reader, u"a.xhtml");
         return count(u"a.xhtml") + total();
       },
       "3 total 5",
       {"deleteXhtml(OEBPS/a.xhtml)"},
       {"release(OEBPS/a.xhtml)"}},
      // A deleted document that cannot be read adds its old count.
      {"loadAll after the delete, a unreadable",
       [&] {
         host.unreadable = {kA};
         testrenderer::setPageCount(kA, 4);
         return loadAllWithProgress();
       },
       "true total 5",
       {},
       {"read(OEBPS/a.xhtml)", "progress(3, 1)", "progress(3, 2)", "progress(3, 3)"}},
      // loadContent passes the callback on but never calls it, and leaves
      // the total as the last loadAll computed it.
      {"loadContent after the delete",
       [&] {
         host.unreadable.clear();
         const bool loaded = EpubReader_loadContent(reader, u"a.xhtml", progress, progressContext);
         return flag(loaded) + " " + count(u"a.xhtml") + total();
       },
       "true 4 total 5",
       {xhtml("a.xhtml", progress, context), "getPageLength(OEBPS/a.xhtml)"},
       {"read(OEBPS/a.xhtml)"}},
      {"a failed loadContent leaves the document unloaded",
       [&] {
         EpubReader_deleteContent(reader, u"c.xhtml");
         host.unreadable = {kC};
         const bool first = EpubReader_loadContent(reader, u"c.xhtml", nullptr, nullptr);
         host.unreadable.clear();
         const bool second = EpubReader_loadContent(reader, u"c.xhtml", nullptr, nullptr);
         return flag(first) + " " + flag(second);
       },
       "false true",
       {"deleteXhtml(OEBPS/c.xhtml)", xhtml("c.xhtml"), "getPageLength(OEBPS/c.xhtml)"},
       {"release(OEBPS/c.xhtml)", "read(OEBPS/c.xhtml)", "read(OEBPS/c.xhtml)"}},
      // Paths are resolved against the OPF folder before the lookup.
      {"a path repeating the OPF folder names the document",
       [&] {
         EpubReader_deleteContent(reader, u"OEBPS/b.xhtml");
         return std::string("none");
       },
       "none",
       {"deleteXhtml(OEBPS/b.xhtml)"},
       {"release(OEBPS/b.xhtml)"}},
      {"a path differing in letter case names nothing",
       [&] {
         EpubReader_deleteContent(reader, u"B.xhtml");
         return flag(EpubReader_loadContent(reader, u"oebps/b.xhtml", nullptr, nullptr));
       },
       "false",
       {}},
      {"a path from the container root names the document",
       [&] {
         return flag(EpubReader_loadContent(reader, u"/OEBPS/b.xhtml", nullptr, progressContext));
       },
       "true",
       {xhtml("b.xhtml", nullptr, context), "getPageLength(OEBPS/b.xhtml)"},
       {"read(OEBPS/b.xhtml)"}},
      {"null and unknown paths name nothing",
       [&] {
         EpubReader_deleteContent(reader, nullptr);
         EpubReader_deleteContent(reader, u"x.xhtml");
         return flag(EpubReader_loadContent(reader, nullptr, nullptr, nullptr)) +
                flag(EpubReader_loadContent(reader, u"", nullptr, nullptr));
       },
       "falsefalse",
       {}},
  });
}

TEST_F(Loading, DeleteOfADocumentNeverLoadedStillReportsIt) {
  open({"a.xhtml", "b.xhtml"});
  run({
      {"delete before any load",
       [&] {
         EpubReader_deleteContent(reader, u"b.xhtml");
         return count(u"b.xhtml");
       },
       "0",
       {"deleteXhtml(OEBPS/b.xhtml)"},
       {"release(OEBPS/b.xhtml)"}},
  });
}

// Two spine entries naming one manifest item are two items with one path:
// each has its own flag, and every lookup finds the first.
TEST_F(Loading, DuplicateSpineEntriesShareAPath) {
  open({{"d0", "a.xhtml"}, {"d1", "b.xhtml"}}, {"d0", "d0", "d1"});
  script("a.xhtml", 2, {0, 1, 2});
  script("b.xhtml", 1, {0, 1});
  run({
      {"loadAll reads the shared document twice",
       [&] {
         const bool loaded = EpubReader_loadAll(reader, nullptr, nullptr);
         return flag(loaded) + total();
       },
       "true total 5",
       {xhtml("a.xhtml"), "getPageLength(OEBPS/a.xhtml)", xhtml("a.xhtml"),
        "getPageLength(OEBPS/a.xhtml)", xhtml("b.xhtml"), "getPageLength(OEBPS/b.xhtml)"},
       {"read(OEBPS/a.xhtml)", "read(OEBPS/a.xhtml)", "read(OEBPS/b.xhtml)"}},
      {"the first of the two is found",
       [&] {
         EpubReader_deleteContent(reader, u"a.xhtml");
         const bool again = EpubReader_loadContent(reader, u"a.xhtml", nullptr, nullptr);
         const bool twice = EpubReader_loadContent(reader, u"a.xhtml", nullptr, nullptr);
         return flag(again) + " " + flag(twice) + " " +
                num(EpubReader_getTotalPageBeforeContent(reader, u"b.xhtml"));
       },
       "true false 4",
       {"deleteXhtml(OEBPS/a.xhtml)", xhtml("a.xhtml"), "getPageLength(OEBPS/a.xhtml)"},
       {"release(OEBPS/a.xhtml)", "read(OEBPS/a.xhtml)"}},
  });
}

// No publication open, or one with an empty reading order: nothing to load.
TEST_F(Loading, NothingToLoad) {
  host.files[u"a.xhtml"] = "<p/>";
  host.files[u"OEBPS/a.xhtml"] = "<p/>";
  const auto everyLoad = [&] {
    const bool all = EpubReader_loadAll(reader, Host::progress, progressContext);
    const bool one = EpubReader_loadContent(reader, u"a.xhtml", nullptr, nullptr);
    EpubReader_deleteContent(reader, u"a.xhtml");
    return flag(all) + " " + flag(one) + total();
  };
  run({{"before a publication is open", everyLoad, "false false total 0", {}}});

  // A spine whose idrefs name no manifest item gives an empty table.
  open({{"d0", "a.xhtml"}}, {"missing", "D0"});
  run({{"an empty Content table", everyLoad, "true false total 0", {}}});
}

}  // namespace
}  // namespace contenttest
