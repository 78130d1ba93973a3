#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "UDebugChecks.h"
#include "USourceMap.h"

// The runner's use of an image's debug information (IMAGE.dbg beside IMAGE, the rule of
// TDebugInfo::PathFor, as the window finds it): the function and source line of an address
// for --trace=source, and the --break locations resolved to breakpoint addresses.
class TCliDebug {
  public:
    // Reads the debug information of imagePath when it exists and describes image (the bytes
    // loaded); otherwise every question has no answer and Note() says why. Returns false when
    // a file exists but is ignored (Note() then holds the reader's message).
    bool Load(const std::string& imagePath, const std::vector<uint8_t>& image);
    bool Loaded() const { return FLoaded; }
    // The debug information (empty when not loaded).
    const TSourceMap& Map() const { return FMap; }
    // "no debug information: prog.dbg does not exist" or "debug information ignored: ...";
    // "" once loaded.
    const std::string& Note() const { return FNote; }

    // Resolves every location (ResolveLocation) into Checks(); false with
    // "--break TEXT: why" for the first that names no code (and Note() when the file is
    // missing and the location is not an address).
    bool Resolve(const std::vector<std::string>& locations, uint64_t imageLength, std::string& error);
    const TDebugChecks& Checks() const { return FChecks; }
    // The index into the resolved locations of the first one that has code at address.
    std::optional<size_t> LocationAt(uint64_t address) const;

    // The C function (or else the label) that covers address, "" when none does.
    std::string FunctionAt(uint64_t address) const;
    // "factorial.c:6", "" when no line covers address.
    std::string SourceAt(uint64_t address) const;
    // FunctionAt and SourceAt joined by two spaces, without the empty ones.
    std::string WhereAt(uint64_t address) const;

  private:
    struct TBreak {
        uint64_t Address;
        size_t Location;
    };
    TSourceMap FMap;
    bool FLoaded = false, FMissing = false;
    std::string FNote;
    TDebugChecks FChecks;
    std::vector<TBreak> FBreaks; // in the order given
};
