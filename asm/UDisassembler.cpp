#include "UDisassembler.h"

#include <cstdio>

#include "UControlRegisters.h"
#include "UInstructionSet.h"

namespace {

using roz::TOperandForm;

std::string Hex64(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%016llX", static_cast<unsigned long long>(value));
    return text;
}

std::string Reg(uint32_t byte) {
    return "R" + std::to_string(byte);
}

constexpr uint32_t A = 0xFF0000, B = 0xFF00, C = 0xFF;

// The operand bytes a form reads (the others must be 0) and those of them that name general
// registers (they must be 0..15).
struct TFormBytes {
    uint32_t Used, Regs;
};
constexpr TFormBytes BytesOf(TOperandForm form) {
    switch (form) {
    case TOperandForm::None:
    case TOperandForm::TargetCell:
        return {0, 0};
    case TOperandForm::C:
        return {C, C};
    case TOperandForm::BC:
    case TOperandForm::CB:
    case TOperandForm::MemBC:
        return {B | C, B | C};
    case TOperandForm::ABC:
        return {A | B | C, A | B | C};
    case TOperandForm::MemAMemC:
    case TOperandForm::AMemC:
        return {A | C, A | C};
    case TOperandForm::BCtl:
        return {B | C, B};
    case TOperandForm::CtlC:
        return {B | C, C};
    case TOperandForm::RegCell:
    case TOperandForm::RegTarget:
        return {A, A};
    }
    return {0, 0};
}

// The operand text of a word whose bytes fit its form: empty for none, else " " and the
// operands; nullopt when a control register index names none.
std::optional<std::string> Operands(TOperandForm form, uint32_t a, uint32_t b, uint32_t c,
                                    std::optional<uint64_t> cellValue) {
    switch (form) {
    case TOperandForm::None:
        return "";
    case TOperandForm::C:
        return " " + Reg(c);
    case TOperandForm::BC:
        return " " + Reg(b) + ", " + Reg(c);
    case TOperandForm::CB:
        return " " + Reg(c) + ", " + Reg(b);
    case TOperandForm::ABC:
        return " " + Reg(a) + ", " + Reg(b) + ", " + Reg(c);
    case TOperandForm::MemAMemC:
        return " [" + Reg(a) + "], [" + Reg(c) + "]";
    case TOperandForm::AMemC:
        return " " + Reg(a) + ", [" + Reg(c) + "]";
    case TOperandForm::MemBC:
        return " [" + Reg(b) + "], " + Reg(c);
    case TOperandForm::BCtl:
        if (const char* name = roz::ControlRegisterName(c)) return " " + Reg(b) + ", " + name;
        return std::nullopt;
    case TOperandForm::CtlC:
        if (const char* name = roz::ControlRegisterName(b)) return " " + std::string(name) + ", " + Reg(c);
        return std::nullopt;
    case TOperandForm::RegCell:
        return " " + Reg(a) + (cellValue ? ", " + Hex64(*cellValue) : "");
    case TOperandForm::TargetCell:
        // The call lands 4 bytes after the address the cell holds; the operand shows that
        // landing address, as the assembler's CALLI takes it.
        return cellValue ? " " + Hex64(*cellValue + 4) : "";
    case TOperandForm::RegTarget:
        return std::nullopt; // an alias's form: a word is shown through its row
    }
    return std::nullopt;
}

} // namespace

std::string Disassemble(uint32_t word, std::optional<uint64_t> cellValue) {
    char raw[24];
    std::snprintf(raw, sizeof raw, ".word 0x%08X", word);
    const roz::TInstruction* row = roz::InstructionOfWord(word);
    if (!row) return raw;
    const TFormBytes bytes = BytesOf(row->Form);
    const uint32_t operandBytes = word & 0x00FFFFFF;
    if ((operandBytes & ~bytes.Used) != 0 || (operandBytes & bytes.Regs & 0x00F0F0F0) != 0) return raw;
    const auto operands =
        Operands(row->Form, (word >> 16) & 0xFF, (word >> 8) & 0xFF, word & 0xFF, cellValue);
    return operands ? row->Mnemonic + *operands : raw;
}
