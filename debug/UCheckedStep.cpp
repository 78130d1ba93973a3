#include "UCheckedStep.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "UInstructionSet.h"
#include "Uccpubase.h"

namespace {

// A byte range [From, To) that an instruction reads as data.
struct TReadRange {
    uint64_t From = 0, To = 0;
};

// Where a word or a cell at address lies, by the memory's rule (the low 32 bits; a negative
// address or one whose bytes are not all inside memory reads nothing).
void AddAccess(std::vector<TReadRange>& reads, const TCCPUBase& cpu, int64_t address, uint64_t bytes) {
    if (address < 0) return;
    const uint64_t index = static_cast<uint32_t>(address);
    if (index + bytes > static_cast<uint64_t>(cpu.Memory.Size())) return;
    reads.push_back({index, index + bytes});
}

std::vector<TReadRange> ReadsOf(const TCCPUBase& cpu, uint32_t word) {
    std::vector<TReadRange> reads;
    const uint32_t top = word >> 24, b = (word >> 8) & 0xFF, c = word & 0xFF;
    const int64_t stack =
        static_cast<int64_t>(static_cast<uint64_t>(cpu.StackOffsetBegin) + static_cast<uint64_t>(cpu.SP));
    using roz::TInstr;
    if (top == roz::TopByteOf(TInstr::LOAD) && c < 16) AddAccess(reads, cpu, cpu.R[c], 8);
    if (top == roz::TopByteOf(TInstr::MCOPY) && c < 16) {
        AddAccess(reads, cpu, cpu.R[c], 8);
        AddAccess(reads, cpu, static_cast<int64_t>(static_cast<uint64_t>(cpu.R[c]) + 8), 8);
    }
    if (top == roz::TopByteOf(TInstr::POP) && c < 16) AddAccess(reads, cpu, stack - 16, 8);
    if (top == roz::TopByteOf(TInstr::RET) || top == roz::TopByteOf(TInstr::IRET))
        for (int record = 1; record <= 3; ++record)
            AddAccess(reads, cpu, stack - 16 * record, 8);
    if (top == roz::TopByteOf(TInstr::BLKCOPY) && b < 16 && c < 16 && cpu.R[c] > 0) {
        const int64_t from = std::max<int64_t>(cpu.R[b], 0);
        int64_t end = 0;
        const int64_t to = __builtin_add_overflow(cpu.R[b], cpu.R[c], &end)
                               ? cpu.Memory.Size()
                               : std::min<int64_t>(end, cpu.Memory.Size());
        if (to > from) reads.push_back({static_cast<uint64_t>(from), static_cast<uint64_t>(to)});
    }
    return reads;
}

// The port an IN or OUT addresses, or -1 for any other word.
int64_t PortOf(const TCCPUBase& cpu, uint32_t word, roz::TInstr row) {
    const uint32_t b = (word >> 8) & 0xFF, c = word & 0xFF;
    if (word >> 24 != roz::TopByteOf(row) || b >= 16 || c >= 16) return -1;
    return cpu.R[b];
}

} // namespace

