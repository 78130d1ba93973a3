#pragma once
#include <cstdint>

#include "UInstructions.h"

// One decoded instruction word: the handler (an offset from the run loop's decode label, so
// that an all-zero entry means "not decoded yet") and the operand bytes A, B, C as the
// word holds them. Rows that read neither A nor B may use bytes 5..7 (A, B, Extra) for
// their own (the loop keeps a jump's last target there).
struct TDecodedWord {
    int32_t Handler;
    uint8_t C, A, B, Extra;
};
static_assert(sizeof(TDecodedWord) == 8, "roz::TCodeWatch clears entries of 8 bytes");

// The run loop's decoded words, one entry per byte address from 0 (code may jump into the
// middle of a word, and each address decodes by itself), for the first Capacity bytes of the
// loaded image at most. The entries are a lazily mapped range: the system supplies zero
// pages on first touch, so a run pays only for the pages of code it executes, and a 2 GB
// memory costs nothing more than a small one.
//
// Lifetime: one cache per thread (RunLoop uses a thread_local one). It is valid only within
// one RunLoop call between two parks: whoever else writes memory (the window through a
// hand-over, single steps, loading, re-sizing, tests) does so while no loop runs, so the
// loop drops the cache when it starts and after every park; within the loop, stores keep it
// exact through TCodeWatch.
class TDecodeCache {
  public:
    // Bytes of image decoded at most.
    static constexpr uint64_t Capacity = uint64_t{1} << 20;
    // Entries past the last decodable address that a handler's advance may reach (at most
    // 24 bytes: LDI); they always stay zero, which sends the loop to its checked path.
    static constexpr uint64_t Slack = 32;
    // The run loop executes the words at the first CheckpointBytes addresses of every Block
    // bytes (the first block excepted) undecoded, which tests the control word: as no
    // instruction advances by more than 24 bytes, straight-line code passes through one
    // at least every Block bytes (Block / 4 words, some 50 us even where every word is new
    // to the host's caches). Code that fits in the first block never meets one.
    static constexpr uint64_t Block = uint64_t{1} << 16, CheckpointBytes = 24;
    static constexpr bool Checkpoint(uint64_t address) {
        return address >= Block && (address & (Block - 1)) < CheckpointBytes;
    }

    TDecodeCache() = default;
    ~TDecodeCache();
    TDecodeCache(const TDecodeCache&) = delete;
    TDecodeCache& operator=(const TDecodeCache&) = delete;

    // The entries (mapped on first use), or nullptr when the system refused the mapping; the
    // loop then executes every word undecoded.
    TDecodedWord* Words();
    // Clears every entry decoded so far.
    void Drop();
    // Records that the entry at address has been written (for Drop).
    void Touched(uint64_t address) {
        if (address < FLow) FLow = address;
        if (address >= FHigh) FHigh = address + 1;
    }
    // The watch that keeps entries below end exact under stores.
    roz::TCodeWatch Watch(uint64_t end) {
        return end == 0 ? roz::TCodeWatch{} : roz::TCodeWatch{end + roz::TCodeWatch::Reach, end, Words()};
    }

  private:
    TDecodedWord* FWords = nullptr;
    bool FRefused = false;
    uint64_t FLow = UINT64_MAX, FHigh = 0; // entries [FLow, FHigh) may be non-zero
};
