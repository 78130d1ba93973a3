#pragma once
#include <cstdint>
#include <optional>
#include <thread>

#include "URunControl.h"
#include "URunHost.h"
#include "URunLoop.h"
#include "Uccpubase.h"

enum class TThreadPriority {
    Normal, // tests and benchmarks
    Idle    // the program: Linux SCHED_IDLE, so the window's thread always goes first
};

// One run of the CPU on its own thread (a standard thread, not a toolkit one).
//
// Threads: the owner (the window's thread, through TExecution) constructs it, calls Start
// once, EndMessageClosed, Join and the destructor; everything else may be read from any
// thread. The body runs on the new thread and reaches the CPU only while it holds it by
// the control's rules; it reports to the host only after giving the CPU up.
//
// The body, in the control's states (TRunPhase): it starts (Idle -> Running, or Ended at once
// when Running is clear, without touching ThreadActive), runs the loop without a step budget
// (the plain one, or the checked one while the control's debugger settings in force have
// checks; either keeps the CPU's run clock), and by the loop's end:
//  - a debugger stop: asks the settings' decision (on this thread, holding the CPU); to go
//    on, it runs on with the breakpoint's instruction unchecked; to stop, it pauses
//    (DebugStop), tells the host (RunDebugStopped) and parks until resumed (then the same
//    holds) or ended;
//  - the settings changed during a park: it picks the loop anew;
//  - stopped (Stop, Release): the control has ended the run already;
//  - end of image / left memory: Ending with Running clear, RunEndMessageDue, then it waits
//    until EndMessageClosed or a release ends the run;
//  - an instruction failed (division by zero, or any other exception out of the loop, with
//    its own message): Ending with Running clear, RunFailed, Ended.
// ThreadActive mirrors the state, so an ended body never leaves it true.
class TThreadRun {
  public:
    TThreadRun(TCCPUBase& cpu, TRunControl& control, TRunHost& host, uint64_t run, TThreadPriority priority);
    // Joins. The owner releases the control (or lets the body end) first, else this blocks.
    ~TThreadRun();
    TThreadRun(const TThreadRun&) = delete;
    TThreadRun& operator=(const TThreadRun&) = delete;

    void Start();
    void Join();
    // Lets a body that waits for the end message go on; a close for another run is ignored.
    void EndMessageClosed(uint64_t run);

    bool Ended() const { return FControl.Phase() == TRunPhase::Ended; }

    // Owner's thread: gives the thread the constructor's priority. The thread starts at the
    // normal one, so that an owner waiting for the body's start (TExecution::Run) is not
    // kept waiting by a busy machine; the owner lowers it afterwards, on its own thread,
    // so that no later Boost can be undone by the body.
    void LowerToPriority();
    // Owner's thread, while a hand-over waits for an idle body: run at the normal priority
    // (true) or go back to the constructor's (false). Best effort: without the right to
    // raise it the hand-over still completes once the machine has a free core.
    void Boost(bool boosted);

  private:
    void Body();
    // The loops of the run until one ends it; nullopt when the control ended the body while
    // it was parked at a debugger stop (it then holds no CPU and reports nothing).
    std::optional<TRunEnd> RunLoops();

    TCCPUBase& FCpu;
    TRunControl& FControl;
    TRunHost& FHost;
    const uint64_t FRun;
    const TThreadPriority FPriority;
    std::thread FThread;
};
