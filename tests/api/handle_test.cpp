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
  const EpubReaderRendererSettings& in = options.settings;
  const ZaveVevodeSettings out = testrenderer::options(testrenderer::handles().back()).settings;
  const auto values = [](const auto& s) {
    return std::vector<intptr_t>{s.setting1,  s.setting2,  s.setting3, s.setting4, s.setting5,
                                 s.setting6,  s.setting7,  s.setting8, s.setting9, s.setting10,
                                 s.setting11, s.setting12, s.setting13};
  };
  EXPECT_EQ(values(out), values(in));
  static_assert(sizeof(out.setting5) == 1 && sizeof(out.setting7) == 1 &&
                sizeof(out.setting11) == 1 && sizeof(out.setting13) == 1);
  EpubReader_free(&other);
}

// With the session as context a trampoline calls the host with its user
// data and returns its answer; with a null context it answers false (the
// release trampoline just returns) and the host never hears of it. A handle
// made without options has no callbacks: every read fails.
TEST_F(Handle, TrampolinesReachTheHostOnlyWithAContext) {
  const ZaveVevodeOptions o = testrenderer::options(renderer);
  ASSERT_NE(o.context, nullptr);
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  const auto calls = [&](void* context) {
    std::string answers;
    for (bool answer :
         {o.read(context, u"OEBPS/toc.ncx", &data, &size),
          o.read(context, u"missing", &data, &size), o.callback1(context, 4, 4),
          o.callback1(context, 4, 5), o.callback2(context, 1, 2, 3), o.callback2(context, 1, 2, 4)})
      answers += answer ? "1" : "0";
    o.release(context, u"OEBPS/toc.ncx");
    return answers;
  };
  EXPECT_EQ(calls(o.context), "101010");
  EXPECT_EQ(size, length(kNcx));
  EXPECT_EQ(host.log, (std::vector<std::string>{"read(OEBPS/toc.ncx)", "read(missing)", "cb1(4, 4)",
                                                "cb1(4, 5)", "cb2(1, 2, 3)", "cb2(1, 2, 4)",
                                                "release(OEBPS/toc.ncx)"}));
  host.log.clear();
  EXPECT_EQ(calls(nullptr), "000000");
  EXPECT_TRUE(host.log.empty());

  EpubReader* bare = EpubReader_new(nullptr);
  const ZaveVevodeOptions none = testrenderer::options(testrenderer::handles().back());
  EXPECT_FALSE(none.read(none.context, u"OEBPS/toc.ncx", &data, &size));
  EXPECT_FALSE(none.callback1(none.context, 1, 1));
  none.release(none.context, u"x");
  EpubReader_free(&bare);
}

}  // namespace
}  // namespace epubtest
