#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

// The one control word between the window's thread and the run thread, and the CPU
// hand-over built on it.
//
// Word bits: Running (the run is to go on), PauseRequest (park at the next instruction
// boundary), HandOverRequest (the window's thread wants the CPU). The run loop reads the word
// once after every instruction (relaxed) and stays on its fast path while it equals Running;
// any other value sends it to AtBoundary.
//
// Who holds the CPU: the run thread's body from BodyEnter to BodyLeave, except while it is
// parked in AtBoundary (pause or hand-over). Everyone else touches the CPU only through a
// THandOver guard, which waits until the body does not hold it.
//
// Threads: the window's thread calls Pause, Resume, Stop, Release, Reopen and takes
// hand-overs (hand-overs nest, and are meant for that one thread: two threads holding guards
// at once would both touch the CPU); the run thread calls BodyEnter, BodyLeave and
// AtBoundary. Every wait ends on a change made under the lock and announced with a
// notification, so no wake-up is lost. After Release nothing of the body waits any more:
// a release made while the releasing thread holds a hand-over ends the body too.
class TRunControl {
  public:
    enum : uint32_t { Running = 1, PauseRequest = 2, HandOverRequest = 4 };

    std::atomic<uint32_t> Word{0};

    bool IsRunning() const { return (Word.load(std::memory_order_acquire) & Running) != 0; }
    void SetRunning(bool running);
    // Parks the body at its next boundary and clears Running; a second Pause changes nothing.
    void Pause();
    // Sets Running and lets a parked body go on.
    void Resume();
    // Clears Running; a parked body stays parked (a later Resume continues the run).
    void Stop() { SetRunning(false); }
    // Clears Running and the pause and wakes every waiting body so that it ends. Used when a
    // thread object is disposed of; undone by Reopen before the next run.
    void Release();
    void Reopen();
    bool Released() const;

    // ---- run thread side ----
    // The body takes the CPU (waits while the window's thread holds it). False when released
    // meanwhile: then the body does not hold the CPU and must not touch it.
    bool BodyEnter();
    // The body gives the CPU up for good (end of the body, or before waiting for the host).
    void BodyLeave();
    // Called by the run loop at an instruction boundary when Word != Running, with the CPU
    // state written back. Parks while a pause or hand-over is pending; returns true when the
    // run goes on (Running set), false when it is to end. The body holds the CPU on return,
    // except after a release: then it returns false without the CPU (the loop ends without
    // touching it, so a guard held by the releasing thread cannot deadlock the disposal).
    bool AtBoundary();
    // Blocks until Notify() makes pred true or Release() is called; the body must not hold
    // the CPU. Returns false when released.
    template <class Pred> bool WaitFor(Pred pred) {
        std::unique_lock lock(FMutex);
        FChanged.wait(lock, [&] { return FReleased || pred(); });
        return !FReleased || pred();
    }
    // Blocks until pred is true (checked under the lock after every notification) or the
    // deadline passes; returns pred(). For callers that must also serve their own events.
    template <class Pred, class Clock, class Duration>
    bool WaitUntil(Pred pred, const std::chrono::time_point<Clock, Duration>& deadline) {
        std::unique_lock lock(FMutex);
        return FChanged.wait_until(lock, deadline, pred);
    }
    // Runs f under the control's lock and wakes every waiter (for state behind WaitFor).
    template <class F> void Notify(F f) {
        {
            std::lock_guard lock(FMutex);
            f();
        }
        FChanged.notify_all();
    }

    // True while the body holds the CPU (for tests and priority boosting).
    bool BodyHoldsCpu() const;
    // The same, for predicates of WaitUntil and WaitFor, which run under the lock.
    bool BodyHoldsCpuLocked() const { return FBodyHolds; }

    // Called (with the lock not held) while a hand-over has waited longer than
    // BoostAfter for the body, so that its owner can raise the run thread's priority; called
    // again with false once the hand-over is done or given up. Set and called only on the
    // thread that takes hand-overs.
    void (*OnHandOverWaiting)(void* context, bool waiting) = nullptr;
    void* OnHandOverContext = nullptr;
    // Short: an idle body that got no core within this long will not get one soon on a busy
    // machine, and raising it costs two system calls.
    static constexpr std::chrono::microseconds BoostAfter{200};

    // ---- the CPU hand-over, window side ----
    // RAII: the constructor waits until the body is parked at a boundary (or holds no CPU);
    // the destructor hands the CPU back. With a timeout the guard may give up: then
    // Acquired() is false and the CPU must not be touched. Nests on one thread.
    class THandOver {
      public:
        explicit THandOver(TRunControl& control);
        THandOver(TRunControl& control, std::chrono::milliseconds timeout);
        ~THandOver();
        THandOver(const THandOver&) = delete;
        THandOver& operator=(const THandOver&) = delete;
        bool Acquired() const { return FAcquired; }

      private:
        TRunControl& FControl;
        bool FAcquired = false;
    };

  private:
    bool Acquire(std::chrono::milliseconds timeout, bool bounded);
    void Hand();

    mutable std::mutex FMutex;
    std::condition_variable FChanged;
    bool FBodyHolds = false;
    int FHandOvers = 0;
    bool FReleased = false;
};
