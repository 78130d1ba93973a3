// roziduv2-cli: runs a code image headless, for grading and benchmarks.
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "UCliOptions.h"
#include "UDisassembler.h"
#include "UDumpChunks.h"
#include "UInstructionSet.h"
#include "UJsonReport.h"
#include "ULoadStatus.h"
#include "UMoniterRecorder.h"
#include "URunLoop.h"
#include "Uccpu.h"

namespace {

const char Usage[] =
    "usage: roziduv2-cli [--memory-size N] [--max-steps N] [--key WORD] [--keys FILE]\n"
    "                    [--regs] [--dump START:COUNT] [--trace] [--stats] [--json] IMAGE\n"
    "\n"
    "Runs the code image IMAGE on the simulated CPU until it ends.\n"
    "  --memory-size N     memory size in bytes, 1 to 2147483647 (default 10000)\n"
    "  --max-steps N       execute at most N instructions (exit status 3 when reached before\n"
    "                      the image ends)\n"
    "  --key WORD          keyboard port word from the start (a held key)\n"
    "  --keys FILE         keyboard word over time: lines \"COUNT WORD\"; WORD takes effect\n"
    "                      after COUNT instructions have executed ('#' starts a comment)\n"
    "  --regs              print the 27 registers after the run\n"
    "  --dump START:COUNT  print the hex dump of COUNT bytes from START after the run\n"
    "  --trace             print every executed instruction on stderr\n"
    "  --stats             print instructions, seconds and MIPS on stderr\n"
    "  --json              print only one JSON object on stdout: end reason, exit status,\n"
    "                      instruction count, registers, monitor events and lines, dump\n"
    "Numbers are decimal or 0x-hexadecimal.\n"
    "stdout: each monitor print as a decimal line, each clear as a line holding \"\\f\".\n"
    "Exit status: 0 end of the image, 1 left memory, 2 usage error or refused image,\n"
    "3 step limit, 4 division by zero.\n";

[[noreturn]] void UsageError(const std::string& message) {
    std::fprintf(stderr, "roziduv2-cli: %s\n(see roziduv2-cli --help)\n", message.c_str());
    std::exit(2);
}

// Runs at most budget instructions through the run loop; with trace, one at a time,
// printing each on stderr once it has executed (the line is formed before it runs, since
// the instruction may overwrite its own word).
TRunResult RunSegment(TCCPUBase& cpu, TRunControl& control, uint64_t budget, bool trace) {
    if (!trace) return RunLoop(cpu, control, budget);
    TRunResult total{TRunEnd::StepLimit, 0, 0};
    char line[160];
    for (uint64_t i = 0; i < budget; ++i) {
        const int64_t ip = cpu.IPOffset;
        const TCCPUMemory& memory = cpu.Memory;
        line[0] = 0;
        if (ip >= 0 && ip < memory.Size() - 3 && ip < memory.UsedLength() - 3) {
            uint32_t word;
            std::memcpy(&word, memory.Buffer() + static_cast<uint32_t>(ip), 4);
            std::optional<uint64_t> cell;
            if (roz::HasInlineCell(word >> 24))
                cell = memory.ReadWord(static_cast<int64_t>(static_cast<uint64_t>(ip) + cpu.IPOffsetBegin));
            std::snprintf(line, sizeof line, "%016" PRIX64 "  %08" PRIX32 "  %s\n", static_cast<uint64_t>(ip),
                          word, Disassemble(word, cell).c_str());
        }
        const TRunResult one = RunLoop(cpu, control, 1);
        if (one.Executed == 1) std::fputs(line, stderr);
        total.Executed += one.Executed;
        total.FetchStatus = one.FetchStatus;
        total.End = one.End;
        if (one.End != TRunEnd::StepLimit) return total;
    }
    total.End = TRunEnd::StepLimit;
    return total;
}

// Runs to the end or the step limit, changing the keyboard word as options.Keys says:
// the run loop gets budgets that end exactly where the next change is due.
TRunResult Run(TCCPUBase& cpu, const TCliOptions& options) {
    TRunControl control;
    control.SetRunning(true);
    TRunResult total{TRunEnd::StepLimit, 0, 0};
    size_t next = 0;
    while (true) {
        while (next < options.Keys.size() && options.Keys[next].At <= total.Executed)
            cpu.Ports.Keyboard.Data.store(options.Keys[next++].Word, std::memory_order_relaxed);
        uint64_t budget = options.MaxSteps - total.Executed;
        const bool change = next < options.Keys.size() && options.Keys[next].At - total.Executed < budget;
        if (change) budget = options.Keys[next].At - total.Executed;
        const TRunResult part = RunSegment(cpu, control, budget, options.Trace);
        total.Executed += part.Executed;
        total.FetchStatus = part.FetchStatus;
        total.End = part.End;
        if (part.End != TRunEnd::StepLimit) return total;
        if (!change) break;
    }
    // The whole budget is spent. A program that has just executed its last instruction ends
    // by itself: the next fetch would find the end of the image, which counts as its end, as
    // an unlimited run would report it, without another instruction. Any other next fetch
    // (an instruction, or leaving memory) would mean more to run or a fault after the limit,
    // so the step limit stands. (Leaving memory at or past its size by the last instruction
    // is already the run loop's end, tested before the budget.)
    if (cpu.FetchStatus(cpu.IPOffset) == FetchEndOfImage) {
        total.End = TRunEnd::EndOfImage;
        total.FetchStatus = FetchEndOfImage;
    }
    return total;
}

int ExitStatus(TRunEnd end) {
    switch (end) {
    case TRunEnd::EndOfImage:
        return 0;
    case TRunEnd::LeftMemory:
        return 1;
    case TRunEnd::StepLimit:
        return 3;
    case TRunEnd::DivisionByZero:
        return 4;
    case TRunEnd::Stopped:
        return 1; // not reached: nothing clears Running here
    case TRunEnd::Breakpoint:
    case TRunEnd::Watchpoint:
    case TRunEnd::Returned:
    case TRunEnd::DebugChanged:
        return 1; // not reached: the runner runs the plain loop
    }
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    TCliOptions options;
    std::string error;
    if (!options.Parse(argc, argv, error)) UsageError(error);
    if (options.Help) {
        std::fputs(Usage, stdout);
        return 0;
    }

    static char outBuffer[1 << 16];
    std::setvbuf(stdout, outBuffer, _IOFBF, sizeof outBuffer);
    if (options.Trace) {
        // stderr is unbuffered: one write per traced line would cost far more than the run.
        // Every later message goes through the same buffer, so the order stays; it is
        // flushed when the run stops and at exit.
        static char errBuffer[1 << 20];
        std::setvbuf(stderr, errBuffer, _IOFBF, sizeof errBuffer);
    }

    // A run that cannot start: the message on stderr, and with --json its object on stdout.
    auto refuse = [&](const std::string& reason, const std::string& message) {
        if (options.Json) {
            WriteJsonRefusal(stdout, reason);
            std::fflush(stdout);
        }
        std::fprintf(stderr, "roziduv2-cli: %s\n", message.c_str());
        return 2;
    };
    TCCPU cpu;
    if (options.MemorySize != TCCPUBase::DefaultMemorySize && cpu.Memory.SetSize(options.MemorySize) != 0) {
        const std::string reason =
            "cannot allocate " + std::to_string(options.MemorySize) + " bytes of memory";
        return refuse(reason, reason);
    }
    const roz::TLoadStatus loaded = roz::LoadStatusOf(cpu.Memory.LoadImage(options.Image));
    if (loaded != roz::TLoadStatus::Done) {
        const char* reason = roz::LoadStatusText(loaded).Runner;
        return refuse(reason, options.Image + ": " + reason);
    }
    cpu.Reset();
    cpu.Ports.Keyboard.Data.store(options.Key, std::memory_order_relaxed);
    TMoniterRecorder monitor(options.Json ? nullptr : stdout);
    cpu.Ports.Moniter.Sink = &monitor;

    const auto started = std::chrono::steady_clock::now();
    const TRunResult result = Run(cpu, options);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const int status = ExitStatus(result.End);
    std::fflush(stderr); // the trace, before the report

    if (options.Json) {
        WriteJsonReport(stdout, RunEndName(result.End), status, result.Executed, cpu, monitor, options.Dump);
    } else {
        if (options.Regs) {
            for (int order = 0; order < TCCPUBase::PanelRegisterCount; ++order)
                std::printf("%s=%016" PRIX64 "\n", TCCPUBase::PanelRegisterNames[order],
                            static_cast<uint64_t>(cpu.PanelRegister(order)));
        }
        if (options.Dump) {
            ForEachDumpGroup(cpu.Memory, options.Dump->first, options.Dump->second,
                             [](const char* group) { std::printf("%.8s\n", group); });
        }
    }
    std::fflush(stdout);

    if (result.End == TRunEnd::DivisionByZero) std::fputs("Division by zero\n", stderr);
    std::fprintf(stderr, "%s after %" PRIu64 " instructions\n", RunEndName(result.End), result.Executed);
    if (options.Stats)
        std::fprintf(stderr, "instructions: %" PRIu64 "\nseconds: %.3f\nMIPS: %.1f\n", result.Executed,
                     seconds, seconds > 0 ? result.Executed / seconds / 1e6 : 0.0);
    return status;
}
