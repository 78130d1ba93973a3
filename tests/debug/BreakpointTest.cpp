#include "DebugFixture.h"
#include "CheckedSteps.h"
#include "UDebugger.h"
#include "UVariableView.h"

namespace {

using dtest::TProgram;

constexpr uint64_t Budget = 1000000;

// A run with the user's breakpoints and watchpoints, resumed from where the last one stopped.
TRunResult RunUntilStop(TProgram& p, TDebugger& debugger) {
    const TDebugSettings settings = debugger.StandingSettings();
    return RunChecked(*p.Cpu, settings.Checks, settings.Decide, Budget);
}

TRunResult RunPlan(TProgram& p, TDebugger& debugger, TStepPlan plan) {
    const TDebugSettings settings = debugger.PlanSettings(std::move(plan));
    return RunChecked(*p.Cpu, settings.Checks, settings.Decide, Budget);
}

// The first call instruction of a function's code on a line.
uint64_t FirstCall(const TProgram& p, const TDebugInfo::TFunction& function, uint32_t line) {
    const auto& map = p.Map;
    for (uint64_t at : map.InstructionStarts({function.Address, function.Address + function.Size},
                                             p.Image.data(), p.Image.size()))
        if (TStepPlan::CallSize(*p.Cpu, at) && map.LineAt(at).Line == line) return at;
    return 0;
}

std::string Variable(const TCCPUBase& cpu, const TStackFrame& frame, const std::string& name) {
    for (const TVariableView& view : FrameVariables(cpu, frame))
        if (view.Name == name) return view.Value;
    return "<none>";
}

// factorial.c at -O0: a condition on the frame (n at FP + 96), an ignore count, and the call
// stack and variables at each stop.
TEST(Breakpoints, ConditionIgnoreAndTheStackAtTheStop) {
    TProgram p;
    ROZ_LOAD_OR_SKIP(p, "factorial_O0");
    TDebugger debugger;
    debugger.SetImage(p.Map, p.Image.size());
    std::string error;
    const std::optional<int> id =
        debugger.Breakpoints().Add("factorial.c:6", debugger.Map(), p.Image.size(), error);
    ASSERT_TRUE(id) << error;
    TBreakpoint& breakpoint = *debugger.Breakpoints().Find(*id);
    ASSERT_TRUE(breakpoint.SetCondition("[R15 + 96] == 3"));
    breakpoint.Ignore = 1;

    // n == 3 first in factorial(3) from main, then in factorial(3) from factorial(4): ignored once.
    ASSERT_EQ(RunUntilStop(p, debugger).End, TRunEnd::Breakpoint);
    EXPECT_EQ(debugger.StopBreakpoint(), *id);
    EXPECT_EQ(breakpoint.Hits, 2u);
    std::vector<TStackFrame> frames = CallStack(*p.Cpu, debugger.Map());
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].Text.rfind("factorial (factorial.c:6) 0x", 0), 0u) << frames[0].Text;
    EXPECT_EQ(Variable(*p.Cpu, frames[0], "n"), "3");
    EXPECT_EQ(Variable(*p.Cpu, frames[1], "n"), "4");
    EXPECT_EQ(frames[2].Function->Name, "main");
    EXPECT_EQ(Variable(*p.Cpu, frames[2], "n"), "4");
    EXPECT_NE(debugger.StopText().find("breakpoint 1 at factorial+"), std::string::npos)
        << debugger.StopText();

    // Resumed: the next n == 3 is one deeper, under factorial(5).
    ASSERT_EQ(RunUntilStop(p, debugger).End, TRunEnd::Breakpoint);
    EXPECT_EQ(CallStack(*p.Cpu, debugger.Map()).size(), 4u);

    // A condition that does not parse is kept with its error and stops at every hit.
    EXPECT_FALSE(breakpoint.SetCondition("R1 =="));
    EXPECT_EQ(breakpoint.ConditionError, "column 6: expected an operand at the end");
    ASSERT_EQ(RunUntilStop(p, debugger).End, TRunEnd::Breakpoint);
    EXPECT_NE(debugger.StopText().find("condition error: column 6"), std::string::npos)
        << debugger.StopText();
}

