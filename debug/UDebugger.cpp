#include "UDebugger.h"

#include <algorithm>
#include <cstdio>

#include "UPlace.h"
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
    return FormatPlace(PlaceAt(FMap, address, TPlaceName::Symbol), TPlaceFormat::NameSourceAddress);
}

TDebugVerdict TDebugger::Evaluate(const TCCPUBase& cpu, const TDebugStop& stop, bool withPlan) const {
    TDebugVerdict decision;
    const TStepPlan* plan = withPlan && FPlan ? &*FPlan : nullptr;
    decision.WithPlan = withPlan;
    if (plan) {
        decision.PlanProgress = plan->Progress();
        // The step's own first instruction: nothing counts, the run goes on.
        if (plan->AtStart(cpu, stop, decision.PlanProgress)) return decision;
    }
    switch (stop.Kind) {
    case TDebugStop::TKind::Breakpoint:
        FBreakpoints.Matching(cpu, static_cast<uint64_t>(stop.Instruction), decision.BreakpointHits);
        for (int id : decision.BreakpointHits)
            if (FBreakpoints.Find(id)->StopsOnNextHit()) {
                decision.Breakpoint = id;
                break;
            }
        break;
    case TDebugStop::TKind::WatchWrite:
    case TDebugStop::TKind::WatchRead:
    case TDebugStop::TKind::PortIn:
    case TDebugStop::TKind::PortOut:
        FWatches.Matching(cpu, stop, FMap, decision.WatchpointHits);
        for (int id : decision.WatchpointHits)
            if (FWatches.Find(id)->StopsOnNextHit()) {
                decision.Watchpoint = id;
                break;
            }
        break;
    case TDebugStop::TKind::None:
    case TDebugStop::TKind::Returned:
        break;
    }
    decision.PlanDone = plan && plan->Reached(cpu, stop, decision.PlanProgress);
    return decision;
}

bool TDebugger::Decide(const TCCPUBase& cpu, const TDebugStop& stop, bool withPlan) {
    return Commit(cpu, stop, Evaluate(cpu, stop, withPlan));
}

bool TDebugger::Commit(const TCCPUBase& cpu, const TDebugStop& stop, const TDebugVerdict& decision) {
    TStepPlan* plan = decision.WithPlan && FPlan ? &*FPlan : nullptr;
    if (plan) plan->Keep(decision.PlanProgress);
    for (int id : decision.BreakpointHits)
        ++FBreakpoints.Find(id)->Hits;
    for (int id : decision.WatchpointHits)
        ++FWatches.Find(id)->Hits;
    const int breakpoint = decision.Breakpoint, watchpoint = decision.Watchpoint;
    if (!decision.Stop()) return false;

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
    if (decision.WithPlan) FPlan.reset();
    return true;
}
