#include "UWatchList.h"

#include <algorithm>
#include <cstdio>

std::string TWatchpoint::Text() const {
    switch (Kind) {
    case TKind::PortIn:
        return "port 0 input";
    case TKind::PortOut:
        return "port 1 output";
    case TKind::Memory:
        break;
    }
    char text[64];
    std::snprintf(text, sizeof text, "[0x%llx, 0x%llx)", static_cast<unsigned long long>(Begin),
                  static_cast<unsigned long long>(End));
    return std::string(text) + (Write && Read ? " write/read" : Write ? " write" : " read");
}

int TWatchList::AddMemory(uint64_t begin, uint64_t size, bool write, bool read) {
    TWatchpoint watch;
    watch.Id = FNextId++;
    watch.Begin = begin;
    watch.End = begin + std::max<uint64_t>(size, 1);
    watch.Write = write || !read;
    watch.Read = read;
    FItems.push_back(std::move(watch));
    return FItems.back().Id;
}

int TWatchList::AddPort(TWatchpoint::TKind kind) {
    TWatchpoint watch;
    watch.Id = FNextId++;
    watch.Kind = kind;
    FItems.push_back(std::move(watch));
    return FItems.back().Id;
}

bool TWatchList::Remove(int id) {
    return std::erase_if(FItems, [&](const TWatchpoint& item) { return item.Id == id; }) != 0;
}

TWatchpoint* TWatchList::Find(int id) {
    for (TWatchpoint& item : FItems)
        if (item.Id == id) return &item;
    return nullptr;
}

void TWatchList::ResetHits() {
    for (TWatchpoint& item : FItems)
        item.Hits = 0;
}

void TWatchList::AddTo(TDebugChecks& checks) {
    FCheckIds.clear();
    for (const TWatchpoint& item : FItems) {
        if (!item.Enabled) continue;
        switch (item.Kind) {
        case TWatchpoint::TKind::Memory:
            checks.Watches.push_back({item.Begin, item.End, item.Write, item.Read});
            FCheckIds.push_back(item.Id);
            break;
        case TWatchpoint::TKind::PortIn:
            checks.WatchPortIn = true;
            break;
        case TWatchpoint::TKind::PortOut:
            checks.WatchPortOut = true;
            break;
        }
    }
}

int TWatchList::Decide(const TCCPUBase& cpu, const TDebugStop& stop) {
    int result = 0;
    const auto hit = [&](TWatchpoint& item) {
        if (item.Hit(cpu) && result == 0) result = item.Id;
    };
    for (TWatchpoint& item : FItems) {
        switch (stop.Kind) {
        case TDebugStop::TKind::PortIn:
            if (item.Kind == TWatchpoint::TKind::PortIn) hit(item);
            break;
        case TDebugStop::TKind::PortOut:
            if (item.Kind == TWatchpoint::TKind::PortOut) hit(item);
            break;
        case TDebugStop::TKind::WatchWrite:
        case TDebugStop::TKind::WatchRead: {
            const size_t index = static_cast<size_t>(stop.Watch);
            if (stop.Watch >= 0 && index < FCheckIds.size() && FCheckIds[index] == item.Id) hit(item);
            break;
        }
        case TDebugStop::TKind::None:
        case TDebugStop::TKind::Breakpoint:
        case TDebugStop::TKind::Returned:
            break;
        }
    }
    return result;
}
