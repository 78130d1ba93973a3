// roziduv2-cli: runs a code image headless, for grading and benchmarks.
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "UDisassembler.h"
#include "URunLoop.h"
#include "Uccpu.h"

namespace {

const char Usage[] =
    "usage: roziduv2-cli [--memory-size N] [--max-steps N] [--key WORD] [--regs]\n"
    "                    [--dump START:COUNT] [--trace] [--stats] IMAGE\n"
    "\n"
    "Runs the code image IMAGE on the simulated CPU until it ends.\n"
    "  --memory-size N     memory size in bytes, 1 to 2147483647 (default 10000)\n"
    "  --max-steps N       execute at most N instructions (exit status 3 when reached)\n"
    "  --key WORD          keyboard port word for the whole run (a held key)\n"
    "  --regs              print the 27 registers after the run\n"
    "  --dump START:COUNT  print the hex dump of COUNT bytes from START after the run\n"
    "  --trace             print every executed instruction on stderr\n"
    "  --stats             print instructions, seconds and MIPS on stderr\n"
    "Numbers are decimal or 0x-hexadecimal.\n"
    "stdout: each monitor print as a decimal line, each clear as a line holding \"\\f\".\n"
    "Exit status: 0 end of the image, 1 left memory, 2 usage error or refused image,\n"
    "3 step limit, 4 division by zero.\n";

[[noreturn]] void UsageError(const std::string& message) {
    std::fprintf(stderr, "roziduv2-cli: %s\n(see roziduv2-cli --help)\n", message.c_str());
    std::exit(2);
}

// Decimal or 0x-hexadecimal; a leading '-' when allowNegative. Nothing may follow.
std::optional<int64_t> ParseNumber(std::string_view text, bool allowNegative) {
    bool negative = false;
    if (!text.empty() && text[0] == '-' && allowNegative) {
        negative = true;
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return std::nullopt;
    unsigned __int128 value = 0;
    for (char ch : text) {
        int digit;
        if (ch >= '0' && ch <= '9') digit = ch - '0';
        else if (base == 16 && ch >= 'a' && ch <= 'f') digit = ch - 'a' + 10;
        else if (base == 16 && ch >= 'A' && ch <= 'F') digit = ch - 'A' + 10;
        else return std::nullopt;
        value = value * base + digit;
        if (value > (unsigned __int128)UINT64_MAX) return std::nullopt;
    }
    if (negative) {
        if (value > (unsigned __int128)INT64_MAX + 1) return std::nullopt;
        return static_cast<int64_t>(-static_cast<__int128>(value));
    }
    // Unsigned 64-bit values (a key word, a count) keep their bit pattern.
    return static_cast<int64_t>(static_cast<uint64_t>(value));
}

// Prints monitor events as they happen; stdout is fully buffered for speed.
class TPrintSink : public TMoniterSink {
public:
    void MoniterOutput(uint64_t value) override {
        const TMoniterCommand command = TMoniterCommand::Decode(value);
        if (command.Kind == TMoniterCommand::Print) {
            char text[16];
            const int n = std::snprintf(text, sizeof text, "%" PRIu32 "\n", command.Number);
            std::fwrite(text, 1, static_cast<size_t>(n), stdout);
        } else if (command.Kind == TMoniterCommand::Clear) {
            std::fputs("\f\n", stdout);
        }
    }
};

const char* LoadError(int32_t status) {
    switch (status) {
    case -1: return "no image file named";
    case -2: return "image file does not exist";
    case -3: return "image file cannot be read";
    case -4: return "image file is empty";
    case -5: return "image file is not shorter than memory";
    default: return "image file refused";
    }
}

void Trace(TCCPUBase& cpu, uint64_t steps, TRunResult& total, TRunControl& control) {
    // One instruction at a time through the same loop, printing each before it runs.
    for (uint64_t i = 0; i < steps; ++i) {
        const int64_t ip = cpu.IPOffset;
        const TCCPUMemory& memory = cpu.Memory;
        std::optional<uint32_t> word;
        if (ip >= 0 && ip < memory.Size() - 3 && ip < memory.UsedLength() - 3) {
            uint32_t w;
            std::memcpy(&w, memory.Buffer() + static_cast<uint32_t>(ip), 4);
            word = w;
        }
        if (word) {
            const uint32_t top = *word >> 24;
            std::optional<uint64_t> cell;
            if (top == 0x81 || top == 0x34) cell = memory.ReadWord(static_cast<int64_t>(static_cast<uint64_t>(ip) + cpu.IPOffsetBegin));
            std::fprintf(stderr, "%016" PRIX64 "  %08" PRIX32 "  %s\n", static_cast<uint64_t>(ip), *word,
                         Disassemble(*word, cell).c_str());
        }
        const TRunResult one = RunLoop(cpu, control, 1);
        total.Executed += one.Executed;
        total.FetchStatus = one.FetchStatus;
        total.End = one.End;
        if (one.End != TRunEnd::StepLimit) return;
    }
    total.End = TRunEnd::StepLimit;
}

} // namespace

int main(int argc, char** argv) {
    int64_t memorySize = TCCPUBase::DefaultMemorySize;
    uint64_t maxSteps = UINT64_MAX;
    uint64_t key = 0;
    bool regs = false, trace = false, stats = false;
    std::optional<std::pair<int64_t, int64_t>> dump;
    const char* image = nullptr;

    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&]() -> std::string_view {
            if (i + 1 >= argc) UsageError(std::string(arg) + " needs a value");
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        } else if (arg == "--memory-size") {
            const auto text = value();
            const auto n = ParseNumber(text, false);
            if (!n || *n < 1 || *n > 2147483647) UsageError("--memory-size takes 1 to 2147483647, not '" + std::string(text) + "'");
            memorySize = *n;
        } else if (arg == "--max-steps") {
            const auto text = value();
            const auto n = ParseNumber(text, false);
            if (!n) UsageError("--max-steps takes a number, not '" + std::string(text) + "'");
            maxSteps = static_cast<uint64_t>(*n);
        } else if (arg == "--key") {
            const auto text = value();
            const auto n = ParseNumber(text, false);
            if (!n) UsageError("--key takes a number, not '" + std::string(text) + "'");
            key = static_cast<uint64_t>(*n);
        } else if (arg == "--regs") {
            regs = true;
        } else if (arg == "--dump") {
            const std::string_view text = value();
            const size_t colon = text.find(':');
            std::optional<int64_t> start, count;
            if (colon != std::string_view::npos) {
                start = ParseNumber(text.substr(0, colon), true);
                count = ParseNumber(text.substr(colon + 1), false);
            }
            if (!start || !count || *count < 0) UsageError("--dump takes START:COUNT, not '" + std::string(text) + "'");
            dump = std::make_pair(*start, *count);
        } else if (arg == "--trace") {
            trace = true;
        } else if (arg == "--stats") {
            stats = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            UsageError("unknown option '" + std::string(arg) + "'");
        } else if (image) {
            UsageError("only one IMAGE may be given");
        } else {
            image = argv[i];
        }
    }
    if (!image) UsageError("no IMAGE given");

    static char outBuffer[1 << 16];
    std::setvbuf(stdout, outBuffer, _IOFBF, sizeof outBuffer);

    TCCPU cpu;
    if (memorySize != TCCPUBase::DefaultMemorySize && cpu.Memory.SetSize(memorySize) != 0) {
        std::fprintf(stderr, "roziduv2-cli: cannot allocate %" PRId64 " bytes of memory\n", memorySize);
        return 2;
    }
    const int32_t loaded = cpu.Memory.LoadImage(image);
    if (loaded != 0) {
        std::fprintf(stderr, "roziduv2-cli: %s: %s\n", image, LoadError(loaded));
        return 2;
    }
    cpu.Reset();
    cpu.Ports.Keyboard.Data.store(key, std::memory_order_relaxed);
    TPrintSink sink;
    cpu.Ports.Moniter.Sink = &sink;

    TRunControl control;
    control.SetRunning(true);
    const auto started = std::chrono::steady_clock::now();
    TRunResult result{TRunEnd::StepLimit, 0, 0};
    if (trace) Trace(cpu, maxSteps, result, control);
    else result = RunLoop(cpu, control, maxSteps);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    int status = 0;
    switch (result.End) {
    case TRunEnd::EndOfImage: status = 0; break;
    case TRunEnd::LeftMemory: status = 1; break;
    case TRunEnd::StepLimit: status = 3; break;
    case TRunEnd::DivisionByZero: status = 4; break;
    case TRunEnd::Stopped: status = 1; break; // not reached: nothing clears Running here
    }

    if (regs) {
        for (int order = 0; order < TCCPUBase::PanelRegisterCount; ++order)
            std::printf("%s=%016" PRIX64 "\n", TCCPUBase::PanelRegisterNames[order],
                        static_cast<uint64_t>(cpu.PanelRegister(order)));
    }
    if (dump) {
        const std::string text = cpu.Memory.Dump(dump->first, dump->second);
        for (size_t at = 0; at < text.size(); at += 10) std::fwrite(text.data() + at, 1, 8, stdout), std::fputc('\n', stdout);
    }
    std::fflush(stdout);

    if (result.End == TRunEnd::DivisionByZero) std::fputs("Division by zero\n", stderr);
    std::fprintf(stderr, "%s after %" PRIu64 " instructions\n", RunEndName(result.End), result.Executed);
    if (stats)
        std::fprintf(stderr, "instructions: %" PRIu64 "\nseconds: %.3f\nMIPS: %.1f\n", result.Executed, seconds,
                     seconds > 0 ? result.Executed / seconds / 1e6 : 0.0);
    return status;
}
