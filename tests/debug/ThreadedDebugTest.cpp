#include <atomic>
#include <chrono>
#include <thread>

#include "DebugFixture.h"
#include "UDebugger.h"
#include "UExecution.h"
#include "UStepPlan.h"

namespace {

// Counts the debugger stops the run thread reports.
class THost : public TRunHost {
  public:
    std::atomic<int> Stops{0}, Ends{0};
    void RunEndMessageDue(uint64_t) override { ++Ends; }
    void RunFailed(uint64_t, const std::string&) override {}
    void RunDebugStopped(uint64_t, const TRunResult&) override { ++Stops; }
};

bool Eventually(const std::function<bool()>& pred) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!pred())
        if (std::chrono::steady_clock::now() > end)
            return false;
        else
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    return true;
}

// The debugger's settings on the run thread: a standing breakpoint stops the run paused, a
// one-shot step out ends paused behind the call, Resume goes on to the next hit, and empty
// settings let the program end. The debugger is read only through the hand-over.
TEST(DebuggerOnTheRunThread, BreakpointStepOutResume) {
    dtest::TProgram p;
    ROZ_LOAD_OR_SKIP(p, "factorial_s");
    THost host;
    TDebugger debugger;
    debugger.SetImage(p.Map, p.Image.size());
    TExecution execution(*p.Cpu, host, TThreadPriority::Normal);
    std::string error;
    const int id = *debugger.Breakpoints().Add("factorial", debugger.Map(), 0, error);
    execution.SetDebug(debugger.StandingSettings());
    execution.Run();
    const auto pausedAfter = [&](int stops) {
        return Eventually([&] { return host.Stops == stops && execution.State() == TRunState::Paused; });
    };
    ASSERT_TRUE(pausedAfter(1));
    {
        const auto guard = execution.HandOver();
        EXPECT_EQ(p.Cpu->IPOffset, 316);
        EXPECT_EQ(debugger.StopBreakpoint(), id);
    }

    TDebugSettings stepOut;
    {
        const auto guard = execution.HandOver();
        stepOut = debugger.PlanSettings(TStepPlan::StepOut(*p.Cpu));
    }
    ASSERT_TRUE(execution.RunOneShot(stepOut));
    ASSERT_TRUE(pausedAfter(2));
    {
        const auto guard = execution.HandOver();
        EXPECT_EQ(TStepPlan::CallSize(*p.Cpu, static_cast<uint64_t>(p.Cpu->IPOffset) - 8), 8u);
        EXPECT_NE(debugger.StopText().find("step out done"), std::string::npos) << debugger.StopText();
        EXPECT_FALSE(debugger.Plan());
    }

    execution.Resume();
    ASSERT_TRUE(pausedAfter(3));
    TDebugSettings none;
    {
        const auto guard = execution.HandOver();
        EXPECT_EQ(debugger.Breakpoints().Find(id)->Hits, 2u);
        debugger.Breakpoints().Clear();
        none = debugger.StandingSettings();
    }
    execution.SetDebug(none);
    execution.Resume();
    ASSERT_TRUE(Eventually([&] { return host.Ends == 1; }));
    execution.EndMessageClosed(execution.RunNumber());
    execution.Dispose();
}

} // namespace
