// The run thread and the commands, as the window will drive them, with a fake host.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <thread>

#include "FakeHost.h"
#include "TestImage.h"
#include "UExecution.h"
#include "UThreadRun.h"
#include "Uccpu.h"

using namespace rtest;
using namespace std::chrono_literals;

namespace {

class RunThread : public ::testing::Test {
  protected:
    TCCPU Cpu;
    TFakeHost Host;
    TExecution Exec{Cpu, Host, TThreadPriority::Normal};

    void Load(const TImage& image) { image.Load(Cpu); }
    void ExpectState(TRunState state, bool running, bool active) {
        EXPECT_EQ(Exec.State(), state);
        EXPECT_EQ(Exec.IsRunning(), running);
        EXPECT_EQ(Exec.IsThreadActive(), active);
    }
    void AwaitState(TRunState state) {
        ASSERT_TRUE(Eventually([&] { return Exec.State() == state; }));
    }
    int64_t Reg(int r) {
        auto guard = Exec.HandOver();
        return Cpu.R[r];
    }
    // Lines since the latest clear.
    std::vector<uint32_t> Lines() {
        std::vector<uint32_t> lines;
        Exec.MoniterLog.CopyLines(0, UINT64_MAX, lines);
        return lines;
    }
};

TEST_F(RunThread, NeverRunPauseAndResumeChangeNothing) {
    EXPECT_FALSE(Exec.Pause());
    EXPECT_FALSE(Exec.Resume());
    ExpectState(TRunState::NeverRun, false, false);
    EXPECT_TRUE(Exec.Stop());
    ExpectState(TRunState::NeverRun, false, false);
}

// Both endings that show the end message; the body waits for it with the CPU free.
TEST_F(RunThread, RunToTheEndWaitsForTheEndMessage) {
    struct TCase {
        const char* Name;
        TImage Image;
    };
    TImage jumpOut;
    jumpOut.Setup();
    jumpOut.Const(3, 20000); // past the 10000-byte memory
    jumpOut.Jmp(3);
    for (const TCase& c : {TCase{"end-of-image", Printer(5)}, TCase{"left-memory", jumpOut}}) {
        SCOPED_TRACE(c.Name);
        Load(c.Image);
        Exec.Run();
        const uint64_t run = Exec.RunNumber();
        ASSERT_TRUE(Eventually([&] { return Host.EndMessagesCopy().size() == run; }));
        EXPECT_EQ(Host.EndMessagesCopy().back(), run);
        ExpectState(TRunState::Stopping, false, true);
        { // the CPU is free while the message is open
            auto guard = Exec.HandOver(50ms);
            EXPECT_TRUE(guard.Acquired());
        }
        Exec.EndMessageClosed(run - 1); // a stale close changes nothing
        std::this_thread::sleep_for(5ms);
        ExpectState(TRunState::Stopping, false, true);
        Exec.EndMessageClosed(run);
        AwaitState(TRunState::Finished);
        ExpectState(TRunState::Finished, false, false);
    }
    EXPECT_TRUE(Host.FailuresCopy().empty());
}

TEST_F(RunThread, FinishedPauseAndResumeOnlySetRunning) {
    Load(Printer(1));
    Exec.Run();
    ASSERT_TRUE(Eventually([&] { return !Host.EndMessagesCopy().empty(); }));
    Exec.EndMessageClosed(Exec.RunNumber());
    AwaitState(TRunState::Finished);
    EXPECT_TRUE(Exec.Resume());
    ExpectState(TRunState::Finished, true, false);
    EXPECT_TRUE(Exec.Pause());
    ExpectState(TRunState::Finished, false, false);
}

TEST_F(RunThread, BodyEndsAtOnceWhenRunningIsClearAtItsStart) {
    Load(Counter());
    TRunControl control;
    {
        TThreadRun thread(Cpu, control, Host, 1, TThreadPriority::Normal);
        thread.Start();
        thread.Join();
        EXPECT_TRUE(thread.Ended());
    }
    EXPECT_FALSE(control.ThreadActive.load());
    EXPECT_EQ(Cpu.R[1], 0);
    EXPECT_TRUE(Host.EndMessagesCopy().empty());
}

TEST_F(RunThread, StopWhileRunningEndsWithoutMessage) {
    Load(Counter());
    Exec.Run();
    ASSERT_TRUE(Eventually([&] { return Reg(1) > 0; }));
    EXPECT_TRUE(Exec.Stop());
    ExpectState(TRunState::Finished, false, false);
    EXPECT_TRUE(Host.EndMessagesCopy().empty());
}

TEST_F(RunThread, PauseParksAndResumeContinues) {
    Load(Counter());
    Exec.Run();
    ExpectState(TRunState::Running, true, true);
    EXPECT_TRUE(Exec.Pause());
    EXPECT_TRUE(Exec.Pause()); // a second pause needs no second resume
    AwaitState(TRunState::Paused);
    ExpectState(TRunState::Paused, false, true);
    const int64_t before = Reg(1);
    std::this_thread::sleep_for(5ms);
    EXPECT_EQ(Reg(1), before);
    EXPECT_TRUE(Exec.Resume());
    ExpectState(TRunState::Running, true, true);
    ASSERT_TRUE(Eventually([&] { return Reg(1) > before; }));
}

TEST_F(RunThread, StepsDuringAPauseAreWhereTheRunContinues) {
    Load(Counter());
    Exec.Run();
    ASSERT_TRUE(Eventually([&] { return Reg(1) > 0; })); // in the loop
    Exec.Pause();
    AwaitState(TRunState::Paused);
    {
        auto guard = Exec.HandOver();
        const int64_t before = Cpu.R[1];
        for (int i = 0; i < 4; ++i)
            ASSERT_EQ(Cpu.FetchAndExecute(Cpu.IPOffset), 0); // INC, JMP twice
        EXPECT_EQ(Cpu.R[1], before + 2);
        Cpu.R[1] = 1'000'000; // a register edit
    }
    ExpectState(TRunState::Paused, false, true);
    Exec.Resume();
    ASSERT_TRUE(Eventually([&] { return Reg(1) > 1'000'000; }));
}

TEST_F(RunThread, StopWhilePausedStaysPausedAndResumeContinues) {
    Load(Counter());
    Exec.Run();
    Exec.Pause();
    AwaitState(TRunState::Paused);
    EXPECT_TRUE(Exec.Stop());
    ExpectState(TRunState::Paused, false, true);
    const int64_t before = Reg(1);
    Exec.Resume();
    ASSERT_TRUE(Eventually([&] { return Reg(1) > before; }));
    ExpectState(TRunState::Running, true, true);
}

// A new Run replaces a running or paused body; the old one must be gone before the reset,
// else its lines would follow the new run's clear.
TEST_F(RunThread, RunAgainReplacesTheOldBody) {
    Load(Printer());
    for (bool pauseFirst : {false, true, false}) {
        SCOPED_TRACE(pauseFirst ? "paused" : "running");
        const uint64_t generation = Exec.MoniterLog.Snapshot().Generation;
        Exec.Run();
        ASSERT_TRUE(Eventually([&] {
            const TMoniterLog::TSnapshot snapshot = Exec.MoniterLog.Snapshot();
            return snapshot.FirstLine > generation && snapshot.LineCount > 100;
        }));
        if (pauseFirst) {
            Exec.Pause();
            AwaitState(TRunState::Paused);
        }
    }
    ExpectState(TRunState::Running, true, true);
    Exec.Pause();
    AwaitState(TRunState::Paused);
    const std::vector<uint32_t> lines = Lines();
    ASSERT_FALSE(lines.empty());
    for (size_t i = 0; i < lines.size(); ++i)
        ASSERT_EQ(lines[i], i + 1);
    EXPECT_EQ(Exec.RunNumber(), 3u);
}

TEST_F(RunThread, DisposalReleasesAPendingEndMessage) {
    Load(Printer(3));
    Exec.Run();
    ASSERT_TRUE(Eventually([&] { return !Host.EndMessagesCopy().empty(); }));
    int polls = 0;
    Exec.Dispose([&] { ++polls; });
    ExpectState(TRunState::NeverRun, false, false);
    EXPECT_GT(polls, 0);
    EXPECT_EQ(Lines(), (std::vector<uint32_t>{1, 2, 3}));
}

// End stops a running or parked body for good but keeps the thread object: Finished, and a
// Resume continues nothing.
TEST_F(RunThread, EndLeavesAFinishedRunThatResumeDoesNotContinue) {
    for (bool paused : {false, true}) {
        SCOPED_TRACE(paused ? "paused" : "running");
        Load(Counter());
        Exec.Run();
        ASSERT_TRUE(Eventually([&] { return Reg(1) > 100; }));
        if (paused) {
            Exec.Pause();
            AwaitState(TRunState::Paused);
        }
        Exec.End();
        ExpectState(TRunState::Finished, false, false);
        const int64_t ended = Reg(1);
        EXPECT_TRUE(Exec.Resume());
        std::this_thread::sleep_for(20ms);
        EXPECT_EQ(Exec.State(), TRunState::Finished);
        EXPECT_EQ(Reg(1), ended);
        EXPECT_TRUE(Host.EndMessagesCopy().empty());
    }
}

// Disposal must end a body that waits for the CPU or is parked, even while the disposing
// thread itself holds the CPU.
TEST_F(RunThread, DisposalInsideAHandOverDoesNotDeadlock) {
    Load(Counter());
    Exec.Run();
    auto guard = Exec.HandOver();
    Exec.Dispose();
    ExpectState(TRunState::NeverRun, false, false);
}

TEST_F(RunThread, DivisionByZeroEndsTheRunWithAnError) {
    const TImage image = Printer(3, true);
    Load(image);
    Exec.Run();
    AwaitState(TRunState::Finished);
    ExpectState(TRunState::Finished, false, false);
    const auto failures = Host.FailuresCopy();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].first, Exec.RunNumber());
    EXPECT_EQ(failures[0].second, "Division by zero");
    EXPECT_TRUE(Host.EndMessagesCopy().empty());
    auto guard = Exec.HandOver();
    EXPECT_EQ(Cpu.IPOffset, image.Here() - 8);
}

