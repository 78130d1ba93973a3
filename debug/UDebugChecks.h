#pragma once
// Interim copy of the run layer's checks (run/UDebugChecks.h, which replaces this file once
// the run layer provides it): the plain data that a checked run loop reads.
#include <cstdint>
#include <optional>
#include <vector>

struct TDebugChecks {
    std::vector<uint64_t> Breakpoints; // sorted instruction addresses: stop BEFORE executing
    struct TWatch {
        uint64_t Begin, End; // [Begin, End) byte range
        bool Write, Read;
    };
    std::vector<TWatch> Watches;                    // stop AFTER the instruction that hit one
    bool WatchPortIn = false, WatchPortOut = false; // IN from port 0 / OUT to port 1
    std::optional<uint64_t> ReturnBelow;            // stop after a return that leaves SP < value
    bool Empty() const {
        return Breakpoints.empty() && Watches.empty() && !WatchPortIn && !WatchPortOut && !ReturnBelow;
    }
};
