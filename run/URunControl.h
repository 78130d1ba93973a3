#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "UDebugChecks.h"

// The run thread's state: one value, changed only by Next (below) under the control's lock.
enum class TRunPhase {
    Idle,       // no body: before a run, or the body has not started yet
    Running,    // the body executes instructions and holds the CPU
    Pausing,    // a pause was asked for: the body holds the CPU up to its next boundary
    Paused,     // the body is parked at a boundary for the pause; the CPU is free
    HandedOver, // the body is parked at a boundary (or waits to start) while the owner holds
                // the CPU; it runs on when it wakes after the last hand-over has ended
    Stopping,   // the run is to end: the body holds the CPU up to its next boundary, ends
                // there, and reports only a failure (not an end of the image met on the way)
    Ending,     // the run is over and the body has given the CPU up: it reports a failure, or
                // waits until its end message is closed
    Ended       // the body has nothing left to do but return; ThreadActive is false
};

// What changes the state. The owner's commands, then the body's own steps.
enum class TRunEvent {
    Arm,      // owner: a new run is about to start its body (Running set)
    Pause,    // owner
    Resume,   // owner (also SetRunning(true))
    Stop,     // owner: clear Running (also SetRunning(false))
    Release,  // owner: end the body whatever it does, without an end message
    Closed,   // owner: the end message was closed
    Start,    // body: begins (BodyEnter)
    Boundary, // body: at an instruction boundary with the control word != Running, or
              // parked and woken
    Leave,    // body: gives the CPU up after the loop ended by Running (BodyLeave)
    EndOfRun, // body: the loop met the end of the image or left memory
    Failure,  // body: an instruction failed
    Reported, // body: its report is done (a failure's, or a host call that threw)
    DebugStop // body: a checked loop stopped for the debugger and its decision said stop
};

// The state and the Running flag. In the phases with a body at work the flag follows from
// the phase (set in Running and HandedOver only); in Idle, Ending and Ended it is the
// owner's own: Resume sets it, Pause and Stop clear it, as on a run that has finished.
struct TRunStatus {
    TRunPhase Phase;
    bool Running;
};

// The one transition function; handOvers: a hand-over is held or waited for. "-" keeps the
// status, +R / -R set or clear only the Running flag, "HO?" is HandedOver while handOvers,
// else Running.
//
//  from \ event | Pause    Resume   Stop      Release   Closed, Reported
//  Idle         | -R       +R       -R        Ended     -
//  Running      | Pausing  -        Stopping  Stopping  -
//  Pausing      | -        Running  -         Stopping  -
//  Paused       | -        HO?      -         Ended     -
//  HandedOver   | Paused   -        Ended     Ended     -
//  Stopping     | -        -        -         -         -
//  Ending       | -R       +R       -R        Ended     Ended
//  Ended        | -R       +R       -R        -         -
//
//  from \ event | Arm      Start          Boundary  Leave     EndOfRun  Failure   DebugStop
//  Idle         | Idle+R   HO? if R,      -         -         -         -         -
//               |          else Ended
//  Running      | -        -              HO?       Ended     Ending-R  Ending-R  Paused
//  Pausing      | -        -              Paused    Ended     Ending-R  Ending-R  Paused
//  Paused       | -        -              -         -         -         -         -
//  HandedOver   | -        -              HO?       -         -         -         -
//  Stopping     | -        -              Ended     Ended     Ended     Ending    Ended
//  Ending       | -        -              -         -         -         -         -
//  Ended        | Idle+R   -              -         -         -         -         -
//
// Why: a stop given during a pause keeps the pause (Pausing and Paused ignore Stop; Resume
// continues the run); a stop is final once asked (Stopping ignores Pause and Resume, and an
// end of the image met on the way is not reported, though a failure is); Stop while handed
// over ends the parked body at once, without the CPU; a parked body takes itself from
// HandedOver back to Running when it wakes, so a hand-over taken right after another finds it
// still parked. Every entry into Ended from a body phase clears Running. A debugger stop is
// a pause that the body asked for itself: it lands in Paused exactly as a pause does (so
// Resume, a hand-over, Stop and Release then act as on a pause), except that a pending stop
// stays final. Entering Paused, Ending or Ended also ends a one-shot debugger pair.
TRunStatus Next(TRunStatus from, TRunEvent event, bool handOvers);

