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

// Memory that a run loop has decoded ahead: one 8-byte entry per byte address below End,
// an all-zero entry meaning "not decoded". An entry depends on the bytes from its address up
// to Reach - 1 bytes on, so every store into memory below End + Reach clears the entries it
// may overlap (NoteWrite below): a stored word executes when fetched next. The single step
// leaves Limit at 0, which no address is below, so it pays one not-taken compare per store.
//
// A watchpoint variant of a loop hooks in the same place: it raises Limit to cover the
// watched range too and tests the range in DropDecoded, so stores outside both cost
// nothing more than today's compare.
struct TCodeWatch {
    static constexpr uint64_t Reach = 4; // the instruction word; a decoder that reads more raises it
    uint64_t Limit = 0;                  // End + Reach, or 0 when nothing is decoded
    uint64_t End = 0;
    void* Words = nullptr;
};

// Clears the entries of the addresses that a write of length bytes at index may change.
// Taken by value and kept out of line, so that the loop's state never escapes to it.
[[gnu::noinline, gnu::cold]] inline void DropDecoded(TCodeWatch watch, uint64_t index, uint64_t length) {
    const uint64_t first = index >= TCodeWatch::Reach - 1 ? index - (TCodeWatch::Reach - 1) : 0;
    const uint64_t last = index < watch.End && length < watch.End - index ? index + length : watch.End;
    if (first < last) std::memset(static_cast<char*>(watch.Words) + first * 8, 0, (last - first) * 8);
}

// The state an instruction works on: the CPU, with IPOffset, the memory buffer and its size
// held apart so that a loop may keep them in registers. Mem and Size stay fixed while
// instructions execute (no instruction re-sizes memory).
struct TExecState {
    TCCPUBase& Cpu;
    int64_t Ip;
    uint8_t* Mem;
    int64_t Size;
    TCodeWatch Watch = {};
};

// A cell write at address (the cell rule: the low 32 bits select the byte, negative writes
// nothing) has been made or is about to be: keep decoded code exact.
ROZ_INLINE void NoteWrite(const TExecState& s, int64_t address, uint64_t length) {
    const uint64_t index = static_cast<uint32_t>(address);
    if (address >= 0 && index < s.Watch.Limit) [[unlikely]]
        DropDecoded(s.Watch, index, length);
}

