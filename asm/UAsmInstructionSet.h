#pragma once
#include <cstdint>
#include <string_view>

// The instructions the assembler knows: each name with its operand form and its top byte
// (group and sub-operation, bits 31..24 of the word).
class TAsmInstructionSet {
  public:
    // Operand forms, named after the operand bytes in the order they are written
    // (destination first). Mem* are register operands in brackets, Ctl a control register.
    enum TForm {
        None,     // NOP, RET, IRET
        C,        // ONES R1; CLR; JMP..JG; CALL; INT; PUSH; POP
        BC,       // MOV R1, R2; INC; DEC; CMP; LNOT; OUT (port register, value)
        CB,       // IN R2, R1: destination (byte C), port register (byte B)
        ABC,      // ADD R1, R2, R3; SUB..DIV; AND..XOR; SHL; SAR; BLKCOPY
        MemAMemC, // MCOPY [R1], [R2]
        AMemC,    // LOAD R1, [R2]
        MemBC,    // STORE [R1], R2
        BCtl,     // RDCTL R1, SP
        CtlC,     // WRCTL SP, R1
        Ldi,      // LDI R4[, value]: the cell holds the value
        Lda,      // LDA R4, target: LDI whose cell holds target - 4 (a jump lands 4 bytes on)
        Calli     // CALLI [target]: the cell holds target - 4, so the call lands on target
    };

    struct TEntry {
        const char* Name;
        uint8_t TopByte;
        TForm Form;
    };

    // The entry for an upper-case name, or nullptr.
    static const TEntry* Find(std::string_view upperName);

    // Bytes the instruction occupies: 4 for the port and block-copy group (its handler does
    // not advance IPOffset), 24 for LDI, LDA and CALLI (the word, 4 zero bytes and the
    // 16-byte operand cell), 8 for the rest (the word and 4 zero bytes).
    static int Size(const TEntry& entry);

    // The names of the control registers by index 0..10, as RDCTL and WRCTL select them.
    static const char* const ControlNames[11];
    // The index of a control register name (any case), or -1.
    static int ControlIndex(std::string_view name);
};
