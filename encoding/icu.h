// ICU, opened the first time a charset other than UTF-8 needs it. Nearly
// every book is UTF-8 throughout, which this library decodes itself; a
// process that never meets another charset never maps ICU's libraries
// (about 2 MB of a short run's memory) nor pays for their relocation.
#ifndef VOROZO_ICU_H
#define VOROZO_ICU_H

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ucsdet.h>

namespace vorozo {

// The ICU functions the charsets use, from the ICU this library was built
// against (its versioned names and library files).
struct Icu {
  decltype(&ucnv_open) open;
  decltype(&ucnv_close) close;
  decltype(&ucnv_getName) getName;
  decltype(&ucnv_reset) reset;
  decltype(&ucnv_toUChars) toUChars;
  decltype(&ucnv_toUnicode) toUnicode;
  decltype(&ucnv_setToUCallBack) setToUCallBack;
  decltype(&ucnv_cbToUWriteUChars) cbToUWriteUChars;
  decltype(&ucnv_getMinCharSize) getMinCharSize;
  decltype(&ucsdet_open) detectorOpen;
  decltype(&ucsdet_close) detectorClose;
  decltype(&ucsdet_setText) detectorSetText;
  decltype(&ucsdet_enableInputFilter) detectorEnableInputFilter;
  decltype(&ucsdet_detectAll) detectorDetectAll;
  decltype(&ucsdet_getName) matchName;
  decltype(&ucsdet_getConfidence) matchConfidence;
};

// Opened once per process, on first use, from any thread; null when ICU's
// libraries cannot be opened, and then every charset but UTF-8 is unknown.
const Icu* icu();

}  // namespace vorozo

#endif
