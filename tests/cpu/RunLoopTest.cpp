// The run loop's own contract: its end reasons, the step budget and the control word.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>

#include "Differential.h"

namespace {

using namespace enc;

// CLR R1; loop: INC R1; CMP R1, R2; JNE R3 — with R2 = n runs 1 + 3n instructions.
TImage CountingLoop() {
    TImage image;
    image.Op(W(CLR, 0, 0, 1)).Op(W(INC, 0, 1, 1)).Op(W(CMP, 0, 1, 2)).Op(W(JNE, 0, 0, 3));
    return image;
}

struct TLoopMachine : TTestMachine {
    TRunControl Control;
    explicit TLoopMachine(const TImage& image, int64_t size = 10000) : TTestMachine(size) {
        Load(image);
        Control.Word = TRunControl::Running;
    }
    TRunResult Run(uint64_t maxSteps = UINT64_MAX) { return RunLoop(Cpu, Control, maxSteps); }
};

TEST(RunLoop, EndOfImageCountsEveryInstruction) {
    TLoopMachine m(CountingLoop());
    m.Cpu.R[2] = 5;
    m.Cpu.R[3] = 4;
    const TRunResult r = m.Run();
    EXPECT_EQ(r.End, TRunEnd::EndOfImage);
    EXPECT_EQ(r.FetchStatus, FetchEndOfImage);
    EXPECT_EQ(r.Executed, 16u);
    EXPECT_EQ(m.Cpu.R[1], 5);
    EXPECT_EQ(m.Cpu.IPOffset, 32);
    EXPECT_STREQ(RunEndName(r.End), "end");
}

TEST(RunLoop, BudgetEqualToProgramLengthEndsByStepLimit) {
    TLoopMachine m(CountingLoop());
    m.Cpu.R[2] = 5;
    m.Cpu.R[3] = 4;
    const TRunResult r = m.Run(16);
    EXPECT_EQ(r.End, TRunEnd::StepLimit);
    EXPECT_EQ(r.Executed, 16u);
    EXPECT_EQ(m.Cpu.IPOffset, 32); // no further fetch was tried
    EXPECT_STREQ(RunEndName(r.End), "step-limit");
}

TEST(RunLoop, BudgetStopsInsideALoopAndTheRunContinuesExactly) {
    TLoopMachine m(CountingLoop());
    m.Cpu.R[2] = 1000;
    m.Cpu.R[3] = 4;
    uint64_t total = 0;
    for (uint64_t chunk : {1u, 2u, 3u, 100u, 7u}) {
        const TRunResult r = m.Run(chunk);
        EXPECT_EQ(r.End, TRunEnd::StepLimit);
        EXPECT_EQ(r.Executed, chunk);
        total += chunk;
    }
    const TRunResult r = m.Run();
    EXPECT_EQ(r.End, TRunEnd::EndOfImage);
    EXPECT_EQ(total + r.Executed, 3001u);
    EXPECT_EQ(m.Cpu.R[1], 1000);
}

TEST(RunLoop, BudgetZeroExecutesNothing) {
    TLoopMachine m(CountingLoop());
    m.Cpu.IPOffset = -4; // not even the fetch's tests are tried
    const TRunResult r = m.Run(0);
    EXPECT_EQ(r.End, TRunEnd::StepLimit);
    EXPECT_EQ(r.Executed, 0u);
    EXPECT_EQ(m.Cpu.IPOffset, -4);
}

TEST(RunLoop, LastBudgetedInstructionLeavingMemoryIsLeftMemory) {
    TImage image;
    image.Op(W(NOP)).Op(W(JMP, 0, 0, 1));
    for (int64_t target : {int64_t{9996}, int64_t{20000}}) {
        SCOPED_TRACE(target);
        TLoopMachine m(image);
        m.Cpu.R[1] = target;
        const TRunResult r = m.Run(2);
        EXPECT_EQ(r.End, TRunEnd::LeftMemory);
        EXPECT_EQ(r.Executed, 2u);
        EXPECT_EQ(m.Cpu.IPOffset, target + 4);
        EXPECT_STREQ(RunEndName(r.End), "left-memory");
    }
}

TEST(RunLoop, FetchFailuresEndTheRun) {
    struct {
        const char* Name;
        int64_t Target; // of the JMP at 0
        TRunEnd End;
        int64_t Status;
        int64_t Ip;
    } rows[] = {{"IntoImageTail", 4, TRunEnd::EndOfImage, FetchEndOfImage, 8},
                {"PastImage", 100, TRunEnd::EndOfImage, FetchEndOfImage, 104},
                {"Negative", -100, TRunEnd::LeftMemory, FetchNegative, -96},
                {"LastWordsOfMemory", 9993, TRunEnd::LeftMemory, FetchOutsideMemory, 9997}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        TImage image;
        image.Op(W(JMP, 0, 0, 1));
        TLoopMachine m(image);
        m.Cpu.R[1] = row.Target;
        const TRunResult r = m.Run();
        EXPECT_EQ(r.End, row.End);
        EXPECT_EQ(r.FetchStatus, row.Status);
        EXPECT_EQ(r.Executed, 1u);
        EXPECT_EQ(m.Cpu.IPOffset, row.Ip);
    }
}

TEST(RunLoop, NothingLoadedEndsAtOnce) {
    TTestMachine m;
    TRunControl control;
    control.Word = TRunControl::Running;
    const TRunResult r = RunLoop(m.Cpu, control);
    EXPECT_EQ(r.End, TRunEnd::EndOfImage);
    EXPECT_EQ(r.Executed, 0u);
    m.Cpu.Memory.Clear();
    const TRunResult none = RunLoop(m.Cpu, control);
    EXPECT_EQ(none.End, TRunEnd::LeftMemory);
    EXPECT_EQ(none.FetchStatus, FetchOutsideMemory);
}

TEST(RunLoop, DivisionByZeroIsNotCounted) {
    TImage image;
    image.Op(W(INC, 0, 1, 1)).Op(W(INC, 0, 1, 1)).Op(W(DIV, 4, 1, 2)).Op(W(INC, 0, 1, 1));
    TLoopMachine m(image);
    const TRunResult r = m.Run();
    EXPECT_EQ(r.End, TRunEnd::DivisionByZero);
    EXPECT_EQ(r.Executed, 2u);
    EXPECT_EQ(m.Cpu.IPOffset, 16);
    EXPECT_EQ(m.Cpu.R[1], 2);
    EXPECT_STREQ(RunEndName(r.End), "division-by-zero");
    // Run again: the same DIV fails at once.
    const TRunResult again = m.Run();
    EXPECT_EQ(again.End, TRunEnd::DivisionByZero);
    EXPECT_EQ(again.Executed, 0u);
    EXPECT_EQ(m.Cpu.IPOffset, 16);
}

TEST(RunLoop, ClearedRunningStopsAfterExactlyOneInstruction) {
    TLoopMachine m(CountingLoop());
    m.Cpu.R[2] = 5;
    m.Cpu.R[3] = 4;
    m.Control.Word = 0;
    for (int i = 1; i <= 3; ++i) {
        const TRunResult r = m.Run();
        EXPECT_EQ(r.End, TRunEnd::Stopped);
        EXPECT_EQ(r.Executed, 1u);
        EXPECT_EQ(m.Cpu.IPOffset, 8 * i);
    }
    EXPECT_STREQ(RunEndName(TRunEnd::Stopped), "stopped");
    const TRunResult unbudgeted = RunLoop(m.Cpu, m.Control);
    EXPECT_EQ(unbudgeted.End, TRunEnd::Stopped);
    EXPECT_EQ(unbudgeted.Executed, 1u);
    EXPECT_EQ(m.Cpu.IPOffset, 8); // the JNE at 24 jumped back
}

TEST(RunLoop, HandOverMayReplaceTheWholeMachine) {
    // The run thread spins in JMP-to-itself; the test thread takes the CPU at a boundary,
    // re-sizes memory (a new buffer), loads the counting loop and resets; the loop must go on
    // with the new machine, not the old buffer, and end at the new image's end.
    for (const bool counted : {true, false}) {
        SCOPED_TRACE(counted ? "with a budget" : "without a budget");
        TImage spin;
        spin.Op(W(JMP, 0, 0, 1));
        TLoopMachine m(spin);
        m.Cpu.R[1] = -4;
        TRunResult result{TRunEnd::Stopped, 0, 0};
        std::thread body([&] {
            m.Control.BodyEnter();
            result = counted ? RunLoop(m.Cpu, m.Control, UINT64_MAX - 1) : RunLoop(m.Cpu, m.Control);
            m.Control.BodyLeave();
        });
        while (!m.Control.BodyHoldsCpu())
            std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        {
            TRunControl::THandOver guard(m.Control);
            ASSERT_TRUE(guard.Acquired());
            EXPECT_EQ(m.Cpu.IPOffset, 0); // parked at a boundary, state written back
            ASSERT_EQ(m.Cpu.Memory.SetSize(64), 0);
            ASSERT_EQ(m.Load(CountingLoop()), 0);
            m.Cpu.Reset();
            m.Cpu.R[2] = 1000;
            m.Cpu.R[3] = 4;
        }
        body.join();
        EXPECT_EQ(result.End, TRunEnd::EndOfImage);
        EXPECT_EQ(m.Cpu.R[1], 1000);
        EXPECT_EQ(m.Cpu.IPOffset, 32);
    }
}

TEST(RunLoop, EndTestsComeBeforeTheControlWord) {
    // With Running cleared, an instruction that leaves memory still reports LeftMemory, and a
    // budget that runs out reports StepLimit.
    TImage image;
    image.Op(W(JMP, 0, 0, 1)).Op(W(NOP));
    TLoopMachine m(image);
    m.Control.Word = 0;
    m.Cpu.R[1] = 20000;
    EXPECT_EQ(m.Run().End, TRunEnd::LeftMemory);
    m.Cpu.IPOffset = 8;
    EXPECT_EQ(m.Run(1).End, TRunEnd::StepLimit);
}

TEST(RunLoop, StoredWordsExecuteWhenFetchedAgain) {
    // 0: NOP | 8: INC R1, replaced after its first run by ADD R1 := R1 + R1 |
    // 16: STORE [R2], R3 | 24: INC R4 | 32: CMP R4, R5 | 40: JNE R6 (to 8)
    TImage image;
    image.Op(W(NOP))
        .Op(W(INC, 0, 1, 1))
        .Op(W(STORE, 0, 2, 3))
        .Op(W(INC, 0, 4, 4))
        .Op(W(CMP, 0, 4, 5))
        .Op(W(JNE, 0, 0, 6));
    TLoopMachine m(image);
    m.Cpu.R[2] = 8;
    m.Cpu.R[3] = W(ADD, 1, 1, 1);
    m.Cpu.R[5] = 3;
    m.Cpu.R[6] = 4;
    const TRunResult r = m.Run();
    EXPECT_EQ(r.End, TRunEnd::EndOfImage);
    EXPECT_EQ(r.Executed, 1u + 3 * 5);
    EXPECT_EQ(m.Cpu.R[1], 4); // 1, then doubled twice
    EXPECT_EQ(m.Get64(8), uint64_t{W(ADD, 1, 1, 1)});
    EXPECT_EQ(m.Get64(16), 0u); // the cell's zero word 1 turned the STORE itself into a NOP
}

TEST(RunLoop, StateMatchesOneSingleStepWhenStopped) {
    // Random machines stopped after one instruction look exactly like one single step.
    std::mt19937_64 random(99);
    for (int round = 0; round < 300; ++round) {
        diff::TSetup setup;
        setup.MemorySize = 64 + static_cast<int64_t>(random() % 200);
        setup.Memory.resize(static_cast<size_t>(setup.MemorySize));
        for (auto& b : setup.Memory)
            b = static_cast<uint8_t>(random());
        setup.ImageLength = setup.MemorySize - 1;
        for (auto& r : setup.Registers)
            r = static_cast<int64_t>(random() % 256);
        setup.Registers[PanelIndex("IPOffset")] = static_cast<int64_t>(random() % 64) * 4;
        diff::TMachine loop, steps;
        ASSERT_TRUE(diff::Build(setup, loop) && diff::Build(setup, steps));
        TRunControl control; // Running clear
        TRunResult loopEnd = RunLoop(loop.Cpu, control);
        TRunResult stepEnd = diff::RunBySteps(steps.Cpu, 1);
        if (stepEnd.End == TRunEnd::StepLimit) stepEnd.End = TRunEnd::Stopped;
        const std::string difference = diff::Compare(loop, loopEnd, steps, stepEnd);
        ASSERT_EQ(difference, "") << "round " << round;
    }
}

} // namespace
