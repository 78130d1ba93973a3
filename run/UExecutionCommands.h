#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "UExecution.h"
#include "Uccpubase.h"

// The window's execution commands that act on the CPU (open, reset, step, the timer's
// refresh, the memory re-size), without a window: each returns what happened, and the
// window turns that into its texts and boxes. The tests drive the same commands.
//
// Threads: the owner's thread only, as TExecution. The CPU is touched only inside a
// hand-over, so every command may be given during a run: Reset, Step and Refresh take the
// CPU between two instructions and the run goes on from the state they leave; Open and the
// re-size replace what the run works on, so they end a running or paused run first.
class TExecutionCommands {
  public:
    using TPollHook = TExecution::TPollHook;
    // How long a refresh waits for the run thread to hand the CPU over before it skips the
    // tick: a run that does not reach a boundary in time is refreshed at the next one.
    static constexpr std::chrono::milliseconds RefreshWait{20};

    TExecutionCommands(TCCPUBase& cpu, TExecution& execution) : FCpu(cpu), FExecution(execution) {}

    // Called inside every hand-over of these commands before the CPU is touched (the window
    // brings its monitor up to date there, so what a command reads is never ahead of it).
    std::function<void()> OnHandOver;

    // What ending a run for a command found.
    struct TEndedRun {
        bool Ended = false;      // a body was ended (its end message, if one is open, is moot)
        bool WasRunning = false; // it was running or paused (not waiting for its end message)
    };
    // Ends a running or paused run as a replacing Run ends it (no end message; a later
    // Resume continues nothing), and a body waiting for its end message; nothing else.
    TEndedRun EndRun(const TPollHook& poll = {});

    struct TOpenResult {
        TEndedRun Run;
        int32_t Status = 0; // TCCPUMemory::LoadImage's status (a TLoadStatus); memory is kept unless 0
    };
    // Ends the run, then loads the image file at address 0 and sets the run clock to 0. No
    // reset (Reset follows).
    TOpenResult Open(const std::string& fileName, const TPollHook& poll = {});

    void Reset();
    // One instruction at IPOffset: FetchAndExecute's status (FetchEndOfImage when there is
    // nothing left to execute). Division by zero throws TDivisionByZero, IPOffset kept.
    int64_t Step();

    // The timer's refresh: read(cpu) within RefreshWait, or false (nothing read) when the
    // run thread did not hand the CPU over in time.
    bool Refresh(const std::function<void(TCCPUBase&)>& read);

    struct TResizeResult {
        bool Refused = false; // size <= 0: nothing was done (re-sizing to nothing would lose memory)
        TEndedRun Run;
        int32_t Status = 0; // TCCPUMemory::SetSize's status (-2: cannot allocate)
    };
    TResizeResult SetMemorySize(int64_t size, const TPollHook& poll = {});

  private:
    template <class F> decltype(auto) WithCpu(F&& f);

    TCCPUBase& FCpu;
    TExecution& FExecution;
};
