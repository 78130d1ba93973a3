#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "UDebugChecks.h"
#include "UInstructionSet.h"
#include "URunLoop.h"

class TCCPUBase;

// The checked run by single steps (TCCPUBase::FetchAndExecute): a second, independent model
// of what the run layer's checked loop (RunLoopChecked) does, for the tests. The same
// contract: a breakpoint stops before its instruction (not the first one when
// skipBreakpoint), after each instruction a write watch stops when a watched byte changed
// value, a read watch when LOAD, MCOPY's source, POP's or RET's records or BLKCOPY's source
// touched a watched byte, then the ports, then ReturnBelow; ends and stops come back as
// TRunResult (End Breakpoint, Watchpoint, Returned, or how the program ended) with Stop
// filled. Between the candidate stops, decide(cpu, result) says whether to stop; told to go
// on, the run continues at once (an instruction at a breakpoint runs unchecked).
// An empty decide stops at every candidate.
TRunResult RunChecked(TCCPUBase& cpu, const TDebugChecks& checks, const TDebugDecision& decide,
                      uint64_t maxSteps, bool skipBreakpoint = true);

namespace oracle {

// A byte range [From, To) that an instruction reads as data.
struct TReadRange {
    uint64_t From = 0, To = 0;
    bool operator==(const TReadRange&) const = default;
};

// What the instruction word at IPOffset reads as data, in the order the machine reads it,
// written from the instructions' rules without the effects record.
std::vector<TReadRange> ReadsOf(const TCCPUBase& cpu, uint32_t word);

// The port an IN (row IN) or OUT (row OUT) addresses, or nullopt for any other word.
std::optional<int64_t> PortOf(const TCCPUBase& cpu, uint32_t word, roz::TInstr row);

} // namespace oracle
