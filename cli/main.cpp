// roziduv2-cli: runs a code image headless, for grading and benchmarks.
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "UCliDebug.h"
#include "UCliOptions.h"
#include "UDebugInfo.h"
#include "UDisassembler.h"
#include "UDumpChunks.h"
#include "UInstructionSet.h"
#include "UJsonReport.h"
#include "ULoadStatus.h"
#include "UMoniterRecorder.h"
#include "UPlace.h"
#include "UProgramEnd.h"
#include "URunLoop.h"
#include "Uccpu.h"

namespace {

const char Usage[] =
    "usage: roziduv2-cli [--memory-size N] [--max-steps N] [--key WORD] [--keys FILE]\n"
    "                    [--regs] [--dump START:COUNT] [--trace[=source]] [--break LOCATION]...\n"
    "                    [--watch LOCATION]... [--stats] [--json] IMAGE\n"
    "\n"
    "Runs the code image IMAGE on the simulated CPU until it ends.\n"
    "  --memory-size N     memory size in bytes, 1 to 2147483647 (default: the memory\n"
    "                      IMAGE.dbg says the program needs, at least 10000); less than\n"
    "                      IMAGE.dbg says is refused\n"
    "  --max-steps N       execute at most N instructions (exit status 3 when reached before\n"
    "                      the image ends)\n"
    "  --key WORD          keyboard port word from the start (a held key)\n"
    "  --keys FILE         keyboard word over time: lines \"COUNT WORD\"; WORD takes effect\n"
    "                      after COUNT instructions have executed ('#' starts a comment)\n"
    "  --regs              print the 27 registers after the run\n"
    "  --dump START:COUNT  print the hex dump of COUNT bytes from START after the run\n"
    "  --trace             print every executed instruction on stderr\n"
    "  --trace=source      the same, each line followed by the function (or label) and source\n"
    "                      line IMAGE.dbg gives for it, e.g. \"factorial  fact.c:6\"\n"
    "  --break LOCATION    end the run before the instruction at LOCATION executes (exit\n"
    "                      status 5; may be given more than once): an address, a label,\n"
    "                      a C function's name or FILE:LINE (names and lines need IMAGE.dbg);\n"
    "                      a breakpoint right after the last instruction --max-steps allows\n"
    "                      wins over the step limit\n"
    "  --watch LOCATION    end the run after the instruction that changes the watched bytes\n"
    "                      (or reads them, with r), or moves a word through the keyboard (in)\n"
    "                      or monitor (out) port (exit status 9; may be given more than once);\n"
    "                      LOCATION as the window's watch list takes it: in, out,\n"
    "                      ADDRESS [SIZE] [w|r|rw] or a C expression over globals (moves,\n"
    "                      a[3], p->next; needs IMAGE.dbg)\n"
    "  --stats             print instructions, seconds and MIPS on stderr\n"
    "  --json              print only one JSON object on stdout: end reason, exit status,\n"
    "                      instruction count, registers, monitor events and lines, dump,\n"
    "                      the breakpoint or watchpoint that ended the run (its location,\n"
    "                      address, size, old and new value), a failed assert's expression,\n"
    "                      file, line and function, a C program's main_result\n"
    "Numbers are decimal or 0x-hexadecimal. IMAGE.dbg is IMAGE with its extension replaced\n"
    "by .dbg (the debug information roziduv2-asm and roziduv2-cc write).\n"
    "stdout: each monitor print as a decimal line, each clear as a line holding \"\\f\".\n"
    "Exit status: 0 end of the image, 1 left memory, 2 usage error or refused image,\n"
    "3 step limit, 4 division by zero, 5 breakpoint; for a C program (told by IMAGE.dbg)\n"
    "6 stack overflow, 7 failed assert, 8 abort(); 9 watchpoint.\n";

[[noreturn]] void UsageError(const std::string& message) {
    std::fprintf(stderr, "roziduv2-cli: %s\n(see roziduv2-cli --help)\n", message.c_str());
    std::exit(2);
}

// What a run watches for and shows besides the program.
struct TRunSetup {
    bool Trace = false;
    const TCliDebug* Source = nullptr; // --trace=source: annotates each traced line
    const TDebugSettings* Debug =
        nullptr; // --break, --watch: the checked loop's candidates and their decision
    const TDebugChecks* Checks() const { return Debug ? &Debug->Checks : nullptr; }
};

// At most steps instructions through the checked loop, until a candidate stop that the
// debugger's decision keeps (one it lets pass goes on at once, as in the window).
TRunResult RunChecked(TCCPUBase& cpu, TRunControl& control, const TDebugSettings& debug, uint64_t steps) {
    TRunResult total{TRunEnd::StepLimit, 0, 0};
    bool skipBreakpoint = false;
    while (true) {
        const TRunResult part =
            RunLoopChecked(cpu, control, debug.Checks, steps - total.Executed, skipBreakpoint);
        total.Executed += part.Executed;
        total.FetchStatus = part.FetchStatus;
        total.End = part.End;
        total.Stop = part.Stop;
        if (part.End != TRunEnd::Breakpoint && part.End != TRunEnd::Watchpoint) return total;
        if (!debug.Decide || debug.Decide(cpu, part)) return total;
        skipBreakpoint = part.End == TRunEnd::Breakpoint;
        if (total.Executed >= steps && !skipBreakpoint) {
            total.End = TRunEnd::StepLimit;
            return total;
        }
    }
}

// Runs at most budget instructions through the run loop (the checked one when there are
// breakpoints or watchpoints); with a trace, one at a time, printing each on stderr once it
// has executed (the line is formed before it runs, since the instruction may overwrite its
// own word).
TRunResult RunSegment(TCCPUBase& cpu, TRunControl& control, uint64_t budget, const TRunSetup& setup) {
    auto loop = [&](uint64_t steps) {
        return setup.Debug ? RunChecked(cpu, control, *setup.Debug, steps) : RunLoop(cpu, control, steps);
    };
    if (!setup.Trace) return loop(budget);
    TRunResult total{TRunEnd::StepLimit, 0, 0};
    char line[320];
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
            const std::string where = setup.Source ? setup.Source->WhereAt(static_cast<uint64_t>(ip)) : "";
            if (where.empty())
                std::snprintf(line, sizeof line, "%016" PRIX64 "  %08" PRIX32 "  %s\n",
                              static_cast<uint64_t>(ip), word, Disassemble(word, cell).c_str());
            else
                std::snprintf(line, sizeof line, "%016" PRIX64 "  %08" PRIX32 "  %-28s  %s\n",
                              static_cast<uint64_t>(ip), word, Disassemble(word, cell).c_str(),
                              where.c_str());
        }
        const TRunResult one = loop(1);
        if (one.Executed == 1) std::fputs(line, stderr);
        total.Executed += one.Executed;
        total.FetchStatus = one.FetchStatus;
        total.End = one.End;
        total.Stop = one.Stop;
        if (one.End != TRunEnd::StepLimit) return total;
    }
    total.End = TRunEnd::StepLimit;
    return total;
}

