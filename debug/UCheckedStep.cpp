#include "UCheckedStep.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "UInstructionSet.h"
#include "Uccpubase.h"

namespace {

// The bytes an instruction reads as data, as a plain [From, To) range (for read watches).
struct TReadRange {
    uint64_t From = 0, To = 0;
};

uint64_t WordIndex(int64_t address) {
    return static_cast<uint32_t>(address); // the memory's word rule: the low 32 bits
}

TReadRange ReadRangeOf(const TCCPUBase& cpu, uint32_t word) {
    const uint32_t top = word >> 24, b = (word >> 8) & 0xFF, c = word & 0xFF;
    if (top == roz::TopByteOf(roz::TInstr::LOAD) && c < 16 && cpu.R[c] >= 0)
        return {WordIndex(cpu.R[c]), WordIndex(cpu.R[c]) + 8};
    if (top == roz::TopByteOf(roz::TInstr::MCOPY) && c < 16 && cpu.R[c] >= 0)
        return {WordIndex(cpu.R[c]), WordIndex(cpu.R[c]) + 16};
    if (top == roz::TopByteOf(roz::TInstr::BLKCOPY) && b < 16 && c < 16 && cpu.R[c] > 0) {
        const int64_t from = std::max<int64_t>(cpu.R[b], 0);
        if (cpu.R[b] + cpu.R[c] > from)
            return {static_cast<uint64_t>(from), static_cast<uint64_t>(cpu.R[b] + cpu.R[c])};
    }
    return {};
}

// The port an IN or OUT addresses, or -1 for any other word.
int64_t PortOf(const TCCPUBase& cpu, uint32_t word, roz::TInstr row) {
    const uint32_t b = (word >> 8) & 0xFF, c = word & 0xFF;
    if (word >> 24 != roz::TopByteOf(row) || b >= 16 || c >= 16) return -1;
    return cpu.R[b];
}

} // namespace

TCheckedRunResult RunChecked(TCCPUBase& cpu, const TDebugChecks& checks, const TDecideHook& decide,
                             uint64_t maxSteps) {
    TCheckedRunResult result;
    std::vector<std::vector<uint8_t>> before(checks.Watches.size());
    const auto stopAt = [&](const TDebugStop& stop) {
        if (!decide(cpu, stop)) return false;
        result.End = TCheckedRunResult::TEnd::DebugStop;
        result.Stop = stop;
        return true;
    };
    for (bool first = true; result.Executed < maxSteps; first = false) {
        const uint64_t ip = static_cast<uint64_t>(cpu.IPOffset);
        if (!first && std::binary_search(checks.Breakpoints.begin(), checks.Breakpoints.end(), ip) &&
            stopAt({TDebugStop::TKind::Breakpoint, ip}))
            return result;

        const uint32_t word = static_cast<uint32_t>(cpu.Memory.PeekWord(cpu.IPOffset));
        const uint32_t top = word >> 24;
        const bool isReturn =
            top == roz::TopByteOf(roz::TInstr::RET) || top == roz::TopByteOf(roz::TInstr::IRET);
        const bool portIn = checks.WatchPortIn && PortOf(cpu, word, roz::TInstr::IN) == 0;
        const bool portOut = checks.WatchPortOut && PortOf(cpu, word, roz::TInstr::OUT) == 1;
        const TReadRange read = ReadRangeOf(cpu, word);
        for (size_t i = 0; i < checks.Watches.size(); ++i) {
            const TDebugChecks::TWatch& watch = checks.Watches[i];
            before[i].resize(watch.Write ? watch.End - watch.Begin : 0);
            for (size_t k = 0; k < before[i].size(); ++k)
                before[i][k] = cpu.Memory.PeekByte(static_cast<int64_t>(watch.Begin + k));
        }

        int64_t status;
        try {
            status = cpu.FetchAndExecute(cpu.IPOffset);
        } catch (const TDivisionByZero&) {
            result.End = TCheckedRunResult::TEnd::DivisionByZero;
            return result;
        }
        if (status != FetchExecuted) {
            result.End = status == FetchEndOfImage ? TCheckedRunResult::TEnd::EndOfImage
                                                   : TCheckedRunResult::TEnd::LeftMemory;
            return result;
        }
        ++result.Executed;

        for (size_t i = 0; i < checks.Watches.size(); ++i) {
            const TDebugChecks::TWatch& watch = checks.Watches[i];
            for (size_t k = 0; k < before[i].size(); ++k)
                if (cpu.Memory.PeekByte(static_cast<int64_t>(watch.Begin + k)) != before[i][k]) {
                    if (stopAt({TDebugStop::TKind::Watch, watch.Begin + k, static_cast<int>(i), true}))
                        return result;
                    break;
                }
            if (watch.Read && read.From < watch.End && watch.Begin < read.To &&
                stopAt(
                    {TDebugStop::TKind::Watch, std::max(read.From, watch.Begin), static_cast<int>(i), false}))
                return result;
        }
        if (portIn && stopAt({TDebugStop::TKind::PortIn, ip})) return result;
        if (portOut && stopAt({TDebugStop::TKind::PortOut, ip})) return result;
        if (isReturn && checks.ReturnBelow && cpu.SP < static_cast<int64_t>(*checks.ReturnBelow) &&
            stopAt({TDebugStop::TKind::Return, static_cast<uint64_t>(cpu.IPOffset)}))
            return result;
    }
    result.End = TCheckedRunResult::TEnd::StepLimit;
    return result;
}
