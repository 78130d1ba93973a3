#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "UDebugChecks.h"
#include "UDebugExpression.h"
#include "ULocationResolver.h"

class TCCPUBase;

// What breakpoints and watchpoints share: enabled, hits, condition, ignore count.
//
// A candidate hit counts when the entry is enabled and its condition holds (or it has none);
// the first Ignore counted hits go on, every later one stops. A condition that does not parse
// keeps its text and ConditionError, and the entry then stops on every hit, so the error is
// seen (the stop's text repeats it).
struct TStopRule {
    bool Enabled = true;
    uint64_t Hits = 0;
    uint64_t Ignore = 0;
    std::string Condition; // as typed; "" for none
    std::shared_ptr<const TDebugExpression> Parsed;
    std::string ConditionError; // "column 5: expected an operand", or ""

    // Sets the condition (blank text: none). False when it does not parse (kept with the error).
    bool SetCondition(std::string_view text);
    // Whether this candidate counts (enabled, condition holds); changes nothing.
    bool Matches(const TCCPUBase& cpu) const;
    // Whether one more counted hit stops (the rules above).
    bool StopsOnNextHit() const { return Hits + 1 > Ignore || !ConditionError.empty(); }
    // Counts the hit and says whether to stop (the rules above). The CPU holder only.
    bool Hit(const TCCPUBase& cpu);
    // "hits 3", "hits 3, ignore 5", "if R1 == 5", "condition error: ..." joined with "; ".
    std::string Summary() const;
};

struct TBreakpoint : TStopRule {
    int Id = 0; // 1, 2, ... in the order added, never reused in one list
    TResolvedLocation Where;
    std::string LocationText; // as the user gave it
};

// The user's breakpoints. Owned by the window (or the runner); every member is called only by
// whoever holds the CPU (the window while it holds a hand-over or no run is active; the run
// thread inside the decision hook), so it needs no lock.
class TBreakpointList {
  public:
    // Adds a breakpoint at a location text (ResolveLocation); nullopt and error when it names
    // no code. Returns the new id, or the id of the breakpoint already on the same code.
    std::optional<int> Add(std::string_view location, const TSourceMap& map, uint64_t imageLength,
                           std::string& error);
    // Adds one at a plain address (the window's margin and F9).
    int AddAddress(uint64_t address, const TSourceMap& map);
    // The margin's click and F9: removes the breakpoints at address if any, else adds one.
    // True when one is set at address afterwards.
    bool Toggle(uint64_t address, const TSourceMap& map);
    bool Remove(int id);
    void Clear() { FItems.clear(); }

    TBreakpoint* Find(int id);
    const TBreakpoint* Find(int id) const;
    // The first breakpoint with an address equal to address, or nullptr.
    const TBreakpoint* FindAt(uint64_t address) const;
    const std::vector<TBreakpoint>& Items() const { return FItems; }
    std::vector<TBreakpoint>& Items() { return FItems; }
    // Sets every hit count to 0 (a new run).
    void ResetHits();

    // Appends the enabled breakpoints' addresses (unsorted; TDebugger sorts).
    void AddTo(TDebugChecks& checks) const;
    // At a breakpoint candidate at address: counts the hit on every enabled breakpoint there
    // and returns the id of the first that stops, else 0. The CPU holder only.
    int Decide(const TCCPUBase& cpu, uint64_t address);
    // The ids of the breakpoints whose candidate counts at address (Decide without counting),
    // in the list's order; appended to ids.
    void Matching(const TCCPUBase& cpu, uint64_t address, std::vector<int>& ids) const;

  private:
    std::vector<TBreakpoint> FItems;
    int FNextId = 1;
};
