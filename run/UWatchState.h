#pragma once
#include <algorithm>
#include <cstdint>
#include <vector>

#include "UDebugChecks.h"
#include "UInstructions.h"

// The memory and port accesses of one instruction, found from the state before it executes:
// the byte ranges it may write (a superset: the cell rule's clipping at the memory's end is
// left to the compare of values), the byte ranges it reads (exact), and a watched port.
struct TAccess {
    uint64_t Begin[3], End[3]; // [Begin, End) of the ranges, writes first
    uint8_t Writes = 0, Count = 0;
    int8_t Port = -1;    // 0: an IN from port 0, 1: an OUT to port 1
    uint8_t PortReg = 0; // the register IN reads into / OUT writes from
    bool Returns = false;

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

// The accesses of operation Op with operands o in state s (before it executes).
template <roz::TOp Op, class O> ROZ_INLINE TAccess AccessOf(const roz::TExecState& s, O o) {
    using namespace roz;
    TAccess a;
    const TCCPUBase& c = s.Cpu;
    const int64_t stack = S(U(c.StackOffsetBegin) + U(c.SP));
    if constexpr (Op == OpSTORE) {
        if (o.Regs(ByteB | ByteC)) a.CellWrite(c.R[o.B()]);
    } else if constexpr (Op == OpMCOPY) {
        if (o.Regs(ByteA | ByteC)) {
            a.CellWrite(c.R[o.A()]);
            a.WordRead(c.R[o.C()], s.Size);
            a.WordRead(S(U(c.R[o.C()]) + 8), s.Size);
        }
    } else if constexpr (Op == OpPUSH) {
        if (o.Regs(ByteC)) a.CellWrite(stack);
    } else if constexpr (Op == OpCALL || Op == OpINT || Op == OpCALLI) {
        if (Op == OpCALLI || o.Regs(ByteC))
            for (int k = 0; k < 3; ++k)
                a.CellWrite(S(U(stack) + U(16 * k)));
    } else if constexpr (Op == OpBLKCOPY) {
        if (o.Regs(ByteA | ByteB | ByteC) && s.Mem) {
            // BlockCopy's range of i: 0 <= i < count with both addresses inside memory.
            using Wide = __int128;
            const int64_t to = c.R[o.A()], from = c.R[o.B()], count = c.R[o.C()];
            const Wide first = std::max<Wide>({0, -Wide{from}, -Wide{to}});
            const Wide last = std::min<Wide>({Wide{count}, Wide{s.Size} - from, Wide{s.Size} - to});
            if (first < last) {
                a.Add(static_cast<uint64_t>(to + first), static_cast<uint64_t>(to + last));
                ++a.Writes;
                a.Add(static_cast<uint64_t>(from + first), static_cast<uint64_t>(from + last));
            }
        }
    } else if constexpr (Op == OpLOAD) {
        if (o.Regs(ByteA | ByteC)) a.WordRead(c.R[o.C()], s.Size);
    } else if constexpr (Op == OpPOP) {
        if (o.Regs(ByteC) && s.Mem) a.WordRead(S(U(stack) - 16), s.Size);
    } else if constexpr (Op == OpRET || Op == OpIRET) {
        a.Returns = true;
        if (s.Mem)
            for (int k = 1; k <= 3; ++k)
                a.WordRead(S(U(stack) - U(16 * k)), s.Size);
    } else if constexpr (Op == OpIN) {
        if (o.Regs(ByteB | ByteC) && c.R[o.B()] == 0) {
            a.Port = 0;
            a.PortReg = static_cast<uint8_t>(o.C());
        }
    } else if constexpr (Op == OpOUT) {
        if (o.Regs(ByteB | ByteC) && c.R[o.B()] == 1) {
            a.Port = 1;
            a.PortReg = static_cast<uint8_t>(o.C());
        }
    }
    return a;
}

// Whether Op may access memory or a port, or return (only these rows pay for the checks).
constexpr bool AccessChecked(roz::TOp op) {
    using namespace roz;
    return op == OpSTORE || op == OpMCOPY || op == OpPUSH || op == OpCALL || op == OpINT || op == OpCALLI ||
           op == OpBLKCOPY || op == OpLOAD || op == OpPOP || op == OpRET || op == OpIRET || op == OpIN ||
           op == OpOUT;
}

// The checked loop's view of TDebugChecks' watches: a copy of every write-watched range's
// bytes (so that a write is a hit only when it changes one), and the hulls of the watched
// ranges, against which an instruction's accesses are tested first.
//
// Lifetime: loaded from the checks and memory when the loop starts and after every park
// (the owner may have edited memory meanwhile); the copies then follow every instruction's
// writes, which all pass through Hit.
class TWatchState {
  public:
    void Load(const TDebugChecks& checks, const uint8_t* mem, int64_t size);

    // After the instruction at `at` with accesses a has executed in s: true when it hit a
    // watch, with stop filled in. Cheap unless an access falls inside a hull or a port is
    // watched. The slow part gets copies, so that the loop's state never escapes to it.
    ROZ_INLINE bool Hit(const TAccess& a, const roz::TExecState& s, int64_t at, TDebugStop& stop) {
        bool near = false;
        for (int k = 0; k < a.Count; ++k) {
            const bool write = k < a.Writes;
            near |= write ? (a.Begin[k] < FWriteHigh && a.End[k] > FWriteLow)
                          : (a.Begin[k] < FReadHigh && a.End[k] > FReadLow);
        }
        if (a.Port >= 0) near |= a.Port == 0 ? FPortIn : FPortOut;
        if (a.Returns) near |= s.Cpu.SP < FReturnBelow;
        if (!near) [[likely]]
            return false;
        return SlowHit(a, s.Cpu, s.Mem, s.Size, at, stop);
    }

  private:
    [[gnu::noinline]] bool SlowHit(const TAccess& a, const TCCPUBase& cpu, const uint8_t* mem, int64_t size,
                                   int64_t at, TDebugStop& stop);

    struct TShadow {
        int32_t Watch;       // index in TDebugChecks::Watches
        uint64_t Begin, End; // the watch clipped to memory
        std::vector<uint8_t> Bytes;
    };
    std::vector<TShadow> FWrites;
    struct TRange {
        int32_t Watch;
        uint64_t Begin, End;
    };
    std::vector<TRange> FReads;
    uint64_t FWriteLow = 0, FWriteHigh = 0, FReadLow = 0, FReadHigh = 0;
    bool FPortIn = false, FPortOut = false;
    int64_t FReturnBelow = INT64_MIN;
};

// ExecuteWord for the checked loop: the rows of AccessChecked test the watches afterwards.
// True on a hit, with stop filled in.
bool ExecuteWordChecked(roz::TExecState& s, uint32_t w, TWatchState& watch, TDebugStop& stop);
