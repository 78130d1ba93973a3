#pragma once
#include <cstdint>

#include "URunControl.h"
#include "Uccpubase.h"

// Why a run loop ended.
enum class TRunEnd {
    EndOfImage,    // fetch status 1: no whole instruction word left in the loaded image
    LeftMemory,    // fetch status -1 or -2, or IPOffset at or past the memory size after an instruction
    Stopped,       // Running was found cleared at a boundary
    StepLimit,     // the step budget ran out
    DivisionByZero // DIV by 0; IPOffset holds the DIV word
};

struct TRunResult {
    TRunEnd End;
    int64_t FetchStatus; // EndOfImage, LeftMemory: the status the fetch at IPOffset gives (1, -1, -2); else 0
    uint64_t Executed;   // instructions executed by this call
};

const char* RunEndName(TRunEnd end); // "end", "left-memory", "stopped", "step-limit", "division-by-zero"

// Executes instructions at IPOffset back to back, exactly as the same number of single
// steps (TCCPUBase::FetchAndExecute) would, until one of TRunEnd happens. The end tests
// keep their order (memory size, then the step budget, then the control word), and every
// end lands on the instruction boundary that single steps would reach:
//  - the step budget is counted and tested after every instruction;
//  - leaving memory and the end of the image are found where they happen;
//  - the control word (one relaxed load) is tested after every jump, call, return, WRCTL
//    and every word run undecoded, and when the loop starts: straight-line code between
//    two tests is at most TDecodeCache::Capacity / 4 words long (well under 1 ms), so a
//    pause, stop or hand-over still stops at a boundary at once. A loop entered with the
//    control word already changed executes exactly one instruction.
// Words are decoded ahead into a per-thread cache (UDecodeCache.h) that the loop drops when
// it starts and after every park, and keeps exact under the program's own stores.
// The caller holds the CPU (BodyEnter) for the whole call; the loop parks in
// control.AtBoundary() for pauses and hand-overs, and reloads the CPU state afterwards.
// On return the CPU holds the exact state, IPOffset included.
//
// Checked variants for the debugger (breakpoints on fetch, watchpoints on writes, an input
// log, a counter for reverse execution) are variants of this one loop: see RunLoopImpl in
// URunLoop.cpp for where each hooks in.
TRunResult RunLoop(TCCPUBase& cpu, TRunControl& control, uint64_t maxSteps = UINT64_MAX);

// The same loop without the step budget and the instruction count (Executed is 0), for the
// window's run thread, which needs neither; bench_run_loop compares the two.
TRunResult RunLoopUncounted(TCCPUBase& cpu, TRunControl& control);