// At a function's entry and at its RET the frame register is the caller's: the walk still
// finds every frame.
TEST(Breakpoints, StackAtEntryAndReturn) {
    TProgram p;
    ROZ_LOAD_OR_SKIP(p, "factorial_O0");
    TDebugger debugger;
    debugger.SetImage(p.Map, p.Image.size());
    std::string error;
    const int id = *debugger.Breakpoints().Add("factorial", debugger.Map(), 0, error);
    debugger.Breakpoints().Find(id)->Ignore = 2; // entries: f(1); f(2), f(1) <- this one
    ASSERT_EQ(RunUntilStop(p, debugger).End, TRunEnd::Breakpoint);
    std::vector<TStackFrame> frames = CallStack(*p.Cpu, debugger.Map());
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].Base, p.Cpu->SP);
    EXPECT_EQ(Variable(*p.Cpu, frames[1], "n"), "2");
    EXPECT_EQ(Variable(*p.Cpu, frames[2], "n"), "2");

    const TDebugInfo::TFunction& factorial = *frames[0].Function;
    const uint64_t ret = factorial.Address + factorial.Size - 8;
    ASSERT_TRUE(TStepPlan::IsReturn(*p.Cpu, ret));
    debugger.Breakpoints().Clear();
    ASSERT_EQ(RunPlan(p, debugger, TStepPlan::RunTo(*p.Cpu, {ret})).End, TRunEnd::Breakpoint);
    EXPECT_NE(debugger.StopText().find("run to cursor done"), std::string::npos);
    frames = CallStack(*p.Cpu, debugger.Map());
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(Variable(*p.Cpu, frames[1], "n"), "2");

    // Step over a call with a breakpoint inside: the breakpoint stops it and ends the plan.
    const uint64_t call = FirstCall(p, *frames[2].Function, 11);
    ASSERT_EQ(RunPlan(p, debugger, TStepPlan::RunTo(*p.Cpu, {call})).End, TRunEnd::Breakpoint);
    debugger.Breakpoints().Add("factorial", debugger.Map(), 0, error);
    ASSERT_EQ(RunPlan(p, debugger, TStepPlan::StepOver(*p.Cpu)).End, TRunEnd::Breakpoint);
    EXPECT_EQ(p.Cpu->IPOffset, static_cast<int64_t>(factorial.Address));
    EXPECT_FALSE(debugger.Plan());
}

// A caller's callee-saved registers are the values it had at its call, wherever the callees
// have saved them since.
TEST(CallStack, CallerRegistersFromTheSavedHomes) {
    TProgram p;
    ROZ_LOAD_OR_SKIP(p, "factorial_O0");
    TDebugger debugger;
    debugger.SetImage(p.Map, p.Image.size());
    const TDebugInfo::TFunction& factorial = *p.Map.FunctionAt(*p.Map.LineStarts({0, 6}).begin());
    // Calls on line 6: factorial(2) -> factorial(1); factorial(3) -> factorial(2) (noted), which
    // then calls factorial(1) with its own values in the registers.
    const uint64_t call = FirstCall(p, factorial, 6);
    int64_t atCall[16];
    for (int hit = 0; hit < 3; ++hit) {
        ASSERT_EQ(RunPlan(p, debugger, TStepPlan::RunTo(*p.Cpu, {call})).End, TRunEnd::Breakpoint);
        if (hit == 1) std::copy(std::begin(p.Cpu->R), std::end(p.Cpu->R), atCall);
    }
    const std::vector<TStackFrame> frames = CallStack(*p.Cpu, debugger.Map());
    ASSERT_EQ(frames.size(), 3u);
    int changed = 0;
    for (int r : {5, 6, 7, 8, 9, 10, 11, 12, 14, 15}) {
        ASSERT_TRUE(frames[1].Known & 1u << r) << "R" << r;
        EXPECT_EQ(frames[1].R[r], atCall[r]) << "R" << r;
        changed += p.Cpu->R[r] != atCall[r];
    }
    EXPECT_GT(changed, 1) << "the callee's registers should differ from its caller's";
    EXPECT_FALSE(frames[1].Known & 1u << 0);
}

// Assembly has no frame information: the callers come from the CALL records on the stack,
// past the values factorial.s pushes between them.
TEST(CallStack, AssemblyFromTheStackRecords) {
    TProgram p;
    ROZ_LOAD_OR_SKIP(p, "factorial_s");
    TDebugger debugger;
    debugger.SetImage(p.Map, p.Image.size());
    std::string error;
    const int id = *debugger.Breakpoints().Add("factorial", debugger.Map(), 0, error);
    ASSERT_TRUE(debugger.Breakpoints().Find(id)->SetCondition("R1 == 1 && R7 == 4"));
    ASSERT_EQ(RunUntilStop(p, debugger).End, TRunEnd::Breakpoint);
    std::vector<uint64_t> where;
    for (const TStackFrame& frame : CallStack(*p.Cpu, debugger.Map()))
        where.push_back(frame.Where);
    EXPECT_EQ(where, (std::vector<uint64_t>{316, 428, 428, 428, 240})); // factorial(1..4), main
}

