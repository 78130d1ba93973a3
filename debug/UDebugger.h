#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "UBreakpointList.h"
#include "UDebugChecks.h"
#include "USourceMap.h"
#include "UStepPlan.h"
#include "UWatchList.h"

class TCCPUBase;

// What the debugger would do at one candidate (TDebugger::Evaluate), before anything counts.
struct TDebugVerdict {
    std::vector<int> BreakpointHits, WatchpointHits; // the counted hits, in the lists' order
    int Breakpoint = 0, Watchpoint = 0;              // the rule that stops, else 0
    bool WithPlan = false, PlanDone = false;
    TStepPlan::TProgress PlanProgress; // the plan's progress after this candidate
    bool Stop() const { return Breakpoint || Watchpoint || PlanDone; }
};

// The debugger of one loaded image: its source map, the user's breakpoints and watchpoints,
// the one-shot stepping plan in progress, and the last stop. What the window (or the runner)
// hands the run layer: StandingSettings() to TExecution::SetDebug after every change of the
// breakpoints or watchpoints, and PlanSettings(plan) to TExecution::RunOneShot for a step.
//
// Threads: every member is called only by whoever holds the CPU: the hooks (Decide) by the
// run thread; everything else by the window while it holds a hand-over or while no run is
// active. So nothing here locks. The hooks refer to this object: it outlives every run
// that uses them (or the settings are replaced first).
class TDebugger {
  public:
    // A new image (and its debug information, or an empty map): breakpoints whose location
    // text still resolves are kept (at the new addresses), the others dropped; the plan ends.
    void SetImage(TSourceMap map, uint64_t imageLength);
    const TSourceMap& Map() const { return FMap; }
    uint64_t ImageLength() const { return FImageLength; }

    TBreakpointList& Breakpoints() { return FBreakpoints; }
    TWatchList& Watches() { return FWatches; }
    const TBreakpointList& Breakpoints() const { return FBreakpoints; }
    const TWatchList& Watches() const { return FWatches; }

    // The user's checks and a hook that decides by them alone. Empty checks when nothing is
    // enabled: then the run uses the plain loop.
    TDebugSettings StandingSettings();
    // Starts a stepping plan (replacing one in progress): the user's checks and the plan's,
    // and a hook that asks both. A plan that SingleInstruction() needs no run: the caller
    // steps instead (the plan is not kept).
    TDebugSettings PlanSettings(TStepPlan plan);
    // The plan ends at its hook's first stop. A plan whose run ended otherwise (paused,
    // stopped, the program's end) stays until the next PlanSettings or EndPlan; the standing
    // hook never asks it, so leaving it is harmless.
    void EndPlan() { FPlan.reset(); }
    const std::optional<TStepPlan>& Plan() const { return FPlan; }

    // The checks that the settings carry: the enabled watches first (TWatchList::AddTo), the
    // breakpoints (and the plan's, when withPlan) sorted and unique, the plan's ReturnBelow.
    TDebugChecks Checks(bool withPlan);

    // The decision, in two halves so that a replay of the same candidate never counts twice.
    // Evaluate says which breakpoint, watchpoint or plan would stop here (asking the plan
    // when withPlan and one is active) and changes nothing. Commit acts on it: counts the
    // hits, keeps the plan's progress, and on a stop records StopText and ends the plan;
    // true stops the run. Decide is Commit(Evaluate(...)), the run layer's hook.
    TDebugVerdict Evaluate(const TCCPUBase& cpu, const TDebugStop& stop, bool withPlan = true) const;
    bool Commit(const TCCPUBase& cpu, const TDebugStop& stop, const TDebugVerdict& decision);
    bool Decide(const TCCPUBase& cpu, const TDebugStop& stop, bool withPlan = true);

    // Why the last stop happened, one line for MemoInfo:
    //   "breakpoint 2 at factorial+0x84 factorial.c:6 (0x0618) (hits 3; ignore 2; if R1 == 5)"
    //   "watchpoint 1 [0x1800, 0x1808) write: 0x1800 changed 01 00 -> 02 00, now at ... (hits 1)"
    //   "step over done at main+0x40 t.c:9 (0x0170)"
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
