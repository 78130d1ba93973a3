#include "CheckedSteps.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "UInstructionSet.h"
#include "Uccpubase.h"

namespace oracle {

namespace {

// Where a word or a cell at address lies, by the memory's rule (the low 32 bits; a negative
// address or one whose bytes are not all inside memory reads nothing).
void AddAccess(std::vector<TReadRange>& reads, const TCCPUBase& cpu, int64_t address, uint64_t bytes) {
    if (address < 0) return;
    const uint64_t index = static_cast<uint32_t>(address);
    if (index + bytes > static_cast<uint64_t>(cpu.Memory.Size())) return;
    reads.push_back({index, index + bytes});
}

} // namespace

std::vector<TReadRange> ReadsOf(const TCCPUBase& cpu, uint32_t word) {
    std::vector<TReadRange> reads;
    const uint32_t top = word >> 24, a = (word >> 16) & 0xFF, b = (word >> 8) & 0xFF, c = word & 0xFF;
    const int64_t stack =
        static_cast<int64_t>(static_cast<uint64_t>(cpu.StackOffsetBegin) + static_cast<uint64_t>(cpu.SP));
    using roz::TInstr;
    if (top == roz::TopByteOf(TInstr::LOAD) && a < 16 && c < 16) AddAccess(reads, cpu, cpu.R[c], 8);
    if (top == roz::TopByteOf(TInstr::MCOPY) && a < 16 && c < 16) {
        AddAccess(reads, cpu, cpu.R[c], 8);
        AddAccess(reads, cpu, static_cast<int64_t>(static_cast<uint64_t>(cpu.R[c]) + 8), 8);
    }
    if (top == roz::TopByteOf(TInstr::POP) && c < 16 && cpu.Memory.Buffer())
        AddAccess(reads, cpu, stack - 16, 8);
    if ((top == roz::TopByteOf(TInstr::RET) || top == roz::TopByteOf(TInstr::IRET)) && cpu.Memory.Buffer())
        for (int record = 1; record <= 3; ++record)
            AddAccess(reads, cpu, stack - 16 * record, 8);
    if (top == roz::TopByteOf(TInstr::BLKCOPY) && a < 16 && b < 16 && c < 16) {
        // Byte i of the count is copied when both its source and its destination lie in
        // memory: the source bytes so read, found address by address.
        const int64_t size = cpu.Memory.Size(), to = cpu.R[a], from = cpu.R[b], count = cpu.R[c];
        int64_t first = -1, last = -1;
        for (int64_t address = 0; address < size; ++address) {
            const __int128 i = __int128{address} - from, target = __int128{to} + i;
            if (i < 0 || i >= count || target < 0 || target >= size) continue;
            if (first < 0) first = address;
            last = address + 1;
        }
        if (first >= 0) reads.push_back({static_cast<uint64_t>(first), static_cast<uint64_t>(last)});
    }
    return reads;
}

std::optional<int64_t> PortOf(const TCCPUBase& cpu, uint32_t word, roz::TInstr row) {
    const uint32_t b = (word >> 8) & 0xFF, c = word & 0xFF;
    if (word >> 24 != roz::TopByteOf(row) || b >= 16 || c >= 16) return std::nullopt;
    return cpu.R[b];
}

} // namespace oracle

using oracle::PortOf;
using oracle::ReadsOf;
using oracle::TReadRange;

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
        const uint64_t clock = cpu.Clock;
        if (const int64_t status = cpu.FetchStatus(ip); status != FetchExecuted) {
            result.End = status == FetchEndOfImage ? TRunEnd::EndOfImage : TRunEnd::LeftMemory;
            result.FetchStatus = status;
            return result;
        }
        if (!(first && skipBreakpoint) && checks.HasBreakpoint(static_cast<uint64_t>(ip))) {
            TDebugStop stop;
            stop.Kind = TDebugStop::TKind::Breakpoint;
            stop.Instruction = ip;
            stop.Clock = clock;
            if (stopAt(TRunEnd::Breakpoint, stop)) return result;
        }
        if (result.Executed >= maxSteps) return result;

        const uint32_t word = static_cast<uint32_t>(cpu.Memory.PeekWord(ip));
        const uint32_t top = word >> 24;
        const bool isReturn =
            top == roz::TopByteOf(roz::TInstr::RET) || top == roz::TopByteOf(roz::TInstr::IRET);
        const bool portIn = checks.WatchPortIn && PortOf(cpu, word, roz::TInstr::IN) == TPorts::KeyboardPort;
        const bool portOut =
            checks.WatchPortOut && PortOf(cpu, word, roz::TInstr::OUT) == TPorts::MoniterPort;
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
            stop.Clock = clock;
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
        stop.Clock = clock;
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
