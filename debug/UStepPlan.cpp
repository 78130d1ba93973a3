#include "UStepPlan.h"

#include <algorithm>

#include "UInstructionSet.h"
#include "Uccpubase.h"

namespace {

uint32_t WordAt(const TCCPUBase& cpu, uint64_t address) {
    return static_cast<uint32_t>(cpu.Memory.PeekWord(static_cast<int64_t>(address)));
}

void SortUnique(std::vector<uint64_t>& addresses) {
    std::sort(addresses.begin(), addresses.end());
    addresses.erase(std::unique(addresses.begin(), addresses.end()), addresses.end());
}

// The instruction starts of the line table's rows within [from, to).
template <class TVisit>
void VisitInstructions(const TCCPUBase& cpu, const TSourceMap& map, uint64_t from, uint64_t to,
                       TVisit visit) {
    const uint8_t* image = cpu.Memory.Buffer();
    const uint64_t length = static_cast<uint64_t>(cpu.Memory.UsedLength());
    for (const TDebugInfo::TLine& row : map.Info().Lines) {
        if (row.To <= from || row.From >= to) continue;
        for (uint64_t at : map.InstructionStarts({row.From, row.To}, image, length))
            visit(at, TSourceMap::TLineKey{row.File, row.Line});
    }
}

} // namespace

uint64_t TStepPlan::CallSize(const TCCPUBase& cpu, uint64_t address) {
    const uint32_t word = WordAt(cpu, address);
    return roz::IsCallWord(word) ? roz::SizeOfWord(word) : 0;
}

bool TStepPlan::IsReturn(const TCCPUBase& cpu, uint64_t address) {
    return roz::IsReturnWord(WordAt(cpu, address));
}

std::optional<uint64_t> TStepPlan::CallReturningTo(const TCCPUBase& cpu, uint64_t address) {
    for (const uint64_t size : roz::CallSizes)
        if (size != 0 && CallSize(cpu, address - size) == size) return address - size;
    return std::nullopt;
}

TStepPlan TStepPlan::StepOver(const TCCPUBase& cpu) {
    TStepPlan plan;
    plan.Start(cpu);
    const uint64_t at = static_cast<uint64_t>(cpu.IPOffset);
    const uint64_t size = CallSize(cpu, at);
    if (size == 0) {
        plan.FKind = TKind::Instruction;
        return plan;
    }
    plan.FKind = TKind::Over;
    plan.FReturnAddress = at + size;
    plan.FReturnSp = cpu.SP;
    plan.FChecks.Breakpoints = {plan.FReturnAddress};
    return plan;
}

TStepPlan TStepPlan::StepOut(const TCCPUBase& cpu) {
    TStepPlan plan;
    plan.Start(cpu);
    plan.FKind = TKind::Out;
    plan.FChecks.ReturnBelow = cpu.SP;
    return plan;
}

TStepPlan TStepPlan::RunTo(const TCCPUBase& cpu, std::vector<uint64_t> addresses) {
    TStepPlan plan;
    plan.Start(cpu);
    plan.FKind = TKind::RunTo;
    SortUnique(addresses);
    plan.FTargets = addresses;
    plan.FChecks.Breakpoints = std::move(addresses);
    return plan;
}

TStepPlan TStepPlan::SourceStepInto(const TCCPUBase& cpu, const TSourceMap& map) {
    if (!map.HasLines()) {
        TStepPlan plan;
        plan.FKind = TKind::Instruction;
        return plan;
    }
    TStepPlan plan;
    plan.Start(cpu);
    plan.FKind = TKind::SourceInto;
    plan.FMap = &map;
    plan.FStartLine = map.LineAt(static_cast<uint64_t>(cpu.IPOffset));
    for (const TDebugInfo::TFunction& function : map.Info().Functions)
        plan.FTargets.push_back(function.Address);
    SortUnique(plan.FTargets);
    std::vector<uint64_t>& breakpoints = plan.FChecks.Breakpoints;
    VisitInstructions(cpu, map, 0, UINT64_MAX, [&](uint64_t at, TSourceMap::TLineKey line) {
        if (line != plan.FStartLine) breakpoints.push_back(at);
    });
    breakpoints.insert(breakpoints.end(), plan.FTargets.begin(), plan.FTargets.end());
    SortUnique(breakpoints);
    plan.FChecks.ReturnBelow = cpu.SP;
    return plan;
}

