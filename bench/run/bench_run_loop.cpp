// The bare run loop, counted (step budget and instruction count, as the runner uses it)
// against uncounted (as the window's run thread uses it), on this thread and without a run
// thread around it:
//  - LongLoop: examples/longloop, exactly 10^9 instructions to its end;
//  - Forever: INC / JMP for ever, stopped through the control word after 500 ms, as a Stop
//    would end it (the uncounted loop's count comes from R1: two instructions per count).
// Each program's two rows are printed one below the other; "instructions/s" compares them,
// and "instructions/cpu-s" (per second of this thread's CPU time) does so without the noise
// of other loads on a shared machine.
#include <benchmark/benchmark.h>

#include <time.h>

#include <chrono>
#include <string>
#include <thread>

#include "URunLoop.h"
#include "Uccpu.h"

namespace {

constexpr uint64_t LongLoopInstructions = 1'000'000'000;
constexpr auto ForeverSlice = std::chrono::milliseconds(500);

double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

void Report(benchmark::State& state, uint64_t executed, double cpuSeconds) {
    state.counters["instructions/s"] = benchmark::Counter(double(executed), benchmark::Counter::kIsRate);
    state.counters["instructions/cpu-s"] = double(executed) / cpuSeconds;
}

bool LoadImage(TCCPU& cpu, const std::string& path, benchmark::State& state) {
    if (cpu.Memory.LoadImage(path) == 0) return true;
    state.SkipWithError(("cannot load " + path).c_str());
    return false;
}

void LongLoop(benchmark::State& state, bool counted) {
    TCCPU cpu;
    if (!LoadImage(cpu, ROZ_EXAMPLES "/longloop.bin", state)) return;
    TRunControl control;
    control.SetRunning(true);
    uint64_t executed = 0;
    double cpuSeconds = 0;
    for (auto _ : state) {
        cpu.Reset();
        const double start = ThreadSeconds();
        const TRunResult result = counted ? RunLoop(cpu, control) : RunLoopUncounted(cpu, control);
        cpuSeconds += ThreadSeconds() - start;
        if (result.End != TRunEnd::EndOfImage) state.SkipWithError("longloop did not reach its end");
        if (counted && result.Executed != LongLoopInstructions) state.SkipWithError("wrong count");
        executed += LongLoopInstructions;
    }
    Report(state, executed, cpuSeconds);
}

void Forever(benchmark::State& state, bool counted) {
    TCCPU cpu;
    if (!LoadImage(cpu, ROZ_BENCH_RUN_PROGRAMS "/forever.bin", state)) return;
    uint64_t executed = 0;
    double cpuSeconds = 0;
    for (auto _ : state) {
        cpu.Reset();
        TRunControl control;
        control.SetRunning(true);
        std::thread stopper([&] {
            std::this_thread::sleep_for(ForeverSlice);
            control.Stop();
        });
        const double start = ThreadSeconds();
        const TRunResult result = counted ? RunLoop(cpu, control) : RunLoopUncounted(cpu, control);
        cpuSeconds += ThreadSeconds() - start;
        stopper.join();
        if (result.End != TRunEnd::Stopped) state.SkipWithError("forever did not stop");
        executed += counted ? result.Executed : 2 * uint64_t(cpu.R[1]);
    }
    Report(state, executed, cpuSeconds);
}

} // namespace

BENCHMARK_CAPTURE(LongLoop, counted, true)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK_CAPTURE(LongLoop, uncounted, false)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK_CAPTURE(Forever, counted, true)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK_CAPTURE(Forever, uncounted, false)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

BENCHMARK_MAIN();
