// What `epubreader serve` answers: the library and reader pages with their
// scripts and style sheet (carried in the program), and the JSON and PNG
// answers of /api/books/ID/... that the reader page asks for.
#pragma once

#include <httplib.h>

#include "library.h"

namespace epubreader {

// Requests with more parameters are refused.
constexpr size_t kMostParameters = 12;

void addRoutes(httplib::Server& server, Library& library);

}  // namespace epubreader
