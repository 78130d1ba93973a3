#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A change of the keyboard word during a run: Word takes effect once At instructions
// have executed (At = 0: from the start).
struct TKeyChange {
    uint64_t At;
    uint64_t Word;
};

// The runner's command line.
struct TCliOptions {
    int64_t MemorySize = 10000;
    bool MemorySizeGiven = false; // else IMAGE.dbg's needed memory, when it has one
    uint64_t MaxSteps = UINT64_MAX;
    uint64_t Key = 0;
    bool Regs = false, Trace = false, Stats = false, Json = false, Help = false;
    bool TraceSource = false;                        // --trace=source (sets Trace too)
    std::optional<std::pair<int64_t, int64_t>> Dump; // start, count
    std::string Image;
    std::vector<TKeyChange> Keys;     // from --keys, ordered by At
    std::vector<std::string> Breaks;  // --break LOCATION texts, in the order given (resolved later)
    std::vector<std::string> Watches; // --watch LOCATION texts, in the order given (parsed later)

    // Fills the options from argv; on a usage error returns false with a message that
    // names the argument. --keys reads its file here, so a bad file is a usage error too.
    bool Parse(int argc, char** argv, std::string& error);
};

// Decimal or 0x-hexadecimal, up to 2^64-1 (kept as its bit pattern); a leading '-' when
// allowNegative. Nothing may follow the digits.
std::optional<int64_t> ParseCliNumber(std::string_view text, bool allowNegative);

// Reads a --keys file: one change per line, "COUNT WORD", with '#' comments and blank
// lines allowed; counts must not decrease. On failure returns false with "FILE:LINE: why".
bool ParseKeyChanges(const std::string& fileName, std::string_view text, std::vector<TKeyChange>& changes,
                     std::string& error);
