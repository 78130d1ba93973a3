#include "UDisassembler.h"

#include <cstdio>

namespace {

const char* const ControlNames[11] = {"DataOffset",       "DataSegment",    "IPOffset", "IPOffsetBegin",
                                      "IPSegment",        "IPSegmentBegin", "PSW",      "SP",
                                      "StackOffsetBegin", "StackSegment",   "Version"};

std::string Hex32(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

std::string Hex64(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%016llX", static_cast<unsigned long long>(value));
    return text;
}

std::string Reg(uint32_t byte) {
    return "R" + std::to_string(byte);
}

} // namespace

std::string Disassemble(uint32_t word, std::optional<uint64_t> cellValue) {
    const uint32_t g = word >> 28, s = (word >> 24) & 15;
    const uint32_t a = (word >> 16) & 0xFF, b = (word >> 8) & 0xFF, c = word & 0xFF;
    const std::string raw = ".word " + Hex32(word);

    // used: the operand bytes the instruction reads (others must be 0); regs: those that
    // name general registers (must be 0..15).
    auto form = [&](uint32_t used, uint32_t regs) {
        const uint32_t bytes = word & 0x00FFFFFF;
        if (bytes & ~used) return false;
        return (bytes & regs & 0x00F0F0F0) == 0;
    };
    constexpr uint32_t A = 0xFF0000, B = 0xFF00, C = 0xFF;
    auto ctl = [](uint32_t byte) -> const char* { return byte <= 10 ? ControlNames[byte] : nullptr; };

    switch (g) {
    case 0: {
        static const char* const names[16] = {"NOP",   "MOV",   "MCOPY", "LOAD", "STORE", "RDCTL",
                                              "WRCTL", nullptr, "ADD",   "SUB",  "MUL",   "DIV",
                                              "ONES",  "CLR",   "INC",   "DEC"};
        const std::string name = names[s] ? names[s] : "";
        switch (s) {
        case 0:
            return form(0, 0) ? name : raw;
        case 1:
        case 14:
        case 15:
            return form(B | C, B | C) ? name + " " + Reg(b) + ", " + Reg(c) : raw;
        case 2:
            return form(A | C, A | C) ? name + " [" + Reg(a) + "], [" + Reg(c) + "]" : raw;
        case 3:
            return form(A | C, A | C) ? name + " " + Reg(a) + ", [" + Reg(c) + "]" : raw;
        case 4:
            return form(B | C, B | C) ? name + " [" + Reg(b) + "], " + Reg(c) : raw;
        case 5:
            return form(B | C, B) && ctl(c) ? name + " " + Reg(b) + ", " + ctl(c) : raw;
        case 6:
            return form(B | C, C) && ctl(b) ? name + " " + ctl(b) + ", " + Reg(c) : raw;
        case 7:
            return raw;
        case 12:
        case 13:
            return form(C, C) ? name + " " + Reg(c) : raw;
        default:
            return form(A | B | C, A | B | C) ? name + " " + Reg(a) + ", " + Reg(b) + ", " + Reg(c) : raw;
        }
    }
    case 1: {
        static const char* const names[6] = {"CMP", "JMP", "JE", "JNE", "JLE", "JG"};
        if (s == 0) return form(B | C, B | C) ? std::string("CMP ") + Reg(b) + ", " + Reg(c) : raw;
        if (s <= 5) return form(C, C) ? std::string(names[s]) + " " + Reg(c) : raw;
        return raw;
    }
    case 2: {
        static const char* const names[3] = {"AND", "OR", "XOR"};
        if (s <= 2)
            return form(A | B | C, A | B | C)
                       ? std::string(names[s]) + " " + Reg(a) + ", " + Reg(b) + ", " + Reg(c)
                       : raw;
        if (s == 3) return form(B | C, B | C) ? "LNOT " + Reg(b) + ", " + Reg(c) : raw;
        return raw;
    }
    case 3:
        switch (s) {
        case 0:
            return form(C, C) ? "CALL " + Reg(c) : raw;
        case 1:
            return form(0, 0) ? "RET" : raw;
        case 2:
            return form(C, C) ? "INT " + Reg(c) : raw;
        case 3:
            return form(0, 0) ? "IRET" : raw;
        case 4:
            if (!form(0, 0)) return raw;
            // The call lands 4 bytes after the address the cell holds; the operand shows
            // that landing address, as the assembler's CALLI takes it.
            return cellValue ? "CALLI " + Hex64(*cellValue + 4) : "CALLI";
        default:
            return raw;
        }
    case 4:
        if (s == 2 || s == 3)
            return form(A | B | C, A | B | C)
                       ? std::string(s == 2 ? "SHL " : "SAR ") + Reg(a) + ", " + Reg(b) + ", " + Reg(c)
                       : raw;
        return raw;
    case 5:
        switch (s) {
        case 0:
            return form(B | C, B | C) ? "IN " + Reg(c) + ", " + Reg(b) : raw;
        case 1:
            return form(B | C, B | C) ? "OUT " + Reg(b) + ", " + Reg(c) : raw;
        case 2:
            return form(A | B | C, A | B | C) ? "BLKCOPY " + Reg(a) + ", " + Reg(b) + ", " + Reg(c) : raw;
        default:
            return raw;
        }
    case 6:
        if (s <= 1) return form(C, C) ? std::string(s == 0 ? "PUSH " : "POP ") + Reg(c) : raw;
        return raw;
    case 8:
        if (s != 1 || !form(A, A)) return raw;
        return cellValue ? "LDI " + Reg(a) + ", " + Hex64(*cellValue) : "LDI " + Reg(a);
    default:
        return raw;
    }
}
