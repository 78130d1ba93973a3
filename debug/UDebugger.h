#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "UBreakpointList.h"
#include "UDebugChecks.h"
#include "UDebugStop.h"
#include "USourceMap.h"
#include "UStepPlan.h"
#include "UWatchList.h"

class TCCPUBase;

// The debugger of one loaded image: its source map, the user's breakpoints and watchpoints,
// the one-shot stepping plan in progress, and the last stop. What the window (or the runner)
// hands the run layer is Checks() and, as the decision hook, Decide.
//
// Threads: every member is called only by whoever holds the CPU: Decide by the run thread
// inside its hook; everything else by the window while it holds a hand-over or while no run
// is active. So nothing here locks.
class TDebugger {
  public:
    // A new image (and its debug information, or an empty map): breakpoints whose location
    // text still resolves are kept (at the new addresses), the others dropped; the plan ends.
    void SetImage(TSourceMap map, uint64_t imageLength);
    const TSourceMap& Map() const { return FMap; }
    uint64_t ImageLength() const { return FImageLength; }

    TBreakpointList& Breakpoints() { return FBreakpoints; }
    TWatchList& Watches() { return FWatches; }

    // Starts a stepping plan (replacing one in progress); the next Checks() include it.
    void BeginPlan(TStepPlan plan) { FPlan = std::move(plan); }
    void EndPlan() { FPlan.reset(); }
    const std::optional<TStepPlan>& Plan() const { return FPlan; }

    // The checks for the next run: the enabled breakpoints and watches and the plan's, with
    // Breakpoints sorted and unique. Empty() when nothing is set: then the run uses the plain loop.
    TDebugChecks Checks();

    // The decision hook: true stops the run here. Counts breakpoint and watchpoint hits, asks
    // the plan, and on a stop records StopText and ends the plan.
    bool Decide(const TCCPUBase& cpu, const TDebugStop& stop);

    // Why the last stop happened, one line for MemoInfo: "breakpoint 2 at factorial.c:6 (hits 3)",
    // "watchpoint 1: [0x1800, 0x1808) written", "step over done at main+0x40 (t.c:9)".
    const std::string& StopText() const { return FStopText; }
    int StopBreakpoint() const { return FStopBreakpoint; } // the id that stopped, else 0
    int StopWatchpoint() const { return FStopWatchpoint; }

  private:
    std::string PlaceOf(uint64_t address) const;

    TSourceMap FMap;
    uint64_t FImageLength = 0;
    TBreakpointList FBreakpoints;
    TWatchList FWatches;
    std::optional<TStepPlan> FPlan;
    std::string FStopText;
    int FStopBreakpoint = 0, FStopWatchpoint = 0;
};
