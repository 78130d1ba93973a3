// Error messages and their positions: every error of a source is reported, and nothing
// is produced.
#include <gtest/gtest.h>

#include "UAssembler.h"

namespace {

struct TErrorRow {
    const char* Name;
    const char* Source;
    const char* Messages; // every error, formatted for the file "t.s", one per line
};

const TErrorRow Rows[] = {
    {"UnknownInstruction", "  FOO R1", "t.s:1:3: error: unknown instruction 'FOO'\n"},
    {"UnknownDirective", ".bss 4", "t.s:1:1: error: unknown directive '.bss'\n"},
    {"RegisterOutOfRange", "MOV R1, R16", "t.s:1:9: error: value out of range: register 'R16' (R0..R15)\n"},
    {"ControlWhereRegister", "MOV SP, R1",
     "t.s:1:5: error: bad operand: expected a register R0..R15, found control register 'SP'\n"},
    {"ValueWhereRegister", "PUSH 5", "t.s:1:6: error: bad operand: expected a register R0..R15\n"},
    {"RegisterWhereValue", "LDI R1, R2",
     "t.s:1:9: error: bad operand: expected a value, found register 'R2'\n"},
    {"MissingBrackets", "LOAD R1, R2",
     "t.s:1:10: error: bad operand: expected a memory operand [R0]..[R15]\n"},
    {"UnknownControl", "RDCTL R1, FLAGS",
     "t.s:1:11: error: bad operand: expected a control register (DataOffset, DataSegment, IPOffset, "
     "IPOffsetBegin, "
     "IPSegment, IPSegmentBegin, PSW, SP, StackOffsetBegin, StackSegment, Version)\n"},
    {"TooFewOperands", "ADD R1, R2", "t.s:1:1: error: bad operand: 'ADD' takes 3 operands, found 2\n"},
    {"TooManyOperands", "RET R1", "t.s:1:1: error: bad operand: 'RET' takes 0 operands, found 1\n"},
    {"EmptyOperand", "MOV R1,", "t.s:1:8: error: bad operand: missing register R0..R15\n"},
    {"UndefinedLabel", "LDA R1, nowhere", "t.s:1:9: error: undefined symbol 'nowhere'\n"},
    {"DuplicateLabel", "a: NOP\na: NOP", "t.s:2:1: error: duplicate symbol 'a'\n"},
    {"RegisterAsLabel", "r3: NOP", "t.s:1:1: error: 'r3' is a register name and cannot be a symbol\n"},
    {"ByteOutOfRange", ".byte 1, 256, -129",
     "t.s:1:10: error: value out of range: .byte takes -128..255, not 256\n"
     "t.s:1:15: error: value out of range: .byte takes -128..255, not -129\n"},
    {"WordOutOfRange", ".word 0x100000000",
     "t.s:1:7: error: value out of range: .word takes a 32-bit value, not 0x100000000\n"},
    {"NumberTooLarge", ".quad 0x10000000000000000",
     "t.s:1:7: error: value out of range: the number does not fit in 64 bits\n"},
    {"OrgBackwards", ".fill 8\n.org 4",
     "t.s:2:6: error: value out of range: .org 0x4 lies below the current address 0x8\n"},
    {"OrgForwardReference", ".org later\nlater:",
     "t.s:1:6: error: undefined symbol 'later' (this value must be known here: define it above this line)\n"},
    {"DivisionByZero", ".quad 1 / (2 - 2)", "t.s:1:9: error: division by zero in the expression\n"},
    {"MissingParenthesis", ".quad (1 + 2", "t.s:1:13: error: missing ')'\n"},
    {"TrailingTokens", ".quad 1 2", "t.s:1:9: error: unexpected 'constant' in the expression\n"},
    {"UnterminatedString", ".ascii \"abc", "t.s:1:8: error: missing closing \" of the string\n"},
    {"NotAString", ".asciz 5", "t.s:1:8: error: bad operand: expected a string in double quotes\n"},
    {"BadEscape", ".byte '\\q'", "t.s:1:8: error: unknown escape sequence\n"},
    {"BadCharacter", "NOP @", "t.s:1:5: error: unexpected character '@'\n"},
    {"MalformedNumber", ".byte 12ab", "t.s:1:7: error: malformed number '12a'\n"},
    {"AlignNotPowerOfTwo", ".align 3",
     "t.s:1:8: error: value out of range: .align takes a power of two from 1 to 65536\n"},
    {"StatementStartsWithNumber", "5 NOP",
     "t.s:1:1: error: expected an instruction, a directive or a label\n"},
    {"AllErrorsInLineOrder", "FOO\nMOV R1, R99\nLDA R2, missing\nok: NOP\nok: NOP",
     "t.s:1:1: error: unknown instruction 'FOO'\n"
     "t.s:2:9: error: value out of range: register 'R99' (R0..R15)\n"
     "t.s:3:9: error: undefined symbol 'missing'\n"
     "t.s:5:1: error: duplicate symbol 'ok'\n"},
};

class AssemblerErrors : public testing::TestWithParam<TErrorRow> {};

TEST_P(AssemblerErrors, ReportFileLineColumnAndProduceNothing) {
    const TAsmResult result = TAssembler().Assemble(GetParam().Source);
    std::string text;
    for (const TAsmMessage& message : result.Messages)
        if (!message.Warning) text += TAssembler::Format("t.s", message) + "\n";
    EXPECT_EQ(text, GetParam().Messages);
    EXPECT_TRUE(result.HasErrors());
    EXPECT_TRUE(result.Image.empty());
}

INSTANTIATE_TEST_SUITE_P(Sources, AssemblerErrors, testing::ValuesIn(Rows),
                         [](const testing::TestParamInfo<TErrorRow>& info) {
                             return std::string(info.param.Name);
                         });

} // namespace
