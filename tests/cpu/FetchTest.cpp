// The fetch: its four statuses, the order of its tests and its advance of IPOffset.
#include <gtest/gtest.h>

#include "TestMachine.h"

namespace {

using namespace enc;

struct TFetchRow {
    const char* Name;
    int64_t Size;    // memory size (0: no buffer)
    int64_t Image;   // bytes of a zero image (each word a NOP)
    int64_t Address; // IPOffset and fetch address
    int64_t Status;
};

class FetchStatus : public testing::TestWithParam<TFetchRow> {};

TEST_P(FetchStatus, StatusAndStateChange) {
    const TFetchRow& row = GetParam();
    TTestMachine m(row.Size, row.Image);
    if (row.Size == 0) m.Cpu.Memory.Clear();
    m.Cpu.IPOffset = row.Address;
    const std::vector<uint8_t> before = m.Bytes();
    EXPECT_EQ(m.Cpu.FetchAndExecute(row.Address), row.Status);
    // A refused fetch changes nothing; a NOP moves IPOffset on by 8 in all.
    EXPECT_EQ(m.Cpu.IPOffset, row.Status == 0 ? row.Address + 8 : row.Address);
    EXPECT_EQ(m.Bytes(), before);
    EXPECT_EQ(m.Cpu.Memory.UsedLength(), row.Image);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FetchStatus,
    testing::Values(TFetchRow{"NothingLoaded", 10000, 0, 0, FetchEndOfImage},
                    TFetchRow{"FourByteImage", 10000, 4, 0, FetchExecuted},
                    TFetchRow{"ThreeByteImage", 10000, 3, 0, FetchEndOfImage},
                    TFetchRow{"AfterSevenByteImage", 10000, 7, 8, FetchEndOfImage},
                    TFetchRow{"LastWholeWordOfImage", 10000, 100, 96, FetchExecuted},
                    TFetchRow{"WordPastImageEnd", 10000, 100, 97, FetchEndOfImage},
                    TFetchRow{"MinusFour", 10000, 100, -4, FetchNegative},
                    TFetchRow{"MinusOne", 10000, 100, -1, FetchNegative},
                    TFetchRow{"Min", 10000, 100, INT64_MIN, FetchNegative},
                    TFetchRow{"SizeTestBeforeImageTest", 10000, 100, 9997, FetchOutsideMemory},
                    TFetchRow{"LongestImageLastWord", 10000, 9999, 9995, FetchExecuted},
                    TFetchRow{"LongestImageWordPastEnd", 10000, 9999, 9996, FetchEndOfImage},
                    TFetchRow{"AtSize", 10000, 9999, 10000, FetchOutsideMemory},
                    TFetchRow{"Max", 10000, 9999, INT64_MAX, FetchOutsideMemory},
                    TFetchRow{"Low32WouldBeInside", 10000, 9999, (int64_t{1} << 32) + 8, FetchOutsideMemory},
                    TFetchRow{"NoBuffer", 0, 0, 0, FetchOutsideMemory},
                    TFetchRow{"NoBufferNegative", 0, 0, -1, FetchNegative},
                    TFetchRow{"TinyMemory", 3, 0, 0, FetchOutsideMemory}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(Fetch, RepeatedRefusalGivesTheSameStatus) {
    TTestMachine m(10000, 4);
    m.Cpu.IPOffset = 4;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(m.Step(), FetchEndOfImage);
    EXPECT_EQ(m.Cpu.IPOffset, 4);
}

TEST(Fetch, ClearIncrementAddProgramRunsToItsEnd) {
    // 20 bytes: CLR R1, INC R1, ADD R2 := R1 + R1; bytes 4..7 and 12..15 are never read.
    TImage image;
    image.Op(W(CLR, 0, 0, 1)).Op(W(INC, 0, 1, 1)).Short(W(ADD, 2, 1, 1));
    image.Bytes[5] = 0xFF; // padding bytes of a slot may hold anything
    ASSERT_EQ(image.Here(), 20);
    TTestMachine m;
    ASSERT_EQ(m.Load(image), 0);
    EXPECT_EQ(m.Cpu.Memory.PeekByte(0), 0x01);
    EXPECT_EQ(m.Cpu.Memory.PeekByte(3), 0x0D);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(m.Step(), FetchExecuted);
    EXPECT_EQ(m.Cpu.R[1], 1);
    EXPECT_EQ(m.Cpu.R[2], 2);
    EXPECT_EQ(m.Cpu.IPOffset, 24);
    EXPECT_EQ(m.Step(), FetchEndOfImage);
}

TEST(Fetch, FetchAddressIsTheArgumentAndAdvanceIsFromIPOffset) {
    // Callers pass IPOffset; the word is read at the argument and the handler works on IPOffset.
    TTestMachine m(10000, 64);
    m.Put32(16, W(INC, 0, 3, 3));
    m.Cpu.IPOffset = 40;
    EXPECT_EQ(m.Cpu.FetchAndExecute(16), FetchExecuted);
    EXPECT_EQ(m.Cpu.R[3], 1);
    EXPECT_EQ(m.Cpu.IPOffset, 48);
}

TEST(Fetch, DispatchAppliesOnlyTheHandlersAdvance) {
    TTestMachine m;
    EXPECT_EQ(m.Cpu.Dispatch(W(INC, 0, 1, 1)), 0);
    EXPECT_EQ(m.Cpu.IPOffset, 4);
    EXPECT_EQ(m.Cpu.Dispatch(0x70000000), 0);
    EXPECT_EQ(m.Cpu.IPOffset, 4);
    EXPECT_EQ(m.Cpu.Dispatch(W(LDI, 1)), 0);
    EXPECT_EQ(m.Cpu.IPOffset, 24);
    m.Cpu.Memory.Clear();
    EXPECT_EQ(m.Cpu.Dispatch(W(POP, 0, 0, 1)), -1); // the stack status passes through
}

TEST(Fetch, IPOffsetWrapsAtTheTopOfTheAddressRange) {
    // WRCTL IPOffset := INT64_MAX - 7: the handler's and the fetch's advance wrap to negative.
    TTestMachine m(10000, 64);
    m.Cpu.R[1] = INT64_MAX - 3;
    EXPECT_EQ(m.StepAt(0, W(WRCTL, 0, TCCPUBase::CtlIPOffset, 1)), FetchExecuted);
    EXPECT_EQ(m.Cpu.IPOffset, INT64_MIN + 4);
    EXPECT_EQ(m.Step(), FetchNegative);
}

TEST(Registers, ResetClearsRegistersButNotMemoryOrKeyboard) {
    TTestMachine m(10000, 64);
    for (int i = 0; i < TCCPUBase::PanelRegisterCount; ++i)
        m.Cpu.PanelRegister(i) = 1000 + i;
    m.Put64(8, 0xABCDEF);
    m.Cpu.Ports.Keyboard.Data = 0x41;
    EXPECT_EQ(m.Cpu.Reset(), 0);
    for (int i = 0; i < TCCPUBase::PanelRegisterCount; ++i)
        EXPECT_EQ(m.Cpu.PanelRegister(i), i == PanelIndex("Version") ? 1 : 0)
            << TCCPUBase::PanelRegisterNames[i];
    EXPECT_EQ(m.Get64(8), 0xABCDEFu);
    EXPECT_EQ(m.Cpu.Memory.UsedLength(), 64);
    EXPECT_EQ(m.Cpu.Ports.Keyboard.Data.load(), 0x41u);
}

TEST(Registers, PanelOrderNamesTheFields) {
    const char* names[] = {"IPOffset",
                           "IPOffsetBegin",
                           "IPSegment",
                           "IPSegmentBegin",
                           "DataOffset",
                           "DataSegment",
                           "PSW",
                           "SP",
                           "StackOffsetBegin",
                           "StackSegment",
                           "Version",
                           "R0",
                           "R1",
                           "R2",
                           "R3",
                           "R4",
                           "R5",
                           "R6",
                           "R7",
                           "R8",
                           "R9",
                           "R10",
                           "R11",
                           "R12",
                           "R13",
                           "R14",
                           "R15"};
    TCCPU cpu;
    int64_t* fields[] = {&cpu.IPOffset,         &cpu.IPOffsetBegin, &cpu.IPSegment, &cpu.IPSegmentBegin,
                         &cpu.DataOffset,       &cpu.DataSegment,   &cpu.PSW,       &cpu.SP,
                         &cpu.StackOffsetBegin, &cpu.StackSegment,  &cpu.Version};
    for (int i = 0; i < TCCPUBase::PanelRegisterCount; ++i) {
        EXPECT_STREQ(TCCPUBase::PanelRegisterNames[i], names[i]);
        EXPECT_EQ(&cpu.PanelRegister(i), i < 11 ? fields[i] : &cpu.R[i - 11]) << names[i];
    }
}

TEST(Registers, ControlRegisterIndexes) {
    TCCPU cpu;
    int64_t* byIndex[] = {&cpu.DataOffset,       &cpu.DataSegment,    &cpu.IPOffset, &cpu.IPOffsetBegin,
                          &cpu.IPSegment,        &cpu.IPSegmentBegin, &cpu.PSW,      &cpu.SP,
                          &cpu.StackOffsetBegin, &cpu.StackSegment,   &cpu.Version};
    for (int k = 0; k < 11; ++k)
        EXPECT_EQ(cpu.ControlRegister(k), byIndex[k]) << k;
    for (int64_t k : {int64_t{-1}, int64_t{11}, int64_t{127}, int64_t{1} << 32, INT64_MIN})
        EXPECT_EQ(cpu.ControlRegister(k), nullptr) << k;
}

TEST(Registers, PushAndPopStackRecords) {
    TTestMachine m;
    m.Cpu.StackOffsetBegin = 100;
    std::memset(m.Cpu.Memory.Buffer() + 100, 0xEE, 40);
    EXPECT_EQ(m.Cpu.Push(-2), 0);
    EXPECT_EQ(m.Cpu.SP, 16);
    EXPECT_EQ(m.Get64(100), static_cast<uint64_t>(-2));
    EXPECT_EQ(m.Get64(108), 0u);
    EXPECT_EQ(m.Cpu.Memory.PeekByte(116), 0xEE);
    EXPECT_EQ(m.Cpu.Push(7), 0);
    EXPECT_EQ(m.Cpu.SP, 32);
    TCell record{};
    EXPECT_EQ(m.Cpu.Pop(record), 0);
    EXPECT_EQ(record.Word0, 7u);
    EXPECT_EQ(record.Word1, 0u);
    EXPECT_EQ(m.Cpu.Pop(record), 0);
    EXPECT_EQ(static_cast<int64_t>(record.Word0), -2);
    EXPECT_EQ(m.Cpu.SP, 0);
    // Below the base: the record reads as zeros, SP goes negative unchecked.
    EXPECT_EQ(m.Cpu.Pop(record), 0);
    EXPECT_EQ(m.Cpu.SP, -16);
    m.Cpu.StackOffsetBegin = 0;
    record = {5, 5};
    EXPECT_EQ(m.Cpu.Pop(record), 0);
    EXPECT_EQ(record.Word0, 0u);
    m.Cpu.Memory.Clear();
    const int64_t sp = m.Cpu.SP;
    EXPECT_EQ(m.Cpu.Pop(record), -1);
    EXPECT_EQ(m.Cpu.SP, sp);
    EXPECT_EQ(m.Cpu.Push(1), 0); // nothing to write into; SP still moves
    EXPECT_EQ(m.Cpu.SP, sp + 16);
}

} // namespace
