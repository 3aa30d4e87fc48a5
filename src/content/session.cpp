#include "content/session.h"

namespace epub {
namespace {

// Trampolines handed to the renderer: the context is the session. A null
// context (or a host that gave no callback) never reaches the host.
bool readTrampoline(void* context, const char16_t* path, const uint8_t** bytes, uint32_t* length) {
  auto* s = static_cast<Session*>(context);
  if (!s || !s->read) return false;
  return s->read(s->userData, path, bytes, length);
}

bool callback1Trampoline(void* context, intptr_t a, intptr_t b) {
  auto* s = static_cast<Session*>(context);
  if (!s || !s->rendererCallback1) return false;
  return s->rendererCallback1(s->userData, a, b);
}

bool callback2Trampoline(void* context, intptr_t a, intptr_t b, intptr_t c) {
  auto* s = static_cast<Session*>(context);
  if (!s || !s->rendererCallback2) return false;
  return s->rendererCallback2(s->userData, a, b, c);
}

void releaseTrampoline(void* context, const char16_t* path) {
  auto* s = static_cast<Session*>(context);
  if (!s || !s->release) return;
  s->release(s->userData, path);
}

}  // namespace

Session::Session(const EpubReaderHostOptions& options)
    : read(options.read),
      rendererCallback1(options.rendererCallback1),
      rendererCallback2(options.rendererCallback2),
      release(options.release),
      userData(options.userData) {
  static_assert(sizeof(ZaveVevodeSettings) == sizeof(EpubReaderRendererSettings));
  ZaveVevodeOptions rendererOptions{};
  rendererOptions.read = readTrampoline;
  rendererOptions.callback1 = callback1Trampoline;
  rendererOptions.callback2 = callback2Trampoline;
  rendererOptions.release = releaseTrampoline;
  rendererOptions.context = this;
  const EpubReaderRendererSettings& in = options.settings;
  ZaveVevodeSettings& out = rendererOptions.settings;
  out.setting1 = in.setting1;
  out.setting2 = in.setting2;
  out.setting3 = in.setting3;
  out.setting4 = in.setting4;
  out.setting5 = in.setting5;
  out.setting6 = in.setting6;
  out.setting7 = in.setting7;
  out.setting8 = in.setting8;
  out.setting9 = in.setting9;
  out.setting10 = in.setting10;
  out.setting11 = in.setting11;
  out.setting12 = in.setting12;
  out.setting13 = in.setting13;
  // Stored as returned: no export tests the renderer handle.
  renderer = ZaveVevode_new(&rendererOptions);
}

Session::~Session() {
  // The renderer goes first, while the paths it knows documents by still exist.
  ZaveVevode_free(&renderer);
  contents.clear();
  contents.shrink_to_fit();
  package.reset();
}

bool Session::readFile(const std::u16string& path, const uint8_t** bytes, uint32_t* length) const {
  *bytes = nullptr;
  *length = 0;
  if (!read) return false;
  return read(userData, path.c_str(), bytes, length);
}

void Session::reserveContents(size_t count) {
  contents.reserve(count);
  pathIndex_.reserve(count, PathOf{&contents});
}

void Session::addContent(std::u16string path, const char16_t* href) {
  contents.push_back(ContentItem{0, std::move(path), false, href});
  // Of two items with one path the first stays indexed.
  const auto last = static_cast<uint32_t>(contents.size() - 1);
  pathIndex_.insert(contents.back().path, last, PathOf{&contents});
}

std::optional<size_t> Session::firstIndexOf(std::u16string_view path) const noexcept {
  const uint32_t at = pathIndex_.find(path, PathOf{&contents});
  if (at == StringIndex::kNone) return std::nullopt;
  return at;
}

void Session::releaseFile(const std::u16string& path) const {
  if (release) release(userData, path.c_str());
}

}  // namespace epub
