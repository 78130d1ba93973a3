#include "UWatchState.h"

#include <cstring>

using namespace roz;

void TWatchState::Load(const TDebugChecks& checks, const uint8_t* mem, int64_t size) {
    FWrites.clear();
    FReads.clear();
    FWriteLow = FReadLow = UINT64_MAX;
    FWriteHigh = FReadHigh = 0;
    const uint64_t limit = mem && size > 0 ? static_cast<uint64_t>(size) : 0;
    for (size_t k = 0; k < checks.Watches.size(); ++k) {
        const TDebugChecks::TWatch& w = checks.Watches[k];
        const uint64_t begin = std::min(w.Begin, limit), end = std::min(w.End, limit);
        if (begin >= end) continue; // no byte of it exists: nothing can touch it
        if (w.Write) {
            FWrites.push_back(
                {static_cast<int32_t>(k), begin, end, std::vector<uint8_t>(mem + begin, mem + end)});
            FWriteLow = std::min(FWriteLow, begin);
            FWriteHigh = std::max(FWriteHigh, end);
        }
        if (w.Read) {
            FReads.push_back({static_cast<int32_t>(k), begin, end});
            FReadLow = std::min(FReadLow, begin);
            FReadHigh = std::max(FReadHigh, end);
        }
    }
    FPortIn = checks.WatchPortIn;
    FPortOut = checks.WatchPortOut;
    FReturnBelow = checks.ReturnBelow ? *checks.ReturnBelow : INT64_MIN;
}

bool TWatchState::SlowHit(const TEffects& a, const TCCPUBase& cpu, const uint8_t* mem, int64_t memSize,
                          int64_t at, uint64_t clock, TDebugStop& stop) {
    bool hit = false;
    const uint64_t size = mem && memSize > 0 ? static_cast<uint64_t>(memSize) : 0;
    // Writes: compare and bring every copy up to date, also after the first change found.
    for (int k = 0; k < a.Writes; ++k) {
        const uint64_t begin = a.Begin[k], end = std::min(a.End[k], size);
        for (TShadow& w : FWrites) {
            const uint64_t from = std::max(begin, w.Begin), to = std::min(end, w.End);
            if (from >= to) continue;
            uint8_t* copy = w.Bytes.data() + (from - w.Begin);
            const uint8_t* now = mem + from;
            if (!hit && std::memcmp(copy, now, to - from) != 0) {
                uint64_t first = 0;
                while (copy[first] == now[first])
                    ++first;
                hit = true;
                stop.Kind = TDebugStop::TKind::WatchWrite;
                stop.Watch = w.Watch;
                stop.Address = from + first;
                stop.Length = static_cast<uint8_t>(std::min<uint64_t>(16, to - (from + first)));
                std::memcpy(stop.Old, copy + first, stop.Length);
                std::memcpy(stop.New, now + first, stop.Length);
            }
            std::memcpy(copy, now, to - from);
        }
    }
    for (int k = a.Writes; k < a.Count && !hit; ++k) {
        for (const TRange& r : FReads) {
            const uint64_t from = std::max(a.Begin[k], r.Begin);
            if (from >= std::min(a.End[k], r.End)) continue;
            hit = true;
            stop.Kind = TDebugStop::TKind::WatchRead;
            stop.Watch = r.Watch;
            stop.Address = from;
            break;
        }
    }
    const bool in = a.Port == TPortAccess::In && FPortIn && a.PortNumber == TPorts::KeyboardPort;
    const bool out = a.Port == TPortAccess::Out && FPortOut && a.PortNumber == TPorts::MoniterPort;
    if (!hit && (in || out)) {
        hit = true;
        stop.Kind = in ? TDebugStop::TKind::PortIn : TDebugStop::TKind::PortOut;
        stop.Value = cpu.R[a.PortRegister];
    }
    if (!hit && a.Returns && cpu.SP < FReturnBelow) {
        hit = true;
        stop.Kind = TDebugStop::TKind::Returned;
    }
    if (hit) {
        stop.Instruction = at;
        stop.Clock = clock;
    }
    return hit;
}
