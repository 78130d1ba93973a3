#pragma once
#include <cstdint>
#include <string>

#include "USourceMap.h"

// A place in the program, resolved once from the debug information: the address, the name
// that covers it and its source line. Every text that names a place (the stop text, the call
// stack, the code tab, the runner's trace and stop line, an abnormal end) is FormatPlace of one.
struct TPlace {
    uint64_t Address = 0;
    std::string Name;   // by TPlaceName; "" when nothing covers the address
    std::string Source; // "factorial.c:6", "" when no line covers it
};

enum class TPlaceName {
    Symbol,  // the symbol and the offset into it: "factorial+0x84" (TSourceMap::NameAt)
    Function // the C function, else the symbol without offset: "factorial"
};

enum class TPlaceFormat {
    NameSourceAddress, // "factorial+0x84 factorial.c:6 (0x0618)"; "0x0618" when nothing is known
    FunctionAddress,   // "factorial (factorial.c:6) 0x0618"
    Function,          // "factorial (factorial.c:6)"
    Columns,           // "factorial  factorial.c:6" (the trace's column)
    AddressFunction,   // "0x0618 factorial (factorial.c:6)" (the runner's stop line)
    CodeTab,           // "IPOffset 0x0618  factorial+0x84  factorial.c:6" (the code tab's place line)
    NameAddress        // "factorial (0x0618)", "0x0618" (a breakpoint location's text)
};

// The address's place by the map (an empty map knows only the address).
TPlace PlaceAt(const TSourceMap& map, uint64_t address, TPlaceName naming);
// The one formatting of a place. Parts that are empty are left out with their separators,
// except that FunctionAddress keeps the parentheses of a source without a name and CodeTab
// keeps its columns.
std::string FormatPlace(const TPlace& place, TPlaceFormat format);
