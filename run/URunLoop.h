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
// steps (TCCPUBase::FetchAndExecute) would, until one of TRunEnd happens. After every
// instruction: first the memory-size test, then the control word (one relaxed load) and the
// step budget. The caller holds the CPU (BodyEnter) for the whole call; the loop parks in
// control.AtBoundary() for pauses and hand-overs, and reloads the CPU state afterwards.
// On return the CPU holds the exact state, IPOffset included.
TRunResult RunLoop(TCCPUBase& cpu, TRunControl& control, uint64_t maxSteps = UINT64_MAX);

// The same loop without the step budget and the instruction count (Executed is 0), for the
// window's run thread, which needs neither; bench_run_loop compares the two.
TRunResult RunLoopUncounted(TCCPUBase& cpu, TRunControl& control);
