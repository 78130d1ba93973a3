// Run loop speed over three small programs; items_per_second is instructions per second.
// Each program counts R1 up to R2 and then runs off the end of its image, so every run
// ends exactly as a real program does (fetch status 1), with the control word read after
// every instruction.
#include <benchmark/benchmark.h>

#include "TestMachine.h"
#include "URunLoop.h"

namespace {

using namespace enc;

constexpr int64_t Iterations = 4'000'000;

struct TProgram {
    TImage Image;
    void (*Setup)(TCCPUBase& cpu);
};

// 0: CLR R1 | 8: INC R1; CMP R1, R2; JNE R3 (R3 = 4)
TProgram Counting() {
    TImage image;
    image.Op(W(CLR, 0, 0, 1)).Op(W(INC, 0, 1, 1)).Op(W(CMP, 0, 1, 2)).Op(W(JNE, 0, 0, 3));
    return {image, [](TCCPUBase& cpu) { cpu.R[3] = 4; }};
}

// 0: CLR R1 | 8: LOAD R4, [R5]; ADD R4, R4, R1; STORE [R5], R4; INC R1; CMP R1, R2; JNE R3
TProgram MemoryLoop() {
    TImage image;
    image.Op(W(CLR, 0, 0, 1))
        .Op(W(LOAD, 4, 0, 5))
        .Op(W(ADD, 4, 4, 1))
        .Op(W(STORE, 0, 5, 4))
        .Op(W(INC, 0, 1, 1))
        .Op(W(CMP, 0, 1, 2))
        .Op(W(JNE, 0, 0, 3));
    return {image, [](TCCPUBase& cpu) {
                cpu.R[3] = 4;
                cpu.R[5] = 4096;
            }};
}

// 0: CLR R1 | 8: JMP R7 (to 24) | 16: RET | 24: PUSH R1; CALL R6 (to 16); POP R1; INC R1;
// CMP R1, R2; JNE R3 (to 24)
TProgram CallLoop() {
    TImage image;
    image.Op(W(CLR, 0, 0, 1))
        .Op(W(JMP, 0, 0, 7))
        .Op(W(RET))
        .Op(W(PUSH, 0, 0, 1))
        .Op(W(CALL, 0, 0, 6))
        .Op(W(POP, 0, 0, 1))
        .Op(W(INC, 0, 1, 1))
        .Op(W(CMP, 0, 1, 2))
        .Op(W(JNE, 0, 0, 3));
    return {image, [](TCCPUBase& cpu) {
                cpu.R[3] = 20;
                cpu.R[6] = 12;
                cpu.R[7] = 20;
                cpu.StackOffsetBegin = 8192;
            }};
}

void Prepare(TCCPU& cpu, const TProgram& program) {
    cpu.Reset();
    program.Setup(cpu);
    cpu.R[2] = Iterations;
}

void RunLoopBench(benchmark::State& state, TProgram (*make)()) {
    const TProgram program = make();
    TCCPU cpu;
    cpu.Memory.LoadBytes(program.Image.Bytes.data(), program.Image.Here());
    TRunControl control;
    control.Word = TRunControl::Running;
    uint64_t executed = 0;
    for (auto _ : state) {
        Prepare(cpu, program);
        const TRunResult result = RunLoop(cpu, control);
        if (result.End != TRunEnd::EndOfImage || cpu.R[1] != Iterations)
            state.SkipWithError("program did not finish");
        executed += result.Executed;
    }
    state.SetItemsProcessed(static_cast<int64_t>(executed));
}

// The same with a step budget (the runner's --max-steps): one decrement and test more per
// instruction.
void RunLoopBudgetBench(benchmark::State& state, TProgram (*make)()) {
    const TProgram program = make();
    TCCPU cpu;
    cpu.Memory.LoadBytes(program.Image.Bytes.data(), program.Image.Here());
    TRunControl control;
    control.Word = TRunControl::Running;
    uint64_t executed = 0;
    for (auto _ : state) {
        Prepare(cpu, program);
        const TRunResult result = RunLoop(cpu, control, UINT64_MAX - 1);
        if (result.End != TRunEnd::EndOfImage || cpu.R[1] != Iterations)
            state.SkipWithError("program did not finish");
        executed += result.Executed;
    }
    state.SetItemsProcessed(static_cast<int64_t>(executed));
}

// The step command's path: one FetchAndExecute per instruction, with the run body's tests.
void SingleStepBench(benchmark::State& state, TProgram (*make)()) {
    const TProgram program = make();
    TCCPU cpu;
    cpu.Memory.LoadBytes(program.Image.Bytes.data(), program.Image.Here());
    uint64_t executed = 0;
    for (auto _ : state) {
        Prepare(cpu, program);
        uint64_t n = 0;
        while (cpu.FetchAndExecute(cpu.IPOffset) == FetchExecuted && cpu.IPOffset < cpu.Memory.Size())
            ++n;
        if (cpu.R[1] != Iterations) state.SkipWithError("program did not finish");
        executed += n;
    }
    state.SetItemsProcessed(static_cast<int64_t>(executed));
}

BENCHMARK_CAPTURE(RunLoopBench, CountingLoop, Counting)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunLoopBench, MemoryLoop, MemoryLoop)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunLoopBench, CallLoop, CallLoop)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunLoopBudgetBench, CountingLoop, Counting)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunLoopBudgetBench, MemoryLoop, MemoryLoop)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunLoopBudgetBench, CallLoop, CallLoop)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SingleStepBench, CountingLoop, Counting)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SingleStepBench, MemoryLoop, MemoryLoop)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SingleStepBench, CallLoop, CallLoop)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