// The call chain the test keeps itself while it steps: each CALL's return address, the
// caller's registers at the call and the callee's frame base (SP after the CALL).
struct TKnownCall {
    uint64_t Call = 0, Return = 0;
    int64_t R[16] = {};
    int64_t Base = 0;
};

// Steps the program instruction by instruction to its end and compares the call stack, at
// every instruction inside a C function, with the known chain: each frame's base, each
// caller's return address and call, and the callee-saved registers the callers had at their
// calls. Returns the number of instructions where they differ (with report, the first is a
// test failure).
int StackDisagreements(TProgram& p, const TSourceMap& map, size_t& checked, bool report = true) {
    constexpr uint64_t Steps = 400000;
    constexpr int Preserved[] = {5, 6, 7, 8, 9, 10, 11, 12, 14, 15};
    std::vector<TKnownCall> chain;
    int wrong = 0;
    p.Restart();
    checked = 0;
    for (uint64_t step = 0; step < Steps; ++step) {
        const uint64_t at = static_cast<uint64_t>(p.Cpu->IPOffset);
        if (map.FunctionAt(at)) {
            ++checked;
            std::string fault;
            const std::vector<TStackFrame> frames = CallStack(*p.Cpu, map);
            size_t callers = 0;
            while (callers < chain.size() && map.FunctionAt(chain[chain.size() - 1 - callers].Return))
                ++callers;
            if (frames.size() != callers + 1 || chain.empty())
                fault = std::to_string(frames.size()) + " frames, " + std::to_string(callers + 1) + " known";
            for (size_t k = 0; fault.empty() && k < frames.size(); ++k) {
                const TKnownCall& call = chain[chain.size() - 1 - k];
                if (frames[k].Base != call.Base) fault = "frame " + std::to_string(k) + "'s base";
                if (k == 0) continue;
                const TKnownCall& into = chain[chain.size() - k]; // the call frame k made
                if (frames[k].Address != into.Return || frames[k].Where != into.Call)
                    fault = "frame " + std::to_string(k) + "'s return";
                for (int r : Preserved)
                    if (fault.empty() && (!(frames[k].Known & 1u << r) || frames[k].R[r] != into.R[r]))
                        fault = "frame " + std::to_string(k) + "'s R" + std::to_string(r);
            }
            if (!fault.empty() && wrong++ == 0 && report)
                ADD_FAILURE() << p.Name << " at step " << step << ", address " << at << ": " << fault;
        }
        const uint64_t call = TStepPlan::CallSize(*p.Cpu, at);
        const bool ret = TStepPlan::IsReturn(*p.Cpu, at);
        TKnownCall known{at, at + call, {}, 0};
        std::copy(std::begin(p.Cpu->R), std::end(p.Cpu->R), known.R);
        if (!p.Step()) break;
        if (call) {
            known.Base = p.Cpu->SP;
            chain.push_back(known);
        } else if (ret && !chain.empty()) {
            chain.pop_back();
        }
    }
    return wrong;
}

// Stepped through calls, prologues and epilogues, the call stack agrees with the known call
// chain at every instruction, by the frame facts the compiler writes alone: with them
// damaged (FP valid at the RETs too) it no longer does. Files without the facts (older ones) get them
// from the prologue code and agree as well.
TEST(CallStack, AgreesWithTheCallChainAtEveryInstruction) {
    for (const char* name : {"factorial_O0", "factorial_O2", "sort_O0", "sort_O2"}) {
        TProgram p;
        ROZ_LOAD_OR_SKIP(p, name);
        TDebugInfo facts = p.Map.Info(), older = facts, damaged = facts;
        ASSERT_FALSE(facts.Functions.empty());
        for (TDebugInfo::TFunction& function : older.Functions) {
            ASSERT_TRUE(function.Frame.Facts) << name << ": " << function.Name;
            TDebugInfo::TFrame& frame = function.Frame;
            frame.Facts = false;
            frame.Saved.clear();
            frame.SavedFrom = 0;
            frame.PointerValid.clear();
        }
        for (TDebugInfo::TFunction& function : damaged.Functions) // FP taken as valid at the RETs too
            function.Frame.PointerValid = {
                {function.Frame.PointerValid.front().first, function.Address + function.Size}};
        size_t checked = 0;
        EXPECT_EQ(StackDisagreements(p, TSourceMap(facts), checked), 0) << name;
        EXPECT_GT(checked, 500u) << name;
        EXPECT_EQ(StackDisagreements(p, TSourceMap(older), checked), 0) << name << " without the facts";
        EXPECT_GT(StackDisagreements(p, TSourceMap(damaged), checked, false), 0) << name;
    }
}

