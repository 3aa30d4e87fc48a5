// The commands of epubreader, each with its help text.
#pragma once

#include "cli.h"

namespace epubreader {

extern const char kInfoHelp[], kTocHelp[], kRenderHelp[], kSearchHelp[], kHighlightHelp[],
    kServeHelp[];

int runInfo(const Arguments& args);
int runToc(const Arguments& args);
int runRender(const Arguments& args);
int runSearch(const Arguments& args);
int runHighlight(const Arguments& args);
int runServe(const Arguments& args);

}  // namespace epubreader
