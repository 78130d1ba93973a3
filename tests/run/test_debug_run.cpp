// Debugger stops on the run thread: they pause the run as Pause does, the decision hook
// runs on the run thread, settings change during a run, and one-shot runs end paused.
#include <gtest/gtest.h>

#include <atomic>

#include "FakeHost.h"
#include "TestImage.h"
#include "UExecution.h"
#include "Uccpu.h"

using namespace rtest;
using namespace std::chrono_literals;
using K = TDebugStop::TKind;

namespace {

TEST(DebugRunState, DebugStopIsAPauseUnlessAStopIsPending) {
    using P = TRunPhase;
    const struct {
        P From, To;
    } rows[] = {{P::Running, P::Paused}, {P::Pausing, P::Paused}, {P::Stopping, P::Ended},
                {P::Paused, P::Paused},  {P::Idle, P::Idle},      {P::Ended, P::Ended}};
    for (const auto& row : rows) {
        const TRunStatus to = Next({row.From, row.From == P::Running}, TRunEvent::DebugStop, false);
        EXPECT_EQ(to.Phase, row.To) << int(row.From);
        if (row.From != P::Idle && row.From != P::Ended) {
            EXPECT_FALSE(to.Running) << int(row.From);
        }
    }
}

// The counter loop (INC R1 at Loop, JMP at Loop + 8) on a run thread.
class DebugRun : public ::testing::Test {
  protected:
    TCCPU Cpu;
    TFakeHost Host;
    TExecution Exec{Cpu, Host, TThreadPriority::Normal};
    int64_t Loop = 0;

