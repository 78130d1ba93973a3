#pragma once
// The one definition of every instruction. The single step (TCCPUBase::FetchAndExecute)
// and the run loop both execute instructions through these functions; the run loop keeps
// the instruction pointer, the memory buffer and its size in locals (TExecState) and the
// compiler inlines each definition into its dispatch slot.
//
// Each Exec function applies its instruction's effect and its handler's own advance of the
// instruction pointer; the fetch's advance of 4 is the caller's. A register byte outside
// 0..15 makes an instruction do nothing but that advance (a jump or call is then not taken).
#include <array>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "UInstructionSet.h"
#include "Uccpubase.h"

#define ROZ_INLINE [[gnu::always_inline]] inline

namespace roz {

// The state an instruction works on: the CPU, with IPOffset, the memory buffer and its size
// held apart so that a loop may keep them in registers. Mem and Size stay fixed while
// instructions execute (no instruction re-sizes memory).
struct TExecState {
    TCCPUBase& Cpu;
    int64_t Ip;
    uint8_t* Mem;
    int64_t Size;
};

// One operation per row of the instruction set (RET and IRET share a handler but keep
// their own operation), one per unassigned handler, and OpNone for a top byte that selects
// nothing. The order is the lists' order; the run loop's label table relies on nothing but
// the names.
enum TOp : uint8_t {
    OpNone,
#define ROZ_OP_ROW(Mnemonic, Handler, Group, Sub, Form, Advance, Size) Op##Mnemonic,
    ROZ_INSTRUCTIONS(ROZ_OP_ROW)
#undef ROZ_OP_ROW
#define ROZ_OP_UNASSIGNED(Group, Handler, Advance) Op##Handler,
        ROZ_UNASSIGNED(ROZ_OP_UNASSIGNED)
#undef ROZ_OP_UNASSIGNED
            OpCount
};

// The operation of every top byte (bits 31..24 of a word: group and sub-operation).
constexpr std::array<TOp, 256> OpOfTop = [] {
    std::array<TOp, 256> ops{};
    for (uint32_t top = 0; top < 256; ++top) {
        ops[top] = OpNone;
#define ROZ_DECODE_UNASSIGNED(Group, Handler, Advance)                                                       \
    if ((top >> 4) == (Group)) ops[top] = Op##Handler;
        ROZ_UNASSIGNED(ROZ_DECODE_UNASSIGNED)
#undef ROZ_DECODE_UNASSIGNED
    }
#define ROZ_DECODE_ROW(Mnemonic, Handler, Group, Sub, Form, Advance, Size)                                   \
    ops[(Group) << 4 | (Sub)] = Op##Mnemonic;
    ROZ_INSTRUCTIONS(ROZ_DECODE_ROW)
#undef ROZ_DECODE_ROW
    return ops;
}();

constexpr TOp OpOfTopByte(uint32_t top) {
    return OpOfTop[top & 0xFF];
}

ROZ_INLINE uint32_t FieldA(uint32_t w) {
    return (w >> 16) & 0xFF;
}
ROZ_INLINE uint32_t FieldB(uint32_t w) {
    return (w >> 8) & 0xFF;
}
ROZ_INLINE uint32_t FieldC(uint32_t w) {
    return w & 0xFF;
}
// True when every listed operand byte (mask of 0xFF per byte) names R0..R15.
ROZ_INLINE bool Regs(uint32_t w, uint32_t byteMask) {
    return (w & byteMask & 0x00F0F0F0u) == 0;
}
constexpr uint32_t ByteA = 0xFF0000u, ByteB = 0xFF00u, ByteC = 0xFFu;

ROZ_INLINE uint64_t U(int64_t v) {
    return static_cast<uint64_t>(v);
}
ROZ_INLINE int64_t S(uint64_t v) {
    return static_cast<int64_t>(v);
}

ROZ_INLINE void PushRecord(TExecState& s, int64_t value) {
    TCCPUBase& c = s.Cpu;
    TCCPUMemory::WriteCellAt(s.Mem, s.Size, S(U(c.StackOffsetBegin) + U(c.SP)), {U(value), 0});
    c.SP = S(U(c.SP) + 16);
}
// Returns word 0 of the top record; -1 without a buffer (nothing changes).
ROZ_INLINE int64_t PopRecord(TExecState& s, int64_t& value) {
    TCCPUBase& c = s.Cpu;
    if (!s.Mem) return -1;
    value = S(TCCPUMemory::ReadWordAt(s.Mem, s.Size, S(U(c.StackOffsetBegin) + U(c.SP) - 16)));
    c.SP = S(U(c.SP) - 16);
    return 0;
}

[[noreturn]] void ThrowDivisionByZero();

// ---- group 0 --------------------------------------------------------------------------
ROZ_INLINE void ExecNop(TExecState& s, uint32_t) {
    s.Ip += 4;
}
ROZ_INLINE void ExecMov(TExecState& s, uint32_t w) {
    if (Regs(w, ByteB | ByteC)) s.Cpu.R[FieldB(w)] = s.Cpu.R[FieldC(w)];
    s.Ip += 4;
}
ROZ_INLINE void ExecMcopy(TExecState& s, uint32_t w) {
    if (Regs(w, ByteA | ByteC)) {
        const TCell cell = TCCPUMemory::ReadCellAt(s.Mem, s.Size, s.Cpu.R[FieldC(w)]);
        TCCPUMemory::WriteCellAt(s.Mem, s.Size, s.Cpu.R[FieldA(w)], cell);
    }
    s.Ip += 4;
}
ROZ_INLINE void ExecLoad(TExecState& s, uint32_t w) {
    if (Regs(w, ByteA | ByteC))
        s.Cpu.R[FieldA(w)] = S(TCCPUMemory::ReadWordAt(s.Mem, s.Size, s.Cpu.R[FieldC(w)]));
    s.Ip += 4;
}
ROZ_INLINE void ExecStore(TExecState& s, uint32_t w) {
    if (Regs(w, ByteB | ByteC))
        TCCPUMemory::WriteCellAt(s.Mem, s.Size, s.Cpu.R[FieldB(w)], {U(s.Cpu.R[FieldC(w)]), 0});
    s.Ip += 4;
}
ROZ_INLINE void ExecRdctl(TExecState& s, uint32_t w) {
    const int64_t index = static_cast<int8_t>(FieldC(w));
    if (Regs(w, ByteB)) {
        if (index == TCCPUBase::CtlIPOffset)
            s.Cpu.R[FieldB(w)] = s.Ip;
        else if (const int64_t* reg = s.Cpu.ControlRegister(index))
            s.Cpu.R[FieldB(w)] = *reg;
    }
    s.Ip += 4;
}
ROZ_INLINE void ExecWrctl(TExecState& s, uint32_t w) {
    const int64_t index = static_cast<int8_t>(FieldB(w));
    if (Regs(w, ByteC)) {
        const int64_t value = s.Cpu.R[FieldC(w)];
        if (index == TCCPUBase::CtlIPOffset)
            s.Ip = value;
        else if (int64_t* reg = s.Cpu.ControlRegister(index))
            *reg = value;
    }
    s.Ip = S(U(s.Ip) + 4);
}
#define ROZ_ARITH(Name, expr)                                                                                \
    ROZ_INLINE void Exec##Name(TExecState& s, uint32_t w) {                                                  \
        if (Regs(w, ByteA | ByteB | ByteC)) {                                                                \
            const uint64_t b = U(s.Cpu.R[FieldB(w)]), c = U(s.Cpu.R[FieldC(w)]);                             \
            s.Cpu.R[FieldA(w)] = S(expr);                                                                    \
        }                                                                                                    \
        s.Ip += 4;                                                                                           \
    }
