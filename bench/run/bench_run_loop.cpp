// The run loop against its baselines, on this thread and without a run thread around it.
// Every row runs two loops alternately:
//  - "clock" rows: the window's loop, which keeps the run clock (RunLoop without a step
//    budget), against the loop it replaced, which counted nothing (RunLoopUncountedBaseline,
//    frozen in bench/run): the clock's cost;
//  - "budget" rows: the loop with a step budget (the runner's --max-steps) against the
//    word-dispatch loop with its budget that decoding replaced (RunLoopBaseline).
// Programs:
//  - LongLoop: examples/longloop, exactly 10^9 instructions to its end;
//  - Forever: INC / JMP for ever, stopped through the control word after 500 ms, as a Stop
//    would end it (the uncounted baseline's count comes from R1: two instructions per count);
//  - C_<name>: bench/cc's C programs compiled at -O2, each run to its end as often as fills
//    about 200 ms (their counts come from one counted run).
// StopLatency_<program>: how long the loop runs on after a stop is asked for, in the loop
// thread's own CPU time (read by the stopping thread through the loop thread's CPU clock, so
// that time spent waiting for a core on a loaded machine does not count): median and
// maximum over 40 stops, on the counter loop and on 1 MB of straight-line code (the worst
// case between two tests of the control word).
// Debug_<program>: the plain loop (the run thread's) beside the checked loop with no checks,
// with 1 and with 10 breakpoints never reached, and with one write watch on bytes the
// program never writes (its first code word); MIPS of each and its ratio to the plain.
// Each row prints the median rate of each loop over Rounds runs in millions of instructions
// per second of this thread's CPU time (free of the noise of other loads on a shared
// machine) and their ratio, new / baseline.
#include <benchmark/benchmark.h>

#include <pthread.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "UInstructionSet.h"
#include "URunLoop.h"
#include "URunLoopBaseline.h"
#include "URunLoopUncounted.h"
#include "Uccpu.h"

#ifndef ROZ_BENCH_C_PROGRAMS
#define ROZ_BENCH_C_PROGRAMS 0
#endif

