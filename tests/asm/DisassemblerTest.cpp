// The disassembler's text for every group and sub-operation, and the words it must show raw.
#include <gtest/gtest.h>

#include "UDisassembler.h"

namespace {

struct TRow {
    const char* Name;
    uint32_t Word;
    const char* Text;
};

const TRow Rows[] = {
    {"Nop", 0x00000000, "NOP"},
    {"NopWithBytes", 0x00000001, ".word 0x00000001"},
    {"Mov", 0x01000102, "MOV R1, R2"},
    {"MovIgnoredByteA", 0x01010102, ".word 0x01010102"},
    {"Mcopy", 0x02010002, "MCOPY [R1], [R2]"},
    {"Load", 0x03010002, "LOAD R1, [R2]"},
    {"Store", 0x04000201, "STORE [R2], R1"},
    {"Rdctl", 0x05000107, "RDCTL R1, SP"},
    {"RdctlVersion", 0x0500010A, "RDCTL R1, Version"},
    {"RdctlUnknownControl", 0x0500010B, ".word 0x0500010B"},
    {"Wrctl", 0x06000701, "WRCTL SP, R1"},
    {"WrctlIPOffset", 0x06000201, "WRCTL IPOffset, R1"},
    {"Group0Sub7", 0x07000000, ".word 0x07000000"},
    {"Add", 0x08010203, "ADD R1, R2, R3"},
    {"Div", 0x0B0F0E0D, "DIV R15, R14, R13"},
    {"Ones", 0x0C000004, "ONES R4"},
    {"Clr", 0x0D000004, "CLR R4"},
    {"Inc", 0x0E000102, "INC R1, R2"},
    {"Dec", 0x0F000102, "DEC R1, R2"},
    {"Cmp", 0x10000102, "CMP R1, R2"},
    {"Jmp", 0x11000005, "JMP R5"},
    {"Jne", 0x13000005, "JNE R5"},
    {"Jg", 0x15000005, "JG R5"},
    {"Group1Sub6", 0x16000005, ".word 0x16000005"},
    {"Xor", 0x22010203, "XOR R1, R2, R3"},
    {"Lnot", 0x23000405, "LNOT R4, R5"},
    {"Group2Sub4", 0x24000000, ".word 0x24000000"},
    {"Call", 0x30000004, "CALL R4"},
    {"Ret", 0x31000000, "RET"},
    {"Int", 0x32000002, "INT R2"},
    {"Iret", 0x33000000, "IRET"},
    {"Calli", 0x34000000, "CALLI"},
    {"Group3Sub5", 0x35000000, ".word 0x35000000"},
    {"Shl", 0x42010203, "SHL R1, R2, R3"},
    {"Sar", 0x43010203, "SAR R1, R2, R3"},
    {"Group4Sub0", 0x40000000, ".word 0x40000000"},
    {"In", 0x50000102, "IN R2, R1"},
    {"Out", 0x51000102, "OUT R1, R2"},
    {"Blkcopy", 0x52010203, "BLKCOPY R1, R2, R3"},
    {"Push", 0x60000005, "PUSH R5"},
    {"Pop", 0x61000005, "POP R5"},
    {"Group6Sub2", 0x62000000, ".word 0x62000000"},
    {"Group7", 0x70000000, ".word 0x70000000"},
    {"Ldi", 0x81040000, "LDI R4"},
    {"LdiIgnoredByteC", 0x81040001, ".word 0x81040001"},
    {"Group8Sub0", 0x80000000, ".word 0x80000000"},
    {"Group9", 0x90000000, ".word 0x90000000"},
    {"RegisterByte16", 0x01000110, ".word 0x01000110"},
    {"RegisterByteNegative", 0x110000FF, ".word 0x110000FF"},
};

class DisassemblerRows : public testing::TestWithParam<TRow> {};

TEST_P(DisassemblerRows, ShowsTheWord) {
    EXPECT_EQ(Disassemble(GetParam().Word), GetParam().Text);
}

INSTANTIATE_TEST_SUITE_P(Words, DisassemblerRows, testing::ValuesIn(Rows),
                         [](const testing::TestParamInfo<TRow>& info) {
                             return std::string(info.param.Name);
                         });

TEST(Disassembler, ShowsTheCellOfLdiAndTheLandingAddressOfCalli) {
    EXPECT_EQ(Disassemble(0x81040000, 0x123), "LDI R4, 0x0000000000000123");
    EXPECT_EQ(Disassemble(0x34000000, 0x3C), "CALLI 0x0000000000000040");
    EXPECT_EQ(Disassemble(0x01000102, 7), "MOV R1, R2"); // a cell means nothing to others
}

} // namespace
