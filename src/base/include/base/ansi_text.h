// 8-bit text in the system's ANSI code page (Windows-1252 where there is
// none), as a host's mimetype file holds it, read into UTF-16.
#pragma once

#include <cstdint>
#include <string>

namespace epub::base {

// The text of `length` bytes (-1: up to the first NUL), ending at its first
// NUL; empty when there are no bytes or the system cannot convert them.
std::u16string ansiText(const uint8_t* bytes, int32_t length);

}  // namespace epub::base
