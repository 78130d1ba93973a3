// The run loop against its baseline, today's decoding loop (RunLoop) beside the word-dispatch
// loop it replaced (RunLoopBaseline), on this thread and without a run thread around it:
//  - LongLoop: examples/longloop, exactly 10^9 instructions to its end;
//  - Forever: INC / JMP for ever, stopped through the control word after 500 ms, as a Stop
//    would end it (the uncounted loop's count comes from R1: two instructions per count).
// Each row runs both loops alternately, Rounds times each, and prints the median rate of
// each in millions of instructions per second of this thread's CPU time (free of the noise
// of other loads on a shared machine) and their ratio, new / baseline. "counted" is the loop
// with the step budget and the count (the runner's), "uncounted" the window's run thread's.
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "URunLoop.h"
#include "URunLoopBaseline.h"
#include "Uccpu.h"

namespace {

constexpr uint64_t LongLoopInstructions = 1'000'000'000;
constexpr auto ForeverSlice = std::chrono::milliseconds(500);
constexpr int Rounds = 5;

double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

TRunResult RunWith(bool baseline, bool counted, TCCPUBase& cpu, TRunControl& control) {
    if (baseline) return counted ? RunLoopBaseline(cpu, control) : RunLoopBaselineUncounted(cpu, control);
    return counted ? RunLoop(cpu, control) : RunLoopUncounted(cpu, control);
}

// One run of a program by one loop: millions of instructions per CPU second, or a negative
// value after reporting an error.
using TMeasure = double (*)(benchmark::State&, bool baseline, bool counted);

double LongLoopOnce(benchmark::State& state, bool baseline, bool counted) {
    TCCPU cpu;
    if (cpu.Memory.LoadImage(ROZ_EXAMPLES "/longloop.bin") != 0) {
        state.SkipWithError("cannot load longloop.bin");
        return -1;
    }
    TRunControl control;
    control.SetRunning(true);
    const double start = ThreadSeconds();
    const TRunResult result = RunWith(baseline, counted, cpu, control);
    const double seconds = ThreadSeconds() - start;
    if (result.End != TRunEnd::EndOfImage || (counted && result.Executed != LongLoopInstructions)) {
        state.SkipWithError("longloop did not run to its end exactly");
        return -1;
    }
    return double(LongLoopInstructions) / seconds * 1e-6;
}

double ForeverOnce(benchmark::State& state, bool baseline, bool counted) {
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
    const TRunResult result = RunWith(baseline, counted, cpu, control);
    const double seconds = ThreadSeconds() - start;
    stopper.join();
    if (result.End != TRunEnd::Stopped) {
        state.SkipWithError("forever did not stop");
        return -1;
    }
    const uint64_t executed = counted ? result.Executed : 2 * uint64_t(cpu.R[1]);
    return double(executed) / seconds * 1e-6;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void SideBySide(benchmark::State& state, TMeasure measure, bool counted) {
    std::vector<double> baseline, fresh;
    for (auto _ : state) {
        for (int round = 0; round < Rounds; ++round) {
            baseline.push_back(measure(state, true, counted));
            fresh.push_back(measure(state, false, counted));
        }
    }
    const double before = Median(baseline), after = Median(fresh);
    state.counters["baseline-MIPS"] = before;
    state.counters["new-MIPS"] = after;
    state.counters["ratio"] = after / before;
}

} // namespace

BENCHMARK_CAPTURE(SideBySide, LongLoop_counted, LongLoopOnce, true)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK_CAPTURE(SideBySide, LongLoop_uncounted, LongLoopOnce, false)
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(SideBySide, Forever_counted, ForeverOnce, true)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK_CAPTURE(SideBySide, Forever_uncounted, ForeverOnce, false)->Unit(benchmark::kSecond)->Iterations(1);

BENCHMARK_MAIN();