// One operation per row of the instruction set (RET and IRET share a handler but keep
// their own operation), one per unassigned handler, and OpNone for a top byte that selects
// nothing. The order is the lists' order; the run loop's label table relies on nothing but
// the names.
enum TOp : uint8_t {
    OpNone,
#define ROZ_OP_ROW(Mnemonic, Handler, Group, Sub, Form, Advance, Size, Flow) Op##Mnemonic,
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
#define ROZ_DECODE_ROW(Mnemonic, Handler, Group, Sub, Form, Advance, Size, Flow)                             \
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

// The operand bytes every Exec function reads, through A(), B(), C() and Regs(mask) (true
// when every byte in mask names R0..R15), and Target(address), through which every jump,
// call and return passes the address it sets IPOffset to: it returns that same value (a
// source may return it from a register of its own that holds the same number, so that the
// host's next address does not wait for the loads that computed it). Two sources implement
// them:
//
// TWordOperands: straight from the instruction word (the single step, and any word the
// run loop has not decoded).
struct TWordOperands {
    uint32_t W;
    ROZ_INLINE uint32_t A() const { return FieldA(W); }
    ROZ_INLINE uint32_t B() const { return FieldB(W); }
    ROZ_INLINE uint32_t C() const { return FieldC(W); }
    ROZ_INLINE bool Regs(uint32_t mask) const { return roz::Regs(W, mask); }
    ROZ_INLINE int64_t Target(int64_t address) const { return address; }
};

// TDecodedOperands: bytes that the run loop's decoder took from the word, where Valid lists
// the bytes it has already found to name registers (the decoder sends a word that fails them
// to the word form instead). Regs folds to true for those and still tests any other, so an
// Exec function is exact through either source.
template <uint32_t Valid> struct TDecodedOperands {
    uint8_t BytesA, BytesB, BytesC;
    ROZ_INLINE uint32_t A() const { return BytesA; }
    ROZ_INLINE uint32_t B() const { return BytesB; }
    ROZ_INLINE uint32_t C() const { return BytesC; }
    ROZ_INLINE bool Regs(uint32_t mask) const {
        if ((mask & ~Valid) == 0) return true;
        return roz::Regs(uint32_t{BytesA} << 16 | uint32_t{BytesB} << 8 | BytesC, mask);
    }
    ROZ_INLINE int64_t Target(int64_t address) const { return address; }
};

ROZ_INLINE uint64_t U(int64_t v) {
    return static_cast<uint64_t>(v);
}
ROZ_INLINE int64_t S(uint64_t v) {
    return static_cast<int64_t>(v);
}

ROZ_INLINE void PushRecord(TExecState& s, int64_t value) {
    TCCPUBase& c = s.Cpu;
    const int64_t address = S(U(c.StackOffsetBegin) + U(c.SP));
    TCCPUMemory::WriteCellAt(s.Mem, s.Size, address, {U(value), 0});
    NoteWrite(s, address, 16);
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
template <class O> ROZ_INLINE void ExecNop(TExecState& s, O) {
    s.Ip += 4;
}
template <class O> ROZ_INLINE void ExecMov(TExecState& s, O o) {
    if (o.Regs(ByteB | ByteC)) s.Cpu.R[o.B()] = s.Cpu.R[o.C()];
    s.Ip += 4;
}
template <class O> ROZ_INLINE void ExecMcopy(TExecState& s, O o) {
    if (o.Regs(ByteA | ByteC)) {
        const TCell cell = TCCPUMemory::ReadCellAt(s.Mem, s.Size, s.Cpu.R[o.C()]);
        TCCPUMemory::WriteCellAt(s.Mem, s.Size, s.Cpu.R[o.A()], cell);
        NoteWrite(s, s.Cpu.R[o.A()], 16);
    }
    s.Ip += 4;
}
template <class O> ROZ_INLINE void ExecLoad(TExecState& s, O o) {
    if (o.Regs(ByteA | ByteC)) s.Cpu.R[o.A()] = S(TCCPUMemory::ReadWordAt(s.Mem, s.Size, s.Cpu.R[o.C()]));
    s.Ip += 4;
}
template <class O> ROZ_INLINE void ExecStore(TExecState& s, O o) {
    if (o.Regs(ByteB | ByteC)) {
        const int64_t address = s.Cpu.R[o.B()];
        TCCPUMemory::WriteCellAt(s.Mem, s.Size, address, {U(s.Cpu.R[o.C()]), 0});
        NoteWrite(s, address, 16);
    }
    s.Ip += 4;
}
template <class O> ROZ_INLINE void ExecRdctl(TExecState& s, O o) {
    const int64_t index = static_cast<int8_t>(o.C());
    if (o.Regs(ByteB)) {
        if (index == TCCPUBase::CtlIPOffset)
            s.Cpu.R[o.B()] = s.Ip;
        else if (const int64_t* reg = s.Cpu.ControlRegister(index))
            s.Cpu.R[o.B()] = *reg;
    }
    s.Ip += 4;
}
template <class O> ROZ_INLINE void ExecWrctl(TExecState& s, O o) {
    const int64_t index = static_cast<int8_t>(o.B());
    if (o.Regs(ByteC)) {
        const int64_t value = s.Cpu.R[o.C()];
        if (index == TCCPUBase::CtlIPOffset)
            s.Ip = value;
        else if (int64_t* reg = s.Cpu.ControlRegister(index))
            *reg = value;
    }
    s.Ip = S(U(s.Ip) + 4);
}
#define ROZ_ARITH(Name, expr)                                                                                \
    template <class O> ROZ_INLINE void Exec##Name(TExecState& s, O o) {                                      \
        if (o.Regs(ByteA | ByteB | ByteC)) {                                                                 \
            const uint64_t b = U(s.Cpu.R[o.B()]), c = U(s.Cpu.R[o.C()]);                                     \
            s.Cpu.R[o.A()] = S(expr);                                                                        \
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
template <class O> ROZ_INLINE void ExecDiv(TExecState& s, O o) {
    if (o.Regs(ByteA | ByteB | ByteC)) {
        const int64_t b = s.Cpu.R[o.B()], c = s.Cpu.R[o.C()];
        if (c == 0) ThrowDivisionByZero();
        s.Cpu.R[o.A()] = (c == -1) ? S(0 - U(b)) : b / c; // -2^63 / -1 wraps to -2^63
    }
    s.Ip += 4;
}
template <class O> ROZ_INLINE void ExecOnes(TExecState& s, O o) {
    if (o.Regs(ByteC)) s.Cpu.R[o.C()] = -1;
    s.Ip += 4;
}
template <class O> ROZ_INLINE void ExecClr(TExecState& s, O o) {
    if (o.Regs(ByteC)) s.Cpu.R[o.C()] = 0;
    s.Ip += 4;
}
template <class O> ROZ_INLINE void ExecInc(TExecState& s, O o) {
    if (o.Regs(ByteB | ByteC)) s.Cpu.R[o.B()] = S(U(s.Cpu.R[o.C()]) + 1);
    s.Ip += 4;
}
template <class O> ROZ_INLINE void ExecDec(TExecState& s, O o) {
    if (o.Regs(ByteB | ByteC)) s.Cpu.R[o.B()] = S(U(s.Cpu.R[o.C()]) - 1);
    s.Ip += 4;
}

// ---- group 1 --------------------------------------------------------------------------
template <class O> ROZ_INLINE void ExecCmp(TExecState& s, O o) {
    if (o.Regs(ByteB | ByteC)) {
        const int64_t b = s.Cpu.R[o.B()], c = s.Cpu.R[o.C()];
        s.Cpu.PSW = b > c    ? TCCPUBase::FlagGT
                    : b == c ? (TCCPUBase::FlagLE | TCCPUBase::FlagEQ)
                             : TCCPUBase::FlagLE;
    }
    s.Ip += 4;
}
// A jump to R[C] when taken; otherwise the handler's 4.
template <class O> ROZ_INLINE void JumpIf(TExecState& s, O o, bool taken) {
    if (taken && o.Regs(ByteC))
        s.Ip = o.Target(s.Cpu.R[o.C()]);
    else
        s.Ip = S(U(s.Ip) + 4);
}
template <class O> ROZ_INLINE void ExecJmp(TExecState& s, O o) {
    JumpIf(s, o, true);
}
template <class O> ROZ_INLINE void ExecJe(TExecState& s, O o) {
    JumpIf(s, o, (s.Cpu.PSW & TCCPUBase::FlagEQ) != 0);
}
template <class O> ROZ_INLINE void ExecJne(TExecState& s, O o) {
    JumpIf(s, o, (s.Cpu.PSW & TCCPUBase::FlagEQ) == 0);
}
template <class O> ROZ_INLINE void ExecJle(TExecState& s, O o) {
    JumpIf(s, o, (s.Cpu.PSW & TCCPUBase::FlagLE) != 0);
}
template <class O> ROZ_INLINE void ExecJg(TExecState& s, O o) {
    JumpIf(s, o, (s.Cpu.PSW & TCCPUBase::FlagGT) != 0);
}

// ---- group 2 (AND, OR, XOR above) and group 4 ------------------------------------------
template <class O> ROZ_INLINE void ExecLnot(TExecState& s, O o) {
    if (o.Regs(ByteB | ByteC)) s.Cpu.R[o.B()] = s.Cpu.R[o.C()] == 0 ? 1 : 0;
    s.Ip += 4;
}
// The shift count: the low byte of the count register read as a signed 8-bit number;
// 0..63 shift, 64..127 shift everything out, a negative byte shifts by its low five bits.
ROZ_INLINE int ShiftCount(int64_t countRegister) {
    const int n = static_cast<int8_t>(static_cast<uint8_t>(countRegister));
    return n < 0 ? (n & 31) : n;
}
template <class O> ROZ_INLINE void ExecShl(TExecState& s, O o) {
    if (o.Regs(ByteA | ByteB | ByteC)) {
        const int n = ShiftCount(s.Cpu.R[o.C()]);
        const uint64_t b = U(s.Cpu.R[o.B()]);
        s.Cpu.R[o.A()] = n >= 64 ? 0 : S(b << n);
    }
    s.Ip += 4;
}
template <class O> ROZ_INLINE void ExecSar(TExecState& s, O o) {
    if (o.Regs(ByteA | ByteB | ByteC)) {
        const int n = ShiftCount(s.Cpu.R[o.C()]);
        const int64_t b = s.Cpu.R[o.B()];
        s.Cpu.R[o.A()] = b >> (n >= 64 ? 63 : n);
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
template <class O> ROZ_INLINE void ExecCall(TExecState& s, O o) {
    if (o.Regs(ByteC))
        CallTo(s, o.Target(s.Cpu.R[o.C()]), 4);
    else
        s.Ip += 4;
}
template <class O> ROZ_INLINE void ExecInt(TExecState& s, O o) {
    if (o.Regs(ByteC))
        CallTo(s, o.Target(S(U(s.Cpu.R[o.C()]) << 6)), 4);
    else
        s.Ip += 4;
}
// The operand cell of CALLI and LDI lies at IPOffset + IPOffsetBegin.
ROZ_INLINE int64_t InlineOperand(const TExecState& s) {
    return S(TCCPUMemory::ReadWordAt(s.Mem, s.Size, S(U(s.Ip) + U(s.Cpu.IPOffsetBegin))));
}
template <class O> ROZ_INLINE void ExecCalli(TExecState& s, O o) {
    CallTo(s, o.Target(InlineOperand(s)), 20);
}
template <class O> ROZ_INLINE void ExecRet(TExecState& s, O o) {
    int64_t value = 0;
    if (PopRecord(s, value) != 0) return;
    s.Cpu.IPSegment = value;
    PopRecord(s, value);
    s.Ip = o.Target(value);
    PopRecord(s, value);
    s.Cpu.PSW = value;
}

// ---- group 5 --------------------------------------------------------------------------
template <class O> ROZ_INLINE void ExecIn(TExecState& s, O o) {
    if (o.Regs(ByteB | ByteC)) s.Cpu.R[o.C()] = S(s.Cpu.Ports.ReadPort(s.Cpu.R[o.B()]));
}
template <class O> ROZ_INLINE void ExecOut(TExecState& s, O o) {
    if (o.Regs(ByteB | ByteC)) s.Cpu.Ports.WritePort(s.Cpu.R[o.B()], U(s.Cpu.R[o.C()]));
}
// Copies count bytes from source to destination, byte by byte in ascending order, passing
// over every byte whose source or destination lies outside memory (plain addresses).
void BlockCopy(uint8_t* mem, int64_t size, int64_t destination, int64_t source, int64_t count);
template <class O> ROZ_INLINE void ExecBlkcopy(TExecState& s, O o) {
    if (o.Regs(ByteA | ByteB | ByteC)) {
        const int64_t destination = s.Cpu.R[o.A()], count = s.Cpu.R[o.C()];
        BlockCopy(s.Mem, s.Size, destination, s.Cpu.R[o.B()], count);
        // Plain addresses here: the bytes written lie in [max(destination, 0), destination + count).
        if (count > 0 && destination < S(s.Watch.Limit) && destination > -count) [[unlikely]]
            DropDecoded(s.Watch, U(destination < 0 ? 0 : destination),
                        U(destination < 0 ? count + destination : count));
    }
}

// ---- group 6 and group 8 --------------------------------------------------------------
template <class O> ROZ_INLINE int64_t ExecPush(TExecState& s, O o) {
    s.Ip += 4;
    if (!o.Regs(ByteC)) return 0;
    PushRecord(s, s.Cpu.R[o.C()]);
    return 0;
}
template <class O> ROZ_INLINE int64_t ExecPop(TExecState& s, O o) {
    s.Ip += 4;
    if (!o.Regs(ByteC)) return 0;
    int64_t value = 0;
    const int64_t status = PopRecord(s, value);
    if (status == 0) s.Cpu.R[o.C()] = value;
    return status;
}
template <class O> ROZ_INLINE void ExecStackNone(TExecState& s, O) {
    s.Ip += 4;
}
template <class O> ROZ_INLINE void ExecLdi(TExecState& s, O o) {
    if (o.Regs(ByteA)) s.Cpu.R[o.A()] = InlineOperand(s);
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
    const TWordOperands o{w};
    switch (OpOfTopByte(w >> 24)) {
    case OpNone:
        return 0;
#define ROZ_CASE(Mnemonic, Handler, Group, Sub, Form, Advance, Size, Flow)                                   \
    case Op##Mnemonic:                                                                                       \
        return StatusOf([&] { return Exec##Handler(s, o); });
#define ROZ_CASE_UNASSIGNED(Group, Handler, Advance)                                                         \
    case Op##Handler:                                                                                        \
        return StatusOf([&] { return Exec##Handler(s, o); });
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
