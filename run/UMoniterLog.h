#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "Usimplemoniter.h"

// The monitor's contents: every printed number and clear, in order, as the CPU made them.
//
// Threads: MoniterOutput is called by whichever thread executes the CPU (the run thread or
// the window's thread in a single step); Clear by the window's thread; the readers by any
// thread. One short lock guards the store: an append holds it for a few stores, a reader
// for a copy of what it asked for, so neither blocks the other for long. No allocation
// after construction: the events live in a preallocated ring.
//
// Events are numbered by Sequence from 0 on. The lines shown are the prints after the
// latest clear, of which the newest Capacity are kept; older ones count as Dropped.
// Generation changes on every append and clear, so a reader can tell whether its copy
// is still current.
class TMoniterLog final : public TMoniterSink {
  public:
    static constexpr uint64_t Capacity = uint64_t{1} << 20; // >= 1,000,000 lines

    struct TEvent {
        TMoniterCommand::TKind Kind; // Print or Clear
        uint32_t Number;
    };
    struct TSnapshot {
        uint64_t Generation; // equals the number of events appended so far
        uint64_t LineCount;  // lines shown now
        uint64_t FirstLine;  // the sequence number of line 0
        uint64_t Dropped;    // lines lost to the ring since the latest clear
    };

    TMoniterLog();

    // The monitor's write: decodes value and appends a print or a clear; values that do
    // nothing are not events. Returns when the event is in the log.
    void MoniterOutput(uint64_t value) override;
    // The window's own clear of the monitor area: appended as a clear event.
    void Clear();

    TSnapshot Snapshot() const;
    // Copies up to count lines from line index first (of the current contents) to out and
    // returns the snapshot they belong to; the number copied is min(count, LineCount - first).
    TSnapshot CopyLines(uint64_t first, uint64_t count, std::vector<uint32_t>& out) const;
    // Copies events from sequence number `from` on, at most max, to out; returns the number
    // of the first event copied. When the ring no longer holds `from`, copying starts at
    // the oldest event held (the caller sees the gap in the returned number).
    uint64_t EventsSince(uint64_t from, size_t max, std::vector<TEvent>& out) const;

  private:
    static constexpr uint64_t ClearTag = uint64_t{1} << 32;
    void Append(uint64_t entry);
    TSnapshot SnapshotLocked() const;

    mutable std::mutex FMutex;
    std::unique_ptr<uint64_t[]> FRing; // low 32 bits the number; ClearTag marks a clear
    uint64_t FNext = 0;                // sequence number of the next event
    uint64_t FFirstLine = 0;           // sequence number of line 0
    uint64_t FDropped = 0;
};
