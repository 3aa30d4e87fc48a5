// serve's help, printed by epubreader itself and by the serve program.
#include "commands.h"

namespace epubreader {

const char kServeHelp[] =
    "usage: epubreader serve [BOOK | FOLDER] [--port N] [--host ADDRESS]\n"
    "\n"
    "Serves a reader for the browser and prints its address: page turns, the\n"
    "contents, links, search, highlights and font sizes, all drawn by the\n"
    "engine. Given a FOLDER, the start page lists its .epub files. Highlights\n"
    "are kept beside each book in BOOK.highlights.json (the built-in sample's\n"
    "only while the server runs). Stop it with Ctrl-C.\n"
    "\n"
    "  --port N        the port, 0 to 65535; 0 picks a free one (default 8080)\n"
    "  --host ADDRESS  the address to listen on (default 127.0.0.1: this\n"
    "                  computer only)\n";

}  // namespace epubreader