ROZ_ARITH(Add, b + c)
ROZ_ARITH(Sub, b - c)
ROZ_ARITH(Mul, b* c)
ROZ_ARITH(And, b& c)
ROZ_ARITH(Or, b | c)
ROZ_ARITH(Xor, b ^ c)
#undef ROZ_ARITH
ROZ_INLINE void ExecDiv(TExecState& s, uint32_t w) {
    if (Regs(w, ByteA | ByteB | ByteC)) {
        const int64_t b = s.Cpu.R[FieldB(w)], c = s.Cpu.R[FieldC(w)];
        if (c == 0) ThrowDivisionByZero();
        s.Cpu.R[FieldA(w)] = (c == -1) ? S(0 - U(b)) : b / c; // -2^63 / -1 wraps to -2^63
    }
    s.Ip += 4;
}
ROZ_INLINE void ExecOnes(TExecState& s, uint32_t w) {
    if (Regs(w, ByteC)) s.Cpu.R[FieldC(w)] = -1;
    s.Ip += 4;
}
ROZ_INLINE void ExecClr(TExecState& s, uint32_t w) {
    if (Regs(w, ByteC)) s.Cpu.R[FieldC(w)] = 0;
    s.Ip += 4;
}
ROZ_INLINE void ExecInc(TExecState& s, uint32_t w) {
    if (Regs(w, ByteB | ByteC)) s.Cpu.R[FieldB(w)] = S(U(s.Cpu.R[FieldC(w)]) + 1);
    s.Ip += 4;
}
ROZ_INLINE void ExecDec(TExecState& s, uint32_t w) {
    if (Regs(w, ByteB | ByteC)) s.Cpu.R[FieldB(w)] = S(U(s.Cpu.R[FieldC(w)]) - 1);
    s.Ip += 4;
}

