// The commands of epubreader, each with its help text.
#pragma once

#include "cli.h"

namespace epubreader {

extern const char kInfoHelp[], kTocHelp[], kRenderHelp[], kSearchHelp[], kHighlightHelp[],
    kCoverHelp[], kExtractHelp[], kConvertHelp[], kServeHelp[], kTextHelp[];

int runInfo(const Arguments& args);
int runToc(const Arguments& args);
int runRender(const Arguments& args);
int runSearch(const Arguments& args);
int runHighlight(const Arguments& args);
int runCover(const Arguments& args);
int runExtract(const Arguments& args);
int runConvert(const Arguments& args);
int runServe(const Arguments& args);
int runText(const Arguments& args);

}  // namespace epubreader