// Runs to the end, the step limit or a breakpoint, changing the keyboard word as
// options.Keys says: the run loop gets budgets that end exactly where the next change is due
// (a breakpoint there stops the next part before it executes anything).
TRunResult Run(TCCPUBase& cpu, const TCliOptions& options, const TRunSetup& setup) {
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
        const TRunResult part = RunSegment(cpu, control, budget, setup);
        total.Executed += part.Executed;
        total.FetchStatus = part.FetchStatus;
        total.End = part.End;
        total.Stop = part.Stop;
        if (part.End != TRunEnd::StepLimit) return total;
        if (!change) break;
    }
    // The whole budget is spent. A program that has just executed its last instruction ends
    // by itself: the next fetch would find the end of the image, which counts as its end, as
    // an unlimited run would report it, without another instruction. Any other next fetch
    // (an instruction, or leaving memory) would mean more to run or a fault after the limit,
    // so the step limit stands. (Leaving memory at or past its size by the last instruction
    // is already the run loop's end, tested before the budget.) Nor would an instruction at a
    // breakpoint execute: the breakpoint ends the run, as the next part would report it.
    const int64_t fetch = cpu.FetchStatus(cpu.IPOffset);
    if (fetch == FetchEndOfImage) {
        total.End = TRunEnd::EndOfImage;
        total.FetchStatus = FetchEndOfImage;
    } else if (fetch == FetchExecuted && setup.Checks() &&
               setup.Checks()->HasBreakpoint(static_cast<uint64_t>(cpu.IPOffset))) {
        TRunResult stop = total;
        stop.End = TRunEnd::Breakpoint;
        stop.Stop = TDebugStop{};
        stop.Stop.Kind = TDebugStop::TKind::Breakpoint;
        stop.Stop.Instruction = cpu.IPOffset;
        if (!setup.Debug->Decide || setup.Debug->Decide(cpu, stop)) total = stop;
    }
    return total;
}

