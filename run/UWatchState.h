#pragma once
#include <cstdint>
#include <vector>

#include "UDebugChecks.h"
#include "UInstructionEffects.h"

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

    // After the instruction at `at` (clock: the run clock before it) with effects a has
    // executed in s: true when it hit a watch, with stop filled in. Cheap unless an access falls inside a
    // hull or a port is watched. The slow part gets copies, so that the loop's state never escapes to it.
    ROZ_INLINE bool Hit(const roz::TEffects& a, const roz::TExecState& s, int64_t at, uint64_t clock,
                        TDebugStop& stop) {
        bool near = false;
        for (int k = 0; k < a.Count; ++k) {
            const bool write = k < a.Writes;
            near |= write ? (a.Begin[k] < FWriteHigh && a.End[k] > FWriteLow)
                          : (a.Begin[k] < FReadHigh && a.End[k] > FReadLow);
        }
        if (a.Port != roz::TPortAccess::None) near |= a.Port == roz::TPortAccess::In ? FPortIn : FPortOut;
        if (a.Returns) near |= s.Cpu.SP < FReturnBelow;
        if (!near) [[likely]]
            return false;
        return SlowHit(a, s.Cpu, s.Mem, s.Size, at, clock, stop);
    }

  private:
    [[gnu::noinline]] bool SlowHit(const roz::TEffects& a, const TCCPUBase& cpu, const uint8_t* mem,
                                   int64_t size, int64_t at, uint64_t clock, TDebugStop& stop);

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
