// What a new handle hands the renderer: the settings and the trampolines the
// renderer calls the host back through.
#include "host_fixture.h"

namespace epubtest {
namespace {

using Handle = ReaderTest;

// The thirteen settings arrive in the renderer's record with their widths.
TEST_F(Handle, RendererSettingsArriveWithTheirWidths) {
  EpubReaderHostOptions options = host.options();
  options.settings = {-1, 0x7FFFFFFF, 3, 4, 0xAB, -6, 0xFF, 8, 9, 10, 1, 0, 0x80};
  options.settings.setting12 = reinterpret_cast<intptr_t>(&host);  // a pointer fits
  EpubReader* other = EpubReader_new(&options);
  const ZaveVevodeSettings out = testrenderer::options(testrenderer::handles().back()).settings;
  const auto values = [](const auto& s) {
    return std::vector<intptr_t>{s.setting1,  s.setting2,  s.setting3, s.setting4, s.setting5,
                                 s.setting6,  s.setting7,  s.setting8, s.setting9, s.setting10,
                                 s.setting11, s.setting12, s.setting13};
  };
  EXPECT_EQ(values(out), values(options.settings));
  static_assert(sizeof(out.setting5) == 1 && sizeof(out.setting7) == 1 &&
                sizeof(out.setting11) == 1 && sizeof(out.setting13) == 1);
  EpubReader_free(&other);
}

// With the session as context a trampoline calls the host with its user
// data and returns its answer; with a null context, or on a handle made
// without options (no callbacks), it answers false (the release trampoline
// just returns) and the host never hears of it.
TEST_F(Handle, TrampolinesReachTheHostOnlyWithAContext) {
  EpubReader* bare = EpubReader_new(nullptr);
  const ZaveVevodeOptions o = testrenderer::options(renderer);
  const ZaveVevodeOptions none = testrenderer::options(testrenderer::handles().back());
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  const auto calls = [&](const ZaveVevodeOptions& t, void* context) {
    std::string answers;
    for (bool answer :
         {t.read(context, u"OEBPS/toc.ncx", &data, &size),
          t.read(context, u"missing", &data, &size), t.callback1(context, 4, 4),
          t.callback1(context, 4, 5), t.callback2(context, 1, 2, 3), t.callback2(context, 1, 2, 4)})
      answers += answer ? "1" : "0";
    t.release(context, u"OEBPS/toc.ncx");
    return answers + " " + std::to_string(host.log.size());
  };
  EXPECT_EQ(calls(o, nullptr), "000000 0");
  EXPECT_EQ(calls(none, none.context), "000000 0");
  EXPECT_EQ(calls(o, o.context), "101010 7");
  EXPECT_EQ(size, length(kNcx));
  EXPECT_EQ(host.log, (std::vector<std::string>{"read(OEBPS/toc.ncx)", "read(missing)", "cb1(4, 4)",
                                                "cb1(4, 5)", "cb2(1, 2, 3)", "cb2(1, 2, 4)",
                                                "release(OEBPS/toc.ncx)"}));
  EpubReader_free(&bare);
}

}  // namespace
}  // namespace epubtest
