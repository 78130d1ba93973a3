#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "UDebugChecks.h"
#include "USourceMap.h"

class TCCPUBase;

// A one-shot stepping command as checks for the run layer plus the rule that says when its
// own stop is reached. The run is started like Resume from the current state with Checks
// merged into the user's (TDebugger::PlanSettings); the decision hook asks Reached at every
// candidate; any stop (the plan's or a user breakpoint's) ends the plan. The first
// instruction always executes: a breakpoint candidate before anything has run is passed
// over (AtStart), whether or not the run layer tests the first instruction.
//
//   StepOver        on a CALL or INT at A: stop at A + 8 (A + 24 for CALLI) with SP back at
//                   its value before the call; on any other instruction: one instruction
//   StepOut         stop after the return that leaves SP below its value now
//   RunTo           stop at any of the addresses
//   SourceStepInto  stop at the first instruction of a line other than the current one, at a
//                   function's entry, or right after a return out of the current function
//                   (into the caller, mid-line too)
//   SourceStepOver  the same, but calls made from the current activation run to their return
//                   (deeper activations, recursion included, never stop the step) and only
//                   that activation's lines count; from code without a line (the start-up)
//                   it is SourceStepInto, since there is no line to step over
// Without a line table the source steps are the instruction steps (SingleInstruction, or
// StepOver's plan).
//
// Built by the window's thread while it holds the CPU; Reached runs on the run thread while it
// holds the CPU; never both at once. The source steps keep a pointer to map: pass the
// TDebugger's Map(), which outlives its plan (SetImage ends the plan).
class TStepPlan {
  public:
    enum class TKind { None, Instruction, Over, Out, RunTo, SourceInto, SourceOver };

    static TStepPlan StepOver(const TCCPUBase& cpu);
    static TStepPlan StepOut(const TCCPUBase& cpu);
    static TStepPlan RunTo(const TCCPUBase& cpu, std::vector<uint64_t> addresses);
    static TStepPlan SourceStepInto(const TCCPUBase& cpu, const TSourceMap& map);
    static TStepPlan SourceStepOver(const TCCPUBase& cpu, const TSourceMap& map);

    TKind Kind() const { return FKind; }
    // True: no checked run is needed, the caller steps one instruction (TExecution's Step).
    bool SingleInstruction() const { return FKind == TKind::Instruction; }
    const TDebugChecks& Checks() const { return FChecks; }
    // What the plan has seen of the run so far: whether a candidate came yet, the call in
    // progress that SourceStepOver runs through. The const questions below work on a copy
    // (TDebugger::Evaluate), which Keep makes the plan's own once the candidate is acted on.
    struct TProgress {
        bool Fresh = true, InCall = false;
        uint64_t ReturnAddress = 0;
        int64_t ReturnSp = 0;
    };
    TProgress Progress() const { return {FFresh, FInCall, FReturnAddress, FReturnSp}; }
    void Keep(const TProgress& progress);
    // Whether the plan's stop is reached at this candidate, from progress (updated: calls
    // entered and returned from), so it is asked once per candidate, in run order.
    bool Reached(const TCCPUBase& cpu, const TDebugStop& stop, TProgress& progress) const;
    // True for the first candidate only when it is a breakpoint at the starting state
    // (nothing has executed yet): the run is to go on. Asked once per candidate, before Reached.
    bool AtStart(const TCCPUBase& cpu, const TDebugStop& stop, TProgress& progress) const;
    // The two above on the plan's own progress.
    bool Reached(const TCCPUBase& cpu, const TDebugStop& stop);
    bool AtStart(const TCCPUBase& cpu, const TDebugStop& stop);
    // "step over", "step out", "run to cursor", "step into line", "step over line".
    const char* Name() const;

    // Records the state the plan starts from (every factory calls it).
    void Start(const TCCPUBase& cpu);

    // The bytes a call instruction at address takes (the table's size), 0 when the word
    // there is no call (TFlow::Call).
    static uint64_t CallSize(const TCCPUBase& cpu, uint64_t address);
    static bool IsReturn(const TCCPUBase& cpu, uint64_t address);
    // The call instruction whose return goes on at address (a call of each size the table
    // has, the shortest first), or nullopt when none ends there.
    static std::optional<uint64_t> CallReturningTo(const TCCPUBase& cpu, uint64_t address);

  private:
    bool LineChanged(const TCCPUBase& cpu) const;

    TKind FKind = TKind::None;
    bool FFresh = true; // no candidate seen yet
    int64_t FStartIp = 0, FStartPsw = 0, FStartR[16] = {};
    TDebugChecks FChecks;
    const TSourceMap* FMap = nullptr; // the source steps' map; outlives the plan
    TSourceMap::TLineKey FStartLine;
    const TDebugInfo::TFunction* FStartFunction = nullptr;
    int64_t FStartSp = 0;
    std::vector<uint64_t> FTargets; // RunTo's addresses, sorted; source steps' function entries
    std::vector<uint64_t> FCalls;   // SourceOver: the call instructions of the current function
    uint64_t FReturnAddress = 0;    // Over, SourceOver: where the call in progress returns to
    int64_t FReturnSp = 0;          // ... with SP back at this value
    bool FInCall = false;           // SourceOver: a call from the current activation runs
};
