#include <algorithm>
#include <functional>

#include "DebugFixture.h"
#include "CheckedSteps.h"
#include "UDebugger.h"
#include "UStepPlan.h"

namespace {

using dtest::TProgram;

// Where a command left the machine.
struct TOutcome {
    int64_t Ip = 0, Sp = 0;
    uint64_t Executed = 0;
    bool Ended = false; // the program ended (or the budget ran out) before the command's stop
    bool operator==(const TOutcome&) const = default;
};

constexpr uint64_t Budget = 300000;

// The oracle: one instruction at a time until done(previous word was a return) holds.
TOutcome StepUntil(TProgram& p, const std::function<bool(bool returned)>& done) {
    TOutcome outcome{0, 0, 0, true};
    while (outcome.Executed < Budget && outcome.Ended) {
        const bool returning = TStepPlan::IsReturn(*p.Cpu, static_cast<uint64_t>(p.Cpu->IPOffset));
        if (!p.Step()) break;
        ++outcome.Executed;
        outcome.Ended = !done(returning);
    }
    outcome.Ip = p.Cpu->IPOffset;
    outcome.Sp = p.Cpu->SP;
    return outcome;
}

// Each command by its own definition, stepping one instruction at a time.
TOutcome Oracle(TProgram& p, TStepPlan::TKind kind, const std::vector<uint64_t>& targets) {
    TCCPUBase& cpu = *p.Cpu;
    const int64_t sp0 = cpu.SP;
    const uint64_t ip0 = static_cast<uint64_t>(cpu.IPOffset);
    const TSourceMap::TLineKey line0 = p.Map.LineAt(ip0);
    const auto ip = [&] { return static_cast<uint64_t>(cpu.IPOffset); };
    const auto lineChanged = [&] { return p.Map.LineAt(ip()).Valid() && p.Map.LineAt(ip()) != line0; };
    const auto isEntry = [&] {
        for (const TDebugInfo::TFunction& f : p.Map.Info().Functions)
            if (f.Address == ip()) return true;
        return false;
    };
    const bool lines = p.Map.HasLines();
    switch (kind) {
    case TStepPlan::TKind::Over:
        if (const uint64_t size = TStepPlan::CallSize(cpu, ip0))
            return StepUntil(p, [&](bool) { return ip() == ip0 + size && cpu.SP == sp0; });
        return StepUntil(p, [](bool) { return true; });
    case TStepPlan::TKind::Out:
        return StepUntil(p, [&](bool returned) { return returned && cpu.SP < sp0; });
    case TStepPlan::TKind::RunTo:
        return StepUntil(
            p, [&](bool) { return std::find(targets.begin(), targets.end(), ip()) != targets.end(); });
    case TStepPlan::TKind::SourceInto:
        if (!lines) return StepUntil(p, [](bool) { return true; });
        return StepUntil(
            p, [&](bool returned) { return (returned && cpu.SP < sp0) || isEntry() || lineChanged(); });
    case TStepPlan::TKind::SourceOver: {
        if (!lines) return Oracle(p, TStepPlan::TKind::Over, targets);
        if (!line0.Valid()) return Oracle(p, TStepPlan::TKind::SourceInto, targets);
        // Calls made at this depth run to their return; nothing inside them counts.
        bool inCall = false;
        uint64_t returnTo = 0;
        int64_t returnSp = 0;
        const auto enter = [&] {
            if (const uint64_t size = TStepPlan::CallSize(cpu, ip())) {
                inCall = true;
                returnTo = ip() + size;
                returnSp = cpu.SP;
            }
        };
        enter();
        return StepUntil(p, [&](bool returned) {
            if (inCall) {
                if (ip() != returnTo || cpu.SP != returnSp) return false;
                inCall = false;
            } else if (returned && cpu.SP < sp0) {
                return true;
            }
            if (lineChanged()) return true;
            enter();
            return false;
        });
    }
    default:
        return {};
    }
}

// The same command as a plan: the checks and the decision hook, run by the checked stepper.
TOutcome Planned(TProgram& p, TStepPlan::TKind kind, const std::vector<uint64_t>& targets) {
    TDebugger debugger;
    debugger.SetImage(p.Map, p.Image.size());
    TCCPUBase& cpu = *p.Cpu;
    TStepPlan plan;
    switch (kind) {
    case TStepPlan::TKind::Over:
        plan = TStepPlan::StepOver(cpu);
        break;
    case TStepPlan::TKind::Out:
        plan = TStepPlan::StepOut(cpu);
        break;
    case TStepPlan::TKind::RunTo:
        plan = TStepPlan::RunTo(cpu, targets);
        break;
    case TStepPlan::TKind::SourceInto:
        plan = TStepPlan::SourceStepInto(cpu, debugger.Map());
        break;
    case TStepPlan::TKind::SourceOver:
        plan = TStepPlan::SourceStepOver(cpu, debugger.Map());
        break;
    default:
        break;
    }
    TOutcome outcome;
    if (plan.SingleInstruction()) {
        outcome.Ended = !p.Step();
        outcome.Executed = outcome.Ended ? 0 : 1;
    } else {
        // Whether or not the run tests the first instruction, the plan passes it over.
        const TDebugSettings settings = debugger.PlanSettings(plan);
        const TRunResult result =
            RunChecked(cpu, settings.Checks, settings.Decide, Budget, p.Cpu->IPOffset % 16 == 0);
        outcome.Executed = result.Executed;
        outcome.Ended = result.End != TRunEnd::Breakpoint && result.End != TRunEnd::Returned;
        EXPECT_TRUE(outcome.Ended || debugger.StopText().find(" done at ") != std::string::npos)
            << debugger.StopText();
    }
    outcome.Ip = cpu.IPOffset;
    outcome.Sp = cpu.SP;
    return outcome;
}

class StepPlans : public testing::TestWithParam<const char*> {};

// From many points of each program, every command as a plan agrees with the same command
// stepped one instruction at a time: same stop, same SP, same number of instructions.
TEST_P(StepPlans, AgreeWithSingleSteps) {
    TProgram planned, stepped;
    ROZ_LOAD_OR_SKIP(planned, GetParam());
    ASSERT_TRUE(stepped.Load(GetParam()));
    const TStepPlan::TKind kinds[] = {TStepPlan::TKind::Over, TStepPlan::TKind::Out, TStepPlan::TKind::RunTo,
                                      TStepPlan::TKind::SourceInto, TStepPlan::TKind::SourceOver};
    const std::vector<TDebugInfo::TLine>& rows = planned.Map.Info().Lines;
    int stops = 0, cases = 0;
    for (uint64_t start = 0; start < 3000; start += 11) {
        for (TStepPlan::TKind kind : kinds) {
            planned.Restart();
            stepped.Restart();
            bool running = true;
            for (uint64_t i = 0; i < start && running; ++i)
                running = planned.Step() && stepped.Step();
            if (!running) break;
            std::vector<uint64_t> targets;
            if (!rows.empty())
                targets =
                    planned.Map.LineStarts({rows[start % rows.size()].File, rows[start % rows.size()].Line});
            const TOutcome expected = Oracle(stepped, kind, targets);
            const TOutcome actual = Planned(planned, kind, targets);
            ASSERT_EQ(actual, expected)
                << GetParam() << " from step " << start << ", command " << static_cast<int>(kind) << ": ip "
                << actual.Ip << " vs " << expected.Ip;
            ++cases;
            stops += !expected.Ended;
        }
    }
    EXPECT_GT(stops, cases / 2) << "most commands should stop before the program ends";
}

INSTANTIATE_TEST_SUITE_P(Examples, StepPlans,
                         testing::Values("factorial_s", "count_s", "primes_s", "factorial_O0", "factorial_O2",
                                         "sort_O0", "sort_O2"));

} // namespace
