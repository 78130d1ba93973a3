#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include <optional>
#include <string_view>

#include "UBreakpointList.h"
#include "UDebugChecks.h"

class TSourceMap;

// A watchpoint: a memory range written (fires only when a watched byte changes value, the
// run layer's rule) and optionally read, or a port access (IN from port 0, OUT to port 1).
struct TWatchpoint : TStopRule {
    enum class TKind { Memory, PortIn, PortOut };
    int Id = 0;
    TKind Kind = TKind::Memory;
    uint64_t Begin = 0, End = 0; // Memory: [Begin, End)
    bool Write = true, Read = false;
    // A watch set by a C expression: its text. Such a watch ignores what the start-up code
    // (outside every C function: it copies .data and clears .bss before main) does to it.
    std::string Expression;

    // "[0x1800, 0x1808) write", "moves [0x1800, 0x1804) write", "port 0 input", "port 1 output".
    std::string Text() const;
};

// A watch as the user typed it, parsed (TWatchList::Parse).
struct TWatchRequest {
    TWatchpoint::TKind Kind = TWatchpoint::TKind::Memory;
    uint64_t Begin = 0, Size = 8;
    bool Write = true, Read = false;
    std::string Expression;
};

// The user's watchpoints; the same threading rule as TBreakpointList.
class TWatchList {
  public:
    // A memory watch of size bytes from begin (size >= 1); at least one of write and read.
    int AddMemory(uint64_t begin, uint64_t size, bool write, bool read);
    // Parses a watch text:
    //   in | out                      the keyboard port's input, the monitor's output
    //   ADDRESS [SIZE] [w|r|rw]       SIZE bytes (8 unless given) from ADDRESS (decimal or 0x)
    //   EXPRESSION [w|r|rw]           a C expression (ResolveWatchExpression) over the program's
    //                                 debug information and the machine (cpu: may be nullptr,
    //                                 then only globals): the object's address and size
    // written unless r alone is given. nullopt with a message naming the problem.
    static std::optional<TWatchRequest> Parse(std::string_view text, const TSourceMap& map,
                                              const TCCPUBase* cpu, std::string& error);
    int Add(const TWatchRequest& request);
    // Parse and Add: the new watch's id, or 0 with the message.
    int Add(std::string_view text, const TSourceMap& map, const TCCPUBase* cpu, std::string& error);
    // A rebuilt program: the watches set by C expressions find their objects again by the new
    // debug information (globals only: those that name locals or go through pointers are
    // dropped, their objects belonged to the old run). Address and port watches stay.
    void SetImage(const TSourceMap& map);
    int AddPort(TWatchpoint::TKind kind);
    bool Remove(int id);
    void Clear() { FItems.clear(); }
    TWatchpoint* Find(int id);
    const TWatchpoint* Find(int id) const;
    const std::vector<TWatchpoint>& Items() const { return FItems; }
    std::vector<TWatchpoint>& Items() { return FItems; }
    void ResetHits();

    // Appends the enabled watches to checks that have none yet: checks.Watches[i] is then the
    // i-th enabled memory watch, the mapping Decide reads (the one of the last AddTo).
    void AddTo(TDebugChecks& checks);
    // At a WatchWrite, WatchRead, PortIn or PortOut candidate: the id of the watchpoint that
    // stops, else 0. A C-expression watch lets pass the accesses of code outside map's C
    // functions (the start-up).
    int Decide(const TCCPUBase& cpu, const TDebugStop& stop, const TSourceMap& map);
    // The ids of the watchpoints whose candidate counts here (Decide without counting), in
    // the list's order; appended to ids.
    void Matching(const TCCPUBase& cpu, const TDebugStop& stop, const TSourceMap& map,
                  std::vector<int>& ids) const;

  private:
    std::vector<TWatchpoint> FItems;
    std::vector<int> FCheckIds; // checks.Watches index -> id (from the last AddTo)
    int FNextId = 1;
};
