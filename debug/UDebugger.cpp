#include "UDebugger.h"

#include <algorithm>
#include <cstdio>

#include "Uccpubase.h"

void TDebugger::SetImage(TSourceMap map, uint64_t imageLength) {
    FPlan.reset();
    FMap = std::move(map);
    FImageLength = imageLength;
    std::vector<TBreakpoint>& items = FBreakpoints.Items();
    std::erase_if(items, [&](TBreakpoint& item) {
        std::string error;
        std::optional<TResolvedLocation> where =
            ResolveLocation(item.LocationText, FMap, FImageLength, error);
        if (!where) return true;
        item.Where = std::move(*where);
        item.Hits = 0;
        return false;
    });
    FWatches.ResetHits();
}

TDebugChecks TDebugger::Checks() {
    TDebugChecks checks;
    FBreakpoints.AddTo(checks);
    if (FPlan) {
        const TDebugChecks& plan = FPlan->Checks();
        checks.Breakpoints.insert(checks.Breakpoints.end(), plan.Breakpoints.begin(), plan.Breakpoints.end());
        checks.Watches = plan.Watches;
        checks.WatchPortIn = plan.WatchPortIn;
        checks.WatchPortOut = plan.WatchPortOut;
        checks.ReturnBelow = plan.ReturnBelow;
    }
    FWatches.AddTo(checks);
    std::sort(checks.Breakpoints.begin(), checks.Breakpoints.end());
    checks.Breakpoints.erase(std::unique(checks.Breakpoints.begin(), checks.Breakpoints.end()),
                             checks.Breakpoints.end());
    return checks;
}

std::string TDebugger::PlaceOf(uint64_t address) const {
    char hex[24];
    std::snprintf(hex, sizeof hex, "0x%04llx", static_cast<unsigned long long>(address));
    std::string text = FMap.NameAt(address);
    const std::string line = FMap.PlaceText(FMap.LineAt(address));
    if (!line.empty()) text += (text.empty() ? "" : " ") + line;
    return text.empty() ? hex : text + " (" + hex + ")";
}

bool TDebugger::Decide(const TCCPUBase& cpu, const TDebugStop& stop) {
    int breakpoint = 0, watchpoint = 0;
    switch (stop.Kind) {
    case TDebugStop::TKind::Breakpoint:
        breakpoint = FBreakpoints.Decide(cpu, stop.Address);
        break;
    case TDebugStop::TKind::Watch:
    case TDebugStop::TKind::PortIn:
    case TDebugStop::TKind::PortOut:
        watchpoint = FWatches.Decide(cpu, stop);
        break;
    case TDebugStop::TKind::Return:
        break;
    }
    const bool planDone = FPlan && FPlan->Reached(cpu, stop);
    if (!breakpoint && !watchpoint && !planDone) return false;

    const std::string here = PlaceOf(static_cast<uint64_t>(cpu.IPOffset));
    FStopBreakpoint = breakpoint;
    FStopWatchpoint = watchpoint;
    if (const TBreakpoint* item = breakpoint ? FBreakpoints.Find(breakpoint) : nullptr) {
        FStopText = "breakpoint " + std::to_string(item->Id) + " at " + here + " (" + item->Summary() + ")";
    } else if (const TWatchpoint* watch = watchpoint ? FWatches.Find(watchpoint) : nullptr) {
        FStopText = "watchpoint " + std::to_string(watch->Id) + ": " + watch->Text();
        if (watch->Kind == TWatchpoint::TKind::Memory) {
            char hex[24];
            std::snprintf(hex, sizeof hex, "0x%llx", static_cast<unsigned long long>(stop.Address));
            FStopText += std::string(stop.Write ? " written at " : " read at ") + hex;
        }
        FStopText += ", now at " + here + " (" + watch->Summary() + ")";
    } else {
        FStopText = std::string(FPlan->Name()) + " done at " + here;
    }
    FPlan.reset();
    return true;
}
