#include "UExecution.h"

TExecution::TExecution(TCCPUBase& cpu, TRunHost& host, TThreadPriority priority)
    : FCpu(cpu), FHost(host), FPriority(priority) {
    FCpu.Ports.Moniter.Sink = &MoniterLog;
}

TExecution::~TExecution() {
    Dispose();
    FCpu.Ports.Moniter.Sink = nullptr;
}

template <class Pred>
bool TExecution::WaitServing(Pred done, std::chrono::steady_clock::time_point deadline,
                             const TPollHook& poll) {
    using namespace std::chrono;
    for (;;) {
        if (poll) poll();
        const auto slice = steady_clock::now() + milliseconds(1);
        if (Control.WaitUntil(done, slice < deadline ? slice : deadline)) return true;
        if (steady_clock::now() >= deadline) return false;
    }
}

void TExecution::BoostHook(void* context, bool waiting) {
    auto* self = static_cast<TExecution*>(context);
    if (self->RunThread) self->RunThread->Boost(waiting);
}

void TExecution::Run(const TPollHook& poll) {
    Dispose(poll); // no old body may run after the reset below
    {
        auto guard = HandOver();
        FCpu.Reset();
    }
    StartBody(nullptr, poll);
}

bool TExecution::RunOneShot(TDebugSettings oneShot, const TPollHook& poll) {
    const TRunState state = State();
    if (state == TRunState::Paused) {
        Control.SetOneShot(std::move(oneShot));
        Resume();
        return true;
    }
    if (state != TRunState::NeverRun && state != TRunState::Finished) return false;
    Dispose(poll);
    StartBody(&oneShot, poll);
    return true;
}

void TExecution::StartBody(const TDebugSettings* oneShot, const TPollHook& poll) {
    Control.Arm();
    if (oneShot) Control.SetOneShot(*oneShot);
    RunThread = std::make_unique<TThreadRun>(FCpu, Control, FHost, ++FRunNumber, FPriority);
    if (FPriority == TThreadPriority::Idle) {
        Control.OnHandOverContext = this;
        Control.OnHandOverWaiting = &TExecution::BoostHook;
    }
    try {
        RunThread->Start();
    } catch (...) { // no thread could be made: leave no object that a disposal would wait for
        Control.OnHandOverWaiting = nullptr;
        RunThread.reset();
        Control.SetRunning(false);
        throw;
    }
    // The states must read exactly: once Run returns, the body has started (or already
    // ended). The body runs at the normal priority until then.
    WaitServing([](TRunPhase phase) { return phase != TRunPhase::Idle; },
                std::chrono::steady_clock::time_point::max(), poll);
    RunThread->LowerToPriority();
}

// An idle body on a busy machine may wait long for a core; to reach its boundary (or its
// test of Running) promptly it runs at the normal priority from a Pause or Stop until the
// next Resume. A parked or ended body costs nothing at any priority.
bool TExecution::Pause() {
    if (!RunThread) return false;
    Control.Pause();
    RunThread->Boost(true);
    return true;
}

bool TExecution::Resume() {
    if (!RunThread) return false;
    RunThread->Boost(false);
    Control.Resume();
    return true;
}

bool TExecution::Stop(const TPollHook& poll) {
    Control.Stop();
    if (!RunThread) return true;
    RunThread->Boost(true);
    const auto settled = [](TRunPhase phase) {
        return phase == TRunPhase::Paused || phase == TRunPhase::Ending || phase == TRunPhase::Ended;
    };
    return WaitServing(settled, std::chrono::steady_clock::now() + StopWait, poll);
}

void TExecution::End(const TPollHook& poll) {
    if (!RunThread) return;
    Control.Release();
    RunThread->Boost(true);
    WaitServing([](TRunPhase phase) { return phase == TRunPhase::Ended; },
                std::chrono::steady_clock::time_point::max(), poll);
    Control.OnHandOverWaiting = nullptr;
    Control.OnHandOverContext = nullptr;
}

void TExecution::Dispose(const TPollHook& poll) {
    if (!RunThread) return;
    End(poll);
    RunThread.reset(); // joins a body that has only its return left
}

void TExecution::EndMessageClosed(uint64_t run) {
    if (RunThread) RunThread->EndMessageClosed(run);
}

bool TExecution::EndMessageDue(uint64_t run) const {
    return RunThread && run == FRunNumber && Control.Phase() == TRunPhase::Ending;
}

TRunState TExecution::State() const {
    if (!RunThread) return TRunState::NeverRun;
    const TRunStatus status = Control.State();
    switch (status.Phase) {
    case TRunPhase::Idle:
        return status.Running ? TRunState::Running : TRunState::Stopping;
    case TRunPhase::Running:
    case TRunPhase::HandedOver:
        return TRunState::Running;
    case TRunPhase::Paused:
        return TRunState::Paused;
    case TRunPhase::Pausing:
    case TRunPhase::Stopping:
    case TRunPhase::Ending:
        return TRunState::Stopping;
    case TRunPhase::Ended:
        return TRunState::Finished;
    }
    return TRunState::Finished;
}
