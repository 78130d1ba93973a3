#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "UMoniterLog.h"
#include "URunControl.h"
#include "URunHost.h"
#include "UThreadRun.h"
#include "Uccpubase.h"

// The run states as the commands see them: the control's phase (TRunPhase) seen through the
// spec's state table.
enum class TRunState {
    NeverRun, // no thread object
    Running,  // Running, HandedOver; a body not started yet with Running set
    Paused,   // Paused
    Stopping, // Pausing, Stopping, Ending (waiting for the end message or reporting a
              // failure); a body not started yet with Running clear
    Finished  // Ended; Running as last set
};

// Execution control without a window: the commands Run, Pause, Resume, Stop, the disposal
// of the run thread, the CPU hand-over and the monitor log. The window's handlers call it
// and stay thin.
//
// Threads: every method is for one thread, the owner's (the window's), except the
// read-only IsRunning, IsThreadActive, State and the monitor log's readers, which any thread
// may call. Running and ThreadActive are the control's mirrors of its state.
// The CPU is touched by the owner only inside a HandOver guard: the body is then parked at
// an instruction boundary or holds no CPU. Never call Run, Stop or Dispose while holding a
// guard that another command would need; Dispose itself is safe even then.
class TExecution {
  public:
    using TPollHook = std::function<void()>; // serves the owner's own events while it waits
    static constexpr std::chrono::milliseconds StopWait{100};

    // Attaches the monitor log to cpu's monitor for the lifetime of this object.
    TExecution(TCCPUBase& cpu, TRunHost& host, TThreadPriority priority);
    ~TExecution(); // disposes of the thread (no poll hook), detaches the log

    TExecution(const TExecution&) = delete;
    TExecution& operator=(const TExecution&) = delete;

    // Disposes of the old thread, resets the CPU, sets Running, starts a new thread and
    // waits (calling poll) until its body has started, so that the state reads Running on
    // return (or already Stopping / Finished for a very short program).
    void Run(const TPollHook& poll = {});
    // False when no thread object exists (nothing changes). Else parks the body at the next
    // boundary and clears Running; pausing a paused body changes nothing.
    bool Pause();
    // False when no thread object exists. Else sets Running and wakes a parked body.
    bool Resume();
    // Clears Running, then waits (at most StopWait, calling poll) until the body has ended,
    // parked, or given the CPU up for good (Ending: waiting for the end message, or reporting
    // a failure). A paused body stays paused. True when the body got there within the wait
    // (also when there is no thread).
    bool Stop(const TPollHook& poll = {});
    // Ends the body whatever it is doing (running, paused, waiting for its end message) and
    // waits, calling poll, until it has ended; no end message is asked for afterwards. The
    // thread object stays, so the state reads Finished: a later Resume continues nothing.
    // Running is left clear. For commands that replace what the run works on.
    void End(const TPollHook& poll = {});
    // End, then the thread object goes and the state is NeverRun.
    void Dispose(const TPollHook& poll = {});
    // The debugger's standing settings for this run and later ones (TRunControl::SetDebug):
    // with empty checks the body runs the plain loop. May be called in any state.
    void SetDebug(TDebugSettings settings) { Control.SetDebug(std::move(settings)); }
    // Step over, step out, run to cursor, source steps: runs from the current state (no
    // reset) with a one-shot pair (TRunControl::SetOneShot) and ends paused at its stop, or
    // as any run ends; Pause and Stop work as in any run. Paused: resumes with the pair. No
    // body alive (never run, or the last one has ended): starts a new body from the current
    // state, waiting as Run does. False, with nothing done, while a body runs or is stopping.
    bool RunOneShot(TDebugSettings oneShot, const TPollHook& poll = {});
    // The end message of run `run` was closed; a close for an earlier run is ignored.
    void EndMessageClosed(uint64_t run);
    // True while run `run` is the latest and its body waits for its end message (or is
    // about to): a message posted by a run that has been ended or replaced since is not
    // to be shown.
    bool EndMessageDue(uint64_t run) const;

    // The CPU for the owner's thread until the guard's end. Without a timeout it always
    // acquires; with one (the timer's refresh) it may give up, see Acquired().
    TRunControl::THandOver HandOver() { return TRunControl::THandOver(Control); }
    TRunControl::THandOver HandOver(std::chrono::milliseconds timeout) {
        return TRunControl::THandOver(Control, timeout);
    }

    bool IsRunning() const { return Control.IsRunning(); }
    bool IsThreadActive() const { return ThreadActive.load(std::memory_order_acquire); }
    TRunState State() const;
    // The number of the latest run (0 before the first), as passed to the host.
    uint64_t RunNumber() const { return FRunNumber; }

    TRunControl Control;
    std::atomic<bool>& ThreadActive = Control.ThreadActive;
    std::unique_ptr<TThreadRun> RunThread;
    TMoniterLog MoniterLog;

  private:
    static void BoostHook(void* context, bool waiting);
    // Run's start of a new body after the disposal of the old one and the optional reset;
    // the one-shot pair, if any, is set between Arm and the body's start.
    void StartBody(const TDebugSettings* oneShot, const TPollHook& poll);
    // Waits until done() or the deadline, calling poll at least every millisecond.
    template <class Pred>
    bool WaitServing(Pred done, std::chrono::steady_clock::time_point deadline, const TPollHook& poll);

    TCCPUBase& FCpu;
    TRunHost& FHost;
    const TThreadPriority FPriority;
    uint64_t FRunNumber = 0;
};
