#include "UCcEmitter.h"

void TCcEmitter::Op(std::string_view mnemonic, std::string_view operands) {
    std::string line = "        ";
    line += mnemonic;
    if (!operands.empty()) {
        line.append(mnemonic.size() < 6 ? 6 - mnemonic.size() : 1, ' ');
        line += operands;
    }
    Raw(line);
}

void TCcEmitter::Label(std::string_view name) {
    FText += name;
    FText += ":\n";
}

void TCcEmitter::Comment(std::string_view text) {
    FText += "; ";
    FText += text;
    FText += '\n';
}

void TCcEmitter::Raw(std::string_view line) {
    FText += line;
    FText += '\n';
}

std::string TCcEmitter::NewLabel() {
    return ".Ls" + std::to_string(++FLabels);
}

void TCcEmitter::Const(int reg, uint64_t value) {
    if (value == 0)
        Op("CLR", Reg(reg));
    else if (value == UINT64_MAX)
        Op("ONES", Reg(reg));
    else
        Op("LDI", Reg(reg) + ", " + std::to_string(value));
}

void TCcEmitter::Address(int reg, std::string_view symbol, int64_t offset) {
    std::string operand = Reg(reg) + ", " + std::string(symbol);
    if (offset > 0) operand += " + " + std::to_string(offset);
    if (offset < 0) operand += " - " + std::to_string(-static_cast<uint64_t>(offset));
    Op("LDI", operand);
}

void TCcEmitter::FrameAddress(int reg, int64_t offset) {
    if (offset == 0) {
        Op("MOV", Reg(reg) + ", " + Reg(FP));
        return;
    }
    Const(reg, static_cast<uint64_t>(offset));
    Op("ADD", Reg(reg) + ", " + Reg(FP) + ", " + Reg(reg));
}

void TCcEmitter::LoadFrame(int reg, int64_t offset) {
    FrameAddress(Addr, offset);
    Op("LOAD", Reg(reg) + ", [" + Reg(Addr) + "]");
}

void TCcEmitter::StoreFrame(int64_t offset, int reg) {
    FrameAddress(Addr, offset);
    Op("STORE", "[" + Reg(Addr) + "], " + Reg(reg));
}

void TCcEmitter::Jump(std::string_view mnemonic, std::string_view label) {
    Op("LDA", Reg(Addr) + ", " + std::string(label));
    Op(mnemonic, Reg(Addr));
}
