#include "UMoniterLog.h"

TMoniterLog::TMoniterLog() : FRing(new uint64_t[Capacity]) {}

void TMoniterLog::MoniterOutput(uint64_t value) {
    const TMoniterCommand command = TMoniterCommand::Decode(value);
    if (command.Kind == TMoniterCommand::Print)
        Append(command.Number);
    else if (command.Kind == TMoniterCommand::Clear)
        Append(ClearTag);
}

void TMoniterLog::Clear() {
    Append(ClearTag);
}

void TMoniterLog::Append(uint64_t entry) {
    std::lock_guard lock(FMutex);
    FRing[FNext & (Capacity - 1)] = entry;
    ++FNext;
    if (entry == ClearTag) {
        FFirstLine = FNext;
        FDropped = 0;
    } else if (FNext - FFirstLine > Capacity) {
        // The slot just written held the oldest line.
        ++FFirstLine;
        ++FDropped;
    }
}

TMoniterLog::TSnapshot TMoniterLog::SnapshotLocked() const {
    return {FNext, FNext - FFirstLine, FFirstLine, FDropped};
}

TMoniterLog::TSnapshot TMoniterLog::Snapshot() const {
    std::lock_guard lock(FMutex);
    return SnapshotLocked();
}

TMoniterLog::TSnapshot TMoniterLog::CopyLines(uint64_t first, uint64_t count,
                                              std::vector<uint32_t>& out) const {
    out.clear();
    out.reserve(count < 4096 ? count
                             : 4096); // a view asks for a screenful; no allocation under the lock then
    std::lock_guard lock(FMutex);
    const TSnapshot snapshot = SnapshotLocked();
    if (first >= snapshot.LineCount) return snapshot;
    if (count > snapshot.LineCount - first) count = snapshot.LineCount - first;
    out.resize(count);
    for (uint64_t i = 0; i < count; ++i)
        out[i] = static_cast<uint32_t>(FRing[(FFirstLine + first + i) & (Capacity - 1)]);
    return snapshot;
}

uint64_t TMoniterLog::EventsSince(uint64_t from, size_t max, std::vector<TEvent>& out) const {
    out.clear();
    std::lock_guard lock(FMutex);
    const uint64_t oldest = FNext > Capacity ? FNext - Capacity : 0;
    if (from < oldest) from = oldest;
    if (from > FNext) from = FNext;
    const uint64_t count = FNext - from < max ? FNext - from : max;
    out.reserve(count);
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t entry = FRing[(from + i) & (Capacity - 1)];
        out.push_back(entry == ClearTag ? TEvent{TMoniterCommand::Clear, 0}
                                        : TEvent{TMoniterCommand::Print, static_cast<uint32_t>(entry)});
    }
    return from;
}
