// The memory viewer's worst refresh: the largest count the box accepts, on the largest
// memory. The limit on the shown bytes is what keeps this fast; target well under 1 s.
#include <QApplication>
#include <QLineEdit>
#include <benchmark/benchmark.h>

#include "UFrmMain.h"
#include "UMemoryTools.h"

static void BM_ViewerRefreshLargestCount(benchmark::State& state) {
    TFrmMain window;
    if (window.WithCpu([](TCCPU& cpu) { return cpu.Memory.SetSize(2147483647); }) != 0) {
        state.SkipWithError("cannot allocate 2147483647 bytes");
        return;
    }
    window.TabMemory->EditBeginMemory->setText(QStringLiteral("0"));
    window.TabMemory->EditMemoryCount->setText(QStringLiteral("2147483647"));
    for (auto _ : state)
        window.BtnFlashClick();
    state.counters["lines"] = static_cast<double>(window.TabMemory->ViewLimit / 4);
}
BENCHMARK(BM_ViewerRefreshLargestCount)->Unit(benchmark::kMillisecond)->Iterations(5);

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
