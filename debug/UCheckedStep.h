#pragma once
#include <cstdint>
#include <functional>

#include "UDebugChecks.h"
#include "UDebugStop.h"

class TCCPUBase;

// The checked run by single steps: the reference for what a checked run does, used by the
// tests (against the run layer's loop and the planners' own rules) and by the headless
// runner. It runs from the current state like Resume: the first instruction executes without
// the breakpoint test, every later boundary tests Breakpoints before the instruction, and
// after each instruction the watches (a write counts when a watched byte changed value; a
// read: LOAD, MCOPY's source, BLKCOPY's source range), the ports and ReturnBelow are tested,
// each its own candidate. decide(cpu, stop) says whether to stop.
struct TCheckedRunResult {
    enum class TEnd { DebugStop, EndOfImage, LeftMemory, DivisionByZero, StepLimit };
    TEnd End = TEnd::StepLimit;
    TDebugStop Stop;       // DebugStop: the candidate that stopped
    uint64_t Executed = 0; // instructions executed
};

using TDecideHook = std::function<bool(const TCCPUBase&, const TDebugStop&)>;

TCheckedRunResult RunChecked(TCCPUBase& cpu, const TDebugChecks& checks, const TDecideHook& decide,
                             uint64_t maxSteps);
