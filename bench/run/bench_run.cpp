// The run layer's speed: the threaded run against the bare run loop, how fast Pause, Stop
// and a hand-over take effect, and what the monitor log costs.
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <thread>

#include "FakeHost.h"
#include "TestImage.h"
#include "UExecution.h"
#include "URunLoop.h"
#include "Uccpu.h"

using namespace rtest;
using namespace std::chrono;

namespace {

constexpr uint64_t Print(uint64_t n) {
    return uint64_t{1} << 56 | n;
}

// CPU seconds of the whole process: on a shared machine the rate per CPU second compares
// the threaded run with the bare loop without the other loads' noise (the waiting thread
// uses next to none).
double ProcessSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// The bare loop on this thread: INC R1 / JMP R3 for ever, in slices of 100 million steps.
void BM_RunLoopDirect(benchmark::State& state) {
    TCCPU cpu;
    Counter().Load(cpu);
    TRunControl control;
    control.SetRunning(true);
    control.BodyEnter();
    uint64_t executed = 0;
    const double cpuStart = ProcessSeconds();
    const auto start = steady_clock::now();
    for (auto _ : state)
        executed += RunLoop(cpu, control, 100'000'000).Executed;
    control.BodyLeave();
    state.counters["instructions/s"] =
        double(executed) / duration<double>(steady_clock::now() - start).count();
    state.counters["instructions/cpu-s"] = double(executed) / (ProcessSeconds() - cpuStart);
}
BENCHMARK(BM_RunLoopDirect)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// The same program on the run thread for 2 s, with the timer's hand-over every 500 ms.
// Counts instructions from R1 (two per INC).
void BM_ThreadedRun(benchmark::State& state) {
    TCCPU cpu;
    Counter().Load(cpu);
    TFakeHost host;
    TExecution exec(cpu, host, state.range(0) ? TThreadPriority::Idle : TThreadPriority::Normal);
    uint64_t executed = 0;
    double seconds = 0;
    const double cpuStart = ProcessSeconds();
    for (auto _ : state) {
        const auto start = steady_clock::now();
        exec.Run();
        for (int tick = 0; tick < 4; ++tick) {
            std::this_thread::sleep_until(start + milliseconds(500 * (tick + 1)));
            auto guard = exec.HandOver(milliseconds(5));
            benchmark::DoNotOptimize(cpu.R[1]);
        }
        exec.Stop();
        const double elapsed = duration<double>(steady_clock::now() - start).count();
        auto guard = exec.HandOver();
        executed += 2 * uint64_t(cpu.R[1]);
        seconds += elapsed;
        state.SetIterationTime(elapsed);
    }
    state.counters["instructions/s"] = double(executed) / seconds;
    state.counters["instructions/cpu-s"] = double(executed) / (ProcessSeconds() - cpuStart);
}
BENCHMARK(BM_ThreadedRun)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("idle")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// The worst case for the decoding loop's tests of the control word: 1 MB of straight-line
// code (INC R1 and the zero word, a NOP, in each slot) and one jump back, so that the loop
// runs TDecodeCache::Capacity / 4 words between two tests. Memory: 2 MB.
void LoadStraightLine(TCCPU& cpu) {
    TImage image;
    image.Setup();
    const size_t at = image.Const(3, 0);
    const int64_t loop = image.Here();
    while (image.Here() < loop + (int64_t{1} << 20))
        image.Inc(1, 1);
    image.Jmp(3);
    image.Patch(at, 3, static_cast<uint32_t>(loop - 4));
    cpu.Memory.SetSize(int64_t{2} << 20);
    image.Load(cpu);
}

// range(1): the program, 0 the counter loop, 1 the straight line.
void LoadLatencyProgram(TCCPU& cpu, const benchmark::State& state) {
    if (state.range(1))
        LoadStraightLine(cpu);
    else
        Counter().Load(cpu);
}

// The slowest of the iterations' times, beside the mean that the row prints.
struct TWorst {
    double Seconds = 0;
    void Add(double seconds) { Seconds = std::max(Seconds, seconds); }
    void Report(benchmark::State& state) const { state.counters["max-us"] = Seconds * 1e6; }
};

// From the command to the body parked (Pause) or ended (Stop), with the body running.
void BM_PauseTakesEffect(benchmark::State& state) {
    TCCPU cpu;
    LoadLatencyProgram(cpu, state);
    TWorst worst;
    TFakeHost host;
    TExecution exec(cpu, host, state.range(0) ? TThreadPriority::Idle : TThreadPriority::Normal);
    for (auto _ : state) {
        exec.Run();
        std::this_thread::sleep_for(milliseconds(state.range(1) ? 30 : 2)); // past the first, decoding pass
        const auto start = steady_clock::now();
        exec.Pause();
        // Sleeps until the body gives the CPU up: a spinning reader would take the core
        // the body needs on a loaded machine.
        exec.Control.WaitUntil([](TRunPhase phase) { return phase == TRunPhase::Paused; },
                               steady_clock::now() + seconds(1));
        const double took = duration<double>(steady_clock::now() - start).count();
        state.SetIterationTime(took);
        worst.Add(took);
    }
    worst.Report(state);
}
BENCHMARK(BM_PauseTakesEffect)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"idle", "straight"})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(200);

