#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "UDebugSession.h"

// The runner's use of the debug session (a session without a run thread): IMAGE.dbg beside
// IMAGE by the session's loader, as the window finds it; the function and source line of an
// address for --trace=source; --break and --watch as the debugger's breakpoints and
// watchpoints, decided by its hook as in the window.
class TCliDebug {
  public:
    // Reads the debug information of imagePath when it exists and describes image (the bytes
    // loaded); otherwise every question has no answer and Note() says why. Returns false when
    // a file exists but is ignored (Note() then holds the reader's message).
    bool Load(const std::string& imagePath, const std::vector<uint8_t>& image);
    bool Loaded() const { return FSession.Loaded().Info.has_value(); }
    // The debug information (empty when not loaded).
    const TSourceMap& Map() const { return FSession.Debugger().Map(); }
    // "no debug information: prog.dbg does not exist" or "debug information ignored: ...";
    // "" once loaded.
    const std::string& Note() const { return FNote; }

    // Sets a breakpoint at every location (ResolveLocation); false with "--break TEXT: why"
    // for the first that names no code (and Note() when the file is missing and the location
    // is not an address).
    bool Resolve(const std::vector<std::string>& locations, uint64_t imageLength, std::string& error);
    // Sets a watchpoint for every text (TWatchList::Parse, over cpu as loaded: C expressions
    // name globals); false with "--watch TEXT: why" for the first that does not parse.
    bool AddWatches(const std::vector<std::string>& texts, const TCCPUBase& cpu, std::string& error);
    // The checks and decision hook of the breakpoints and watchpoints set (empty checks: none).
    TDebugSettings Settings() { return FSession.Debugger().StandingSettings(); }
    // After a stop: the index into the --break locations of the breakpoint that stopped, and
    // into the --watch texts of the watchpoint (TDebugger::StopBreakpoint, StopWatchpoint).
    std::optional<size_t> StopLocation() const;
    std::optional<size_t> StopWatch() const;
    const TWatchpoint* StopWatchpoint() const;

    // The C function (or else the label) that covers address, "" when none does.
    std::string FunctionAt(uint64_t address) const;
    // "factorial.c:6", "" when no line covers address.
    std::string SourceAt(uint64_t address) const;
    // FunctionAt and SourceAt joined by two spaces, without the empty ones.
    std::string WhereAt(uint64_t address) const;

  private:
    TDebugSession FSession;
    bool FMissing = false;
    std::string FNote;
    std::vector<int> FBreakIds, FWatchIds; // the id each location text set, in the order given
};
