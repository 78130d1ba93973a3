#include <random>

#include "CheckedSteps.h"
#include "DebugFixture.h"
#include "URunLoop.h"

namespace {

using dtest::TProgram;

// One candidate stop as both runs report it.
struct TCandidate {
    TRunEnd End;
    TDebugStop::TKind Kind;
    int64_t Instruction, Ip;
    int32_t Watch;
    uint64_t Address, Clock;
    bool operator==(const TCandidate&) const = default;
};

struct TTrace {
    std::vector<TCandidate> Candidates;
    TRunEnd End = TRunEnd::StepLimit;
    int64_t Ip = 0, Sp = 0;
    uint64_t Executed = 0;
    bool operator==(const TTrace&) const = default;
};

bool IsDebugStop(TRunEnd end) {
    return end == TRunEnd::Breakpoint || end == TRunEnd::Watchpoint || end == TRunEnd::Returned;
}

// Records every candidate and stops at the stopAt-th.
TDebugDecision Recorder(TTrace& trace, size_t stopAt) {
    return [&trace, stopAt](const TCCPUBase& cpu, const TRunResult& result) {
        const TDebugStop& s = result.Stop;
        trace.Candidates.push_back(
            {result.End, s.Kind, s.Instruction, cpu.IPOffset, s.Watch, s.Address, s.Clock});
        return trace.Candidates.size() >= stopAt;
    };
}

// The run thread's way with the run layer's loop: a candidate told to go on resumes the
// loop, the instruction at a breakpoint unchecked.
TTrace RunLoopWay(TProgram& p, const TDebugChecks& checks, size_t stopAt, uint64_t budget) {
    TTrace trace;
    const TDebugDecision decide = Recorder(trace, stopAt);
    TRunControl control;
    control.Word.store(TRunControl::Running);
    bool skip = true;
    for (;;) {
        const TRunResult result = RunLoopChecked(*p.Cpu, control, checks, budget - trace.Executed, skip);
        trace.Executed += result.Executed;
        trace.End = result.End;
        if (!IsDebugStop(result.End) || decide(*p.Cpu, result)) break;
        skip = result.End == TRunEnd::Breakpoint;
    }
    trace.Ip = p.Cpu->IPOffset;
    trace.Sp = p.Cpu->SP;
    return trace;
}

TTrace SingleStepWay(TProgram& p, const TDebugChecks& checks, size_t stopAt, uint64_t budget) {
    TTrace trace;
    const TRunResult result = RunChecked(*p.Cpu, checks, Recorder(trace, stopAt), budget);
    trace.Executed = result.Executed;
    trace.End = result.End;
    trace.Ip = p.Cpu->IPOffset;
    trace.Sp = p.Cpu->SP;
    return trace;
}

class CheckedRuns : public testing::TestWithParam<const char*> {};

// Random breakpoints (on instruction starts), write and read watches over the stack and the
// data, port watches and return checks: the run layer's checked loop and the single-step
// reference meet the same candidates in the same order and end in the same state.
TEST_P(CheckedRuns, RunLoopAgreesWithSingleSteps) {
    TProgram looped, stepped;
    ROZ_LOAD_OR_SKIP(looped, GetParam());
    ASSERT_TRUE(stepped.Load(GetParam()));
    std::vector<uint64_t> starts;
    for (const TDebugInfo::TLine& row : looped.Map.Info().Lines)
        for (uint64_t at :
             looped.Map.InstructionStarts({row.From, row.To}, looped.Image.data(), looped.Image.size()))
            starts.push_back(at);
    ASSERT_FALSE(starts.empty());
    std::mt19937_64 random(11);
    for (int round = 0; round < 150; ++round) {
        TDebugChecks checks;
        for (int i = static_cast<int>(random() % 4); i > 0; --i)
            checks.Breakpoints.push_back(starts[random() % starts.size()]);
        checks.SortBreakpoints();
        for (int i = static_cast<int>(random() % 3); i > 0; --i) {
            const uint64_t begin = random() % 2 ? random() % 10000 : looped.Image.size() + random() % 1024;
            checks.Watches.push_back(
                {begin, begin + 1 + random() % 24, random() % 4 != 0, random() % 3 == 0});
        }
        checks.WatchPortIn = random() % 4 == 0;
        checks.WatchPortOut = random() % 3 == 0;
        if (random() % 3 == 0) checks.ReturnBelow = static_cast<int64_t>(random() % 9000);
        const size_t stopAt = 1 + random() % 6;
        const uint64_t budget = 20000;
        looped.Restart();
        stepped.Restart();
        const TTrace expected = SingleStepWay(stepped, checks, stopAt, budget);
        const TTrace actual = RunLoopWay(looped, checks, stopAt, budget);
        for (size_t i = 0; i < std::min(actual.Candidates.size(), expected.Candidates.size()); ++i)
            ASSERT_EQ(actual.Candidates[i], expected.Candidates[i])
                << GetParam() << " round " << round << " #" << i;
        ASSERT_EQ(actual, expected) << GetParam() << " round " << round;
    }
}

INSTANTIATE_TEST_SUITE_P(Examples, CheckedRuns,
                         testing::Values("factorial_s", "count_s", "primes_s", "factorial_O0", "factorial_O2",
                                         "sort_O0", "sort_O2"));

} // namespace