TRunResult RunChecked(TCCPUBase& cpu, const TDebugChecks& checks, const TDebugDecision& decide,
                      uint64_t maxSteps, bool skipBreakpoint) {
    TRunResult result{TRunEnd::StepLimit, 0, 0, {}};
    std::vector<std::vector<uint8_t>> before(checks.Watches.size());
    const auto stopAt = [&](TRunEnd end, const TDebugStop& stop) {
        result.End = end;
        result.Stop = stop;
        if (!decide || decide(cpu, result)) return true;
        result.End = TRunEnd::StepLimit;
        result.Stop = {};
        return false;
    };
    for (bool first = true;; first = false) {
        const int64_t ip = cpu.IPOffset;
        if (const int64_t status = cpu.FetchStatus(ip); status != FetchExecuted) {
            result.End = status == FetchEndOfImage ? TRunEnd::EndOfImage : TRunEnd::LeftMemory;
            result.FetchStatus = status;
            return result;
        }
        if (!(first && skipBreakpoint) && checks.HasBreakpoint(static_cast<uint64_t>(ip))) {
            TDebugStop stop;
            stop.Kind = TDebugStop::TKind::Breakpoint;
            stop.Instruction = ip;
            if (stopAt(TRunEnd::Breakpoint, stop)) return result;
        }
        if (result.Executed >= maxSteps) return result;

        const uint32_t word = static_cast<uint32_t>(cpu.Memory.PeekWord(ip));
        const uint32_t top = word >> 24;
        const bool isReturn =
            top == roz::TopByteOf(roz::TInstr::RET) || top == roz::TopByteOf(roz::TInstr::IRET);
        const bool portIn = checks.WatchPortIn && PortOf(cpu, word, roz::TInstr::IN) == 0;
        const bool portOut = checks.WatchPortOut && PortOf(cpu, word, roz::TInstr::OUT) == 1;
        const int64_t outValue = portOut ? cpu.R[word & 0xFF] : 0;
        const std::vector<TReadRange> reads = ReadsOf(cpu, word);
        for (size_t i = 0; i < checks.Watches.size(); ++i) {
            const TDebugChecks::TWatch& watch = checks.Watches[i];
            before[i].resize(watch.Write ? watch.End - watch.Begin : 0);
            for (size_t k = 0; k < before[i].size(); ++k)
                before[i][k] = cpu.Memory.PeekByte(static_cast<int64_t>(watch.Begin + k));
        }

        try {
            cpu.FetchAndExecute(ip);
        } catch (const TDivisionByZero&) {
            result.End = TRunEnd::DivisionByZero;
            return result;
        }
        ++result.Executed;

        for (size_t i = 0; i < checks.Watches.size(); ++i) {
            const TDebugChecks::TWatch& watch = checks.Watches[i];
            TDebugStop stop;
            stop.Instruction = ip;
            stop.Watch = static_cast<int32_t>(i);
            for (size_t k = 0; k < before[i].size(); ++k) {
                const uint8_t now = cpu.Memory.PeekByte(static_cast<int64_t>(watch.Begin + k));
                if (now == before[i][k]) continue;
                stop.Kind = TDebugStop::TKind::WatchWrite;
                stop.Address = watch.Begin + k;
                for (size_t n = k; n < before[i].size() && stop.Length < sizeof stop.Old;
                     ++n, ++stop.Length) {
                    stop.Old[stop.Length] = before[i][n];
                    stop.New[stop.Length] = cpu.Memory.PeekByte(static_cast<int64_t>(watch.Begin + n));
                }
                break;
            }
            if (stop.Kind == TDebugStop::TKind::None && watch.Read)
                for (const TReadRange& read : reads)
                    if (read.From < watch.End && watch.Begin < read.To) {
                        stop.Kind = TDebugStop::TKind::WatchRead;
                        stop.Address = std::max(read.From, watch.Begin);
                        break;
                    }
            if (stop.Kind != TDebugStop::TKind::None && stopAt(TRunEnd::Watchpoint, stop)) return result;
        }
        TDebugStop stop;
        stop.Instruction = ip;
        if (portIn) {
            stop.Kind = TDebugStop::TKind::PortIn;
            stop.Value = cpu.R[word & 0xFF];
            if (stopAt(TRunEnd::Watchpoint, stop)) return result;
        }
        if (portOut) {
            stop.Kind = TDebugStop::TKind::PortOut;
            stop.Value = outValue;
            if (stopAt(TRunEnd::Watchpoint, stop)) return result;
        }
        if (isReturn && checks.ReturnBelow && cpu.SP < *checks.ReturnBelow) {
            stop.Kind = TDebugStop::TKind::Returned;
            if (stopAt(TRunEnd::Returned, stop)) return result;
        }
    }
}
