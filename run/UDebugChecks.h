#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class TCCPUBase;
struct TRunResult;

// What a checked run loop watches for, as plain data. The loop reads it only while it holds
// the CPU; the owner changes the standing copy (TRunControl::SetDebug) only through a
// hand-over or while no body runs.
//
// Addresses are the machine's byte indexes: a data access at address a touches bytes from
// (uint32_t)a on (the cell and word rules of TCCPUMemory), and a negative address or one
// past the memory size touches nothing, so a watch only ever sees bytes that are really read
// or written.
struct TDebugChecks {
    // Instruction addresses, sorted ascending, no repeats: the loop stops BEFORE executing
    // the instruction fetched at one of them (IPOffset == the address).
    std::vector<uint64_t> Breakpoints;

    // A byte range [Begin, End). Write: stop when an instruction changes the value of a
    // byte in it (writing the same value is not a change). Read: stop when an instruction
    // reads a byte in it as data (LOAD, MCOPY's source, POP and the records RET pops,
    // BLKCOPY's source; not the instruction fetch nor CALLI's and LDI's inline cells).
    struct TWatch {
        uint64_t Begin = 0, End = 0;
        bool Write = true, Read = false;
    };
    // Stop AFTER the instruction that hit one (IPOffset is then the next instruction's).
    std::vector<TWatch> Watches;

    // Stop after an IN from the keyboard's port / an OUT to the monitor's port (TPorts).
    bool WatchPortIn = false, WatchPortOut = false;

    // Step out: stop after a RET or IRET that leaves SP below this value.
    std::optional<int64_t> ReturnBelow;

    bool Empty() const {
        return Breakpoints.empty() && Watches.empty() && !WatchPortIn && !WatchPortOut && !ReturnBelow;
    }
    bool HasBreakpoint(uint64_t address) const;
    // Puts Breakpoints in the order required above.
    void SortBreakpoints();
};

// Why a checked loop stopped for the debugger: the detail of a TRunResult whose End is
// TRunEnd::Breakpoint, TRunEnd::Watchpoint or TRunEnd::Returned.
struct TDebugStop {
    enum class TKind : uint8_t {
        None,       // not a debugger stop
        Breakpoint, // the instruction at Instruction is about to execute
        WatchWrite, // the instruction at Instruction changed watched bytes
        WatchRead,  // the instruction at Instruction read watched bytes
        PortIn,     // IN from the keyboard's port at Instruction; Value is the value read
        PortOut,    // OUT to the monitor's port at Instruction; Value is the value written
        Returned    // the RET / IRET at Instruction left SP below ReturnBelow
    };
    TKind Kind = TKind::None;
    // The address of the instruction that stopped (for a breakpoint, IPOffset at the stop;
    // else the instruction just executed; IPOffset is then the next one).
    int64_t Instruction = 0;
    // The run clock (TCCPUBase::Clock) before that instruction executed.
    uint64_t Clock = 0;
    // WatchWrite / WatchRead: which entry of TDebugChecks::Watches, and the first byte
    // address of that watch that was changed / read.
    int32_t Watch = -1;
    uint64_t Address = 0;
    // WatchWrite: up to 16 bytes from Address (the watched bytes of the write that was seen
    // first, clipped to the watch), before and after the instruction. Length counts them.
    uint8_t Length = 0;
    uint8_t Old[16] = {}, New[16] = {};
    // PortIn / PortOut: the value moved.
    int64_t Value = 0;
};

// The owner's "stop here?", asked ON THE RUN THREAD while it holds the CPU, for every
// candidate stop of a checked run (cpu is the state at the stop; result.Stop the reason).
// True: the run stops, paused. False: it goes on, the instruction at a breakpoint executing
// first without being checked again. Must not block on the window's thread nor touch the
// run control; a throw counts as true. An empty decision always stops.
using TDebugDecision = std::function<bool(const TCCPUBase& cpu, const TRunResult& result)>;

// The debugger's settings of a run: the standing checks and decision, and optionally a
// one-shot pair (step over, step out, run to cursor, source steps) that replaces them from
// its start until the run next stops for any reason (a debugger stop, a pause, a stop, its
// end); a one-shot pair meant to honour the user's breakpoints as well includes them.
struct TDebugSettings {
    TDebugChecks Checks;
    TDebugDecision Decide;
};