namespace {

constexpr uint64_t LongLoopInstructions = 1'000'000'000;
constexpr auto ForeverSlice = std::chrono::milliseconds(500);
constexpr int Rounds = 9;

double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// The uncounted baseline is the only loop whose Executed is 0.
bool Counts(bool baseline, bool budget) {
    return budget || !baseline;
}

TRunResult RunWith(bool baseline, bool budget, TCCPUBase& cpu, TRunControl& control) {
    if (budget) return baseline ? RunLoopBaseline(cpu, control) : RunLoop(cpu, control, UINT64_MAX - 1);
    return baseline ? RunLoopUncountedBaseline(cpu, control) : RunLoop(cpu, control);
}

// One run of a program by one loop: millions of instructions per CPU second, or a negative
// value after reporting an error.
using TMeasure = double (*)(benchmark::State&, bool baseline, bool budget);

double LongLoopOnce(benchmark::State& state, bool baseline, bool budget) {
    TCCPU cpu;
    if (cpu.Memory.LoadImage(ROZ_EXAMPLES "/longloop.bin") != 0) {
        state.SkipWithError("cannot load longloop.bin");
        return -1;
    }
    TRunControl control;
    control.SetRunning(true);
    const double start = ThreadSeconds();
    const TRunResult result = RunWith(baseline, budget, cpu, control);
    const double seconds = ThreadSeconds() - start;
    if (result.End != TRunEnd::EndOfImage ||
        (Counts(baseline, budget) && result.Executed != LongLoopInstructions)) {
        state.SkipWithError("longloop did not run to its end exactly");
        return -1;
    }
    return double(LongLoopInstructions) / seconds * 1e-6;
}

double ForeverOnce(benchmark::State& state, bool baseline, bool budget) {
    TCCPU cpu;
    if (cpu.Memory.LoadImage(ROZ_BENCH_RUN_PROGRAMS "/forever.bin") != 0) {
        state.SkipWithError("cannot load forever.bin");
        return -1;
    }
    TRunControl control;
    control.SetRunning(true);
    std::thread stopper([&] {
        std::this_thread::sleep_for(ForeverSlice);
        control.Stop();
    });
    const double start = ThreadSeconds();
    const TRunResult result = RunWith(baseline, budget, cpu, control);
    const double seconds = ThreadSeconds() - start;
    stopper.join();
    if (result.End != TRunEnd::Stopped) {
        state.SkipWithError("forever did not stop");
        return -1;
    }
    const uint64_t executed = Counts(baseline, budget) ? result.Executed : 2 * uint64_t(cpu.R[1]);
    return double(executed) / seconds * 1e-6;
}

// A program run to its end, loaded afresh for every run (outside the timing).
struct TProgram {
    std::string Image;
    int64_t MemorySize;
};

bool LoadProgram(TCCPU& cpu, const TProgram& program) {
    return cpu.Memory.SetSize(program.MemorySize) == 0 && cpu.Memory.LoadImage(program.Image) == 0;
}

// The instructions of one run to the end, or 0 when the image does not load or end.
uint64_t CountOf(const TProgram& program) {
    TCCPU cpu;
    if (!LoadProgram(cpu, program)) return 0;
    TRunControl control;
    control.SetRunning(true);
    const TRunResult result = RunLoop(cpu, control);
    return result.End == TRunEnd::EndOfImage ? result.Executed : 0;
}

// Millions of instructions per CPU second of run(cpu, control) over whole runs of program,
// repeated until they fill about 200 ms; negative when a run does not end at the image's end.
template <class TRun> double RateOf(const TProgram& program, uint64_t count, TRun run) {
    double seconds = 0;
    uint64_t executed = 0;
    while (seconds < 0.2) {
        TCCPU cpu;
        if (!LoadProgram(cpu, program)) return -1;
        TRunControl control;
        control.SetRunning(true);
        const double start = ThreadSeconds();
        const TRunResult result = run(cpu, control);
        seconds += ThreadSeconds() - start;
        if (result.End != TRunEnd::EndOfImage) return -1;
        executed += count;
    }
    return double(executed) / seconds * 1e-6;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void SideBySide(benchmark::State& state, TMeasure measure, bool budget) {
    std::vector<double> baseline, fresh;
    for (auto _ : state) {
        for (int round = 0; round < Rounds; ++round) {
            baseline.push_back(measure(state, true, budget));
            fresh.push_back(measure(state, false, budget));
        }
    }
    const double before = Median(baseline), after = Median(fresh);
    state.counters["baseline-MIPS"] = before;
    state.counters["new-MIPS"] = after;
    state.counters["ratio"] = after / before;
}

void ProgramSideBySide(benchmark::State& state, TProgram program, bool budget) {
    const uint64_t count = CountOf(program);
    if (count == 0) {
        state.SkipWithError(("cannot run " + program.Image + " to its end").c_str());
        return;
    }
    std::vector<double> baseline, fresh;
    for (auto _ : state) {
        for (int round = 0; round < Rounds; ++round) {
            baseline.push_back(RateOf(program, count, [&](TCCPUBase& cpu, TRunControl& control) {
                return RunWith(true, budget, cpu, control);
            }));
            fresh.push_back(RateOf(program, count, [&](TCCPUBase& cpu, TRunControl& control) {
                return RunWith(false, budget, cpu, control);
            }));
        }
    }
    const double before = Median(baseline), after = Median(fresh);
    state.counters["instructions"] = double(count);
    state.counters["baseline-MIPS"] = before;
    state.counters["new-MIPS"] = after;
    state.counters["ratio"] = after / before;
}

// The checks of the Debug_ rows: never reached on compiled code, which executes only
// instruction starts (multiples of 4) and never writes its own code.
TDebugChecks Breakpoints(int count) {
    TDebugChecks checks;
    for (int k = 0; k < count; ++k)
        checks.Breakpoints.push_back(uint64_t(4 * k + 1));
    return checks;
}

TDebugChecks CodeWatch() {
    TDebugChecks checks;
    checks.Watches.push_back({0, 4, true, false});
    return checks;
}

void DebugSideBySide(benchmark::State& state, TProgram program) {
    const uint64_t count = CountOf(program);
    if (count == 0) {
        state.SkipWithError(("cannot run " + program.Image + " to its end").c_str());
        return;
    }
    const TDebugChecks none, one = Breakpoints(1), ten = Breakpoints(10), watch = CodeWatch();
    const TDebugChecks* variants[] = {&none, &one, &ten, &watch};
    const char* names[] = {"none", "bp1", "bp10", "watch"};
    std::vector<double> plain, checked[4];
    for (auto _ : state) {
        for (int round = 0; round < Rounds; ++round) {
            plain.push_back(RateOf(
                program, count, [](TCCPUBase& cpu, TRunControl& control) { return RunLoop(cpu, control); }));
            for (int v = 0; v < 4; ++v)
                checked[v].push_back(RateOf(program, count, [&](TCCPUBase& cpu, TRunControl& control) {
                    return RunLoopChecked(cpu, control, *variants[v]);
                }));
        }
    }
    const double base = Median(plain);
    state.counters["plain-MIPS"] = base;
    for (int v = 0; v < 4; ++v) {
        const double rate = Median(checked[v]);
        state.counters[std::string(names[v]) + "-MIPS"] = rate;
        state.counters[std::string(names[v]) + "-ratio"] = rate / base;
    }
}

// INC R1 over 1 MB (each slot INC and a zero word, a NOP) and a jump back, or the counter
// loop (INC R1, JMP R3), with R3 set so that the jump lands on the first INC. Memory: 2 MB.
void LoadLatencyProgram(TCCPU& cpu, bool straight) {
    std::vector<uint8_t> code;
    const auto put = [&](roz::TInstr row, uint32_t a, uint32_t b, uint32_t c) {
        const uint32_t w = roz::Encode(row, a, b, c);
        for (int k = 0; k < 8; ++k)
            code.push_back(k < 4 ? uint8_t(w >> (8 * k)) : 0);
    };
    do
        put(roz::TInstr::INC, 0, 1, 1);
    while (straight && code.size() < (size_t{1} << 20));
    put(roz::TInstr::JMP, 0, 0, 3);
    cpu.Memory.SetSize(int64_t{2} << 20);
    cpu.Memory.LoadBytes(code.data(), int64_t(code.size()));
    cpu.R[3] = -4;
}

double CpuSeconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

void StopLatency(benchmark::State& state, bool straight) {
    std::vector<double> latencies;
    for (auto _ : state) {
        for (int k = 0; k < 40; ++k) {
            TCCPU cpu;
            LoadLatencyProgram(cpu, straight);
            TRunControl control;
            control.SetRunning(true);
            clockid_t clock;
            pthread_getcpuclockid(pthread_self(), &clock);
            double asked = 0;
            std::thread stopper([&, k] {
                // Past the first, decoding pass over the code.
                std::this_thread::sleep_for(std::chrono::milliseconds(20 + k % 7));
                asked = CpuSeconds(clock);
                control.Stop();
            });
            const TRunResult result = RunLoop(cpu, control);
            const double stopped = CpuSeconds(clock);
            stopper.join();
            if (result.End != TRunEnd::Stopped) {
                state.SkipWithError("the loop did not stop");
                return;
            }
            latencies.push_back(stopped - asked);
        }
    }
    state.counters["median-us"] = Median(latencies) * 1e6;
    state.counters["max-us"] = *std::max_element(latencies.begin(), latencies.end()) * 1e6;
}

const TProgram LongLoop{ROZ_EXAMPLES "/longloop.bin", TCCPUBase::DefaultMemorySize};

// One row per C program of bench/cc and kind of loop, and its Debug_ row.
void RegisterPrograms() {
    benchmark::RegisterBenchmark("Debug_LongLoop",
                                 [](benchmark::State& state) { DebugSideBySide(state, LongLoop); })
        ->Unit(benchmark::kSecond)
        ->Iterations(1);
    if (!ROZ_BENCH_C_PROGRAMS) return;
    for (const char* name : {"crc", "fib", "matrix", "sieve", "sort"}) {
        const TProgram program{std::string(ROZ_BENCH_RUN_PROGRAMS) + "/" + name + ".O2.bin", 65536};
        for (bool budget : {false, true})
            benchmark::RegisterBenchmark(
                ("C_" + std::string(name) + (budget ? "_budget" : "_clock")).c_str(),
                [program, budget](benchmark::State& state) { ProgramSideBySide(state, program, budget); })
                ->Unit(benchmark::kSecond)
                ->Iterations(1);
        benchmark::RegisterBenchmark(("Debug_C_" + std::string(name)).c_str(),
                                     [program](benchmark::State& state) { DebugSideBySide(state, program); })
            ->Unit(benchmark::kSecond)
            ->Iterations(1);
    }
}

} // namespace

BENCHMARK_CAPTURE(StopLatency, counter, false)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK_CAPTURE(StopLatency, straight_line, true)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK_CAPTURE(SideBySide, LongLoop_clock, LongLoopOnce, false)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK_CAPTURE(SideBySide, LongLoop_budget, LongLoopOnce, true)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK_CAPTURE(SideBySide, Forever_clock, ForeverOnce, false)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK_CAPTURE(SideBySide, Forever_budget, ForeverOnce, true)->Unit(benchmark::kSecond)->Iterations(1);

int main(int argc, char** argv) {
    RegisterPrograms();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