TEST(Watchpoints, MemoryChangeAndPort) {
    TProgram p;
    ROZ_LOAD_OR_SKIP(p, "factorial_O0");
    TDebugger debugger;
    debugger.SetImage(p.Map, p.Image.size());
    std::string error;
    debugger.Breakpoints().Add("factorial.c:11", debugger.Map(), 0, error);
    ASSERT_EQ(RunUntilStop(p, debugger).End, TRunEnd::Breakpoint);
    const std::vector<TStackFrame> frames = CallStack(*p.Cpu, debugger.Map());
    debugger.Breakpoints().Clear();
    const int watch =
        debugger.Watches().AddMemory(static_cast<uint64_t>(frames[0].Base) + 32, 8, true, false);
    // The call stores n's value in the callee's frame, not n: the next change is ++n.
    ASSERT_EQ(RunUntilStop(p, debugger).End, TRunEnd::Watchpoint);
    EXPECT_EQ(debugger.StopWatchpoint(), watch);
    EXPECT_EQ(Variable(*p.Cpu, CallStack(*p.Cpu, debugger.Map())[0], "n"), "2");
    EXPECT_NE(debugger.StopText().find(" changed 01 00 00 00 00 00 00 00 -> 02 00"), std::string::npos)
        << debugger.StopText();

    TProgram count;
    ROZ_LOAD_OR_SKIP(count, "count_s");
    TDebugger ports;
    ports.SetImage(count.Map, count.Image.size());
    ports.Watches().AddPort(TWatchpoint::TKind::PortOut);
    const TRunResult result = RunUntilStop(count, ports);
    ASSERT_EQ(result.End, TRunEnd::Watchpoint);
    EXPECT_EQ(result.Stop.Kind, TDebugStop::TKind::PortOut);
    EXPECT_EQ(ports.Watches().Items()[0].Hits, 1u);
}

// A new image keeps the breakpoints whose text still names code there.
TEST(Breakpoints, NewImageResolvesAgain) {
    TProgram o0, o2;
    ROZ_LOAD_OR_SKIP(o0, "factorial_O0");
    ASSERT_TRUE(o2.Load("factorial_O2"));
    TDebugger debugger;
    debugger.SetImage(o0.Map, o0.Image.size());
    std::string error;
    debugger.Breakpoints().Add("factorial", debugger.Map(), 0, error);
    const auto line = debugger.Breakpoints().Add("factorial.c:10", debugger.Map(), 0, error);
    EXPECT_EQ(debugger.Breakpoints().Add("factorial.c:10", debugger.Map(), 0, error), line); // no twin
    debugger.SetImage(o2.Map, o2.Image.size()); // factorial is inlined at -O2
    ASSERT_EQ(debugger.Breakpoints().Items().size(), 1u);
    const std::vector<uint64_t>& where = debugger.Breakpoints().Items()[0].Where.Addresses;
    ASSERT_EQ(where.size(), 2u);
    for (uint64_t address : where)
        EXPECT_EQ(o2.Map.LineAt(address).Line, 10u);
    EXPECT_EQ(debugger.StandingSettings().Checks.Breakpoints, where);
}

TEST(Variables, FormatValues) {
    struct TRow {
        const char* Encoding;
        const char* Name;
        std::vector<uint8_t> Bytes;
        const char* Text;
    };
    std::vector<uint8_t> bytes20(20);
    for (size_t i = 0; i < bytes20.size(); ++i)
        bytes20[i] = static_cast<uint8_t>(i);
    const TRow rows[] = {
        {"signed", "int", {0xff, 0xff, 0xff, 0xff}, "-1"},
        {"unsigned", "unsigned int", {0xff, 0xff, 0xff, 0xff}, "4294967295"},
        {"char", "char", {'A'}, "65 'A'"},
        {"char", "char", {0xff}, "-1"},
        {"char", "unsigned char", {0xff}, "255"},
        {"char", "char", {'\n'}, "10 '\\n'"},
        {"bool", "_Bool", {1}, "true"},
        {"pointer", "int *", {0x20, 0x18, 0, 0, 0, 0, 0, 0}, "0x00001820"},
        {"aggregate", "int[5]", bytes20, "{00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f ...}"},
    };
    for (const TRow& row : rows)
        EXPECT_EQ(FormatValue({row.Name, row.Encoding, row.Bytes.size()}, row.Bytes.data(), row.Bytes.size()),
                  row.Text)
            << row.Name;
}

} // namespace
