// EPUB_ADDRESS_SANITIZED is defined when AddressSanitizer instruments the
// build (GCC and Clang). Code that reads past a string's end within a page,
// or keeps released memory for reuse, takes its plain way then, so that the
// sanitizer still sees every stray read and every use after release.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define EPUB_ADDRESS_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define EPUB_ADDRESS_SANITIZED 1
#endif
#endif
