#include "URunControl.h"

TRunStatus Next(TRunStatus from, TRunEvent event, bool handOvers) {
    using P = TRunPhase;
    const P p = from.Phase;
    const bool bodyless = p == P::Idle || p == P::Ending || p == P::Ended;
    const auto to = [](P phase, bool running) { return TRunStatus{phase, running}; };
    const P runOn = handOvers ? P::HandedOver : P::Running;
    switch (event) {
    case TRunEvent::Arm:
        return p == P::Idle || p == P::Ended ? to(P::Idle, true) : from;
    case TRunEvent::Pause:
        if (p == P::Running) return to(P::Pausing, false);
        if (p == P::HandedOver) return to(P::Paused, false);
        return bodyless ? to(p, false) : from;
    case TRunEvent::Resume:
        if (p == P::Pausing) return to(P::Running, true);
        if (p == P::Paused) return to(runOn, true);
        return bodyless ? to(p, true) : from;
    case TRunEvent::Stop:
        if (p == P::Running) return to(P::Stopping, false);
        if (p == P::HandedOver) return to(P::Ended, false);
        return bodyless ? to(p, false) : from;
    case TRunEvent::Release:
        if (p == P::Running || p == P::Pausing || p == P::Stopping) return to(P::Stopping, false);
        return p == P::Ended ? from : to(P::Ended, false);
    case TRunEvent::Closed:
    case TRunEvent::Reported:
        return p == P::Ending ? to(P::Ended, from.Running) : from;
    case TRunEvent::Start:
        if (p != P::Idle) return from;
        return from.Running ? to(runOn, true) : to(P::Ended, false);
    case TRunEvent::Boundary:
        if (p == P::Running || p == P::HandedOver) return to(runOn, true);
        if (p == P::Pausing) return to(P::Paused, false);
        if (p == P::Stopping) return to(P::Ended, false);
        return from;
    case TRunEvent::Leave:
        return BodyHoldsCpu(p) ? to(P::Ended, false) : from;
    case TRunEvent::EndOfRun:
        if (p == P::Stopping) return to(P::Ended, false);
        return BodyHoldsCpu(p) ? to(P::Ending, false) : from;
    case TRunEvent::Failure:
        return BodyHoldsCpu(p) ? to(P::Ending, false) : from;
    case TRunEvent::DebugStop:
        if (p == P::Running || p == P::Pausing) return to(P::Paused, false);
        return p == P::Stopping ? to(P::Ended, false) : from;
    }
    return from;
}

TRunPhase TRunControl::Phase() const {
    std::lock_guard lock(FMutex);
    return FPhase;
}

TRunStatus TRunControl::State() const {
    std::lock_guard lock(FMutex);
    return {FPhase, IsRunning()};
}

void TRunControl::Mirror(bool running) {
    const bool pause = FPhase == TRunPhase::Pausing || FPhase == TRunPhase::Paused;
    Word.store((running ? Running : 0u) | (pause ? PauseRequest : 0u) |
                   (FHandOvers > 0 ? HandOverRequest : 0u),
               std::memory_order_release);
    ThreadActive.store(FPhase != TRunPhase::Idle && FPhase != TRunPhase::Ended, std::memory_order_release);
}

void TRunControl::ApplyLocked(TRunEvent event) {
    const TRunStatus next = Next({FPhase, IsRunning()}, event, FHandOvers > 0);
    const TRunPhase before = FPhase;
    FPhase = next.Phase;
    if (FOneShotActive && FPhase != before &&
        (FPhase == TRunPhase::Paused || FPhase == TRunPhase::Ending || FPhase == TRunPhase::Ended)) {
        // The body does not read the settings in these phases (it does not hold the CPU).
        FOneShotActive = false;
        FOneShot = {};
        DebugGeneration.fetch_add(1, std::memory_order_release);
    }
    Mirror(next.Running);
    FChanged.notify_all();
}

void TRunControl::Apply(TRunEvent event) {
    std::lock_guard lock(FMutex);
    ApplyLocked(event);
}

bool TRunControl::BodyEnter() {
    std::unique_lock lock(FMutex);
    ApplyLocked(TRunEvent::Start);
    return ParkLocked(lock);
}

