#pragma once
// The instruction set: one row per machine instruction. Decode, the single step's and the
// run loop's dispatch (UInstructions.h, run/URunLoop.cpp), the assembler, the disassembler,
// the runner's trace and the tests' encoders are all generated from this list.
//
// An instruction word is little-endian; bits 31..28 are the group, 27..24 the sub-operation
// (together the top byte), 23..16 operand byte A, 15..8 B and 7..0 C.
#include <array>
#include <cstdint>
#include <string_view>

// ROZ_INSTRUCTION(Mnemonic, Handler, Group, Sub, Form, Advance, Size, Flow)
//   Mnemonic  the assembler's and the disassembler's name (upper case)
//   Handler   the handler Exec<Handler> in UInstructions.h; rows may share one
//   Group/Sub the top byte Group << 4 | Sub
//   Form      TOperandForm: which operand bytes mean what
//   Advance   the handler's own advance of IPOffset when control does not pass elsewhere
//             (the fetch adds its 4 after it); Popped: IPOffset comes from the stack
//   Size      the bytes the instruction occupies in an image: the word, then zero bytes (and
//             the inline cell) up to where the next instruction starts, i.e. Advance + 4
//   Flow      TFlow: where control goes after it (the debugger's calls and returns, the run
//             loop's tests after a possible transfer)
// clang-format off
#define ROZ_INSTRUCTIONS(X)                                                                                  \
    X(NOP,     Nop,     0, 0x0, None,       4,      8,  Next)                                                \
    X(MOV,     Mov,     0, 0x1, BC,         4,      8,  Next)                                                \
    X(MCOPY,   Mcopy,   0, 0x2, MemAMemC,   4,      8,  Next)                                                \
    X(LOAD,    Load,    0, 0x3, AMemC,      4,      8,  Next)                                                \
    X(STORE,   Store,   0, 0x4, MemBC,      4,      8,  Next)                                                \
    X(RDCTL,   Rdctl,   0, 0x5, BCtl,       4,      8,  Next)                                                \
    /* WRCTL IPOffset, R: IPOffset := R, then the 4 and the fetch's 4 land on R + 8. */                      \
    X(WRCTL,   Wrctl,   0, 0x6, CtlC,       4,      8,  IpWrite)                                             \
    X(ADD,     Add,     0, 0x8, ABC,        4,      8,  Next)                                                \
    X(SUB,     Sub,     0, 0x9, ABC,        4,      8,  Next)                                                \
    X(MUL,     Mul,     0, 0xA, ABC,        4,      8,  Next)                                                \
    X(DIV,     Div,     0, 0xB, ABC,        4,      8,  Next)                                                \
    X(ONES,    Ones,    0, 0xC, C,          4,      8,  Next)                                                \
    X(CLR,     Clr,     0, 0xD, C,          4,      8,  Next)                                                \
    X(INC,     Inc,     0, 0xE, BC,         4,      8,  Next)                                                \
    X(DEC,     Dec,     0, 0xF, BC,         4,      8,  Next)                                                \
    X(CMP,     Cmp,     1, 0x0, BC,         4,      8,  Next)                                                \
    /* Jumps: 4 when not taken; taken, IPOffset := R[C] and the fetch lands on R[C] + 4. */                  \
    X(JMP,     Jmp,     1, 0x1, C,          4,      8,  Jump)                                                \
    X(JE,      Je,      1, 0x2, C,          4,      8,  Jump)                                                \
    X(JNE,     Jne,     1, 0x3, C,          4,      8,  Jump)                                                \
    X(JLE,     Jle,     1, 0x4, C,          4,      8,  Jump)                                                \
    X(JG,      Jg,      1, 0x5, C,          4,      8,  Jump)                                                \
    X(AND,     And,     2, 0x0, ABC,        4,      8,  Next)                                                \
    X(OR,      Or,      2, 0x1, ABC,        4,      8,  Next)                                                \
    X(XOR,     Xor,     2, 0x2, ABC,        4,      8,  Next)                                                \
    X(LNOT,    Lnot,    2, 0x3, BC,         4,      8,  Next)                                                \
    /* Calls: the 4 gives the return address pushed; then IPOffset := the target. */                         \
    X(CALL,    Call,    3, 0x0, C,          4,      8,  Call)                                                \
    X(RET,     Ret,     3, 0x1, None,       Popped, 8,  Return)                                              \
    X(INT,     Int,     3, 0x2, C,          4,      8,  Call)                                                \
    X(IRET,    Ret,     3, 0x3, None,       Popped, 8,  Return)                                              \
    /* CALLI: the 20 passes the zero bytes and the cell, so the call returns behind them. */                 \
    X(CALLI,   Calli,   3, 0x4, TargetCell, 20,     24, Call)                                                \
    X(SHL,     Shl,     4, 0x2, ABC,        4,      8,  Next)                                                \
    X(SAR,     Sar,     4, 0x3, ABC,        4,      8,  Next)                                                \
    /* Group 5 does not advance: the fetch's 4 alone moves on, so these take 4 bytes. */                     \
    X(IN,      In,      5, 0x0, CB,         0,      4,  Next)                                                \
    X(OUT,     Out,     5, 0x1, BC,         0,      4,  Next)                                                \
    X(BLKCOPY, Blkcopy, 5, 0x2, ABC,        0,      4,  Next)                                                \
    X(PUSH,    Push,    6, 0x0, C,          4,      8,  Next)                                                \
    X(POP,     Pop,     6, 0x1, C,          4,      8,  Next)                                                \
    /* LDI: the 20 passes the zero bytes and the 16-byte cell it reads. */                                   \
    X(LDI,     Ldi,     8, 0x1, RegCell,    20,     24, Next)
