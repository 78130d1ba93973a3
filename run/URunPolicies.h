#pragma once
// The run loop's policies: what a run checks or records beside executing instructions. The
// loop (RunLoopImpl in URunLoop.cpp) is one template over a policy; every policy keeps the
// run clock (TCCPUBase::Clock) exact, and says through these members what else it does:
//
//   static constexpr bool Budgeted     a step budget: Left counts down after every
//                                      instruction and the loop ends with StepLimit at 0
//                                      (one decrement and test per instruction; without it
//                                      the clock costs a few operations per jump only)
//   static constexpr bool StopsBefore  stops before the instructions at some addresses:
//                                      bool StopBefore(uint64_t address) const, asked when
//                                      an address is decoded; bool Resumes(int64_t ip) says
//                                      once that the stop at the loop's first instruction
//                                      is passed over (resuming from a breakpoint)
//   static constexpr bool Observes(TOp) the rows whose effects record (TEffects) After sees:
//                                      bool After(e, s, at, clock, stop) after the
//                                      instruction at `at` (clock: the instructions executed
//                                      before it since the last reset) has executed in s;
//                                      true ends the run after it with stop filled in
//   void Load(const TExecState&)       at the start and after every park (the window may
//                                      have edited the machine meanwhile)
//
// Only what a policy turns on costs anything: rows it does not observe and addresses without
// a breakpoint run as in the plain loop. A new check or record is a new policy here and its
// instantiation in URunLoop.cpp.
#include <cstdint>

#include "UDebugChecks.h"
#include "UInstructionEffects.h"
#include "UWatchState.h"

// The plain run: the clock only (the window's run thread without the debugger's checks).
struct TPlainRun {
    static constexpr bool Budgeted = false;
    static constexpr bool StopsBefore = false;
    static constexpr bool Observes(roz::TOp) { return false; }
    uint64_t Left = UINT64_MAX;
    bool StopBefore(uint64_t) const { return false; }
    bool Resumes(int64_t) { return false; }
    void Load(const roz::TExecState&) {}
    bool After(const roz::TEffects&, const roz::TExecState&, int64_t, uint64_t, TDebugStop&) { return false; }
};

// The plain run with a step budget (the runner's --max-steps, the tests).
struct TBudgetRun : TPlainRun {
    static constexpr bool Budgeted = true;
    explicit TBudgetRun(uint64_t maxSteps) { Left = maxSteps; }
};

// The debugger's breakpoints over either of the above: addresses with a breakpoint are
// decoded entries of their own, so only they pay.
template <class TBase> struct TBreakpointRun : TBase {
    static constexpr bool StopsBefore = true;
    const TDebugChecks& Checks;
    bool Skip;
    int64_t SkipAt;
    TBreakpointRun(TBase base, const TDebugChecks& checks, bool skipFirst, int64_t ip)
        : TBase(base), Checks(checks), Skip(skipFirst), SkipAt(ip) {}
    bool StopBefore(uint64_t address) const { return Checks.HasBreakpoint(address); }
    bool Resumes(int64_t ip) {
        if (!Skip || ip != SkipAt) return false;
        Skip = false;
        return true;
    }
};

// Breakpoints, watches and the return check: the rows that access memory or ports, and the
// returns, test their effects against the watches (TWatchState).
template <class TBase> struct TCheckedRun : TBreakpointRun<TBase> {
    static constexpr bool Observes(roz::TOp op) { return roz::HasEffects(op); }
    TWatchState Watch;
    using TBreakpointRun<TBase>::TBreakpointRun;
    void Load(const roz::TExecState& s) { Watch.Load(this->Checks, s.Mem, s.Size); }
    ROZ_INLINE bool After(const roz::TEffects& e, const roz::TExecState& s, int64_t at, uint64_t clock,
                          TDebugStop& stop) {
        return Watch.Hit(e, s, at, clock, stop);
    }
};
