#include "icu.h"

#include <dlfcn.h>

#include <memory>

namespace vorozo {
namespace {

#define VOROZO_TEXT(x) #x
#define VOROZO_STRING(x) VOROZO_TEXT(x)
// ICU's headers rename its C functions to carry its major version
// (ucnv_open_72): the name a function expands to is the one to look up.
#define VOROZO_ICU_NAME(f) VOROZO_STRING(f)

constexpr const char* kCommon = "libicuuc.so." VOROZO_STRING(U_ICU_VERSION_MAJOR_NUM);
constexpr const char* kI18n = "libicui18n.so." VOROZO_STRING(U_ICU_VERSION_MAJOR_NUM);

template <typename F>
bool find(void* library, const char* name, F& out) {
  out = reinterpret_cast<F>(dlsym(library, name));
  return out != nullptr;
}

// The libraries stay open for the rest of the process: converters may be
// in use on any thread until it ends.
std::unique_ptr<Icu> open() {
  void* common = dlopen(kCommon, RTLD_NOW | RTLD_LOCAL);
  void* i18n = common ? dlopen(kI18n, RTLD_NOW | RTLD_LOCAL) : nullptr;
  if (!i18n) return nullptr;
  auto f = std::make_unique<Icu>();
  const bool all =
      find(common, VOROZO_ICU_NAME(ucnv_open), f->open) &&
      find(common, VOROZO_ICU_NAME(ucnv_close), f->close) &&
      find(common, VOROZO_ICU_NAME(ucnv_getName), f->getName) &&
      find(common, VOROZO_ICU_NAME(ucnv_reset), f->reset) &&
      find(common, VOROZO_ICU_NAME(ucnv_toUChars), f->toUChars) &&
      find(common, VOROZO_ICU_NAME(ucnv_toUnicode), f->toUnicode) &&
      find(common, VOROZO_ICU_NAME(ucnv_setToUCallBack), f->setToUCallBack) &&
      find(common, VOROZO_ICU_NAME(ucnv_cbToUWriteUChars), f->cbToUWriteUChars) &&
      find(common, VOROZO_ICU_NAME(ucnv_getMinCharSize), f->getMinCharSize) &&
      find(i18n, VOROZO_ICU_NAME(ucsdet_open), f->detectorOpen) &&
      find(i18n, VOROZO_ICU_NAME(ucsdet_close), f->detectorClose) &&
      find(i18n, VOROZO_ICU_NAME(ucsdet_setText), f->detectorSetText) &&
      find(i18n, VOROZO_ICU_NAME(ucsdet_enableInputFilter), f->detectorEnableInputFilter) &&
      find(i18n, VOROZO_ICU_NAME(ucsdet_detectAll), f->detectorDetectAll) &&
      find(i18n, VOROZO_ICU_NAME(ucsdet_getName), f->matchName) &&
      find(i18n, VOROZO_ICU_NAME(ucsdet_getConfidence), f->matchConfidence);
  if (!all) return nullptr;
  return f;
}

}  // namespace

const Icu* icu() {
  static const std::unique_ptr<Icu> loaded = open();
  return loaded.get();
}

}  // namespace vorozo
