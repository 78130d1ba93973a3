#include "UDebugger.h"

#include <algorithm>
#include <cstdio>

#include "URunLoop.h"
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
    FWatches.SetImage(FMap);
}

TDebugChecks TDebugger::Checks(bool withPlan) {
    TDebugChecks checks;
    FWatches.AddTo(checks);
    FBreakpoints.AddTo(checks);
    if (withPlan && FPlan) {
        const TDebugChecks& plan = FPlan->Checks();
        checks.Breakpoints.insert(checks.Breakpoints.end(), plan.Breakpoints.begin(), plan.Breakpoints.end());
        checks.ReturnBelow = plan.ReturnBelow;
    }
    checks.SortBreakpoints();
    return checks;
}

TDebugSettings TDebugger::StandingSettings() {
    return {Checks(false), [this](const TCCPUBase& cpu, const TRunResult& result) {
                return Decide(cpu, result.Stop, false);
            }};
}

TDebugSettings TDebugger::PlanSettings(TStepPlan plan) {
    if (plan.SingleInstruction()) {
        FPlan.reset();
        return StandingSettings();
    }
    FPlan = std::move(plan);
    return {Checks(true), [this](const TCCPUBase& cpu, const TRunResult& result) {
                return Decide(cpu, result.Stop, true);
            }};
}

namespace {

std::string Bytes(const uint8_t* bytes, size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
        text += (i ? " " : "") + std::string(hex);
    }
    return text;
}

} // namespace

std::string TDebugger::PlaceOf(uint64_t address) const {
    char hex[24];
    std::snprintf(hex, sizeof hex, "0x%04llx", static_cast<unsigned long long>(address));
    std::string text = FMap.NameAt(address);
    const std::string line = FMap.PlaceText(FMap.LineAt(address));
    if (!line.empty()) text += (text.empty() ? "" : " ") + line;
    return text.empty() ? hex : text + " (" + hex + ")";
}

bool TDebugger::Decide(const TCCPUBase& cpu, const TDebugStop& stop, bool withPlan) {
    TStepPlan* plan = withPlan && FPlan ? &*FPlan : nullptr;
    if (plan && plan->AtStart(cpu, stop)) return false; // the step's own first instruction
    int breakpoint = 0, watchpoint = 0;
    switch (stop.Kind) {
    case TDebugStop::TKind::Breakpoint:
        breakpoint = FBreakpoints.Decide(cpu, static_cast<uint64_t>(stop.Instruction));
        break;
    case TDebugStop::TKind::WatchWrite:
    case TDebugStop::TKind::WatchRead:
    case TDebugStop::TKind::PortIn:
    case TDebugStop::TKind::PortOut:
        watchpoint = FWatches.Decide(cpu, stop, FMap);
        break;
    case TDebugStop::TKind::None:
    case TDebugStop::TKind::Returned:
        break;
    }
    const bool planDone = plan && plan->Reached(cpu, stop);
    if (!breakpoint && !watchpoint && !planDone) return false;

    const std::string here = PlaceOf(static_cast<uint64_t>(cpu.IPOffset));
    FStopBreakpoint = breakpoint;
    FStopWatchpoint = watchpoint;
    if (const TBreakpoint* item = breakpoint ? FBreakpoints.Find(breakpoint) : nullptr) {
        FStopText = "breakpoint " + std::to_string(item->Id) + " at " + here + " (" + item->Summary() + ")";
    } else if (const TWatchpoint* watch = watchpoint ? FWatches.Find(watchpoint) : nullptr) {
        FStopText = "watchpoint " + std::to_string(watch->Id) + " " + watch->Text() + ": ";
        char hex[40];
        if (watch->Kind == TWatchpoint::TKind::Memory) {
            std::snprintf(hex, sizeof hex, "0x%llx", static_cast<unsigned long long>(stop.Address));
            FStopText += hex;
            if (stop.Kind == TDebugStop::TKind::WatchRead)
                FStopText += " read";
            else
                FStopText +=
                    " changed " + Bytes(stop.Old, stop.Length) + " -> " + Bytes(stop.New, stop.Length);
        } else {
            std::snprintf(hex, sizeof hex, "0x%llx", static_cast<unsigned long long>(stop.Value));
            FStopText += hex;
        }
        FStopText += ", now at " + here + " (" + watch->Summary() + ")";
    } else {
        FStopText = std::string(plan->Name()) + " done at " + here;
    }
    if (withPlan) FPlan.reset();
    return true;
}
