#pragma once
// What one instruction reads and writes beside the registers, as data: its memory ranges and
// its port access, and whether it calls or returns. Found from the state before the
// instruction executes, through the same operand sources as its definition (UInstructions.h),
// so the run loop's policies (watches, and whatever else records a run) read one record
// instead of modelling instructions again.
#include <algorithm>
#include <cstdint>

#include "UInstructions.h"

namespace roz {

enum class TPortAccess : uint8_t { None, In, Out };

struct TEffects {
    // Byte ranges [Begin, End), the Writes written ones first, then the ones read (Count in
    // all). Writes are a superset where the cell rule clips a cell at the memory's end (a
    // cell at an index near the end writes fewer bytes); reads are exact: the bytes read as
    // data (LOAD, MCOPY's source, POP and the records RET pops, BLKCOPY's source), not the
    // fetch nor CALLI's and LDI's inline cells.
    uint64_t Begin[3], End[3];
    uint8_t Writes = 0, Count = 0;
    // IN reads port PortNumber into R[PortRegister]; OUT writes R[PortRegister] to it.
    TPortAccess Port = TPortAccess::None;
    uint8_t PortRegister = 0;
    int64_t PortNumber = 0;
    bool Calls = false;   // a call record is pushed and control goes to the target
    bool Returns = false; // RET, IRET

    ROZ_INLINE void Add(uint64_t begin, uint64_t end) {
        Begin[Count] = begin;
        End[Count] = end;
        ++Count;
    }
    // A 16-byte cell written at address (the cell rule: nothing below 0, the low 32 bits).
    ROZ_INLINE void CellWrite(int64_t address) {
        if (address < 0) return;
        const uint64_t index = static_cast<uint32_t>(address);
        Add(index, index + 16);
        ++Writes;
    }
    // An 8-byte word read at address (the word rule: nothing unless all 8 bytes exist).
    ROZ_INLINE void WordRead(int64_t address, int64_t size) {
        if (address < 0) return;
        const uint64_t index = static_cast<uint32_t>(address);
        if (index + 8 <= static_cast<uint64_t>(size)) Add(index, index + 8);
    }
};

// Whether operation op may have any effect of TEffects (the other rows' records are empty).
constexpr bool HasEffects(TOp op) {
    return op == OpSTORE || op == OpMCOPY || op == OpPUSH || op == OpCALL || op == OpINT || op == OpCALLI ||
           op == OpBLKCOPY || op == OpLOAD || op == OpPOP || op == OpRET || op == OpIRET || op == OpIN ||
           op == OpOUT;
}

// The effects of operation Op with operands o in state s, before it executes.
template <TOp Op, class O> ROZ_INLINE TEffects EffectsOf(const TExecState& s, O o) {
    TEffects e;
    const TCCPUBase& c = s.Cpu;
    const int64_t stack = S(U(c.StackOffsetBegin) + U(c.SP));
    if constexpr (Op == OpSTORE) {
        if (o.Regs(ByteB | ByteC)) e.CellWrite(c.R[o.B()]);
    } else if constexpr (Op == OpMCOPY) {
        if (o.Regs(ByteA | ByteC)) {
            e.CellWrite(c.R[o.A()]);
            e.WordRead(c.R[o.C()], s.Size);
            e.WordRead(S(U(c.R[o.C()]) + 8), s.Size);
        }
    } else if constexpr (Op == OpPUSH) {
        if (o.Regs(ByteC)) e.CellWrite(stack);
    } else if constexpr (Op == OpCALL || Op == OpINT || Op == OpCALLI) {
        if (Op == OpCALLI || o.Regs(ByteC)) {
            e.Calls = true;
            for (int k = 0; k < 3; ++k)
                e.CellWrite(S(U(stack) + U(16 * k)));
        }
    } else if constexpr (Op == OpBLKCOPY) {
        if (o.Regs(ByteA | ByteB | ByteC) && s.Mem) {
            // BlockCopy's range of i: 0 <= i < count with both addresses inside memory.
            using Wide = __int128;
            const int64_t to = c.R[o.A()], from = c.R[o.B()], count = c.R[o.C()];
            const Wide first = std::max<Wide>({0, -Wide{from}, -Wide{to}});
            const Wide last = std::min<Wide>({Wide{count}, Wide{s.Size} - from, Wide{s.Size} - to});
            if (first < last) {
                e.Add(static_cast<uint64_t>(to + first), static_cast<uint64_t>(to + last));
                ++e.Writes;
                e.Add(static_cast<uint64_t>(from + first), static_cast<uint64_t>(from + last));
            }
        }
    } else if constexpr (Op == OpLOAD) {
        if (o.Regs(ByteA | ByteC)) e.WordRead(c.R[o.C()], s.Size);
    } else if constexpr (Op == OpPOP) {
        if (o.Regs(ByteC) && s.Mem) e.WordRead(S(U(stack) - 16), s.Size);
    } else if constexpr (Op == OpRET || Op == OpIRET) {
        e.Returns = true;
        if (s.Mem)
            for (int k = 1; k <= 3; ++k)
                e.WordRead(S(U(stack) - U(16 * k)), s.Size);
    } else if constexpr (Op == OpIN || Op == OpOUT) {
        if (o.Regs(ByteB | ByteC)) {
            e.Port = Op == OpIN ? TPortAccess::In : TPortAccess::Out;
            e.PortNumber = c.R[o.B()];
            e.PortRegister = static_cast<uint8_t>(o.C());
        }
    }
    return e;
}

// The effects of the instruction word w at s.Ip (the single step's and the generic path's
// view); an empty record for a word without effects.
inline TEffects EffectsOfWord(const TExecState& s, uint32_t w) {
    const TWordOperands o{w};
    switch (OpOfTopByte(w >> 24)) {
#define ROZ_EFFECTS_CASE(Mnemonic, Handler, Group, Sub, Form, Advance, Size, Flow)                           \
    case Op##Mnemonic:                                                                                       \
        if constexpr (HasEffects(Op##Mnemonic)) return EffectsOf<Op##Mnemonic>(s, o);                        \
        break;
        ROZ_INSTRUCTIONS(ROZ_EFFECTS_CASE)
#undef ROZ_EFFECTS_CASE
    default:
        break;
    }
    return {};
}

} // namespace roz