// ---- group 1 --------------------------------------------------------------------------
ROZ_INLINE void ExecCmp(TExecState& s, uint32_t w) {
    if (Regs(w, ByteB | ByteC)) {
        const int64_t b = s.Cpu.R[FieldB(w)], c = s.Cpu.R[FieldC(w)];
        s.Cpu.PSW = b > c    ? TCCPUBase::FlagGT
                    : b == c ? (TCCPUBase::FlagLE | TCCPUBase::FlagEQ)
                             : TCCPUBase::FlagLE;
    }
    s.Ip += 4;
}
// A jump to R[C] when taken; otherwise the handler's 4.
ROZ_INLINE void JumpIf(TExecState& s, uint32_t w, bool taken) {
    if (taken && Regs(w, ByteC))
        s.Ip = s.Cpu.R[FieldC(w)];
    else
        s.Ip = S(U(s.Ip) + 4);
}
ROZ_INLINE void ExecJmp(TExecState& s, uint32_t w) {
    JumpIf(s, w, true);
}
ROZ_INLINE void ExecJe(TExecState& s, uint32_t w) {
    JumpIf(s, w, (s.Cpu.PSW & TCCPUBase::FlagEQ) != 0);
}
ROZ_INLINE void ExecJne(TExecState& s, uint32_t w) {
    JumpIf(s, w, (s.Cpu.PSW & TCCPUBase::FlagEQ) == 0);
}
ROZ_INLINE void ExecJle(TExecState& s, uint32_t w) {
    JumpIf(s, w, (s.Cpu.PSW & TCCPUBase::FlagLE) != 0);
}
ROZ_INLINE void ExecJg(TExecState& s, uint32_t w) {
    JumpIf(s, w, (s.Cpu.PSW & TCCPUBase::FlagGT) != 0);
}

// ---- group 2 (AND, OR, XOR above) and group 4 ------------------------------------------
ROZ_INLINE void ExecLnot(TExecState& s, uint32_t w) {
    if (Regs(w, ByteB | ByteC)) s.Cpu.R[FieldB(w)] = s.Cpu.R[FieldC(w)] == 0 ? 1 : 0;
    s.Ip += 4;
}
// The shift count: the low byte of the count register read as a signed 8-bit number;
// 0..63 shift, 64..127 shift everything out, a negative byte shifts by its low five bits.
ROZ_INLINE int ShiftCount(int64_t countRegister) {
    const int n = static_cast<int8_t>(static_cast<uint8_t>(countRegister));
    return n < 0 ? (n & 31) : n;
}
ROZ_INLINE void ExecShl(TExecState& s, uint32_t w) {
    if (Regs(w, ByteA | ByteB | ByteC)) {
        const int n = ShiftCount(s.Cpu.R[FieldC(w)]);
        const uint64_t b = U(s.Cpu.R[FieldB(w)]);
        s.Cpu.R[FieldA(w)] = n >= 64 ? 0 : S(b << n);
    }
    s.Ip += 4;
}
ROZ_INLINE void ExecSar(TExecState& s, uint32_t w) {
    if (Regs(w, ByteA | ByteB | ByteC)) {
        const int n = ShiftCount(s.Cpu.R[FieldC(w)]);
        const int64_t b = s.Cpu.R[FieldB(w)];
        s.Cpu.R[FieldA(w)] = b >> (n >= 64 ? 63 : n);
    }
    s.Ip += 4;
}

