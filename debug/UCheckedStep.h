#pragma once
#include <cstdint>

#include "UDebugChecks.h"
#include "URunLoop.h"

class TCCPUBase;

// The checked run by single steps (TCCPUBase::FetchAndExecute): the reference for what the
// run layer's checked loop (RunLoopChecked) does, for the tests and for callers without a run
// control. The same contract: a breakpoint stops before its instruction (not the first one
// when skipBreakpoint), after each instruction a write watch stops when a watched byte
// changed value, a read watch when LOAD, MCOPY's source, POP's or RET's records or BLKCOPY's
// source touched a watched byte, then the ports, then ReturnBelow; ends and stops come back
// as TRunResult (End Breakpoint, Watchpoint, Returned, or how the program ended) with Stop
// filled. Between the candidate stops, decide(cpu, result) says whether to stop; told to go
// on, the run continues at once (an instruction at a breakpoint runs unchecked).
// An empty decide stops at every candidate.
TRunResult RunChecked(TCCPUBase& cpu, const TDebugChecks& checks, const TDebugDecision& decide,
                      uint64_t maxSteps, bool skipBreakpoint = true);
