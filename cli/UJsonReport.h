#pragma once
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>

#include "UDebugChecks.h"
#include "UJsonWriter.h"
#include "UMoniterRecorder.h"
#include "UProgramEnd.h"
#include "Uccpubase.h"

// Where a breakpoint ended the run: its address, the --break text that set it, and the
// function (or label) and "file.c:6" the debug information gives for it ("" when unknown).
struct TJsonBreakpoint {
    uint64_t Address;
    std::string Location, Function, Source;
};

// Where a --watch ended the run: its text, the watched bytes [Address, Address + Size) and
// their value before and after the access that stopped (both the value read for a read);
// for "in" and "out" Address, Size and Old are null and New is the value moved. A value is
// the bytes as an unsigned little-endian number when Size is at most 8, else their hex text
// in memory order ("01 02 ... 10").
struct TJsonWatchpoint {
    std::string Location;
    TJsonWriter::TValue Address, Size, Old, New;
    bool Read = false; // the access was a read
    // "moves 3 -> 4", "moves read 3", "out 0x100000000000006".
    std::string Text() const;
};
struct TWatchpoint;
TJsonWatchpoint WatchpointReport(const TWatchpoint& watch, const std::string& location,
                                 const TDebugStop& stop, const TCCPUBase& cpu);

// Writes the runner's one JSON object for --json (through TJsonWriter, in its layout):
//   {"end": "end", "status": 0, "instructions": 64,
//    "registers": {"IPOffset": "0000000000000040", ... "R15": "..."},
//    "monitor": {"events": [1, 2, "clear", 3], "dropped_events": 0, "lines": [3], "dropped_lines": 0},
//    "dump": {"start": 0, "count": 8, "groups": ["0D000001", "00000000"]},
//    "breakpoint": {"address": 8, "location": "first", "function": "first", "source": "t.s:4"}}
// or, when a --watch ended the run (watchpoint not null), in its place
//    "watchpoint": {"location": "moves", "address": 6144, "size": 4, "old": 3, "new": 4}
// Registers in the register panel's order as sixteen upper-case hex digits; a monitor
// event is a printed number or the string "clear"; "lines" are the newest lines since the
// latest clear, "dropped_lines" the older ones since then; "dump" is null without --dump.
// "breakpoint" is there only when one ended the run (breakpoint not null); its "function" and
// "source" are null when the debug information does not know them.
// With programEnd (a run to the end of the image with IMAGE.dbg): for a failed assert
//   "assert": {"expression": "n > 0", "file": "t.c", "line": 5, "function": "main"},
// for an ordinary end of a C program "main_result": main's int result (or exit()'s argument).
void WriteJsonReport(std::FILE* out, const char* endName, int status, uint64_t executed, TCCPUBase& cpu,
                     const TMoniterRecorder& monitor, const std::optional<std::pair<int64_t, int64_t>>& dump,
                     const TJsonBreakpoint* breakpoint = nullptr, const TProgramEnd* programEnd = nullptr,
                     const TJsonWatchpoint* watchpoint = nullptr);

// Writes the one JSON object for a run that never started (status 2), in the same layout:
//   {"end": "refused", "status": 2, "reason": "image file does not exist"}
void WriteJsonRefusal(std::FILE* out, const std::string& reason);
