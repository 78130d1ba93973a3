#include "UThreadRun.h"

#include <pthread.h>
#include <sched.h>

#include <exception>

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

TThreadRun::TThreadRun(TCCPUBase& cpu, TRunControl& control, std::atomic<bool>& threadActive, TRunHost& host,
                       uint64_t run, TThreadPriority priority)
    : FCpu(cpu), FControl(control), FThreadActive(threadActive), FHost(host), FRun(run), FPriority(priority) {
}

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
    if (run != FRun) return;
    FControl.Notify([&] { FEndMessageClosed = true; });
}

void TThreadRun::LowerToPriority() {
    if (FPriority == TThreadPriority::Idle && FThread.joinable())
        SetPolicy(FThread.native_handle(), TThreadPriority::Idle);
}

void TThreadRun::Boost(bool boosted) {
    if (FPriority != TThreadPriority::Idle || !FThread.joinable()) return;
    SetPolicy(FThread.native_handle(), boosted ? TThreadPriority::Normal : TThreadPriority::Idle);
}

void TThreadRun::Finish(TPhase phase) {
    if (phase != TPhase::Created) FThreadActive.store(false, std::memory_order_release);
    // Announced under the control's lock so that a disposal waiting on it cannot miss it.
    FControl.Notify([&] { FPhase.store(TPhase::Ended, std::memory_order_release); });
}

void TThreadRun::Body() {
    if (!FControl.IsRunning()) {
        Finish(TPhase::Created);
        return;
    }
    FThreadActive.store(true, std::memory_order_release);
    FControl.Notify([&] { FPhase.store(TPhase::Executing, std::memory_order_release); });
    if (!FControl.BodyEnter()) {
        Finish(TPhase::Executing);
        return;
    }

    std::string failure;
    TRunEnd end = TRunEnd::Stopped;
    try {
        end = RunLoop(FCpu, FControl).End;
        if (end == TRunEnd::DivisionByZero) failure = TDivisionByZero().what();
    } catch (const std::exception& e) {
        failure = e.what();
    } catch (...) {
        failure = "Unknown failure";
    }
    if (!failure.empty()) end = TRunEnd::DivisionByZero;
    if (end != TRunEnd::Stopped) FControl.SetRunning(false);
    FControl.BodyLeave();

    // The host's calls are the owner's code; whatever they throw must not end the process
    // or leave ThreadActive set.
    try {
        if (end == TRunEnd::EndOfImage || end == TRunEnd::LeftMemory) {
            FPhase.store(TPhase::WaitingForHost, std::memory_order_release);
            FControl.Notify([] {});
            FHost.RunEndMessageDue(FRun);
            FControl.WaitFor([&] { return FEndMessageClosed; });
        } else if (end == TRunEnd::DivisionByZero) {
            FHost.RunFailed(FRun, failure);
        }
    } catch (...) {
    }
    Finish(TPhase::Executing);
}
