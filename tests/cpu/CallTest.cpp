// Calls, interrupts and returns: frames on the stack, SP, targets and where execution goes on.
#include <gtest/gtest.h>

#include "TestMachine.h"

namespace {

using namespace enc;

constexpr int64_t Stack = 1000;

struct TCallMachine : TTestMachine {
    TCallMachine() : TTestMachine(10000, 4096) {
        Cpu.StackOffsetBegin = Stack;
        Cpu.PSW = 4;
        Cpu.IPSegment = 0x55;
    }
    // The three records a call leaves at Stack + base: PSW, return address, IPSegment.
    void ExpectFrame(int64_t base, int64_t psw, int64_t ret, int64_t segment) {
        EXPECT_EQ(static_cast<int64_t>(Get64(Stack + base)), psw);
        EXPECT_EQ(Get64(Stack + base + 8), 0u);
        EXPECT_EQ(static_cast<int64_t>(Get64(Stack + base + 16)), ret);
        EXPECT_EQ(Get64(Stack + base + 24), 0u);
        EXPECT_EQ(static_cast<int64_t>(Get64(Stack + base + 32)), segment);
        EXPECT_EQ(Get64(Stack + base + 40), 0u);
    }
};

struct TCallRow {
    const char* Name;
    uint32_t Word;
    int64_t Target; // the value of R4 (CALL, INT)
    int64_t NextIp; // IPOffset after the call: target + 4
    int64_t Return; // the saved return address
};

class CallFrame : public testing::TestWithParam<TCallRow> {};

TEST_P(CallFrame, PushesPswReturnAndSegmentThenJumps) {
    const TCallRow& row = GetParam();
    TCallMachine m;
    std::memset(m.Cpu.Memory.Buffer() + Stack, 0xEE, 64);
    m.Cpu.R[4] = row.Target;
    ASSERT_EQ(m.StepAt(40, row.Word), FetchExecuted);
    EXPECT_EQ(m.Cpu.IPOffset, row.NextIp);
    EXPECT_EQ(m.Cpu.SP, 48);
    EXPECT_EQ(m.Cpu.PSW, 4);
    EXPECT_EQ(m.Cpu.IPSegment, 0x55);
    m.ExpectFrame(0, 4, row.Return, 0x55);
    EXPECT_EQ(m.Cpu.Memory.PeekByte(Stack + 48), 0xEE);
}

INSTANTIATE_TEST_SUITE_P(Rows, CallFrame,
                         testing::Values(TCallRow{"Call", W(CALL, 0, 0, 4), 400, 404, 44},
                                         TCallRow{"CallIgnoresBytesAB", W(CALL, 7, 7, 4), 400, 404, 44},
                                         TCallRow{"CallOutsideMemory", W(CALL, 0, 0, 4), 50000, 50004, 44},
                                         TCallRow{"CallNegative", W(CALL, 0, 0, 4), -8, -4, 44},
                                         TCallRow{"IntThree", W(INT, 0, 0, 4), 3, 196, 44},
                                         TCallRow{"IntZero", W(INT, 0, 0, 4), 0, 4, 44},
                                         TCallRow{"IntTopBitsLost", W(INT, 0, 0, 4), int64_t{1} << 58, 4, 44},
                                         TCallRow{"IntNegative", W(INT, 0, 0, 4), -1, -60, 44}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(Calls, CalliTargetAndReturnAddress) {
    struct {
        const char* Name;
        int64_t IPOffsetBegin;
        int64_t Target; // expected
    } rows[] = {{"BaseZeroTakesItsOwnWord", 0, int64_t(0x0000100034000000)}, {"BaseEight", 8, 3000}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        TCallMachine m;
        m.Cpu.IPOffsetBegin = row.IPOffsetBegin;
        m.Put32(44, 0x1000); // high half of the word at 40
        m.Put64(48, 3000);   // the cell after the slot
        m.Put64(56, 7777);   // read and not used
        ASSERT_EQ(m.StepAt(40, W(CALLI)), FetchExecuted);
        EXPECT_EQ(m.Cpu.IPOffset, row.Target + 4);
        m.ExpectFrame(0, 4, 60, 0x55);
        EXPECT_EQ(m.Cpu.SP, 48);
    }
}

TEST(Calls, ReturnRestoresEverythingAndContinuesAfterTheCall) {
    struct {
        const char* Name;
        uint32_t Call, Return;
        int64_t After; // the next fetch after the return
    } rows[] = {
        {"CallRet", W(CALL, 0, 0, 4), W(RET), 48}, {"CallIret", W(CALL, 0, 0, 4), W(IRET), 48},
        {"IntRet", W(INT, 0, 0, 5), W(RET), 48},   {"IntIret", W(INT, 0, 0, 5), W(IRET), 48},
        {"CalliRet", W(CALLI), W(RET), 64},        {"RetIgnoresOperands", W(CALL, 0, 0, 4), 0x31FFFFFF, 48}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        TCallMachine m;
        m.Cpu.IPOffsetBegin = 8;
        m.Cpu.R[4] = 400;
        m.Cpu.R[5] = 6; // INT 6: 384
        m.Put64(48, 400);
        m.Cpu.SP = 32;
        ASSERT_EQ(m.StepAt(40, row.Call), FetchExecuted);
        const int64_t target = m.Cpu.IPOffset - 4;
        // In the subroutine: CMP changes the flags, the segment changes; RET brings both back.
        ASSERT_EQ(m.StepAt(target + 4, W(CMP, 0, 1, 2)), FetchExecuted);
        EXPECT_EQ(m.Cpu.PSW, 3);
        m.Cpu.IPSegment = 9;
        ASSERT_EQ(m.StepAt(target + 12, row.Return), FetchExecuted);
        EXPECT_EQ(m.Cpu.IPOffset, row.After);
        EXPECT_EQ(m.Cpu.PSW, 4);
        EXPECT_EQ(m.Cpu.IPSegment, 0x55);
        EXPECT_EQ(m.Cpu.SP, 32);
    }
}

TEST(Calls, NestedCallsReturnToEachCaller) {
    // 0: CALL R4 (100) | 100: CALL R5 (200) | 200: RET | 108: RET | 8: end of image.
    TTestMachine m(10000, 300);
    m.Put32(0, W(CALL, 0, 0, 4));
    m.Put32(104, W(CALL, 0, 0, 5));
    m.Put32(204, W(RET));
    m.Put32(112, W(RET));
    m.Cpu.R[4] = 100;
    m.Cpu.R[5] = 200;
    m.Cpu.StackOffsetBegin = 5000;
    const int64_t expected[] = {104, 204, 112, 8};
    const int64_t sp[] = {48, 96, 48, 0};
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(m.Step(), FetchExecuted) << i;
        EXPECT_EQ(m.Cpu.IPOffset, expected[i]) << i;
        EXPECT_EQ(m.Cpu.SP, sp[i]) << i;
    }
}

TEST(Calls, ReturnTakesWhateverLiesBelowSP) {
    // RET with nothing pushed: three records below StackOffsetBegin + SP, SP goes negative.
    TCallMachine m;
    m.Cpu.SP = 0;
    m.Put64(Stack - 48, 3);    // PSW
    m.Put64(Stack - 32, 700);  // IPOffset
    m.Put64(Stack - 16, 0x77); // IPSegment
    ASSERT_EQ(m.StepAt(40, W(RET)), FetchExecuted);
    EXPECT_EQ(m.Cpu.SP, -48);
    EXPECT_EQ(m.Cpu.PSW, 3);
    EXPECT_EQ(m.Cpu.IPOffset, 704);
    EXPECT_EQ(m.Cpu.IPSegment, 0x77);
}

TEST(Calls, PushedValuesMixWithCallRecords) {
    // PUSH R1; CALL R4; (sub) POP R2 takes the IPSegment record; RET then pops a shifted frame.
    TCallMachine m;
    m.Cpu.R[1] = 123;
    ASSERT_EQ(m.StepAt(0, W(PUSH, 0, 0, 1)), FetchExecuted);
    m.Cpu.R[4] = 400;
    ASSERT_EQ(m.StepAt(8, W(CALL, 0, 0, 4)), FetchExecuted);
    ASSERT_EQ(m.StepAt(404, W(POP, 0, 0, 2)), FetchExecuted);
    EXPECT_EQ(m.Cpu.R[2], 0x55);
    EXPECT_EQ(m.Cpu.SP, 48);
    ASSERT_EQ(m.StepAt(412, W(RET)), FetchExecuted);
    EXPECT_EQ(m.Cpu.IPSegment, 12);   // the return address record
    EXPECT_EQ(m.Cpu.IPOffset, 4 + 4); // PSW record taken as IPOffset
    EXPECT_EQ(m.Cpu.PSW, 123);
    EXPECT_EQ(m.Cpu.SP, 0);
}

} // namespace
