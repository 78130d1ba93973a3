#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "UDebugInfo.h"
#include "UDebugger.h"
#include "UExecution.h"

// The debug information of one image as the loader found it.
struct TDebugLoad {
    std::optional<TDebugInfo> Info; // with sources that moved with the image found beside the .dbg
    std::string Path;               // IMAGE.dbg (TDebugInfo::PathFor)
    bool Missing = true;            // no file at Path
    std::string Error;              // a file that is ignored: the reader's message; else ""
};

// One debugging session of the loaded program: its debug information (read by the one
// loader, Load), the debugger (breakpoints, watchpoints, the stepping plan, the stop text)
// and the pairing of both with the run (TExecution): Run starts afresh (the plan ends, hit
// counts restart), Pause and Stop end the plan, a stepping command runs with its plan, a
// change of breakpoints or watchpoints reaches the run thread.
//
// Threads: every member is for the owner's thread (the window's). Those that touch the
// debugger take the CPU through the execution's hand-over themselves (so never call them
// while holding a hand-over); Debugger() is for code that already holds one (or while no run
// is active). The run thread only calls the decision hook of the settings handed over here,
// which refers to the debugger: so this session outlives every run of the execution (declare
// it before the TExecution, which it only binds to in the constructor).
class TDebugSession {
  public:
    using TPollHook = TExecution::TPollHook;
    using TMakePlan = std::function<TStepPlan(const TCCPUBase&, const TSourceMap&)>;

    TDebugSession(TCCPUBase& cpu, TExecution& execution) : FCpu(&cpu), FExecution(&execution) {}
    // A session without a run thread (the runner, which runs the loop itself and asks the
    // debugger's decision hook): Load, OpenImage, Debugger, Loaded and RunToCursor only.
    TDebugSession() = default;
    TDebugSession(const TDebugSession&) = delete;
    TDebugSession& operator=(const TDebugSession&) = delete;

    // Called inside every hand-over this session takes, before it touches anything (the
    // window catches up its monitor view there).
    std::function<void()> OnHandOver;

    // The one loader of debug information: IMAGE.dbg beside imagePath when it exists and
    // describes image (the bytes loaded). A source that no longer exists at its recorded path
    // but does beside the .dbg (it moved with its image) is read from there. The last result
    // is kept: a second load of the same unchanged file for the same image (the memory size
    // asked for before a build's image is opened, then the open) does not read it again.
    const TDebugLoad& Load(const std::string& imagePath, const std::vector<uint8_t>& image);

    // A newly loaded image: loads its debug information and gives it to the debugger
    // (TDebugger::SetImage), then to the run. The result stays readable as Loaded().
    const TDebugLoad& OpenImage(const std::string& imagePath, const std::vector<uint8_t>& image);
    const TDebugLoad& Loaded() const { return FOpened; }

    TDebugger& Debugger() { return FDebugger; } // CPU holder only
    const TDebugger& Debugger() const { return FDebugger; }

    // The breakpoints or watchpoints changed: the run (running or not) gets the new checks.
    void SettingsChanged();
    // Run from reset: the plan ends and breakpoint hit counts restart, then TExecution::Run.
    void Run(const TPollHook& poll = {});
    // TExecution::Pause, and the plan ends. False (nothing done) when never run.
    bool Pause();
    // TExecution::Stop, and the plan ends; returns Stop's result.
    bool Stop(const TPollHook& poll = {});
    // The plan ends (after a command that ended the run some other way).
    void EndPlan();

    // A stepping command in two halves, so that the caller may refresh between them.
    // Busy: a run is running or stopping, no step may start.
    bool Busy() const;
    // Makes the plan from the CPU and the source map: false when it is a single instruction
    // (the caller steps instead), else true and the plan waits for RunPlan.
    bool PreparePlan(const TMakePlan& make);
    // Runs the prepared plan (TExecution::RunOneShot); false when none is prepared or the run
    // refused it.
    bool RunPlan(const TPollHook& poll = {});
    // Run to cursor: to address, or when wholeLine (the cursor is on a source line) to every
    // range of the code of the line at address (TSourceMap::LineStarts, the addresses a
    // breakpoint on that line covers), so the run stops at whichever range it reaches first.
    static TStepPlan RunToCursor(const TCCPUBase& cpu, const TSourceMap& map, uint64_t address,
                                 bool wholeLine);

    // Why the last debugger stop happened (TDebugger::StopText).
    std::string StopText();

  private:
    template <class F> decltype(auto) WithCpu(F&& f) {
        if (!FExecution) return std::forward<F>(f)();
        TRunControl::THandOver guard = FExecution->HandOver();
        if (OnHandOver) OnHandOver();
        return std::forward<F>(f)();
    }

    TCCPUBase* FCpu = nullptr; // the execution's
    TExecution* FExecution = nullptr;
    TDebugger FDebugger;
    TDebugLoad FLast, FOpened;
    std::vector<uint8_t> FLastImage;
    std::filesystem::file_time_type FLastTime{};
    uintmax_t FLastSize = 0;
    std::optional<TDebugSettings> FPrepared;
};
