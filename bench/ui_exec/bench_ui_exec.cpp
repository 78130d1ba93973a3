// Execution in the window, as the user's commands drive it:
//  - RunSpeed: a run of examples/longloop (10^9 instructions) in the window against the
//    runner's own figure for the same image (target: the window >= 90% of the runner);
//  - MillionLines: a program printing 1,000,000 numbers; run time (target < 2 s) and the
//    largest gap between ticks of a 5 ms timer meanwhile (target < 50 ms);
//  - PauseLatency / StopLatency: from the command until the body is parked / has ended
//    (target < 10 ms).
// The run thread has the normal priority here, as on an otherwise idle machine; the
// program's idle priority only lets other work on the machine go first.
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <vector>

#include "UFrmMain.h"
#include "UMoniterView.h"

namespace {

QString Image(const char* folder, const char* name) {
    return QStringLiteral("%1/%2.bin").arg(QLatin1String(folder), QLatin1String(name));
}

// Serves events (sleeping between them, as the window's loop does) until the run's end
// message is shown, then closes it. Seconds from the clock's start to the box.
double RunToEnd(const QElapsedTimer& clock) {
    QEventLoop loop;
    double seconds = 0;
    QTimer check;
    check.setInterval(1);
    QObject::connect(&check, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                seconds = clock.nsecsElapsed() / 1e9;
                box->accept();
                loop.quit();
                return;
            }
    });
    check.start();
    loop.exec();
    QCoreApplication::processEvents();
    return seconds;
}

// Shows the window and lets it settle, so its first paint is not measured.
void Settle(TFrmMain& window) {
    window.show();
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 200)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

void Load(TFrmMain& window, const QString& image) {
    window.WithCpu([&](TCCPU& cpu) { cpu.Memory.LoadImage(image.toStdString()); });
}

double RunnerMips() {
    QProcess runner;
    runner.start(QStringLiteral(ROZ_CLI), {QStringLiteral("--stats"), Image(ROZ_EXAMPLES, "longloop")});
    runner.waitForFinished(-1);
    const QString stats = QString::fromLocal8Bit(runner.readAllStandardError());
    return QRegularExpression(QStringLiteral("MIPS: ([0-9.]+)")).match(stats).captured(1).toDouble();
}

void BM_RunSpeed(benchmark::State& state) {
    TFrmMain window(TThreadPriority::Normal);
    Settle(window);
    Load(window, Image(ROZ_EXAMPLES, "longloop"));
    double bestWindow = 0, bestRunner = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        window.MnuRun->trigger();
        const double seconds = RunToEnd(clock);
        state.SetIterationTime(seconds);
        bestWindow = std::max(bestWindow, 1e9 / seconds / 1e6);
        bestRunner = std::max(bestRunner, RunnerMips());
    }
    state.counters["window_MIPS"] = bestWindow;
    state.counters["runner_MIPS"] = bestRunner;
    state.counters["window_pct"] = 100 * bestWindow / bestRunner;
}
BENCHMARK(BM_RunSpeed)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_MillionLines(benchmark::State& state) {
    TFrmMain window(TThreadPriority::Normal);
    window.PageInfo->setCurrentWidget(window.TabSheet1); // the monitor on screen, painting
    Settle(window);
    Load(window, Image(ROZ_BENCH_EXEC_PROGRAMS, "manylines"));
    double worstGap = 0, worstRun = 0;
    for (auto _ : state) {
        QElapsedTimer clock, sinceTick;
        double gap = 0;
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        ticker.setInterval(5);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            gap = std::max(gap, sinceTick.nsecsElapsed() / 1e6);
            sinceTick.restart();
        });
        clock.start();
        sinceTick.start();
        ticker.start();
        window.MnuRun->trigger();
        const double seconds = RunToEnd(clock);
        ticker.stop();
        state.SetIterationTime(seconds);
        worstRun = std::max(worstRun, seconds);
        worstGap = std::max(gap, worstGap);
        std::fprintf(stderr, "run %.3f s, largest tick gap %.1f ms\n", seconds, gap);
        if (window.MemoMoniter->Line(window.MemoMoniter->LineCount() - 1) != QStringLiteral("1000000"))
            state.SkipWithError("the monitor does not end with 1000000");
    }
    state.counters["worst_run_s"] = worstRun;
    state.counters["worst_tick_gap_ms"] = worstGap;
}
BENCHMARK(BM_MillionLines)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// From the command until its effect: Pause until the body is parked at a boundary, Stop
// until the handler returns (it waits for the body's end and refreshes the panel).
void Latency(benchmark::State& state, bool pause) {
    TFrmMain window(TThreadPriority::Normal);
    Settle(window);
    Load(window, Image(ROZ_BENCH_EXEC_PROGRAMS, "forever"));
    std::vector<double> times;
    for (auto _ : state) {
        window.MnuRun->trigger();
        QElapsedTimer wait;
        wait.start();
        while (wait.elapsed() < 50)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QElapsedTimer clock;
        clock.start();
        if (pause) {
            window.MnuPluase->trigger();
            while (window.Execution.State() != TRunState::Paused) {
            }
        } else {
            window.MnuStop->trigger();
            if (window.Execution.State() != TRunState::Finished)
                state.SkipWithError("the body has not ended");
        }
        const double seconds = clock.nsecsElapsed() / 1e9;
        state.SetIterationTime(seconds);
        times.push_back(seconds * 1e3);
    }
    std::sort(times.begin(), times.end());
    state.counters["median_ms"] = times[times.size() / 2];
    state.counters["max_ms"] = times.back();
}
void BM_PauseLatency(benchmark::State& state) {
    Latency(state, true);
}
void BM_StopLatency(benchmark::State& state) {
    Latency(state, false);
}
BENCHMARK(BM_PauseLatency)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(30);
BENCHMARK(BM_StopLatency)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(30);

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