// At every hand-over the CPU shows a state between two instructions that matches the
// monitor: the counter equals the last line, or is one ahead after INC.
TEST_F(RunThread, HandOversSeeConsistentStates) {
    const TImage image = Printer();
    Load(image);
    Cpu.Ports.Keyboard.Data = TKeyboardPort::KeyWord(0x41, true, false, false);
    Exec.Run();
    int acquired = 0;
    for (int i = 0; i < 300; ++i) {
        auto guard = Exec.HandOver(i % 2 ? 50ms : 0ms);
        if (!guard.Acquired()) continue;
        ++acquired;
        const TMoniterLog::TSnapshot snapshot = Exec.MoniterLog.Snapshot();
        std::vector<uint32_t> last;
        Exec.MoniterLog.CopyLines(snapshot.LineCount ? snapshot.LineCount - 1 : 0, 1, last);
        const int64_t r1 = Cpu.R[1];
        if (r1 == 0) continue; // before the loop: the program's clear may still be ahead
        if (last.empty())
            EXPECT_EQ(r1, 1);
        else
            EXPECT_TRUE(r1 == last[0] || r1 == int64_t{last[0]} + 1) << r1 << " " << last[0];
        if (r1 > 1) {
            EXPECT_EQ(Cpu.R[9], int64_t(TKeyboardPort::KeyWord(0x41, true, false, false)));
            EXPECT_EQ(Cpu.R[8], image.Here() - 16); // the RDCTL word's own address
        }
        if (i == 150) Cpu.Reset(); // the program starts over with a clear
    }
    EXPECT_GT(acquired, 150);
    ExpectState(TRunState::Running, true, true);
}