// ---- group 3 --------------------------------------------------------------------------
// Pushes PSW, the return address (IPOffset after the handler's advance) and IPSegment.
ROZ_INLINE void CallTo(TExecState& s, int64_t target, int64_t advance) {
    s.Ip = S(U(s.Ip) + U(advance));
    PushRecord(s, s.Cpu.PSW);
    PushRecord(s, s.Ip);
    PushRecord(s, s.Cpu.IPSegment);
    s.Ip = target;
}
ROZ_INLINE void ExecCall(TExecState& s, uint32_t w) {
    if (Regs(w, ByteC))
        CallTo(s, s.Cpu.R[FieldC(w)], 4);
    else
        s.Ip += 4;
}
ROZ_INLINE void ExecInt(TExecState& s, uint32_t w) {
    if (Regs(w, ByteC))
        CallTo(s, S(U(s.Cpu.R[FieldC(w)]) << 6), 4);
    else
        s.Ip += 4;
}
// The operand cell of CALLI and LDI lies at IPOffset + IPOffsetBegin.
ROZ_INLINE int64_t InlineOperand(const TExecState& s) {
    return S(TCCPUMemory::ReadWordAt(s.Mem, s.Size, S(U(s.Ip) + U(s.Cpu.IPOffsetBegin))));
}
ROZ_INLINE void ExecCalli(TExecState& s, uint32_t) {
    CallTo(s, InlineOperand(s), 20);
}
ROZ_INLINE void ExecRet(TExecState& s, uint32_t) {
    int64_t value = 0;
    if (PopRecord(s, value) != 0) return;
    s.Cpu.IPSegment = value;
    PopRecord(s, value);
    s.Ip = value;
    PopRecord(s, value);
    s.Cpu.PSW = value;
}

// ---- group 5 --------------------------------------------------------------------------
ROZ_INLINE void ExecIn(TExecState& s, uint32_t w) {
    if (Regs(w, ByteB | ByteC)) s.Cpu.R[FieldC(w)] = S(s.Cpu.Ports.ReadPort(s.Cpu.R[FieldB(w)]));
}
ROZ_INLINE void ExecOut(TExecState& s, uint32_t w) {
    if (Regs(w, ByteB | ByteC)) s.Cpu.Ports.WritePort(s.Cpu.R[FieldB(w)], U(s.Cpu.R[FieldC(w)]));
}
// Copies count bytes from source to destination, byte by byte in ascending order, passing
// over every byte whose source or destination lies outside memory (plain addresses).
void BlockCopy(uint8_t* mem, int64_t size, int64_t destination, int64_t source, int64_t count);
ROZ_INLINE void ExecBlkcopy(TExecState& s, uint32_t w) {
    if (Regs(w, ByteA | ByteB | ByteC))
        BlockCopy(s.Mem, s.Size, s.Cpu.R[FieldA(w)], s.Cpu.R[FieldB(w)], s.Cpu.R[FieldC(w)]);
}

// ---- group 6 and group 8 --------------------------------------------------------------
ROZ_INLINE int64_t ExecPush(TExecState& s, uint32_t w) {
    s.Ip += 4;
    if (!Regs(w, ByteC)) return 0;
    PushRecord(s, s.Cpu.R[FieldC(w)]);
    return 0;
}
ROZ_INLINE int64_t ExecPop(TExecState& s, uint32_t w) {
    s.Ip += 4;
    if (!Regs(w, ByteC)) return 0;
    int64_t value = 0;
    const int64_t status = PopRecord(s, value);
    if (status == 0) s.Cpu.R[FieldC(w)] = value;
    return status;
}
ROZ_INLINE void ExecStackNone(TExecState& s, uint32_t) {
    s.Ip += 4;
}
ROZ_INLINE void ExecLdi(TExecState& s, uint32_t w) {
    if (Regs(w, ByteA)) s.Cpu.R[FieldA(w)] = InlineOperand(s);
    s.Ip += 20;
}

// The status of a handler that returns one (PUSH, POP), else 0.
template <class TCall> ROZ_INLINE int64_t StatusOf(TCall call) {
    if constexpr (std::is_void_v<decltype(call())>) {
        call();
        return 0;
    } else {
        return call();
    }
}

// Executes one word through its definition; the status of PUSH and POP, else 0.
inline int64_t ExecuteWord(TExecState& s, uint32_t w) {
    switch (OpOfTopByte(w >> 24)) {
    case OpNone:
        return 0;
#define ROZ_CASE(Mnemonic, Handler, Group, Sub, Form, Advance, Size)                                         \
    case Op##Mnemonic:                                                                                       \
        return StatusOf([&] { return Exec##Handler(s, w); });
#define ROZ_CASE_UNASSIGNED(Group, Handler, Advance)                                                         \
    case Op##Handler:                                                                                        \
        return StatusOf([&] { return Exec##Handler(s, w); });
        ROZ_INSTRUCTIONS(ROZ_CASE)
        ROZ_UNASSIGNED(ROZ_CASE_UNASSIGNED)
#undef ROZ_CASE
#undef ROZ_CASE_UNASSIGNED
    case OpCount:
        break;
    }
    return 0;
}

} // namespace roz
