#pragma once
#include <cstdint>

// One candidate stop that a checked run met: what the run layer's checks found, handed to
// the decision hook (TDebugger::Decide), which says whether the run stops there.
// A breakpoint candidate comes BEFORE the instruction at Address executes; every other kind
// AFTER the instruction that caused it, with IPOffset already on the next one.
struct TDebugStop {
    enum class TKind {
        Breakpoint, // IPOffset == Address is in TDebugChecks::Breakpoints
        Watch,      // the instruction wrote (changed) or read a byte of watch Watch at Address
        PortIn,     // an IN from port 0
        PortOut,    // an OUT to port 1
        Return      // a RET or IRET left SP below TDebugChecks::ReturnBelow
    };
    TKind Kind = TKind::Breakpoint;
    uint64_t Address = 0; // Breakpoint: the instruction; Watch: the first byte hit
    int Watch = -1;       // Watch: the index into TDebugChecks::Watches
    bool Write = false;   // Watch: a write (else a read)
};
