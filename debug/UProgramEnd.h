#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "USourceMap.h"

class TCCPUBase;

// How a program that reached the end of its image ended, as its debug information tells it:
// an ordinary end (main returned, exit() was called, or a program without such marks), or
// one of the ends the C library marks by a value of R0 (the .dbg's "ends",
// <roziduv2_abi.h>): a stack overflow, a failed assert, abort(). The runner's end reason and
// exit status and the window's end box come from here.
struct TProgramEnd {
    enum class TKind { Ordinary, StackOverflow, Assert, Abort };
    TKind Kind = TKind::Ordinary;

    // An ordinary end of a C program: main's result or exit()'s argument, as C's int (absent
    // for other programs, and when R0 holds no sign-extended int).
    std::optional<int32_t> MainResult;
    // A failed assert: its expression, its file (as __FILE__ gave it) and line.
    std::string Expression, File;
    uint64_t Line = 0;
    // The function where it happened: the assert's; the one whose entry found a stack
    // overflow; the one that called abort(). Place: "deep.c:3" (the assert's line, the
    // function's definition, the call of abort). Both "" when unknown.
    std::string Function, Place;

    bool Abnormal() const { return Kind != TKind::Ordinary; }
    // "end", "stack-overflow", "assert" or "abort": the runner's end reason.
    const char* Reason() const;
    // "main (t.c:5)", "main", "t.c:5" or "".
    std::string Where() const;
    // One line for the window's box and MemoInfo, Chinese and English, e.g.
    // "程序异常结束Program ended abnormally: 断言失败assertion failed: n > 0, in main (t.c:5)".
    // "" for an ordinary end.
    std::string Text() const;
};

// Reads the end from the CPU and memory at the end of the image (the CPU's holder only);
// without "ends" in map's debug information every end is ordinary.
TProgramEnd ClassifyProgramEnd(const TSourceMap& map, const TCCPUBase& cpu);
