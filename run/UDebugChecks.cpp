#include "UDebugChecks.h"

#include <algorithm>

bool TDebugChecks::HasBreakpoint(uint64_t address) const {
    return std::binary_search(Breakpoints.begin(), Breakpoints.end(), address);
}

void TDebugChecks::SortBreakpoints() {
    std::sort(Breakpoints.begin(), Breakpoints.end());
    Breakpoints.erase(std::unique(Breakpoints.begin(), Breakpoints.end()), Breakpoints.end());
}
