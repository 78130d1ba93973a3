#pragma once
// Runs one machine two ways, by the run loop and by single steps (fetch and execute at
// IPOffset, as the step command does, with the run thread's end tests), and compares the
// outcome and the whole machine. Shared by the differential test and the fuzzer.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "TestMachine.h"
#include "UInstructions.h"
#include "URunLoop.h"

namespace diff {

// Everything a machine is built from.
struct TSetup {
    int64_t MemorySize = 10000;
    std::vector<uint8_t> Memory; // initial bytes from address 0 (at most MemorySize)
    int64_t ImageLength = 0;     // the used length: the first bytes of Memory form the image
    int64_t Registers[TCCPUBase::PanelRegisterCount] = {}; // in the panel's order
    uint64_t Keyboard = 0;
    uint64_t MaxSteps = 0;
    // Once EditAt instructions have run (0: never), the run stops and EditBytes are written
    // at EditAddress from outside, as the window's memory tools or a load would during a
    // hand-over; the run then goes on. Code decoded before the edit must not survive it.
    uint64_t EditAt = 0;
    int64_t EditAddress = 0;
    std::vector<uint8_t> EditBytes;
};

// Writes the setup's edit into memory (bytes outside memory are left out).
inline void ApplyEdit(const TSetup& setup, TCCPUBase& cpu) {
    for (size_t k = 0; k < setup.EditBytes.size(); ++k) {
        const int64_t at = setup.EditAddress + static_cast<int64_t>(k);
        if (at >= 0 && at < cpu.Memory.Size()) cpu.Memory.Buffer()[at] = setup.EditBytes[k];
    }
}

// Runs run(cpu, budget) to the budget, with the setup's edit made between two parts.
template <class TRun> TRunResult RunEdited(const TSetup& setup, TCCPUBase& cpu, uint64_t budget, TRun run) {
    if (setup.EditAt == 0 || setup.EditAt >= budget) return run(cpu, budget);
    TRunResult first = run(cpu, setup.EditAt);
    if (first.End != TRunEnd::StepLimit) return first;
    ApplyEdit(setup, cpu);
    TRunResult rest = run(cpu, budget - setup.EditAt);
    rest.Executed += first.Executed;
    return rest;
}

struct TMachine {
    TCCPU Cpu;
    TRecordingSink Sink;
};

// False when the setup cannot be built (an image that the memory store refuses).
inline bool Build(const TSetup& setup, TMachine& m) {
    m.Cpu.Ports.Moniter.Sink = &m.Sink;
    if (m.Cpu.Memory.SetSize(setup.MemorySize) != 0) return false;
    if (setup.ImageLength > static_cast<int64_t>(setup.Memory.size())) return false;
    if (setup.ImageLength > 0 && m.Cpu.Memory.LoadBytes(setup.Memory.data(), setup.ImageLength) != 0)
        return false;
    const size_t rest = std::min(setup.Memory.size(), static_cast<size_t>(setup.MemorySize));
    std::memcpy(m.Cpu.Memory.Buffer(), setup.Memory.data(), rest);
    for (int i = 0; i < TCCPUBase::PanelRegisterCount; ++i)
        m.Cpu.PanelRegister(i) = setup.Registers[i];
    m.Cpu.Ports.Keyboard.Data = setup.Keyboard;
    return true;
}

inline TRunResult RunBySteps(TCCPUBase& cpu, uint64_t maxSteps) {
    TRunResult result{TRunEnd::StepLimit, 0, 0};
    for (;;) {
        if (result.Executed == maxSteps) return result;
        int64_t status;
        try {
            status = cpu.FetchAndExecute(cpu.IPOffset);
        } catch (const TDivisionByZero&) {
            result.End = TRunEnd::DivisionByZero;
            return result;
        }
        if (status != FetchExecuted) {
            result.End = status == FetchEndOfImage ? TRunEnd::EndOfImage : TRunEnd::LeftMemory;
            result.FetchStatus = status;
            return result;
        }
        ++result.Executed;
        if (cpu.IPOffset >= cpu.Memory.Size()) {
            result.End = TRunEnd::LeftMemory;
            return result;
        }
    }
}

inline TRunResult RunByLoop(TCCPUBase& cpu, uint64_t maxSteps) {
    TRunControl control;
    control.Word = TRunControl::Running;
    return RunLoop(cpu, control, maxSteps);
}

// An empty text when both machines and outcomes agree, else what differs.
inline std::string Compare(TMachine& loop, const TRunResult& loopEnd, TMachine& steps,
                           const TRunResult& stepEnd) {
    std::ostringstream out;
    if (loopEnd.End != stepEnd.End)
        out << "end: loop " << RunEndName(loopEnd.End) << ", steps " << RunEndName(stepEnd.End) << "\n";
    if (loopEnd.Executed != stepEnd.Executed)
        out << "executed: loop " << loopEnd.Executed << ", steps " << stepEnd.Executed << "\n";
    // Leaving memory by IPOffset after an instruction involves no fetch; the loop may report
    // the status that the next fetch would give (-2) or none.
    const bool byFetch = stepEnd.FetchStatus != 0;
    if (byFetch ? loopEnd.FetchStatus != stepEnd.FetchStatus
                : (loopEnd.FetchStatus != 0 && loopEnd.FetchStatus != FetchOutsideMemory))
        out << "fetch status: loop " << loopEnd.FetchStatus << ", steps " << stepEnd.FetchStatus << "\n";
    TCCPU& a = loop.Cpu;
    TCCPU& b = steps.Cpu;
    for (int i = 0; i < TCCPUBase::PanelRegisterCount; ++i)
        if (a.PanelRegister(i) != b.PanelRegister(i))
            out << TCCPUBase::PanelRegisterNames[i] << ": loop " << a.PanelRegister(i) << ", steps "
                << b.PanelRegister(i) << "\n";
    if (a.Memory.Size() != b.Memory.Size() || a.Memory.UsedLength() != b.Memory.UsedLength())
        out << "size or used length differ\n";
    else if (std::memcmp(a.Memory.Buffer(), b.Memory.Buffer(), static_cast<size_t>(a.Memory.Size())) != 0)
        for (int64_t i = 0; i < a.Memory.Size(); ++i)
            if (a.Memory.Buffer()[i] != b.Memory.Buffer()[i]) {
                out << "memory differs first at " << i << "\n";
                break;
            }
    if (loop.Sink.Values != steps.Sink.Values)
        out << "monitor output: loop " << loop.Sink.Values.size() << " values, steps "
            << steps.Sink.Values.size() << "\n";
    if (a.Ports.Moniter.Data != 0 || b.Ports.Moniter.Data != 0) out << "monitor Data not 0\n";
    if (a.Clock != b.Clock) out << "clock: loop " << a.Clock << ", steps " << b.Clock << "\n";
    return out.str();
}

// Builds the setup twice, runs it both ways and compares; empty when they agree or the setup
// cannot be built. A run that ended before its budget is run once more with a budget of
// exactly the instructions it executed, so that the budget runs out on the instruction that
// ended it (the end tests after an instruction come before the budget), and once by the
// loop without a budget (the window's), which must end in the same state with the same
// count. The run clocks (TCCPUBase::Clock) must agree with the steps' too.
enum class TLoopKind { Counted, Unbudgeted };

inline std::string RunOnce(const TSetup& setup, TLoopKind kind, TRunResult* stepOutcome) {
    TMachine loop, steps;
    if (!Build(setup, loop) || !Build(setup, steps)) return {};
    TRunResult loopEnd;
    if (kind == TLoopKind::Counted) {
        loopEnd = RunEdited(setup, loop.Cpu, setup.MaxSteps, RunByLoop);
    } else {
        TRunControl control;
        control.Word = TRunControl::Running;
        loopEnd = RunLoop(loop.Cpu, control);
    }
    const TRunResult stepEnd = kind == TLoopKind::Counted
                                   ? RunEdited(setup, steps.Cpu, setup.MaxSteps, RunBySteps)
                                   : RunBySteps(steps.Cpu, setup.MaxSteps);
    if (stepOutcome) *stepOutcome = stepEnd;
    return Compare(loop, loopEnd, steps, stepEnd);
}

inline std::string RunBothWays(const TSetup& setup, TRunResult* stepOutcome = nullptr) {
    TRunResult first{TRunEnd::StepLimit, 0, 0};
    std::string difference = RunOnce(setup, TLoopKind::Counted, &first);
    if (stepOutcome) *stepOutcome = first;
    if (!difference.empty() || first.End == TRunEnd::StepLimit) return difference;
    // The run ends by itself within the budget, so the loop without a budget ends too (unless
    // an edit made it end: that loop runs without one).
    if (setup.EditAt == 0 || setup.EditAt > first.Executed) {
        difference = RunOnce(setup, TLoopKind::Unbudgeted, nullptr);
        if (!difference.empty()) return "without a budget:\n" + difference;
    }
    if (first.Executed == 0) return difference;
    TSetup exact = setup;
    exact.MaxSteps = first.Executed;
    difference = RunOnce(exact, TLoopKind::Counted, nullptr);
    return difference.empty() ? difference
                              : "with a budget of " + std::to_string(exact.MaxSteps) + ":\n" + difference;
}

// ---- the checked loop ----------------------------------------------------------------
// Single steps with the debugger's checks made by hand, as the checked loop must make them:
// a breakpoint before a step (after the fetch's tests), after it leaving memory, then a
// change of a write-watched byte (compared with a copy), an IN from the keyboard, an OUT to the monitor
// or a RET / IRET leaving SP below ReturnBelow (found from the word and the registers).
// Read watches are not made here. before: the watched bytes before the last step.
inline TRunResult RunByCheckedSteps(TCCPUBase& cpu, const TDebugChecks& checks, uint64_t maxSteps,
                                    bool skipBreakpoint, std::vector<uint8_t>& before) {
    TRunResult result{TRunEnd::StepLimit, 0, 0};
    uint8_t* const mem = cpu.Memory.Buffer();
    const int64_t size = cpu.Memory.Size();
    for (bool first = true;; first = false) {
        if (result.Executed == maxSteps) return result;
        const int64_t ip = cpu.IPOffset;
        const int64_t status = cpu.FetchStatus(ip);
        if (status != FetchExecuted) {
            result.End = status == FetchEndOfImage ? TRunEnd::EndOfImage : TRunEnd::LeftMemory;
            result.FetchStatus = status;
            return result;
        }
        if (checks.HasBreakpoint(static_cast<uint64_t>(ip)) && !(skipBreakpoint && first)) {
            result.End = TRunEnd::Breakpoint;
            result.Stop.Kind = TDebugStop::TKind::Breakpoint;
            result.Stop.Instruction = ip;
            result.Stop.Clock = cpu.Clock;
            return result;
        }
        const uint64_t clock = cpu.Clock;
        uint32_t word;
        std::memcpy(&word, mem + ip, 4);
        const roz::TOp op = roz::OpOfTopByte(word >> 24);
        const bool portRegs = roz::Regs(word, roz::ByteB | roz::ByteC);
        const int64_t port = cpu.R[roz::FieldB(word) & 15];
        const bool portIn = checks.WatchPortIn && op == roz::OpIN && portRegs && port == TPorts::KeyboardPort;
        const bool portOut =
            checks.WatchPortOut && op == roz::OpOUT && portRegs && port == TPorts::MoniterPort;
        before.resize(static_cast<size_t>(size));
        for (const TDebugChecks::TWatch& w : checks.Watches)
            for (uint64_t a = w.Begin; a < w.End && a < static_cast<uint64_t>(size); ++a)
                before[a] = mem[a];
        try {
            cpu.FetchAndExecute(ip);
        } catch (const TDivisionByZero&) {
            result.End = TRunEnd::DivisionByZero;
            return result;
        }
        ++result.Executed;
        if (cpu.IPOffset >= size) {
            result.End = TRunEnd::LeftMemory;
            return result;
        }
        TDebugStop& stop = result.Stop;
        for (const TDebugChecks::TWatch& w : checks.Watches)
            for (uint64_t a = w.Begin; w.Write && a < w.End && a < static_cast<uint64_t>(size); ++a)
                if (before[a] != mem[a]) stop.Kind = TDebugStop::TKind::WatchWrite;
        if (stop.Kind == TDebugStop::TKind::None && (portIn || portOut)) {
            stop.Kind = portIn ? TDebugStop::TKind::PortIn : TDebugStop::TKind::PortOut;
            stop.Value = cpu.R[roz::FieldC(word) & 15];
        }
        if (stop.Kind == TDebugStop::TKind::None && (op == roz::OpRET || op == roz::OpIRET) &&
            checks.ReturnBelow && cpu.SP < *checks.ReturnBelow)
            stop.Kind = TDebugStop::TKind::Returned;
        if (stop.Kind != TDebugStop::TKind::None) {
            stop.Instruction = ip;
            stop.Clock = clock;
            result.End = stop.Kind == TDebugStop::TKind::Returned ? TRunEnd::Returned : TRunEnd::Watchpoint;
            return result;
        }
    }
}

// An empty text when a checked loop's stop agrees with the steps' (a watch hit may name any
// changed byte of any watch: the loop is only held to a byte that changed, and to its bytes).
inline std::string CompareStops(const TDebugChecks& checks, const TRunResult& loopEnd,
                                const TRunResult& stepEnd, const std::vector<uint8_t>& before,
                                const TCCPUBase& after) {
    std::ostringstream out;
    const TDebugStop &a = loopEnd.Stop, &b = stepEnd.Stop;
    if (a.Kind != b.Kind || a.Instruction != b.Instruction)
        out << "stop: loop kind " << int(a.Kind) << " at " << a.Instruction << ", steps kind " << int(b.Kind)
            << " at " << b.Instruction << "\n";
    if (a.Clock != b.Clock) out << "stop clock: loop " << a.Clock << ", steps " << b.Clock << "\n";
    if ((b.Kind == TDebugStop::TKind::PortIn || b.Kind == TDebugStop::TKind::PortOut) && a.Value != b.Value)
        out << "port value: loop " << a.Value << ", steps " << b.Value << "\n";
    if (b.Kind == TDebugStop::TKind::WatchWrite && a.Kind == b.Kind) {
        const bool known = a.Watch >= 0 && a.Watch < static_cast<int>(checks.Watches.size());
        const TDebugChecks::TWatch w = known ? checks.Watches[a.Watch] : TDebugChecks::TWatch{};
        if (!known || a.Address < w.Begin || a.Address >= w.End || a.Length == 0 ||
            a.Address + a.Length > w.End)
            out << "watch hit outside its watch\n";
        else if (before[a.Address] == after.Memory.Buffer()[a.Address])
            out << "watch hit on an unchanged byte\n";
        else
            for (int k = 0; k < a.Length; ++k)
                if (a.Old[k] != before[a.Address + k] || a.New[k] != after.Memory.Buffer()[a.Address + k])
                    out << "watch bytes differ at " << a.Address + k << "\n";
    }
    return out.str();
}

// Runs the setup (without its edit) by the checked loop and by checked single steps,
// resuming after every debugger stop (from a breakpoint without checking it again) up to
// `resumes` times, and compares every stop and the machines; the first part also by the
// checked loop without a budget. stops[kind] counts the debugger stops seen by their TDebugStop::TKind.
inline std::string RunCheckedBothWays(const TSetup& setup, const TDebugChecks& checks, int resumes,
                                      int* stops) {
    TMachine loop, steps, unbudgeted;
    if (!Build(setup, loop) || !Build(setup, steps) || !Build(setup, unbudgeted)) return {};
    std::vector<uint8_t> before;
    uint64_t left = setup.MaxSteps;
    bool skip = false;
    for (int part = 0; part <= resumes; ++part) {
        TRunControl control;
        control.Word = TRunControl::Running;
        const TRunResult loopEnd = RunLoopChecked(loop.Cpu, control, checks, left, skip);
        const TRunResult stepEnd = RunByCheckedSteps(steps.Cpu, checks, left, skip, before);
        std::string difference = Compare(loop, loopEnd, steps, stepEnd) +
                                 CompareStops(checks, loopEnd, stepEnd, before, steps.Cpu);
        if (part == 0 && difference.empty() && stepEnd.End != TRunEnd::StepLimit) {
            const TRunResult free = RunLoopChecked(unbudgeted.Cpu, control, checks);
            const std::string more = Compare(unbudgeted, free, steps, stepEnd) +
                                     CompareStops(checks, free, stepEnd, before, steps.Cpu);
            if (!more.empty()) difference = "without a budget:\n" + more;
        }
        if (!difference.empty()) return "part " + std::to_string(part) + ":\n" + difference;
        if (stepEnd.Stop.Kind == TDebugStop::TKind::None) break;
        ++stops[static_cast<int>(stepEnd.Stop.Kind)];
        left -= stepEnd.Executed;
        skip = stepEnd.End == TRunEnd::Breakpoint;
    }
    return {};
}

} // namespace diff