// True in the phases in which the body holds the CPU.
constexpr bool BodyHoldsCpu(TRunPhase phase) {
    return phase == TRunPhase::Running || phase == TRunPhase::Pausing || phase == TRunPhase::Stopping;
}

// The control between the window's thread and the run thread: the state above, its mirror
// in one atomic control word, and the CPU hand-over built on them.
//
// Word bits: Running (the run is to go on), PauseRequest (park at the next instruction
// boundary), HandOverRequest (the owner wants the CPU). The word is rewritten from the state
// after every transition; the run loop reads it once after every instruction (relaxed) and
// stays on its fast path while it equals Running. Any other value sends it to AtBoundary.
// A loop driven without a body (the runner, tests) may also write Word directly while the
// state is Idle: then AtBoundary only reads its Running bit.
//
// Who holds the CPU: the body in Running, Pausing and Stopping. Everyone else touches the CPU
// only through a THandOver guard, which waits until the body does not hold it.
//
// Threads: the owner's thread calls Pause, Resume, Stop, Release, Arm, Closed and takes
// hand-overs (hand-overs nest, and are meant for that one thread: two threads holding guards
// at once would both touch the CPU); the run thread calls BodyEnter, AtBoundary, BodyLeave,
// BodyEnds, BodyReported and WaitForEnd. Every wait ends on a transition made under the lock
// and announced with a notification, so no wake-up is lost. Release ends every wait of the
// body; a release made while the releasing thread holds a hand-over ends the body too.
class TRunControl {
  public:
    enum : uint32_t { Running = 1, PauseRequest = 2, HandOverRequest = 4 };

    std::atomic<uint32_t> Word{0};
    // The spec's ThreadActive: true from the body's start until it has ended, a mirror of
    // the state (not Idle, not Ended) for readers on any thread.
    std::atomic<bool> ThreadActive{false};

    bool IsRunning() const { return (Word.load(std::memory_order_acquire) & Running) != 0; }
    TRunPhase Phase() const;
    TRunStatus State() const;

    // ---- owner side (one event each, see Next) ----
    void SetRunning(bool running) { Apply(running ? TRunEvent::Resume : TRunEvent::Stop); }
    void Pause() { Apply(TRunEvent::Pause); }
    void Resume() { Apply(TRunEvent::Resume); }
    void Stop() { Apply(TRunEvent::Stop); }
    void Release() { Apply(TRunEvent::Release); }
    // Before a new body starts: back to Idle with Running set.
    void Arm() { Apply(TRunEvent::Arm); }
    void EndMessageClosed() { Apply(TRunEvent::Closed); }

    // ---- run thread side ----
    // The body starts: takes the CPU (waits while the owner holds it). False when the run
    // ended meanwhile or Running was clear: then the body does not hold the CPU.
    bool BodyEnter();
    // The body gives the CPU up after a loop that ended by the control (or on a step limit).
    void BodyLeave() { Apply(TRunEvent::Leave); }
    // Called by the run loop at an instruction boundary when Word != Running, with the CPU
    // state written back. Parks while paused or handed over; returns true when the run goes
    // on (the body holds the CPU), false when it is to end (the body does not hold the CPU
    // and must not touch it, so a guard held by a releasing owner cannot deadlock).
    bool AtBoundary();
    // The loop ended by itself (failed: an instruction failed): the body gives the CPU up.
    // True when the run is Ending and the body is to report (and, unless failed, wait for
    // the end message); false when a pending stop or release ended it without a report.
    bool BodyEnds(bool failed);
    void BodyReported() { Apply(TRunEvent::Reported); }
    // A checked loop stopped for the debugger (the decision said stop): the body gives the
    // CPU up (DebugStop). True when the run is now Paused: the body tells its host, then
    // calls BodyPark. False when a pending stop or release ended it.
    bool BodyDebugStops();
    // Parks a body in Paused until it is resumed (true: the body holds the CPU again) or
    // ended (false), as AtBoundary parks.
    bool BodyPark();
    // Blocks until the state is Ended (end message closed, or released).
    void WaitForEnd();