// clang-format on

// Top bytes that no row names still reach a handler: ROZ_UNASSIGNED(Group, Handler, Advance).
// Every other unnamed top byte selects nothing and does not advance.
#define ROZ_UNASSIGNED(X) /* group 6 with sub-operation 2..15 still adds the stack group's 4 */              \
    X(6, StackNone, 4)

// The assembler's other names for a row: ROZ_ALIAS(Mnemonic, Row, Form), encoded as the row
// with its own operand form.
#define ROZ_ALIASES(X) X(LDA, LDI, RegTarget)

namespace roz {

// Which operand bytes an instruction reads and how the assembler writes them, destination
// first. Reg: a general register R0..R15; Mem: a register in brackets; Ctl: a control
// register's index. The bytes a form does not read are 0 in an assembled word.
enum class TOperandForm : uint8_t {
    None,       // NOP, RET
    C,          // ONES R1: byte C
    BC,         // MOV R1, R2: B, C (OUT: port register, value)
    CB,         // IN R2, R1: destination C, port register B
    ABC,        // ADD R1, R2, R3
    MemAMemC,   // MCOPY [R1], [R2]
    AMemC,      // LOAD R1, [R2]
    MemBC,      // STORE [R1], R2
    BCtl,       // RDCTL R1, SP: register B, control index C
    CtlC,       // WRCTL SP, R1: control index B, register C
    RegCell,    // LDI R4[, value]: register A; the inline cell holds the value
    TargetCell, // CALLI [target]: the inline cell holds target - 4, where the call lands
    RegTarget   // LDA R4, target (an alias of LDI): the cell holds target - 4
};

// Where control goes after an instruction.
enum class TFlow : uint8_t {
    Next,   // behind itself (Size bytes on)
    Jump,   // JMP and the conditional jumps: to R[C] when taken, else behind itself
    Call,   // CALL, INT, CALLI: pushes a call record, then goes to its target
    Return, // RET, IRET: IPOffset from the call record it pops
    IpWrite // WRCTL: may write IPOffset
};

// The handler's advance of a row whose IPOffset is always taken from the stack (RET, IRET).
constexpr int Popped = -1;

// The inline operand cell of RegCell, TargetCell and RegTarget: a 16-byte cell whose word 0
// is read at IPOffset + IPOffsetBegin (8 bytes on from the word in an assembled image).
constexpr int InlineCellOffset = 8;

struct TInstruction {
    const char* Mnemonic;
    uint8_t TopByte;
    TOperandForm Form;
    int8_t Advance;
    uint8_t Size;
    TFlow Flow;
};

// The rows by their order in ROZ_INSTRUCTIONS.
enum class TInstr : uint8_t {
#define ROZ_ROW_ID(Mnemonic, Handler, Group, Sub, Form, Advance, Size, Flow) Mnemonic,
    ROZ_INSTRUCTIONS(ROZ_ROW_ID)
#undef ROZ_ROW_ID
};

constexpr TInstruction Instructions[] = {
#define ROZ_ROW(Mnemonic, Handler, Group, Sub, Form, Advance, Size, Flow)                                    \
    {#Mnemonic, (Group) << 4 | (Sub), TOperandForm::Form, Advance, Size, TFlow::Flow},
    ROZ_INSTRUCTIONS(ROZ_ROW)
#undef ROZ_ROW
};
constexpr int InstructionCount = static_cast<int>(std::size(Instructions));

constexpr const TInstruction& InstructionOf(TInstr row) {
    return Instructions[static_cast<size_t>(row)];
}
constexpr uint8_t TopByteOf(TInstr row) {
    return InstructionOf(row).TopByte;
}

struct TAlias {
    const char* Mnemonic;
    TInstr Row;
    TOperandForm Form;
};
constexpr TAlias Aliases[] = {
#define ROZ_ALIAS_ROW(Mnemonic, Row, Form) {#Mnemonic, TInstr::Row, TOperandForm::Form},
    ROZ_ALIASES(ROZ_ALIAS_ROW)
#undef ROZ_ALIAS_ROW
};

// The row of each top byte, or nullptr for a top byte that no row names.
constexpr std::array<const TInstruction*, 256> InstructionOfTopByte = [] {
    std::array<const TInstruction*, 256> rows{};
    for (const TInstruction& row : Instructions)
        rows[row.TopByte] = &row;
    return rows;
}();

constexpr const TInstruction* InstructionOfWord(uint32_t word) {
    return InstructionOfTopByte[word >> 24];
}

// True when the instruction with this top byte reads an inline operand cell.
constexpr bool HasInlineCell(uint32_t topByte) {
    const TInstruction* row = InstructionOfTopByte[topByte & 0xFF];
    return row && (row->Form == TOperandForm::RegCell || row->Form == TOperandForm::TargetCell);
}

// The handler's advance for a top byte that no row names.
constexpr int UnassignedAdvance(uint32_t topByte) {
#define ROZ_UNASSIGNED_ADVANCE(Group, Handler, Advance)                                                      \
    if ((topByte >> 4) == (Group)) return Advance;
    ROZ_UNASSIGNED(ROZ_UNASSIGNED_ADVANCE)
#undef ROZ_UNASSIGNED_ADVANCE
    return 0;
}

// The bytes the instruction with this word occupies, from its word to where the next one
// starts: the row's size, or for a top byte that no row names, its handler's advance and the
// fetch's 4 (4 for a top byte that selects nothing).
constexpr uint64_t SizeOfWord(uint32_t word) {
    if (const TInstruction* row = InstructionOfWord(word)) return row->Size;
    return static_cast<uint64_t>(UnassignedAdvance(word >> 24)) + 4;
}

// Where control goes after the instruction with this word (Next for a top byte no row names).
constexpr TFlow FlowOfWord(uint32_t word) {
    const TInstruction* row = InstructionOfWord(word);
    return row ? row->Flow : TFlow::Next;
}
constexpr bool IsCallWord(uint32_t word) {
    return FlowOfWord(word) == TFlow::Call;
}
constexpr bool IsReturnWord(uint32_t word) {
    return FlowOfWord(word) == TFlow::Return;
}

// The sizes of the call rows, ascending, each once (0 past the last): where a call whose
// return address is known may start.
constexpr std::array<uint64_t, 4> CallSizes = [] {
    std::array<uint64_t, 4> sizes{};
    size_t count = 0;
    for (const TInstruction& row : Instructions) {
        if (row.Flow != TFlow::Call) continue;
        size_t at = 0;
        while (at < count && sizes[at] < row.Size)
            ++at;
        if (at < count && sizes[at] == row.Size) continue;
        for (size_t k = count++; k > at; --k)
            sizes[k] = sizes[k - 1];
        sizes[at] = row.Size;
    }
    return sizes;
}();

// An instruction word: the top byte and the operand bytes A, B and C (each taken mod 256).
constexpr uint32_t Encode(TInstr row, uint32_t a = 0, uint32_t b = 0, uint32_t c = 0) {
    return uint32_t{TopByteOf(row)} << 24 | (a & 0xFF) << 16 | (b & 0xFF) << 8 | (c & 0xFF);
}

namespace table_checks {

constexpr bool UniqueEncodings() {
    bool seen[256] = {};
    for (const TInstruction& row : Instructions) {
        if (seen[row.TopByte]) return false;
        seen[row.TopByte] = true;
    }
    return true;
}
constexpr bool FieldsInRange() {
#define ROZ_CHECK_ROW(Mnemonic, Handler, Group, Sub, Form, Advance, Size, Flow)                              \
    if ((Group) < 0 || (Group) > 15 || (Sub) < 0 || (Sub) > 15) return false;
    ROZ_INSTRUCTIONS(ROZ_CHECK_ROW)
#undef ROZ_CHECK_ROW
    return true;
}
constexpr bool SizesMatchAdvances() {
    for (const TInstruction& row : Instructions) {
        const bool cell = row.Form == TOperandForm::RegCell || row.Form == TOperandForm::TargetCell;
        if (row.Advance != Popped && row.Size != row.Advance + 4) return false;
        if (row.Size % 4 != 0 || row.Size < 4) return false;
        if (cell && row.Size != InlineCellOffset + 16) return false;
    }
    return true;
}
constexpr bool UniqueMnemonics() {
    for (const TInstruction& row : Instructions)
        for (const TAlias& alias : Aliases)
            if (std::string_view(row.Mnemonic) == alias.Mnemonic) return false;
    for (int i = 0; i < InstructionCount; ++i)
        for (int k = i + 1; k < InstructionCount; ++k)
            if (std::string_view(Instructions[i].Mnemonic) == Instructions[k].Mnemonic) return false;
    return true;
}
// A row that may not go on behind itself must say so: the run loop tests the control word
// only after these.
constexpr bool FlowsMatchAdvances() {
    for (const TInstruction& row : Instructions)
        if (row.Advance == Popped && row.Flow != TFlow::Return) return false;
    return true;
}
constexpr bool UnassignedInRange() {
#define ROZ_CHECK_UNASSIGNED(Group, Handler, Advance)                                                        \
    if ((Group) < 0 || (Group) > 15 || (Advance) < 0) return false;
    ROZ_UNASSIGNED(ROZ_CHECK_UNASSIGNED)
#undef ROZ_CHECK_UNASSIGNED
    return true;
}

} // namespace table_checks

static_assert(table_checks::UniqueEncodings(), "two rows share a top byte");
static_assert(table_checks::FieldsInRange(), "a group or sub-operation outside 0..15");
static_assert(table_checks::SizesMatchAdvances(), "a row's size is not its advance + 4");
static_assert(table_checks::UniqueMnemonics(), "two rows or aliases share a mnemonic");
static_assert(table_checks::UnassignedInRange(), "a bad unassigned group");
static_assert(table_checks::FlowsMatchAdvances(), "a row that pops IPOffset is not a return");

} // namespace roz
