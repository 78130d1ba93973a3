// Encodings of every instruction form, the data directives, expressions, labels, the
// standard start (run on the machine) and the listing.
#include <gtest/gtest.h>

#include <cstring>

#include "UAssembler.h"
#include "URunLoop.h"
#include "Uccpu.h"

namespace {

TAsmResult Assemble(const std::string& source) {
    return TAssembler().Assemble(source);
}

uint64_t Read(const std::vector<uint8_t>& image, size_t at, int bytes) {
    uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = value << 8 | image.at(at + i);
    return value;
}

std::string Messages(const TAsmResult& result) {
    std::string text;
    for (const TAsmMessage& m : result.Messages)
        text += TAssembler::Format("t.s", m) + "\n";
    return text;
}

struct TFormRow {
    const char* Name;
    const char* Source;
    uint32_t Word;
    size_t Size;
};

const TFormRow Forms[] = {
    {"Nop", "NOP", 0x00000000, 8},
    {"Mov", "MOV R1, R2", 0x01000102, 8},
    {"Mcopy", "MCOPY [R1], [R2]", 0x02010002, 8},
    {"Load", "LOAD R1, [R2]", 0x03010002, 8},
    {"Store", "STORE [R2], R1", 0x04000201, 8},
    {"Rdctl", "RDCTL R1, SP", 0x05000107, 8},
    {"RdctlAnyCase", "rdctl r1, stackoffsetbegin", 0x05000108, 8},
    {"Wrctl", "WRCTL IPOffsetBegin, R9", 0x06000309, 8},
    {"Add", "ADD R1, R2, R3", 0x08010203, 8},
    {"Sub", "SUB R15, R0, R7", 0x090F0007, 8},
    {"Mul", "MUL R1, R2, R3", 0x0A010203, 8},
    {"Div", "DIV R1, R2, R3", 0x0B010203, 8},
    {"Ones", "ONES R4", 0x0C000004, 8},
    {"Clr", "CLR R4", 0x0D000004, 8},
    {"Inc", "INC R1, R2", 0x0E000102, 8},
    {"Dec", "DEC R1, R2", 0x0F000102, 8},
    {"Cmp", "CMP R1, R2", 0x10000102, 8},
    {"Jmp", "JMP R5", 0x11000005, 8},
    {"Je", "JE R5", 0x12000005, 8},
    {"Jne", "JNE R5", 0x13000005, 8},
    {"Jle", "JLE R5", 0x14000005, 8},
    {"Jg", "JG R5", 0x15000005, 8},
    {"And", "AND R1, R2, R3", 0x20010203, 8},
    {"Or", "OR R1, R2, R3", 0x21010203, 8},
    {"Xor", "XOR R1, R2, R3", 0x22010203, 8},
    {"Lnot", "LNOT R4, R5", 0x23000405, 8},
    {"Call", "CALL R4", 0x30000004, 8},
    {"Ret", "RET", 0x31000000, 8},
    {"Int", "INT R2", 0x32000002, 8},
    {"Iret", "IRET", 0x33000000, 8},
    {"Calli", "CALLI 0x40", 0x34000000, 24},
    {"Shl", "SHL R1, R2, R3", 0x42010203, 8},
    {"Sar", "SAR R1, R2, R3", 0x43010203, 8},
    {"In", "IN R2, R1", 0x50000102, 4},
    {"Out", "OUT R1, R2", 0x51000102, 4},
    {"Blkcopy", "BLKCOPY R1, R2, R3", 0x52010203, 4},
    {"Push", "PUSH R5", 0x60000005, 8},
    {"Pop", "POP R5", 0x61000005, 8},
    {"Ldi", "LDI R4, 5", 0x81040000, 24},
    {"LdiWithoutValue", "LDI R4", 0x81040000, 24},
    {"Lda", "LDA R4, 0x40", 0x81040000, 24},
    {"Word", ".word 0x90ABCDEF", 0x90ABCDEF, 4},
};

class AssemblerForms : public testing::TestWithParam<TFormRow> {};

TEST_P(AssemblerForms, EncodesTheWordAtItsSize) {
    const TAsmResult result = Assemble(std::string(GetParam().Source) + "\n");
    ASSERT_FALSE(result.HasErrors()) << Messages(result);
    ASSERT_EQ(result.Image.size(), GetParam().Size);
    EXPECT_EQ(Read(result.Image, 0, 4), GetParam().Word);
    for (size_t i = 4; i < result.Image.size(); ++i)
        if (i < 8 || i >= 16) {
            EXPECT_EQ(result.Image[i], 0) << "byte " << i;
        }
}

INSTANTIATE_TEST_SUITE_P(Instructions, AssemblerForms, testing::ValuesIn(Forms),
                         [](const testing::TestParamInfo<TFormRow>& info) {
                             return std::string(info.param.Name);
                         });

TEST(Assembler, CellsHoldTheValueOrTheJumpAddress) {
    const TAsmResult result = Assemble(".start\nLDI R1, -2\nLDA R2, target\nCALLI target\ntarget: NOP\n");
    ASSERT_FALSE(result.HasErrors()) << Messages(result);
    const uint64_t target = 56 + 3 * 24;
    EXPECT_EQ(Read(result.Image, 56 + 8, 8), uint64_t(-2));
    EXPECT_EQ(Read(result.Image, 56 + 24 + 8, 8), target - 4);
    EXPECT_EQ(Read(result.Image, 56 + 48 + 8, 8), target - 4);
    EXPECT_EQ(Read(result.Image, 56 + 48 + 16, 8), 0u); // word 1 of the cell
}

struct TDataRow {
    const char* Name;
    const char* Source;
    std::vector<uint8_t> Bytes;
};

const TDataRow Data[] = {
    {"Bytes", ".byte 1, -1, 255, 'A', '\\n', \"ab\"", {1, 0xFF, 0xFF, 'A', '\n', 'a', 'b'}},
    {"Words", ".word 0x11223344, -1", {0x44, 0x33, 0x22, 0x11, 0xFF, 0xFF, 0xFF, 0xFF}},
    {"Quad", ".quad 0x0102030405060708", {8, 7, 6, 5, 4, 3, 2, 1}},
    {"Dword", ".dword -2", {0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
    {"Ascii", ".ascii \"a\\\"b\", \"\\x41\"", {'a', '"', 'b', 'A'}},
    {"Asciz", ".asciz \"hi\"", {'h', 'i', 0}},
    {"Fill", ".fill 3, 0xAB", {0xAB, 0xAB, 0xAB}},
    {"FillZero", ".fill 2", {0, 0}},
    {"OrgPadsWithZeros", ".byte 1\n.org 4\n.byte 2", {1, 0, 0, 0, 2}},
    {"Align", ".byte 1\n.align 4\n.byte 2", {1, 0, 0, 0, 2}},
    {"AlignWhenAligned", ".byte 1, 2, 3, 4\n.align 4\n.byte 5", {1, 2, 3, 4, 5}},
    {"ForwardLabel", ".byte end\n.byte 0\nend:", {2, 0}},
    {"LabelsOnOneLine", "a: b: .byte b - a, c\nc:", {0, 2}},
    {"DollarIsTheStatementsAddress", ".byte 7\n.byte $, $ + 1", {7, 1, 2}},
    {"ConstantAssignment", "N = 3 * 4\n.byte N", {12}},
    {"Equ", ".equ N, 0x10\n.byte N + 1", {0x11}},
    {"CommentsEverywhere", "; one\n# two\n.byte 1 // three\n.byte '#', ';'", {1, '#', ';'}},
    {"CaseInsensitiveDirectives", ".BYTE 7", {7}},
    // Images made by a single statement, or whose last statement sits at address 0.
    {"OneInstruction", "NOP", {0, 0, 0, 0, 0, 0, 0, 0}},
    {"OneLongFill", ".fill 20000", std::vector<uint8_t>(20000)},
    {"EmptyFillThenByte", ".fill 0\n.byte 9", {9}},
    {"OrgOnly", ".org 3", {0, 0, 0}},
};

class AssemblerData : public testing::TestWithParam<TDataRow> {};

TEST_P(AssemblerData, EmitsTheBytes) {
    const TAsmResult result = Assemble(GetParam().Source);
    ASSERT_FALSE(result.HasErrors()) << Messages(result);
    EXPECT_EQ(result.Image, GetParam().Bytes);
    EXPECT_EQ(Messages(result), ""); // no warning either: none of these images is empty
}

INSTANTIATE_TEST_SUITE_P(Directives, AssemblerData, testing::ValuesIn(Data),
                         [](const testing::TestParamInfo<TDataRow>& info) {
                             return std::string(info.param.Name);
                         });

struct TExpressionRow {
    const char* Name;
    const char* Expression;
    int64_t Value;
};

const TExpressionRow Expressions[] = {
    {"Precedence", "1 + 2 * 3", 7},
    {"Parentheses", "(1 + 2) * 3", 9},
    {"LeftToRight", "10 - 3 - 2", 5},
    {"SignedDivision", "-7 / 2", -3},
    {"SignedRemainder", "-7 % 2", -1},
    {"MinimumOverMinusOne", "(-0x7FFFFFFFFFFFFFFF - 1) / -1", INT64_MIN},
    {"Shifts", "1 << 4 | 0x100 >> 8", 17},
    {"ArithmeticShiftRight", "-16 >> 2", -4},
    {"ShiftOut", "1 << 64", 0},
    {"Bitwise", "0xF0 & 0x3C ^ 0x01", 0x31},
    {"Unary", "-~0 + +2", 3},
    {"Wraps", "0xFFFFFFFFFFFFFFFF + 2", 1},
    {"Binary", "0b1010", 10},
    {"Character", "'a' - 'A'", 32},
};

class AssemblerExpressions : public testing::TestWithParam<TExpressionRow> {};

TEST_P(AssemblerExpressions, Evaluate) {
    const TAsmResult result = Assemble(std::string(".quad ") + GetParam().Expression);
    ASSERT_FALSE(result.HasErrors()) << Messages(result);
    EXPECT_EQ(static_cast<int64_t>(Read(result.Image, 0, 8)), GetParam().Value);
}

INSTANTIATE_TEST_SUITE_P(Values, AssemblerExpressions, testing::ValuesIn(Expressions),
                         [](const testing::TestParamInfo<TExpressionRow>& info) {
                             return std::string(info.param.Name);
                         });

// Runs an assembled image on the machine to its end; the CPU is left for inspection.
void RunImage(TCCPU& cpu, const std::string& source) {
    const TAsmResult result = Assemble(source);
    ASSERT_FALSE(result.HasErrors()) << Messages(result);
    ASSERT_EQ(cpu.Memory.LoadBytes(result.Image.data(), static_cast<int64_t>(result.Image.size())), 0);
    cpu.Reset();
    TRunControl control;
    control.SetRunning(true);
    const TRunResult run = RunLoop(cpu, control, 100000);
    ASSERT_EQ(run.End, TRunEnd::EndOfImage);
}

TEST(AssemblerOnTheMachine, StartMakesLdiReadItsCellAndLeavesR0Clear) {
    TCCPU cpu;
    RunImage(cpu, ".start\nLDI R1, 0x123456789ABCDEF0\nLDI R2, -1\n");
    EXPECT_EQ(cpu.IPOffsetBegin, 8);
    EXPECT_EQ(cpu.R[0], 0);
    EXPECT_EQ(cpu.R[1], 0x123456789ABCDEF0);
    EXPECT_EQ(cpu.R[2], -1);
}

TEST(AssemblerOnTheMachine, JumpsCallsAndPortInstructionsLandOnTheirLabels) {
    // Each skipped ONES would leave a trace in R9; the call returns after CALLI.
    TCCPU cpu;
    RunImage(cpu, ".start\n"
                  "        LDI  R10, 5000\n"
                  "        WRCTL StackOffsetBegin, R10\n"
                  "        LDA  R1, over\n"
                  "        JMP  R1\n"
                  "        ONES R9\n"
                  "over:   CALLI sub\n"
                  "        INC  R3, R3\n"
                  "        IN   R4, R0\n" // 4 bytes: the next instruction follows at once
                  "        INC  R3, R3\n"
                  "        LDA  R1, end\n"
                  "        JMP  R1\n"
                  "sub:    INC  R2, R2\n"
                  "        RET\n"
                  "        ONES R9\n"
                  "end:\n");
    EXPECT_EQ(cpu.R[9], 0);
    EXPECT_EQ(cpu.R[2], 1);
    EXPECT_EQ(cpu.R[3], 2);
}

TEST(Assembler, ListingShowsAddressBytesLineAndSource) {
    const TAsmResult result = Assemble("; demo\nstart: CLR R1\n        OUT R1, R2\n        .fill 40, 1\n");
    ASSERT_FALSE(result.HasErrors()) << Messages(result);
    EXPECT_EQ(result.Listing, "00000000                              1  ; demo\n"
                              "00000000  01 00 00 0D 00 00 00 00     2  start: CLR R1\n"
                              "00000008  02 01 00 51                 3          OUT R1, R2\n"
                              "0000000C  01 01 01 01 01 01 01 01     4          .fill 40, 1\n"
                              "00000014  01 01 01 01 01 01 01 01\n"
                              "0000001C  01 01 01 01 01 01 01 01\n"
                              "         ...\n");
}

TEST(Assembler, WarnsWhenCellsAreReadWithoutTheStandardStart) {
    const TAsmResult without = Assemble("NOP\nLDI R1, 5\n");
    ASSERT_EQ(without.Messages.size(), 1u);
    EXPECT_TRUE(without.Messages[0].Warning);
    EXPECT_EQ(without.Messages[0].Line, 2);
    EXPECT_FALSE(without.HasErrors());
    EXPECT_FALSE(without.Image.empty());
    EXPECT_TRUE(Assemble(".start\nLDI R1, 5\n").Messages.empty());
    EXPECT_TRUE(Assemble("WRCTL IPOffsetBegin, R8\nCALLI 0\n").Messages.empty());
}

TEST(Assembler, WarnsAboutAnEmptyImage) {
    for (const char* source : {"; nothing\nN = 5\n", ".fill 0\n", "here: .org 0\n"}) {
        const TAsmResult result = Assemble(source);
        EXPECT_EQ(Messages(result),
                  "t.s:1:1: warning: the image is empty; the simulator refuses to load an empty image\n")
            << source;
        EXPECT_FALSE(result.HasErrors());
    }
}

} // namespace