// Any other exception out of the loop ends the run as a failure with its own message, the
// CPU at the failing word (here the program's first OUT, into a sink that throws).
TEST_F(RunThread, OtherFailuresAreReportedAsTheyAre) {
    struct TThrowingSink final : TMoniterSink {
        void MoniterOutput(uint64_t) override { throw std::runtime_error("monitor unplugged"); }
    } sink;
    Load(Printer(3));
    Cpu.Ports.Moniter.Sink = &sink;
    Exec.Run();
    AwaitState(TRunState::Finished);
    Cpu.Ports.Moniter.Sink = &Exec.MoniterLog;
    const auto failures = Host.FailuresCopy();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].second, "monitor unplugged");
    EXPECT_TRUE(Host.EndMessagesCopy().empty());
    uint32_t word = 0;
    std::memcpy(&word, Cpu.Memory.Buffer() + Cpu.IPOffset, 4);
    EXPECT_EQ(word >> 24, 0x51u);
}

TEST_F(RunThread, GuardHandsBackWhenTheCodeInsideThrows) {
    Load(Counter());
    Exec.Run();
    EXPECT_THROW(
        {
            auto guard = Exec.HandOver();
            throw std::runtime_error("panel");
        },
        std::runtime_error);
    EXPECT_FALSE(Exec.Control.Word.load() & TRunControl::HandOverRequest);
    const int64_t before = Reg(1);
    ASSERT_TRUE(Eventually([&] { return Reg(1) > before; }));
}

} // namespace