    void SetUp() override {
        TImage image;
        image.Setup();
        const size_t at = image.Const(3, 0);
        Loop = image.Here();
        image.Inc(1, 1);
        image.Jmp(3);
        image.Patch(at, 3, static_cast<uint32_t>(Loop - 4));
        image.Load(Cpu);
    }
    static TDebugSettings At(std::vector<uint64_t> addresses, TDebugDecision decide = {}) {
        TDebugSettings settings;
        settings.Checks.Breakpoints = std::move(addresses);
        settings.Decide = std::move(decide);
        return settings;
    }
    // Waits for debugger stop number n (from 1), then checks the pause and the CPU.
    void AwaitStop(size_t n, int64_t ip, int64_t r1) {
        ASSERT_TRUE(Eventually([&] { return Host.DebugStopsCopy().size() >= n; }));
        ASSERT_TRUE(Eventually([&] { return Exec.State() == TRunState::Paused; }));
        EXPECT_EQ(Host.DebugStopsCopy().size(), n);
        EXPECT_FALSE(Exec.IsRunning());
        auto guard = Exec.HandOver();
        EXPECT_EQ(Cpu.IPOffset, ip);
        EXPECT_EQ(Cpu.R[1], r1);
    }
};

TEST_F(DebugRun, BreakpointPausesAndResumeExecutesItFirst) {
    Exec.SetDebug(At({uint64_t(Loop)}));
    Exec.Run();
    for (int64_t k = 0; k < 3; ++k) {
        AwaitStop(k + 1, Loop, k);
        const auto [run, result] = Host.DebugStopsCopy().back();
        EXPECT_EQ(run, Exec.RunNumber());
        EXPECT_EQ(result.End, TRunEnd::Breakpoint);
        EXPECT_EQ(result.Stop.Instruction, Loop);
        if (k == 1) { // Stop keeps the pause, as after Pause
            EXPECT_TRUE(Exec.Stop());
            EXPECT_EQ(Exec.State(), TRunState::Paused);
        }
        Exec.Resume();
    }
    Exec.Dispose();
}

TEST_F(DebugRun, DecisionRunsOnTheRunThreadAndCanGoOn) {
    std::atomic<int> asked{0};
    std::atomic<bool> onRunThread{true};
    const auto owner = std::this_thread::get_id();
    Exec.SetDebug(At({uint64_t(Loop)}, [&](const TCCPUBase& cpu, const TRunResult& result) {
        ++asked;
        onRunThread = onRunThread && std::this_thread::get_id() != owner;
        return result.End == TRunEnd::Breakpoint && cpu.R[1] == 5;
    }));
    Exec.Run();
    AwaitStop(1, Loop, 5);
    EXPECT_EQ(asked, 6);
    EXPECT_TRUE(onRunThread);
    Exec.Dispose();
}

TEST_F(DebugRun, SettingsChangeDuringARun) {
    Exec.Run(); // plain
    ASSERT_TRUE(Eventually([&] {
        auto guard = Exec.HandOver();
        return Cpu.R[1] > 10;
    }));
    Exec.SetDebug(At({uint64_t(Loop) + 8})); // the JMP
    ASSERT_TRUE(Eventually([&] { return Host.DebugStopsCopy().size() == 1; }));
    int64_t r1 = 0;
    {
        auto guard = Exec.HandOver();
        EXPECT_EQ(Cpu.IPOffset, Loop + 8);
        r1 = Cpu.R[1];
    }
    Exec.SetDebug({}); // back to the plain loop: no more stops
    Exec.Resume();
    ASSERT_TRUE(Eventually([&] {
        auto guard = Exec.HandOver();
        return Cpu.R[1] > r1 + 1000;
    }));
    EXPECT_EQ(Host.DebugStopsCopy().size(), 1u);
    Exec.Pause();
    ASSERT_TRUE(Eventually([&] { return Exec.State() == TRunState::Paused; }));
    Exec.Dispose();
}

TEST_F(DebugRun, OneShotRunsEndPausedAndTheStandingChecksReturn) {
    Exec.SetDebug(At({uint64_t(Loop)}));
    // From a never-run state: no reset, the CPU's own state.
    Cpu.IPOffset = Loop;
    Cpu.R[1] = 100;
    Cpu.R[3] = Loop - 4; // the jump register, which the skipped start-up would set
    ASSERT_TRUE(Exec.RunOneShot(At({uint64_t(Loop) + 8})));
    AwaitStop(1, Loop + 8, 101); // the standing breakpoint at Loop is not in the one-shot pair
    Exec.Resume();               // after its stop the standing pair is back
    AwaitStop(2, Loop, 101);
    // A pause ends a one-shot pair too.
    ASSERT_TRUE(Exec.RunOneShot(At({1})));
    Exec.Pause();
    ASSERT_TRUE(Eventually([&] { return Exec.State() == TRunState::Paused; }));
    Exec.Resume();
    ASSERT_TRUE(Eventually([&] { return Host.DebugStopsCopy().size() == 3; }));
    EXPECT_EQ(Host.DebugStopsCopy().back().second.Stop.Instruction, Loop);
    Exec.Dispose();
}

TEST_F(DebugRun, PortWatchStopsAfterTheOut) {
    TImage image = Printer(3);
    image.Load(Cpu);
    TDebugSettings settings;
    settings.Checks.WatchPortOut = true;
    Exec.SetDebug(settings);
    Exec.Run();
    const uint64_t printed[] = {0, uint64_t{1} << 56 | 1, uint64_t{1} << 56 | 2, uint64_t{1} << 56 | 3};
    for (size_t k = 0; k < 4; ++k) {
        ASSERT_TRUE(Eventually([&] { return Host.DebugStopsCopy().size() == k + 1; }));
        const TRunResult result = Host.DebugStopsCopy().back().second;
        EXPECT_EQ(result.End, TRunEnd::Watchpoint);
        EXPECT_EQ(result.Stop.Kind, K::PortOut);
        EXPECT_EQ(uint64_t(result.Stop.Value), printed[k]);
        ASSERT_TRUE(Eventually([&] { return Exec.State() == TRunState::Paused; }));
        Exec.Resume();
    }
    ASSERT_TRUE(Eventually([&] { return Host.EndMessagesCopy().size() == 1; }));
    Exec.Dispose();
}

} // namespace