    // Blocks until pred(phase) holds (checked under the lock after every transition) or the
    // deadline passes; returns the last pred(phase).
    template <class Pred, class Clock, class Duration>
    bool WaitUntil(Pred pred, const std::chrono::time_point<Clock, Duration>& deadline) {
        std::unique_lock lock(FMutex);
        return FChanged.wait_until(lock, deadline, [&] { return pred(FPhase); });
    }

    // ---- the debugger's settings (UDebugChecks.h) ----
    // Owner: replaces the standing settings; an empty Checks runs the plain loop. Waits, as
    // a hand-over does, until the body does not hold the CPU; a running body picks them up
    // at once (it is parked for this).
    void SetDebug(TDebugSettings settings);
    // Owner: a one-shot pair that replaces the standing one from now until the run next
    // enters Paused, Ending or Ended; then the standing pair is back. Meant to be set while
    // the run is paused (or before its body starts), then Resume. Waits as SetDebug.
    void SetOneShot(TDebugSettings settings);
    // Body, while it holds the CPU: the pair in force (the one-shot one if set). The
    // reference stays valid until DebugGeneration changes.
    const TDebugSettings& Debug() const { return FOneShotActive ? FOneShot : FStanding; }
    // Changes with every SetDebug, SetOneShot and end of a one-shot pair; the run loop
    // compares it after every park.
    std::atomic<uint64_t> DebugGeneration{0};

    // True while the body holds the CPU (for tests and benchmarks).
    bool BodyHoldsCpu() const { return ::BodyHoldsCpu(Phase()); }

    // Called (with the lock not held) while a hand-over has waited longer than
    // BoostAfter for the body, so that its owner can raise the run thread's priority; called
    // again with false once the hand-over is done or given up. Set and called only on the
    // thread that takes hand-overs.
    void (*OnHandOverWaiting)(void* context, bool waiting) = nullptr;
    void* OnHandOverContext = nullptr;
    // Short: an idle body that got no core within this long will not get one soon on a busy
    // machine, and raising it costs two system calls.
    static constexpr std::chrono::microseconds BoostAfter{200};

    // ---- the CPU hand-over, owner side ----
    // RAII: the constructor waits until the body does not hold the CPU; the destructor hands
    // the CPU back. With a timeout the guard may give up: then Acquired() is false and the
    // CPU must not be touched. Nests on one thread.
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
    void Apply(TRunEvent event);
    // The body's wait while parked (Paused, or HandedOver until the hand-overs have ended);
    // returns whether the body holds the CPU afterwards. Lock held.
    bool ParkLocked(std::unique_lock<std::mutex>& lock);
    // Makes the transition, rewrites the mirrors and wakes every waiter; lock held.
    void ApplyLocked(TRunEvent event);
    // Rewrites Word and ThreadActive from the phase, the Running flag and the hand-overs.
    void Mirror(bool running);
    bool Acquire(std::chrono::milliseconds timeout, bool bounded);
    void Hand();

    mutable std::mutex FMutex;
    std::condition_variable FChanged;
    TRunPhase FPhase = TRunPhase::Idle;
    int FHandOvers = 0; // nesting depth of the owner's guards, held or waited for
    TDebugSettings FStanding, FOneShot;
    bool FOneShotActive = false;
};
