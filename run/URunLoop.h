#pragma once
#include <cstdint>

#include "UDebugChecks.h"
#include "URunControl.h"
#include "Uccpubase.h"

// Why a run loop ended.
enum class TRunEnd {
    EndOfImage,     // fetch status 1: no whole instruction word left in the loaded image
    LeftMemory,     // fetch status -1 or -2, or IPOffset at or past the memory size after an instruction
    Stopped,        // Running was found cleared at a boundary
    StepLimit,      // the step budget ran out
    DivisionByZero, // DIV by 0; IPOffset holds the DIV word
    // The checked loops' stops for the debugger (TRunResult::Stop tells which check):
    Breakpoint,  // IPOffset is at a breakpoint; its instruction has not executed
    Watchpoint,  // the instruction before IPOffset hit a watch (memory range or port)
    Returned,    // the RET / IRET before IPOffset left SP below TDebugChecks::ReturnBelow
    DebugChanged // the owner changed the debugger's settings (TRunControl::SetDebug) or a
                 // one-shot pair ended while the loop was parked: the caller picks the loop
                 // anew; IPOffset is at the next instruction, which has not been checked
};

struct TRunResult {
    TRunEnd End;
    int64_t FetchStatus; // EndOfImage, LeftMemory: the status the fetch at IPOffset gives (1, -1, -2); else 0
    uint64_t Executed;   // instructions executed by this call
    TDebugStop Stop{};   // Breakpoint, Watchpoint, Returned: why; else Kind None
};

// "end", "left-memory", "stopped", "step-limit", "division-by-zero", "breakpoint", "watchpoint",
// "returned", "debug-changed"
const char* RunEndName(TRunEnd end);

// The end of a run whose fetch at ip failed in a memory of size bytes: the fetch status the
// single step gives there, and EndOfImage or LeftMemory from it. Shared by every loop.
inline void SetFetchFailure(TRunResult& result, int64_t ip, int64_t size) {
    result.FetchStatus = ip < 0 ? FetchNegative : ip >= size - 3 ? FetchOutsideMemory : FetchEndOfImage;
    result.End = result.FetchStatus == FetchEndOfImage ? TRunEnd::EndOfImage : TRunEnd::LeftMemory;
}

// Executes instructions at IPOffset back to back, exactly as the same number of single
// steps (TCCPUBase::FetchAndExecute) would, until one of TRunEnd happens. The end tests
// keep their order (memory size, then the step budget, then the control word), and every
// end lands on the instruction boundary that single steps would reach:
//  - the step budget (maxSteps other than UINT64_MAX) is counted and tested after every
//    instruction; without one the loop keeps only the clock;
//  - leaving memory and the end of the image are found where they happen;
//  - the control word (one relaxed load) is tested after every jump, call, return, WRCTL
//    and every word run undecoded (among them the checkpoints of TDecodeCache), and when
//    the loop starts: straight-line code between two tests is at most
//    TDecodeCache::Block / 4 words long (some 50 us), so a pause, stop or hand-over still
//    stops at a boundary at once. A loop entered with the
//    control word already changed executes exactly one instruction.
// The run clock (TCCPUBase::Clock) goes on by every instruction executed: it is exact in
// the CPU whenever the loop parks (pause, hand-over) and when it returns, and the policies
// are given it at every observed instruction (URunPolicies.h).
// Words are decoded ahead into a per-thread cache (UDecodeCache.h) that the loop drops when
// it starts and after every park, and keeps exact under the program's own stores.
// The caller holds the CPU (BodyEnter) for the whole call; the loop parks in
// control.AtBoundary() for pauses and hand-overs, and reloads the CPU state afterwards.
// On return the CPU holds the exact state, IPOffset and Clock included (except after a
// Stopped end that came while parked: the body no longer holds the CPU then).
//
// After every park the loop compares control.DebugGeneration with its value at the start and
// ends with TRunEnd::DebugChanged when they differ (the caller then picks the loop anew).
TRunResult RunLoop(TCCPUBase& cpu, TRunControl& control, uint64_t maxSteps = UINT64_MAX);

// The checked variant of the same loop for the debugger: RunLoop's contract, and it also
// ends with TRunEnd::Breakpoint, Watchpoint or Returned as checks says (TRunResult::Stop),
// at the boundary that single steps would reach. Ends are tested in this order: a
// breakpoint after the fetch's tests (only an instruction that would execute stops); after one,
// leaving memory, then a watch or return stop, then the step budget, then the control word.
// A watched write is a change of a watched byte's value. The step budget counts the
// instructions executed (a breakpoint stop executes none).
// skipBreakpoint: the instruction at IPOffset when the loop starts executes without being
// checked for a breakpoint (resuming from one); its watches are still checked.
// Costs: addresses without a breakpoint run as in RunLoop (breakpoints are decoded entries
// of their own); only instructions that access memory or ports test the watches; RET the
// return check. checks must stay unchanged during the call except while it is parked.
TRunResult RunLoopChecked(TCCPUBase& cpu, TRunControl& control, const TDebugChecks& checks,
                          uint64_t maxSteps = UINT64_MAX, bool skipBreakpoint = false);
