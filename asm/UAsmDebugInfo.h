#pragma once
#include <string>

#include "UAssembler.h"
#include "UDebugInfo.h"

// The debug information of an assembled source: the source file, a line-table row per line
// of machine instructions (not data), and the symbols (labels, with the distance to the next
// label as their size, and constants). Without lines only the symbols are kept.
class TAsmDebugInfo {
  public:
    static TDebugInfo Make(const TAsmResult& result, const std::string& sourcePath, bool lines);
};
