#include "UThreadRun.h"

#include <pthread.h>
#include <sched.h>

#include <exception>
#include <optional>

#include "URunLoop.h"

namespace {

void SetPolicy(pthread_t thread, TThreadPriority priority) {
    sched_param param{};
    param.sched_priority = 0;
    // EPERM (no right to leave SCHED_IDLE) and ESRCH (body already gone) are fine: a priority
    // is a hint here, never a condition for correctness.
    pthread_setschedparam(thread, priority == TThreadPriority::Idle ? SCHED_IDLE : SCHED_OTHER, &param);
}

} // namespace

TThreadRun::TThreadRun(TCCPUBase& cpu, TRunControl& control, TRunHost& host, uint64_t run,
                       TThreadPriority priority)
    : FCpu(cpu), FControl(control), FHost(host), FRun(run), FPriority(priority) {}

TThreadRun::~TThreadRun() {
    Join();
}

void TThreadRun::Start() {
    FThread = std::thread([this] { Body(); });
}

void TThreadRun::Join() {
    if (FThread.joinable()) FThread.join();
}

void TThreadRun::EndMessageClosed(uint64_t run) {
    if (run == FRun) FControl.EndMessageClosed();
}

void TThreadRun::LowerToPriority() {
    if (FPriority == TThreadPriority::Idle && FThread.joinable())
        SetPolicy(FThread.native_handle(), TThreadPriority::Idle);
}

void TThreadRun::Boost(bool boosted) {
    if (FPriority != TThreadPriority::Idle || !FThread.joinable()) return;
    SetPolicy(FThread.native_handle(), boosted ? TThreadPriority::Normal : TThreadPriority::Idle);
}

namespace {

bool IsDebugStop(TRunEnd end) {
    return end == TRunEnd::Breakpoint || end == TRunEnd::Watchpoint || end == TRunEnd::Returned;
}

bool ShouldStop(const TDebugDecision& decide, const TCCPUBase& cpu, const TRunResult& result) {
    if (!decide) return true;
    try {
        return decide(cpu, result);
    } catch (...) {
        return true;
    }
}

} // namespace

std::optional<TRunEnd> TThreadRun::RunLoops() {
    bool skipBreakpoint = false;
    for (;;) {
        // Re-read after every loop: a park may have changed the settings in force.
        const TDebugSettings& debug = FControl.Debug();
        const TRunResult result =
            debug.Checks.Empty() ? RunLoop(FCpu, FControl)
                                 : RunLoopChecked(FCpu, FControl, debug.Checks, UINT64_MAX, skipBreakpoint);
        skipBreakpoint = false;
        if (result.End == TRunEnd::DebugChanged) continue;
        if (!IsDebugStop(result.End)) return result.End;
        if (ShouldStop(debug.Decide, FCpu, result)) {
            if (!FControl.BodyDebugStops()) return std::nullopt; // a stop or release was pending
            try {
                FHost.RunDebugStopped(FRun, result);
            } catch (...) {
            }
            if (!FControl.BodyPark()) return std::nullopt;
        }
        // Resumed, or told to go on: the instruction at a breakpoint executes unchecked.
        skipBreakpoint = result.End == TRunEnd::Breakpoint;
    }
}

void TThreadRun::Body() {
    if (!FControl.BodyEnter()) return;
    std::string failure;
    TRunEnd end = TRunEnd::Stopped;
    try {
        const std::optional<TRunEnd> ended = RunLoops();
        if (!ended) return; // ended by the control while parked: no CPU, nothing to report
        end = *ended;
        if (end == TRunEnd::DivisionByZero) failure = TDivisionByZero().what();
    } catch (const std::exception& e) {
        failure = e.what();
    } catch (...) {
        failure = "Unknown failure";
    }
    if (failure.empty() && end == TRunEnd::Stopped) {
        FControl.BodyLeave(); // the control has ended the run already
        return;
    }
    if (!FControl.BodyEnds(!failure.empty())) return; // a stop or release was pending

    // The host's calls are the owner's code; whatever they throw must not end the process
    // or leave the run unended.
    try {
        if (failure.empty()) {
            FHost.RunEndMessageDue(FRun);
            FControl.WaitForEnd();
        } else {
            FHost.RunFailed(FRun, failure);
        }
    } catch (...) {
    }
    FControl.BodyReported();
}
