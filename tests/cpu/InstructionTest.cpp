// Register instructions, one table row per case: the word executes by one fetch at address
// 40 and afterwards every one of the 27 registers must hold its expected value (the row's
// changes on top of the initial values, IPOffset = 40 + the row's advance unless the row
// sets it), memory must be unchanged and the monitor silent.
#include <gtest/gtest.h>

#include <map>

#include "TestMachine.h"

namespace {

using namespace enc;

constexpr int64_t At = 40;
constexpr int64_t Min = INT64_MIN;
constexpr int64_t Max = INT64_MAX;

struct TRegRow {
    std::string Name;
    uint32_t Word;
    std::map<std::string, int64_t> Before;
    std::map<std::string, int64_t> After; // registers that change (IPOffset: the next fetch minus 4)
    int64_t Advance = 8;
};

void RunRow(const TRegRow& row) {
    TTestMachine m(10000, 4096);
    for (const auto& [name, value] : row.Before) {
        ASSERT_GE(PanelIndex(name), 0) << name;
        m.Cpu.PanelRegister(PanelIndex(name)) = value;
    }
    m.Put32(At, row.Word);
    m.Cpu.IPOffset = At;
    int64_t expected[TCCPUBase::PanelRegisterCount];
    for (int i = 0; i < TCCPUBase::PanelRegisterCount; ++i)
        expected[i] = m.Cpu.PanelRegister(i);
    expected[PanelIndex("IPOffset")] = At + row.Advance;
    for (const auto& [name, value] : row.After) {
        ASSERT_GE(PanelIndex(name), 0) << name;
        expected[PanelIndex(name)] = value;
    }
    const std::vector<uint8_t> before = m.Bytes();
    ASSERT_EQ(m.Step(), FetchExecuted);
    for (int i = 0; i < TCCPUBase::PanelRegisterCount; ++i)
        EXPECT_EQ(m.Cpu.PanelRegister(i), expected[i]) << TCCPUBase::PanelRegisterNames[i];
    EXPECT_TRUE(m.Bytes() == before) << "memory changed";
    EXPECT_TRUE(m.Sink.Values.empty());
}

void PrintTo(const TRegRow& row, std::ostream* out) {
    *out << row.Name;
}

class RegisterInstruction : public testing::TestWithParam<TRegRow> {};
TEST_P(RegisterInstruction, Effect) {
    RunRow(GetParam());
}
std::string RowName(const testing::TestParamInfo<TRegRow>& info) {
    return info.param.Name;
}

// ---- group 0 ----------------------------------------------------------------------------
INSTANTIATE_TEST_SUITE_P(
    Group0, RegisterInstruction,
    testing::Values(
        TRegRow{"Nop", W(NOP, 1, 2, 3), {{"R1", 5}}, {}},
        TRegRow{"MovFullWidth", W(MOV, 0, 1, 2), {{"R2", Min}}, {{"R1", Min}}},
        TRegRow{"MovIgnoresByteA", W(MOV, 9, 1, 2), {{"R2", 3}}, {{"R1", 3}}},
        TRegRow{"MovR15", W(MOV, 0, 15, 0), {{"R0", -9}}, {{"R15", -9}}},
        TRegRow{"AddWraps", W(ADD, 1, 2, 3), {{"R2", Max}, {"R3", 1}}, {{"R1", Min}}},
        TRegRow{"AddDoublesInPlace", W(ADD, 1, 1, 1), {{"R1", 21}}, {{"R1", 42}}},
        TRegRow{"AddLeavesPSW", W(ADD, 1, 2, 3), {{"R2", -1}, {"R3", 1}, {"PSW", 5}}, {{"R1", 0}}},
        TRegRow{"SubBelowZero", W(SUB, 1, 2, 3), {{"R3", 1}}, {{"R1", -1}}},
        TRegRow{"SubWraps", W(SUB, 1, 2, 3), {{"R2", Min}, {"R3", 1}}, {{"R1", Max}}},
        TRegRow{"SubOperandOrder", W(SUB, 4, 5, 6), {{"R5", 10}, {"R6", 3}}, {{"R4", 7}}},
        TRegRow{"MulLow64Bits",
                W(MUL, 1, 2, 3),
                {{"R2", int64_t{1} << 32}, {"R3", int64_t{1} << 32}},
                {{"R1", 0}}},
        TRegRow{"MulSigned", W(MUL, 1, 2, 3), {{"R2", -3}, {"R3", 5}}, {{"R1", -15}}},
        TRegRow{"MulWraps", W(MUL, 1, 2, 3), {{"R2", Max}, {"R3", 2}}, {{"R1", -2}}},
        TRegRow{"DivTruncatesNegativeDividend", W(DIV, 1, 2, 3), {{"R2", -7}, {"R3", 2}}, {{"R1", -3}}},
        TRegRow{"DivTruncatesNegativeDivisor", W(DIV, 1, 2, 3), {{"R2", 7}, {"R3", -2}}, {{"R1", -3}}},
        TRegRow{"DivBothNegative", W(DIV, 1, 2, 3), {{"R2", -7}, {"R3", -2}}, {{"R1", 3}}},
        TRegRow{"DivMinByMinusOne", W(DIV, 1, 2, 3), {{"R2", Min}, {"R3", -1}}, {{"R1", Min}}},
        TRegRow{"DivByMinusOne", W(DIV, 1, 2, 3), {{"R2", 5}, {"R3", -1}}, {{"R1", -5}}},
        TRegRow{"DivMinByOne", W(DIV, 1, 2, 3), {{"R2", Min}, {"R3", 1}}, {{"R1", Min}}},
        TRegRow{"DivSmallByLarge", W(DIV, 1, 2, 3), {{"R2", 3}, {"R3", Max}}, {{"R1", 0}}},
        TRegRow{"DivInPlace", W(DIV, 2, 2, 3), {{"R2", 100}, {"R3", 7}}, {{"R2", 14}}},
        TRegRow{"OnesUsesByteC", W(ONES, 1, 2, 5), {}, {{"R5", -1}}},
        TRegRow{"ClrUsesByteC", W(CLR, 1, 2, 5), {{"R1", 1}, {"R2", 2}, {"R5", 77}}, {{"R5", 0}}},
        TRegRow{"IncFromMinusOne", W(INC, 0, 1, 2), {{"R2", -1}}, {{"R1", 0}}},
        TRegRow{"IncWraps", W(INC, 0, 1, 2), {{"R2", Max}}, {{"R1", Min}}},
        TRegRow{"IncInPlace", W(INC, 0, 3, 3), {{"R3", 41}}, {{"R3", 42}}},
        TRegRow{"DecFromZero", W(DEC, 0, 1, 2), {}, {{"R1", -1}}},
        TRegRow{"DecWraps", W(DEC, 0, 1, 2), {{"R2", Min}}, {{"R1", Max}}},
        TRegRow{"RdctlIPOffsetIsTheWordAddress", W(RDCTL, 0, 1, 2), {}, {{"R1", At}}},
        TRegRow{"RdctlVersion", W(RDCTL, 0, 1, 10), {}, {{"R1", 1}}},
        TRegRow{"RdctlSP", W(RDCTL, 0, 1, 7), {{"SP", 0x30}}, {{"R1", 0x30}}},
        TRegRow{"RdctlIndex11SelectsNothing", W(RDCTL, 0, 1, 11), {{"R1", 77}}, {}},
        TRegRow{"RdctlNegativeIndexSelectsNothing", W(RDCTL, 0, 1, 0xFF), {{"R1", 77}}, {}},
        TRegRow{"RdctlIndex128SelectsNothing", W(RDCTL, 0, 1, 0x80), {{"R1", 77}}, {}},
        TRegRow{"WrctlIPOffsetJumpsToValuePlus8", W(WRCTL, 0, 2, 1), {{"R1", 200}}, {{"IPOffset", 208}}},
        TRegRow{"WrctlPSWWhole", W(WRCTL, 0, 6, 1), {{"R1", -1}, {"PSW", 3}}, {{"PSW", -1}}},
        TRegRow{"WrctlStackOffsetBegin", W(WRCTL, 0, 8, 3), {{"R3", 999}}, {{"StackOffsetBegin", 999}}},
        TRegRow{"WrctlVersion", W(WRCTL, 0, 10, 3), {{"R3", 9}}, {{"Version", 9}}},
        TRegRow{"WrctlIndex11SelectsNothing", W(WRCTL, 0, 11, 1), {{"R1", 5}}, {}},
        TRegRow{"WrctlNegativeIndexSelectsNothing", W(WRCTL, 0, 0xF6, 1), {{"R1", 5}}, {}},
        TRegRow{"Group0Sub7SelectsNothing", 0x07000000, {}, {}, 4},
        TRegRow{"Group0Sub7WithOperands", W(0x07, 1, 2, 3), {{"R2", 1}}, {}, 4}),
    RowName);

// RDCTL and WRCTL over every control register index.
TEST(ControlRegisters, RdctlAndWrctlEveryIndex) {
    const char* byIndex[] = {"DataOffset",       "DataSegment",    "IPOffset", "IPOffsetBegin",
                             "IPSegment",        "IPSegmentBegin", "PSW",      "SP",
                             "StackOffsetBegin", "StackSegment",   "Version"};
    for (int k = 0; k < 11; ++k) {
        SCOPED_TRACE(byIndex[k]);
        std::map<std::string, int64_t> before;
        for (int j = 0; j < 11; ++j)
            if (j != 2) before[byIndex[j]] = 0x100 + j;
        RunRow(
            {"Rdctl", W(RDCTL, 0, 7, static_cast<uint32_t>(k)), before, {{"R7", k == 2 ? At : 0x100 + k}}});
        before["R9"] = 0x5555;
        std::map<std::string, int64_t> after{{byIndex[k], k == 2 ? 0x5555 + 8 : 0x5555}};
        RunRow({"Wrctl", W(WRCTL, 0, static_cast<uint32_t>(k), 9), before, after});
    }
}

// ---- group 1 ----------------------------------------------------------------------------
INSTANTIATE_TEST_SUITE_P(
    Group1, RegisterInstruction,
    testing::Values(
        TRegRow{"CmpSelfIsEqual", W(CMP, 0, 4, 4), {{"R4", -5}}, {{"PSW", 3}}},
        TRegRow{"CmpGreater", W(CMP, 0, 1, 2), {{"R1", 2}, {"R2", 1}}, {{"PSW", 4}}},
        TRegRow{"CmpLess", W(CMP, 0, 1, 2), {{"R1", 1}, {"R2", 2}}, {{"PSW", 1}}},
        TRegRow{"CmpMinIsSmallest", W(CMP, 0, 1, 2), {{"R1", Min}, {"R2", 1}}, {{"PSW", 1}}},
        TRegRow{"CmpOneAboveMinusOne", W(CMP, 0, 1, 2), {{"R1", 1}, {"R2", -1}}, {{"PSW", 4}}},
        TRegRow{
            "CmpSpansAll64Bits", W(CMP, 0, 1, 2), {{"R1", 0xFFFFFFFF}, {"R2", 0x100000000}}, {{"PSW", 1}}},
        TRegRow{"CmpMaxAboveMin", W(CMP, 0, 1, 2), {{"R1", Max}, {"R2", Min}}, {{"PSW", 4}}},
        TRegRow{"CmpReplacesWholePSW", W(CMP, 0, 1, 2), {{"PSW", 0x7F}}, {{"PSW", 3}}},
        TRegRow{"CmpIgnoresByteA", W(CMP, 9, 1, 2), {{"R1", 3}, {"R2", 3}, {"R9", 1}}, {{"PSW", 3}}},
        TRegRow{"JmpToUnalignedTarget", W(JMP, 0, 0, 15), {{"R15", 1001}}, {{"IPOffset", 1005}}},
        TRegRow{"JmpToItself", W(JMP, 0, 0, 1), {{"R1", At - 4}}, {{"IPOffset", At}}},
        TRegRow{"JmpNegativeTarget", W(JMP, 0, 0, 1), {{"R1", -100}}, {{"IPOffset", -96}}},
        TRegRow{"JmpIgnoresBytesAB", W(JMP, 5, 6, 1), {{"R1", 100}}, {{"IPOffset", 104}}},
        TRegRow{"Group1Sub6SelectsNothing", 0x16000000, {}, {}, 4},
        TRegRow{"Group1Sub15SelectsNothing", W(0x1F, 1, 2, 3), {{"R3", 100}}, {}, 4}),
    RowName);

// Every conditional jump against every PSW pattern.
TEST(Jumps, FlagTests) {
    struct {
        const char* Name;
        int64_t Psw;
        bool Je, Jne, Jle, Jg;
    } rows[] = {
        {"Equal", 3, true, false, true, false},   {"Greater", 4, false, true, false, true},
        {"Less", 1, false, true, true, false},    {"AfterReset", 0, false, true, false, false},
        {"AllFlags", 7, true, false, true, true}, {"HighBitsIgnored", ~int64_t{7}, false, true, false, false},
        {"OnlyEq", 2, true, false, false, false},
    };
    for (const auto& row : rows) {
        const std::pair<uint32_t, bool> jumps[] = {
            {JE, row.Je}, {JNE, row.Jne}, {JLE, row.Jle}, {JG, row.Jg}, {JMP, true}};
        for (const auto& [op, taken] : jumps) {
            SCOPED_TRACE(std::string(row.Name) + " op " + std::to_string(op));
            RunRow({"Jump",
                    W(op, 0, 0, 5),
                    {{"R5", 3000}, {"PSW", row.Psw}},
                    {{"IPOffset", taken ? 3004 : At + 8}}});
        }
    }
}

// ---- groups 2 and 4 ---------------------------------------------------------------------
INSTANTIATE_TEST_SUITE_P(
    Group2, RegisterInstruction,
    testing::Values(TRegRow{"And",
                            W(AND, 1, 2, 3),
                            {{"R2", 0xFF00FF00FF00FF00}, {"R3", 0x0FF00FF00FF00FF0}},
                            {{"R1", 0x0F000F000F000F00}}},
                    TRegRow{"Or",
                            W(OR, 1, 2, 3),
                            {{"R2", int64_t(0xF000000000000000)}, {"R3", 1}},
                            {{"R1", int64_t(0xF000000000000001)}}},
                    TRegRow{"Xor", W(XOR, 1, 2, 3), {{"R2", 0xFF}, {"R3", 0x0F}}, {{"R1", 0xF0}}},
                    TRegRow{"XorSelfClears", W(XOR, 4, 4, 4), {{"R4", 12345}}, {{"R4", 0}}},
                    TRegRow{"AndIntoSource", W(AND, 2, 2, 3), {{"R2", 6}, {"R3", 3}}, {{"R2", 2}}},
                    TRegRow{"LnotOfZero", W(LNOT, 9, 4, 5), {{"R4", -1}}, {{"R4", 1}}},
                    TRegRow{"LnotOfOne", W(LNOT, 0, 4, 5), {{"R5", 1}}, {{"R4", 0}}},
                    TRegRow{"LnotOfHighHalfOnly", W(LNOT, 0, 4, 5), {{"R5", 0x100000000}}, {{"R4", 0}}},
                    TRegRow{"LnotOfAllOnes", W(LNOT, 0, 4, 5), {{"R5", -1}}, {{"R4", 0}}},
                    TRegRow{"LnotInPlace", W(LNOT, 0, 4, 4), {{"R4", 99}}, {{"R4", 0}}},
                    TRegRow{"Group2Sub4SelectsNothing", W(0x24, 1, 2, 3), {{"R2", 1}}, {}, 4},
                    TRegRow{"Group2Sub15SelectsNothing", 0x2F000000, {}, {}, 4}),
    RowName);

struct TShiftRow {
    const char* Name;
    uint32_t Op;
    int64_t Value;
    int64_t Count;
    int64_t Result;
};

std::vector<TRegRow> ShiftRows() {
    const TShiftRow rows[] = {
        {"ShlByZero", SHL, 0x1234, 0, 0x1234},
        {"ShlOneBy63", SHL, 1, 63, Min},
        {"ShlBy32MovesLowHalfUp", SHL, 0x89ABCDEF, 32, int64_t(0x89ABCDEF00000000)},
        {"ShlBy64", SHL, 1, 64, 0},
        {"ShlBy127", SHL, -1, 127, 0},
        {"ShlBy200ShiftsBy8", SHL, 1, 200, 256},
        {"ShlByFFShiftsBy31", SHL, 1, 0xFF, int64_t{1} << 31},
        {"ShlByE0ShiftsBy0", SHL, 5, 0xE0, 5},
        {"ShlBy80ShiftsBy0", SHL, 5, 0x80, 5},
        {"ShlByC1ShiftsBy1", SHL, 5, 0xC1, 10},
        {"ShlBy256UsesLowByteOnly", SHL, 7, 256, 7},
        {"ShlBy0x140Gives0", SHL, 7, 0x140, 0},
        {"ShlHighCountBitsIgnored", SHL, 1, int64_t(0xFFFFFFFFFFFFFF03), 8},
        {"ShlLosesTopBits", SHL, int64_t(0xC000000000000001), 1, int64_t(0x8000000000000002)},
        {"SarMinBy63", SAR, Min, 63, -1},
        {"SarMinBy64", SAR, Min, 64, -1},
        {"SarNegativeBy127", SAR, -5, 127, -1},
        {"SarPositiveBy64", SAR, Max, 64, 0},
        {"SarKeepsSign", SAR, -16, 2, -4},
        {"SarBy32MovesHighHalfDown", SAR, int64_t(0x89ABCDEF00000000), 32, int64_t(0xFFFFFFFF89ABCDEF)},
        {"SarByZero", SAR, -3, 0, -3},
        {"SarByFFShiftsBy31", SAR, int64_t{1} << 40, 0xFF, 512},
        {"SarBy200ShiftsBy8", SAR, 0x1000, 200, 0x10},
    };
    std::vector<TRegRow> out;
    for (const auto& r : rows)
        out.push_back({r.Name, W(r.Op, 1, 2, 3), {{"R2", r.Value}, {"R3", r.Count}}, {{"R1", r.Result}}});
    out.push_back({"ShlInPlaceCountAndValue", W(SHL, 2, 2, 2), {{"R2", 3}}, {{"R2", 24}}});
    out.push_back({"Group4Sub0SelectsNothing", 0x40010203, {{"R2", 1}, {"R3", 1}}, {}, 4});
    out.push_back({"Group4Sub1SelectsNothing", 0x41010203, {{"R2", 1}, {"R3", 1}}, {}, 4});
    out.push_back({"Group4Sub4SelectsNothing", 0x44010203, {{"R2", 1}, {"R3", 1}}, {}, 4});
    return out;
}
INSTANTIATE_TEST_SUITE_P(Group4, RegisterInstruction, testing::ValuesIn(ShiftRows()), RowName);

// Every shift count 0..255 against a plain model of the count rule.
TEST(Shifts, EveryLowByte) {
    for (int64_t byte = 0; byte < 256; ++byte) {
        const int n = byte < 64 ? static_cast<int>(byte) : byte < 128 ? 64 : static_cast<int>(byte & 31);
        const int64_t value = int64_t(0x8123456789ABCDEF);
        const int64_t shl = n >= 64 ? 0 : static_cast<int64_t>(static_cast<uint64_t>(value) << n);
        const int64_t sar = n >= 64 ? -1 : value >> n;
        const int64_t count = byte | int64_t(0x7700000000000000);
        SCOPED_TRACE(byte);
        RunRow({"Shl", W(SHL, 1, 2, 3), {{"R2", value}, {"R3", count}}, {{"R1", shl}}});
        RunRow({"Sar", W(SAR, 1, 2, 3), {{"R2", value}, {"R3", count}}, {{"R1", sar}}});
    }
}

// ---- words that select nothing ----------------------------------------------------------
INSTANTIATE_TEST_SUITE_P(NoInstruction, RegisterInstruction,
                         testing::Values(TRegRow{"Group7", 0x70000000, {}, {}, 4},
                                         TRegRow{"Group7WithBytes", 0x7FFFFFFF, {}, {}, 4},
                                         TRegRow{"Group9", 0x90000000, {}, {}, 4},
                                         TRegRow{"Group15", 0xFFFFFFFF, {}, {}, 4},
                                         TRegRow{"Group3Sub5", 0x35000000, {{"SP", 0}}, {}, 4},
                                         TRegRow{"Group3Sub15", 0x3F000001, {}, {}, 4},
                                         TRegRow{"Group5Sub3", 0x53010203, {{"R3", 10}}, {}, 4},
                                         TRegRow{"Group5Sub15", 0x5F000000, {}, {}, 4},
                                         TRegRow{"Group6Sub2AddsFour", 0x62000000, {{"SP", 16}}, {}, 8},
                                         TRegRow{"Group6Sub15AddsFour", 0x6F000001, {{"SP", 16}}, {}, 8},
                                         TRegRow{"Group8Sub0", 0x80000000, {}, {}, 4},
                                         TRegRow{"Group8Sub2", 0x82010000, {}, {}, 4},
                                         TRegRow{"Group8Sub15", 0x8F010000, {}, {}, 4}),
                         RowName);

// ---- register bytes outside 0..15 ---------------------------------------------------------
// Each instruction with each of its register bytes replaced by a byte that names no register
// does nothing at all but its advance: no register, memory, port, stack or flag change, no
// division error, and a jump or call is not taken.
struct TOperandForm {
    const char* Name;
    uint32_t Op;
    uint32_t RegisterBytes; // mask of the bytes that name registers
    int64_t Advance;
};

TEST(BadRegisterByte, InstructionDoesNothingButAdvance) {
    const TOperandForm forms[] = {
        {"Mov", MOV, ByteB | ByteC, 8},
        {"Mcopy", MCOPY, ByteA | ByteC, 8},
        {"Load", LOAD, ByteA | ByteC, 8},
        {"Store", STORE, ByteB | ByteC, 8},
        {"Rdctl", RDCTL, ByteB, 8},
        {"Wrctl", WRCTL, ByteC, 8},
        {"Add", ADD, ByteA | ByteB | ByteC, 8},
        {"Sub", SUB, ByteA | ByteB | ByteC, 8},
        {"Mul", MUL, ByteA | ByteB | ByteC, 8},
        {"Div", DIV, ByteA | ByteB | ByteC, 8},
        {"Ones", ONES, ByteC, 8},
        {"Clr", CLR, ByteC, 8},
        {"Inc", INC, ByteB | ByteC, 8},
        {"Dec", DEC, ByteB | ByteC, 8},
        {"Cmp", CMP, ByteB | ByteC, 8},
        {"Jmp", JMP, ByteC, 8},
        {"Je", JE, ByteC, 8},
        {"Jne", JNE, ByteC, 8},
        {"Jle", JLE, ByteC, 8},
        {"Jg", JG, ByteC, 8},
        {"And", AND, ByteA | ByteB | ByteC, 8},
        {"Or", OR, ByteA | ByteB | ByteC, 8},
        {"Xor", XOR, ByteA | ByteB | ByteC, 8},
        {"Lnot", LNOT, ByteB | ByteC, 8},
        {"Shl", SHL, ByteA | ByteB | ByteC, 8},
        {"Sar", SAR, ByteA | ByteB | ByteC, 8},
        {"Call", CALL, ByteC, 8},
        {"Int", INT, ByteC, 8},
        {"In", IN, ByteB | ByteC, 4},
        {"Out", OUT, ByteB | ByteC, 4},
        {"Blkcopy", BLKCOPY, ByteA | ByteB | ByteC, 4},
        {"Push", PUSH, ByteC, 8},
        {"Pop", POP, ByteC, 8},
        {"Ldi", LDI, ByteA, 24},
    };
    const uint32_t badBytes[] = {0x10, 0x7F, 0x80, 0xF0, 0xFF};
    for (const TOperandForm& form : forms) {
        for (uint32_t byteMask : {ByteA, ByteB, ByteC}) {
            if (!(form.RegisterBytes & byteMask)) continue;
            for (uint32_t bad : badBytes) {
                const int shift = byteMask == ByteA ? 16 : byteMask == ByteB ? 8 : 0;
                // R1 = 1, R2 = 0, R3 = 40 (the word's own address: a target, a count, an
                // address of non-zero bytes), so that any effect that wrongly took place shows.
                uint32_t word = W(form.Op, 1, 2, 3);
                if (form.Op == RDCTL) word = W(RDCTL, 0, 2, 2);
                if (form.Op == WRCTL) word = W(WRCTL, 0, 2, 3);
                if (form.Op == DIV) word = W(DIV, 1, 3, 2); // a divisor of 0 if it were read
                if (form.Op == OUT) word = W(OUT, 0, 1, 3); // the monitor port
                word = (word & ~byteMask) | (bad << shift);
                std::map<std::string, int64_t> before{{"R0", 0},  {"R1", 1},  {"R2", 0},
                                                      {"R3", At}, {"SP", 64}, {"StackOffsetBegin", 2000},
                                                      {"PSW", 2}};
                for (int r = 4; r < 16; ++r)
                    before["R" + std::to_string(r)] = 0;
                SCOPED_TRACE(std::string(form.Name) + " byte " + std::to_string(bad) + " at shift " +
                             std::to_string(shift));
                RunRow({form.Name, word, before, {}, form.Advance});
            }
        }
    }
}

} // namespace
