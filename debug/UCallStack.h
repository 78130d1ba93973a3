#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "USourceMap.h"

class TCCPUBase;

// One activation, innermost first.
struct TStackFrame {
    uint64_t Address = 0; // frame 0: IPOffset; callers: where the call returns to
    uint64_t Where = 0;   // frame 0: IPOffset; callers: the call instruction's address
    int64_t Base = 0;     // the frame's FP (0 when unknown: no frame information)
    const TDebugInfo::TFunction* Function = nullptr; // nullptr outside C functions
    TSourceMap::TLineKey Line;                       // the line of Where
    std::string Text; // "factorial (factorial.c:6) 0x01a8" / "next+0x10 0x0058"
    // The callee-saved registers R5..R11 as this frame sees them, where an inner frame's
    // prologue saved them; for frame 0 the CPU's. Bit r of Known: R[r] is known.
    int64_t R[16] = {};
    uint32_t Known = 0;
};

// Walks the call stack: the current function by IPOffset, then the chain of saved frame
// pointers and the CALL records below each frame (the return address record), as the .dbg
// frame information describes them. A frame's FP is the frame register where the frame's
// facts say it is valid; elsewhere (the function's entry before its prologue has set FP, its
// RET after the epilogue has restored the caller's) the frame starts at SP. The callers'
// callee-saved registers are read where the facts say the function saved them. Files written
// before the frame facts get them from the compiler's prologue code. The walk ends at code outside C
// functions (the start-up), at a frame pointer that does not go down, or after maxFrames.
// Code without frame information (assembly) gets its callers from the CALL records found on
// the stack below SP (a pushed value that looks like records can show as a frame).
// Reads the CPU: the CPU holder only.
std::vector<TStackFrame> CallStack(const TCCPUBase& cpu, const TSourceMap& map, size_t maxFrames = 256);