bool TRunControl::ParkLocked(std::unique_lock<std::mutex>& lock) {
    for (;;) {
        if (FPhase == TRunPhase::HandedOver && FHandOvers == 0) ApplyLocked(TRunEvent::Boundary);
        if (FPhase != TRunPhase::HandedOver && FPhase != TRunPhase::Paused) return ::BodyHoldsCpu(FPhase);
        FChanged.wait(lock);
    }
}

bool TRunControl::AtBoundary() {
    std::unique_lock lock(FMutex);
    // A loop that no body drives (the runner, tests) ends at any word but Running.
    if (FPhase == TRunPhase::Idle) return false;
    ApplyLocked(TRunEvent::Boundary);
    return ParkLocked(lock);
}

bool TRunControl::BodyEnds(bool failed) {
    std::lock_guard lock(FMutex);
    ApplyLocked(failed ? TRunEvent::Failure : TRunEvent::EndOfRun);
    return FPhase == TRunPhase::Ending;
}

bool TRunControl::BodyDebugStops() {
    std::lock_guard lock(FMutex);
    ApplyLocked(TRunEvent::DebugStop);
    return FPhase == TRunPhase::Paused;
}

bool TRunControl::BodyPark() {
    std::unique_lock lock(FMutex);
    return ParkLocked(lock);
}

void TRunControl::SetDebug(TDebugSettings settings) {
    THandOver guard(*this);
    std::lock_guard lock(FMutex);
    FStanding = std::move(settings);
    FStanding.Checks.SortBreakpoints();
    DebugGeneration.fetch_add(1, std::memory_order_release);
}

void TRunControl::SetOneShot(TDebugSettings settings) {
    THandOver guard(*this);
    std::lock_guard lock(FMutex);
    FOneShot = std::move(settings);
    FOneShot.Checks.SortBreakpoints();
    FOneShotActive = true;
    DebugGeneration.fetch_add(1, std::memory_order_release);
}

void TRunControl::WaitForEnd() {
    std::unique_lock lock(FMutex);
    FChanged.wait(lock, [&] { return FPhase == TRunPhase::Ended; });
}

bool TRunControl::Acquire(std::chrono::milliseconds timeout, bool bounded) {
    std::unique_lock lock(FMutex);
    if (FHandOvers++ == 0) Mirror(IsRunning());
    if (!::BodyHoldsCpu(FPhase)) return true;
    const auto start = std::chrono::steady_clock::now();
    const auto boostAt = start + BoostAfter;
    bool boosted = false;
    while (::BodyHoldsCpu(FPhase)) {
        const auto now = std::chrono::steady_clock::now();
        if (bounded && now >= start + timeout) {
            lock.unlock();
            Hand();
            // A boost must not outlive the wait it was made for.
            if (boosted) OnHandOverWaiting(OnHandOverContext, false);
            return false;
        }
        if (!boosted && now >= boostAt && OnHandOverWaiting) {
            boosted = true;
            lock.unlock();
            OnHandOverWaiting(OnHandOverContext, true);
            lock.lock();
            continue;
        }
        auto until = boosted ? now + std::chrono::milliseconds(50) : boostAt;
        if (bounded && until > start + timeout) until = start + timeout;
        FChanged.wait_until(lock, until);
    }
    if (boosted) {
        lock.unlock();
        OnHandOverWaiting(OnHandOverContext, false);
    }
    return true;
}

void TRunControl::Hand() {
    std::lock_guard lock(FMutex);
    // A parked body takes itself back to Running when it wakes (AtBoundary), so that a
    // hand-over taken right after this one finds it still parked.
    --FHandOvers;
    Mirror(IsRunning());
    FChanged.notify_all();
}

TRunControl::THandOver::THandOver(TRunControl& control) : FControl(control) {
    FAcquired = FControl.Acquire(std::chrono::milliseconds(0), false);
}

TRunControl::THandOver::THandOver(TRunControl& control, std::chrono::milliseconds timeout)
    : FControl(control) {
    FAcquired = FControl.Acquire(timeout, true);
}

TRunControl::THandOver::~THandOver() {
    if (FAcquired) FControl.Hand();
}
