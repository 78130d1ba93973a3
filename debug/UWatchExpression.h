#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class TCCPUBase;
class TSourceMap;

// The memory a C expression designates, for a watchpoint: a variable visible at IPOffset
// (in the innermost frame, the inner block's of two with one name) or a global, and from
// there a[i], p[i], s.x, p->x, *p and parentheses; an index is an integer expression of
// literals, + - * and variables read as integers. A pointer's value is read as the machine
// holds it now (a watch on *p stays on the object p points to when it is set).
//
// cpu may be nullptr: then only globals and what lies in them without reading memory
// resolve (how a watch is found again in a rebuilt program). The CPU holder only.
struct TWatchObject {
    uint64_t Address = 0, Size = 0;
    std::string Type; // the C type's name
};
std::optional<TWatchObject> ResolveWatchExpression(std::string_view text, const TSourceMap& map,
                                                   const TCCPUBase* cpu, std::string& error);
