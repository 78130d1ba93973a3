#include "URunControl.h"

void TRunControl::SetRunning(bool running) {
    if (running)
        Word.fetch_or(Running, std::memory_order_acq_rel);
    else
        Word.fetch_and(~uint32_t{Running}, std::memory_order_acq_rel);
}

void TRunControl::Pause() {
    // One atomic step, so that the body never sees Running cleared without the pause.
    uint32_t w = Word.load(std::memory_order_relaxed);
    while (
        !Word.compare_exchange_weak(w, (w | PauseRequest) & ~uint32_t{Running}, std::memory_order_acq_rel)) {
    }
}

void TRunControl::Resume() {
    std::lock_guard lock(FMutex);
    uint32_t w = Word.load(std::memory_order_relaxed);
    while (
        !Word.compare_exchange_weak(w, (w | Running) & ~uint32_t{PauseRequest}, std::memory_order_acq_rel)) {
    }
    FChanged.notify_all();
}

void TRunControl::Release() {
    std::lock_guard lock(FMutex);
    FReleased = true;
    Word.fetch_and(~uint32_t{Running | PauseRequest}, std::memory_order_acq_rel);
    FChanged.notify_all();
}

void TRunControl::Reopen() {
    std::lock_guard lock(FMutex);
    FReleased = false;
}

bool TRunControl::Released() const {
    std::lock_guard lock(FMutex);
    return FReleased;
}

bool TRunControl::BodyHoldsCpu() const {
    std::lock_guard lock(FMutex);
    return FBodyHolds;
}

bool TRunControl::BodyEnter() {
    std::unique_lock lock(FMutex);
    FChanged.wait(lock, [&] { return FHandOvers == 0 || FReleased; });
    if (FReleased) return false;
    FBodyHolds = true;
    return true;
}

void TRunControl::BodyLeave() {
    {
        std::lock_guard lock(FMutex);
        FBodyHolds = false;
    }
    FChanged.notify_all();
}

bool TRunControl::AtBoundary() {
    std::unique_lock lock(FMutex);
    for (;;) {
        const uint32_t w = Word.load(std::memory_order_acquire);
        if (FReleased) {
            if (FBodyHolds) {
                FBodyHolds = false;
                FChanged.notify_all();
            }
            return false;
        }
        const bool parked = FHandOvers > 0 || (w & PauseRequest);
        if (!parked) {
            FBodyHolds = true;
            return (w & Running) != 0;
        }
        if (FBodyHolds) {
            FBodyHolds = false;
            FChanged.notify_all();
        }
        FChanged.wait(lock);
    }
}

bool TRunControl::Acquire(std::chrono::milliseconds timeout, bool bounded) {
    std::unique_lock lock(FMutex);
    if (FHandOvers++ == 0) Word.fetch_or(HandOverRequest, std::memory_order_acq_rel);
    if (!FBodyHolds) return true;
    const auto start = std::chrono::steady_clock::now();
    const auto boostAt = start + BoostAfter;
    bool boosted = false;
    while (FBodyHolds) {
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
    {
        std::lock_guard lock(FMutex);
        if (--FHandOvers == 0) Word.fetch_and(~uint32_t{HandOverRequest}, std::memory_order_acq_rel);
    }
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