constexpr int64_t MaxMemorySize = 2147483647;

// The bytes of the image file, or nullopt when it cannot be read (loading it reports why) or
// is no regular file (a named pipe would lose what this read to the load).
std::optional<std::vector<uint8_t>> ReadImageFile(const std::string& path) {
    std::error_code ignore;
    if (!std::filesystem::is_regular_file(path, ignore)) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return bytes;
}

// The exit status of every way a run ends: the run loop's end, or at the end of the image what
// the debug information tells of a C program's end.
int ExitStatus(TRunEnd end, const std::optional<TProgramEnd>& programEnd) {
    if (programEnd) {
        switch (programEnd->Kind) {
        case TProgramEnd::TKind::Ordinary:
            return 0;
        case TProgramEnd::TKind::StackOverflow:
            return 6;
        case TProgramEnd::TKind::Assert:
            return 7;
        case TProgramEnd::TKind::Abort:
            return 8;
        }
    }
    switch (end) {
    case TRunEnd::EndOfImage:
        return 0;
    case TRunEnd::LeftMemory:
        return 1;
    case TRunEnd::StepLimit:
        return 3;
    case TRunEnd::DivisionByZero:
        return 4;
    case TRunEnd::Breakpoint:
        return 5;
    case TRunEnd::Watchpoint:
        return 9;
    case TRunEnd::Stopped:
        return 1; // not reached: nothing clears Running here
    case TRunEnd::Returned:
    case TRunEnd::DebugChanged:
        return 1; // not reached: the runner checks breakpoints and watchpoints only
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
    // IMAGE.dbg, read against the image file's bytes before the memory is sized: it says
    // how much memory the program needs and how its abnormal ends are marked. A missing file
    // matters to --trace=source only (an address needs none: a --break by name says so in
    // its own message); one of another image is reported as the window does.
    TCliDebug debug;
    uint64_t imageLength = 0;
    if (std::optional<std::vector<uint8_t>> image = ReadImageFile(options.Image)) {
        imageLength = image->size();
        if (!debug.Load(options.Image, *image) || options.TraceSource)
            if (!debug.Note().empty()) std::fprintf(stderr, "roziduv2-cli: %s\n", debug.Note().c_str());
    }
    int64_t memorySize = options.MemorySize;
    if (debug.Loaded()) {
        uint64_t needed = debug.Map().Info().MemoryNeeded;
        const std::string dbg = TDebugInfo::PathFor(options.Image);
        // An assembly image records its length, but a program that runs to the end of its
        // image needs the fetch there to lie inside memory (a word's 4 bytes past the image).
        if (!options.MemorySizeGiven) needed = std::max(needed, imageLength + 4);
        if (!options.MemorySizeGiven && needed > static_cast<uint64_t>(memorySize)) {
            if (needed > static_cast<uint64_t>(MaxMemorySize)) {
                const std::string reason = "the program needs " + std::to_string(needed) +
                                           " bytes of memory (" + dbg + "), more than the runner's " +
                                           std::to_string(MaxMemorySize);
                return refuse(reason, options.Image + ": " + reason);
            }
            memorySize = static_cast<int64_t>(needed);
        } else if (options.MemorySizeGiven && needed > static_cast<uint64_t>(memorySize)) {
            const std::string reason = "the program needs " + std::to_string(needed) + " bytes of memory (" +
                                       dbg + "), more than --memory-size " + std::to_string(memorySize) +
                                       " gives: use --memory-size " + std::to_string(needed) +
                                       " or more, or leave it out";
            return refuse(reason, options.Image + ": " + reason);
        }
    }
    TCCPU cpu;
    if (memorySize != TCCPUBase::DefaultMemorySize && cpu.Memory.SetSize(memorySize) != 0) {
        const std::string reason = "cannot allocate " + std::to_string(memorySize) + " bytes of memory";
        return refuse(reason, reason);
    }
    const roz::TLoadStatus loaded = roz::LoadStatusOf(cpu.Memory.LoadImage(options.Image));
    if (loaded != roz::TLoadStatus::Done) {
        const char* reason = roz::LoadStatusText(loaded).Runner;
        return refuse(reason, options.Image + ": " + reason);
    }
    TRunSetup setup;
    setup.Trace = options.Trace;
    cpu.Reset();
    TDebugSettings debugSettings;
    if (options.TraceSource || !options.Breaks.empty() || !options.Watches.empty()) {
        std::string error;
        if (!debug.Resolve(options.Breaks, static_cast<uint64_t>(cpu.Memory.UsedLength()), error) ||
            !debug.AddWatches(options.Watches, cpu, error))
            UsageError(error);
        if (options.TraceSource) setup.Source = &debug;
        debugSettings = debug.Settings();
        if (!options.Breaks.empty() || !options.Watches.empty()) setup.Debug = &debugSettings;
    }
    cpu.Ports.Keyboard.Data.store(options.Key, std::memory_order_relaxed);
    TMoniterRecorder monitor(options.Json ? nullptr : stdout);
    cpu.Ports.Moniter.Sink = &monitor;

    const auto started = std::chrono::steady_clock::now();
    const TRunResult result = Run(cpu, options, setup);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    // At the end of the image the debug information tells an abnormal end (a stack overflow,
    // a failed assert, abort()) from an ordinary one, and main's result.
    std::optional<TProgramEnd> programEnd;
    if (result.End == TRunEnd::EndOfImage && debug.Loaded())
        programEnd = ClassifyProgramEnd(debug.Map(), cpu);
    const int status = ExitStatus(result.End, programEnd);
    const char* endName = programEnd ? programEnd->Reason() : RunEndName(result.End);
    std::fflush(stderr); // the trace, before the report

    // Where a breakpoint stopped the run, and the --break that put one there.
    std::optional<TJsonBreakpoint> stop;
    if (result.End == TRunEnd::Breakpoint) {
        const uint64_t address = static_cast<uint64_t>(result.Stop.Instruction);
        const std::optional<size_t> given = debug.StopLocation();
        stop = TJsonBreakpoint{address, given ? options.Breaks[*given] : "", debug.FunctionAt(address),
                               debug.SourceAt(address)};
    }
    // Which --watch ended the run and what it saw.
    std::optional<TJsonWatchpoint> watched;
    if (result.End == TRunEnd::Watchpoint)
        if (const TWatchpoint* watch = debug.StopWatchpoint()) {
            const std::optional<size_t> given = debug.StopWatch();
            watched = WatchpointReport(*watch, given ? options.Watches[*given] : "", result.Stop, cpu);
            const uint64_t address = static_cast<uint64_t>(result.Stop.Instruction);
            stop = TJsonBreakpoint{address, watched->Location, debug.FunctionAt(address),
                                   debug.SourceAt(address)};
        }

    if (options.Json) {
        WriteJsonReport(stdout, endName, status, result.Executed, cpu, monitor, options.Dump,
                        result.End == TRunEnd::Breakpoint && stop ? &*stop : nullptr,
                        programEnd ? &*programEnd : nullptr, watched ? &*watched : nullptr);
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
    std::fprintf(stderr, "%s after %" PRIu64 " instructions", endName, result.Executed);
    if (stop) {
        // "at 0x0130 main (fact.c:6)": the address (a watchpoint's: the instruction that made
        // the access), then what the debug information knows of it.
        const TPlace place{stop->Address, stop->Function, stop->Source};
        std::fprintf(stderr, " at %s", FormatPlace(place, TPlaceFormat::AddressFunction).c_str());
    }
    // "watchpoint after 57 instructions at 0x0134 main (t.c:9): moves 3 -> 4"
    if (watched) std::fprintf(stderr, ": %s", watched->Text().c_str());
    if (programEnd && programEnd->Abnormal()) {
        // "assert after 812 instructions: n > 0 in main (t.c:5)"
        if (programEnd->Kind == TProgramEnd::TKind::Assert)
            std::fprintf(stderr, ": %s", programEnd->Expression.c_str());
        const std::string where = programEnd->Where();
        if (!where.empty()) std::fprintf(stderr, " in %s", where.c_str());
    }
    std::fputc('\n', stderr);
    if (options.Stats)
        std::fprintf(stderr, "instructions: %" PRIu64 "\nseconds: %.3f\nMIPS: %.1f\n", result.Executed,
                     seconds, seconds > 0 ? result.Executed / seconds / 1e6 : 0.0);
    return status;
}
