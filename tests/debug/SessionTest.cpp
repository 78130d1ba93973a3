#include <algorithm>

#include "DebugFixture.h"
#include "CheckedSteps.h"
#include "UDebugSession.h"

namespace {

using dtest::TProgram;

constexpr uint64_t Budget = 1000000;

// The same stops, hit counts and plan whether the decision is Decide or a replayed Evaluate
// (asked twice, as a replay of the candidate would) followed by one Commit: a breakpoint with
// an ignore count and a watch (counted), then a source step over calls (the plan's progress).
TEST(DebugSession, EvaluateTwiceCommitOnceCountsOnce) {
    std::vector<int64_t> expected;
    for (const bool replay : {false, true}) {
        TProgram p;
        ROZ_LOAD_OR_SKIP(p, "factorial_O0");
        TDebugger debugger;
        debugger.SetImage(p.Map, p.Image.size());
        std::string error;
        const int id = *debugger.Breakpoints().Add("factorial.c:6", debugger.Map(), p.Image.size(), error);
        debugger.Breakpoints().Find(id)->Ignore = 2;
        const int watch = debugger.Watches().Add("in", debugger.Map(), p.Cpu.get(), error);
        const auto run = [&](TDebugSettings settings, bool withPlan) {
            TDebugDecision decide = settings.Decide;
            if (replay)
                decide = [&, withPlan](const TCCPUBase& cpu, const TRunResult& result) {
                    const TDebugVerdict first = debugger.Evaluate(cpu, result.Stop, withPlan);
                    const TDebugVerdict again = debugger.Evaluate(cpu, result.Stop, withPlan);
                    EXPECT_EQ(first.Stop(), again.Stop());
                    EXPECT_EQ(first.BreakpointHits, again.BreakpointHits);
                    return debugger.Commit(cpu, result.Stop, again);
                };
            return RunChecked(*p.Cpu, settings.Checks, decide, Budget);
        };
        ASSERT_EQ(run(debugger.StandingSettings(), false).End, TRunEnd::Breakpoint) << replay;
        EXPECT_EQ(debugger.Breakpoints().Find(id)->Hits, 3u) << replay;
        const std::string stopText = debugger.StopText();
        EXPECT_NE(stopText.find("(hits 3; ignore 2)"), std::string::npos) << stopText;
        debugger.Breakpoints().Clear();
        std::vector<int64_t> stops;
        for (int step = 0; step < 6; ++step) {
            const TRunResult result =
                run(debugger.PlanSettings(TStepPlan::SourceStepOver(*p.Cpu, debugger.Map())), true);
            if (result.End != TRunEnd::Breakpoint && result.End != TRunEnd::Returned) break;
            stops.push_back(p.Cpu->IPOffset);
            EXPECT_FALSE(debugger.Plan());
        }
        if (!replay)
            expected = stops;
        else
            EXPECT_EQ(stops, expected);
        EXPECT_GE(stops.size(), 3u);
        EXPECT_EQ(debugger.Watches().Find(watch)->Hits, 0u); // factorial reads no keyboard
    }
}

// Run to cursor on a source line of optimised code whose line has several ranges: the run
// stops at the first range reached, as a breakpoint on the line would, not only at the line's
// lowest address (the row the code view shows the line at). Against single steps from the
// same state, line after line; at least one stop must be at a range other than the lowest.
TEST(DebugSession, RunToCursorOnALineStopsAtTheFirstRangeReached) {
    for (const char* name : {"sort_O2", "factorial_O2"}) {
        TProgram planned, stepped;
        ROZ_LOAD_OR_SKIP(planned, name);
        ASSERT_TRUE(stepped.Load(name));
        TDebugger debugger;
        debugger.SetImage(planned.Map, planned.Image.size());
        std::vector<TSourceMap::TLineKey> lines;
        for (const TDebugInfo::TLine& row : planned.Map.Info().Lines) {
            const TSourceMap::TLineKey key{row.File, row.Line};
            if (planned.Map.LineStarts(key).size() > 1 &&
                std::find(lines.begin(), lines.end(), key) == lines.end())
                lines.push_back(key);
        }
        ASSERT_FALSE(lines.empty()) << name << " has no line with two ranges";
        int notLowest = 0;
        for (int round = 0; round < 3; ++round)
            for (const TSourceMap::TLineKey line : lines) {
                const std::vector<uint64_t> starts = planned.Map.LineStarts(line);
                const uint64_t lowest = *std::min_element(starts.begin(), starts.end());
                // The reference: single steps until the first instruction of any range.
                bool reached = false;
                for (uint64_t i = 0; i < Budget && !reached && stepped.Step(); ++i)
                    reached = std::count(starts.begin(), starts.end(),
                                         static_cast<uint64_t>(stepped.Cpu->IPOffset));
                const TDebugSettings settings = debugger.PlanSettings(
                    TDebugSession::RunToCursor(*planned.Cpu, debugger.Map(), lowest, true));
                const TRunResult result = RunChecked(*planned.Cpu, settings.Checks, settings.Decide, Budget);
                ASSERT_EQ(result.End == TRunEnd::Breakpoint, reached) << name << " line " << line.Line;
                if (!reached) continue;
                ASSERT_EQ(planned.Cpu->IPOffset, stepped.Cpu->IPOffset) << name << " line " << line.Line;
                notLowest += static_cast<uint64_t>(planned.Cpu->IPOffset) != lowest;
            }
        if (std::string(name) == "sort_O2") {
            EXPECT_GT(notLowest, 0);
        }
    }
}

} // namespace
