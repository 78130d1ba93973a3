#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "UBreakpointList.h"
#include "UDebugChecks.h"

// A watchpoint: a memory range written (fires only when a watched byte changes value, the
// run layer's rule) and optionally read, or a port access (IN from port 0, OUT to port 1).
struct TWatchpoint : TStopRule {
    enum class TKind { Memory, PortIn, PortOut };
    int Id = 0;
    TKind Kind = TKind::Memory;
    uint64_t Begin = 0, End = 0; // Memory: [Begin, End)
    bool Write = true, Read = false;

    // "[0x1800, 0x1808) write", "port 0 input", "port 1 output".
    std::string Text() const;
};

// The user's watchpoints; the same threading rule as TBreakpointList.
class TWatchList {
  public:
    // A memory watch of size bytes from begin (size >= 1); at least one of write and read.
    int AddMemory(uint64_t begin, uint64_t size, bool write, bool read);
    int AddPort(TWatchpoint::TKind kind);
    bool Remove(int id);
    void Clear() { FItems.clear(); }
    TWatchpoint* Find(int id);
    const std::vector<TWatchpoint>& Items() const { return FItems; }
    std::vector<TWatchpoint>& Items() { return FItems; }
    void ResetHits();

    // Appends the enabled watches to checks that have none yet: checks.Watches[i] is then the
    // i-th enabled memory watch, the mapping Decide reads (the one of the last AddTo).
    void AddTo(TDebugChecks& checks);
    // At a WatchWrite, WatchRead, PortIn or PortOut candidate: the id of the watchpoint that
    // stops, else 0.
    int Decide(const TCCPUBase& cpu, const TDebugStop& stop);

  private:
    std::vector<TWatchpoint> FItems;
    std::vector<int> FCheckIds; // checks.Watches index -> id (from the last AddTo)
    int FNextId = 1;
};
