#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "USourceMap.h"

// A place the user names for a breakpoint or "run to": in the window's breakpoint list and
// the runner's --break option.
//   0x1234 or 4660    an instruction address
//   NAME              a C function's name (its first instruction), or an assembly label
//   FILE:LINE         every address range of that line's code (the line's first address in
//                     each), FILE matched by full path or by base name; a line without code
//                     moves to the next line that has some in the same function
struct TResolvedLocation {
    std::vector<uint64_t> Addresses; // ascending, at least one
    std::string Text;                // how to show it: "0x0130", "main (0x0130)", "t.c:7"
};

// Returns nullopt and sets error ("unknown label X", "no code at line N of FILE",
// "no source file FILE", "address 0x... is not in the image") when the text names no code.
// imageLength (0: unknown) bounds addresses. Pure function of its arguments: any thread.
std::optional<TResolvedLocation> ResolveLocation(std::string_view text, const TSourceMap& map,
                                                 uint64_t imageLength, std::string& error);