TStepPlan TStepPlan::SourceStepOver(const TCCPUBase& cpu, const TSourceMap& map) {
    if (!map.HasLines()) return StepOver(cpu);
    const uint64_t ip = static_cast<uint64_t>(cpu.IPOffset);
    if (!map.LineAt(ip).Valid()) return SourceStepInto(cpu, map);
    TStepPlan plan;
    plan.Start(cpu);
    plan.FKind = TKind::SourceOver;
    plan.FMap = &map;
    plan.FStartLine = map.LineAt(ip);
    plan.FStartFunction = map.FunctionAt(ip);
    // The current function's code; assembly has no functions, so all of it.
    uint64_t from = 0, to = UINT64_MAX;
    if (plan.FStartFunction) {
        from = plan.FStartFunction->Address;
        to = from + plan.FStartFunction->Size;
    }
    std::vector<uint64_t>& breakpoints = plan.FChecks.Breakpoints;
    VisitInstructions(cpu, map, from, to, [&](uint64_t at, TSourceMap::TLineKey line) {
        if (line != plan.FStartLine) breakpoints.push_back(at);
        if (const uint64_t size = CallSize(cpu, at)) {
            breakpoints.push_back(at);
            breakpoints.push_back(at + size);
        }
    });
    SortUnique(breakpoints);
    plan.FChecks.ReturnBelow = cpu.SP;
    if (const uint64_t size = CallSize(cpu, ip)) {
        plan.FInCall = true;
        plan.FReturnAddress = ip + size;
        plan.FReturnSp = cpu.SP;
    }
    return plan;
}

void TStepPlan::Start(const TCCPUBase& cpu) {
    FStartIp = cpu.IPOffset;
    FStartSp = cpu.SP;
    FStartPsw = cpu.PSW;
    std::copy(std::begin(cpu.R), std::end(cpu.R), FStartR);
}

void TStepPlan::Keep(const TProgress& progress) {
    FFresh = progress.Fresh;
    FInCall = progress.InCall;
    FReturnAddress = progress.ReturnAddress;
    FReturnSp = progress.ReturnSp;
}

bool TStepPlan::AtStart(const TCCPUBase& cpu, const TDebugStop& stop) {
    TProgress progress = Progress();
    const bool result = AtStart(cpu, stop, progress);
    Keep(progress);
    return result;
}

bool TStepPlan::Reached(const TCCPUBase& cpu, const TDebugStop& stop) {
    TProgress progress = Progress();
    const bool result = Reached(cpu, stop, progress);
    Keep(progress);
    return result;
}

bool TStepPlan::AtStart(const TCCPUBase& cpu, const TDebugStop& stop, TProgress& progress) const {
    if (!progress.Fresh) return false;
    progress.Fresh = false;
    return stop.Kind == TDebugStop::TKind::Breakpoint && cpu.IPOffset == FStartIp && cpu.SP == FStartSp &&
           cpu.PSW == FStartPsw && std::equal(std::begin(cpu.R), std::end(cpu.R), FStartR);
}

bool TStepPlan::LineChanged(const TCCPUBase& cpu) const {
    const TSourceMap::TLineKey line = FMap->LineAt(static_cast<uint64_t>(cpu.IPOffset));
    return line.Valid() && line != FStartLine;
}

bool TStepPlan::Reached(const TCCPUBase& cpu, const TDebugStop& stop, TProgress& progress) const {
    const uint64_t ip = static_cast<uint64_t>(cpu.IPOffset);
    const bool returned = stop.Kind == TDebugStop::TKind::Returned;
    switch (FKind) {
    case TKind::None:
    case TKind::Instruction:
        return false;
    case TKind::Over:
        return ip == progress.ReturnAddress && cpu.SP == progress.ReturnSp;
    case TKind::Out:
        return returned && cpu.SP < FStartSp;
    case TKind::RunTo:
        return std::binary_search(FTargets.begin(), FTargets.end(), ip);
    case TKind::SourceInto:
        if (returned && cpu.SP < FStartSp) return true;
        return std::binary_search(FTargets.begin(), FTargets.end(), ip) || LineChanged(cpu);
    case TKind::SourceOver:
        if (progress.InCall) {
            if (ip != progress.ReturnAddress || cpu.SP != progress.ReturnSp)
                return false; // still inside the call
            progress.InCall = false;
        } else if (returned && cpu.SP < FStartSp) {
            return true; // out of the current function
        }
        if (LineChanged(cpu)) return true;
        if (const uint64_t size = CallSize(cpu, ip)) {
            progress.InCall = true;
            progress.ReturnAddress = ip + size;
            progress.ReturnSp = cpu.SP;
        }
        return false;
    }
    return false;
}

const char* TStepPlan::Name() const {
    switch (FKind) {
    case TKind::None:
        return "run";
    case TKind::Instruction:
        return "step";
    case TKind::Over:
        return "step over";
    case TKind::Out:
        return "step out";
    case TKind::RunTo:
        return "run to cursor";
    case TKind::SourceInto:
        return "step into line";
    case TKind::SourceOver:
        return "step over line";
    }
    return "";
}
