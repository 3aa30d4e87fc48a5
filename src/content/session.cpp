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

bool callback1Trampoline(void* context, intptr_t value1, intptr_t value2) {
  auto* s = static_cast<Session*>(context);
  if (!s || !s->rendererCallback1) return false;
  return s->rendererCallback1(s->userData, value1, value2);
}

bool callback2Trampoline(void* context, intptr_t value1, intptr_t value2, intptr_t value3) {
  auto* s = static_cast<Session*>(context);
  if (!s || !s->rendererCallback2) return false;
  return s->rendererCallback2(s->userData, value1, value2, value3);
}

void releaseTrampoline(void* context, const char16_t* path) {
  auto* s = static_cast<Session*>(context);
  if (!s || !s->release) return;
  s->release(s->userData, path);
}

}  // namespace

Session::Session(const HostCallbacks& host, const ZaveVevodeSettings& settings)
    : read(host.read),
      rendererCallback1(host.rendererCallback1),
      rendererCallback2(host.rendererCallback2),
      release(host.release),
      userData(host.userData) {
  ZaveVevodeOptions rendererOptions{};
  rendererOptions.read = readTrampoline;
  rendererOptions.callback1 = callback1Trampoline;
  rendererOptions.callback2 = callback2Trampoline;
  rendererOptions.release = releaseTrampoline;
  rendererOptions.context = this;
  rendererOptions.settings = settings;
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

void Session::clearContents() noexcept {
  contents.clear();
  pathIndex_.clear();
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