void BM_StopTakesEffect(benchmark::State& state) {
    TCCPU cpu;
    LoadLatencyProgram(cpu, state);
    TWorst worst;
    TFakeHost host;
    TExecution exec(cpu, host, state.range(0) ? TThreadPriority::Idle : TThreadPriority::Normal);
    for (auto _ : state) {
        exec.Run();
        std::this_thread::sleep_for(milliseconds(state.range(1) ? 30 : 2)); // past the first, decoding pass
        const auto start = steady_clock::now();
        if (!exec.Stop()) state.SkipWithError("Stop did not take effect within 100 ms");
        const double took = duration<double>(steady_clock::now() - start).count();
        state.SetIterationTime(took);
        worst.Add(took);
    }
    worst.Report(state);
}
BENCHMARK(BM_StopTakesEffect)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"idle", "straight"})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(200);

// A hand-over and its return while the body runs (idle priority as in the program).
void BM_HandOver(benchmark::State& state) {
    TCCPU cpu;
    LoadLatencyProgram(cpu, state);
    TWorst worst;
    TFakeHost host;
    TExecution exec(cpu, host, state.range(0) ? TThreadPriority::Idle : TThreadPriority::Normal);
    exec.Run();
    for (auto _ : state) {
        // Back-to-back hand-overs would find the body still parked from the last one.
        while (!exec.Control.BodyHoldsCpu()) {
        }
        const auto start = steady_clock::now();
        {
            auto guard = exec.HandOver();
            benchmark::DoNotOptimize(cpu.R[1]);
        }
        const double took = duration<double>(steady_clock::now() - start).count();
        state.SetIterationTime(took);
        worst.Add(took);
    }
    exec.Stop();
    worst.Report(state);
}
BENCHMARK(BM_HandOver)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"idle", "straight"})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(2000);

void BM_MoniterLogOut(benchmark::State& state) {
    TMoniterLog log;
    uint64_t n = 0;
    for (auto _ : state)
        log.MoniterOutput(Print(++n));
}
BENCHMARK(BM_MoniterLogOut);

// A program printing 1,000,000 lines, run by the bare loop with and without the log; the
// difference is what the log adds to the run.
void BM_MillionLines(benchmark::State& state) {
    TCCPU cpu;
    const TImage image = Printer(1'000'000);
    image.Load(cpu);
    TMoniterLog log;
    cpu.Ports.Moniter.Sink = state.range(0) ? &log : nullptr;
    TRunControl control;
    control.SetRunning(true);
    control.BodyEnter();
    for (auto _ : state) {
        cpu.Reset();
        if (RunLoop(cpu, control).End != TRunEnd::EndOfImage) state.SkipWithError("did not end");
    }
    control.BodyLeave();
    if (state.range(0) && log.Snapshot().LineCount != 1'000'000) state.SkipWithError("lines missing");
}
BENCHMARK(BM_MillionLines)->Arg(0)->Arg(1)->ArgName("log")->Unit(benchmark::kMillisecond)->Iterations(5);

// The same through the run thread up to the end message, as the program does it.
void BM_MillionLinesThreaded(benchmark::State& state) {
    TCCPU cpu;
    Printer(1'000'000).Load(cpu);
    TFakeHost host;
    TExecution exec(cpu, host, TThreadPriority::Idle);
    for (auto _ : state) {
        const size_t before = host.EndMessagesCopy().size();
        exec.Run();
        while (host.EndMessagesCopy().size() == before)
            std::this_thread::sleep_for(microseconds(100));
        exec.EndMessageClosed(exec.RunNumber());
    }
}
BENCHMARK(BM_MillionLinesThreaded)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

BENCHMARK_MAIN();
