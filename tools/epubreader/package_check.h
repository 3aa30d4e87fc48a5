// Why the engine's view of a package file came out empty. The engine's own
// XML reader fails a whole file for one construct it refuses (an entity
// outside the five XML ones, a bare '&', an unclosed comment, ...) and
// reports nothing, as its interface promises; the command re-reads the file
// to say which line and what.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace epubreader {

// "line N: ..." for the first construct the engine's XML reader refuses in
// the file, else the first error of a strict XML parse; nullopt when the
// file is well-formed XML with only the entities the engine knows.
std::optional<std::string> xmlRefusal(const std::vector<uint8_t>& bytes);

// Why a container document names no package document the engine takes
// (the text after "META-INF/container.xml ").
std::string containerProblem(const std::vector<uint8_t>& bytes);

// Why a package document gives an empty reading order: a refusal, or a
// prefixed package element, which the engine does not read; nullopt when
// neither explains it.
std::optional<std::string> packageProblem(const std::vector<uint8_t>& bytes);

}  // namespace epubreader
