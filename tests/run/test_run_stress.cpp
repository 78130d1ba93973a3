// Random command sequences, as a user and a busy window would fire them, against running
// programs that print a counter and poll the keyboard, with the debugger's settings changed
// and one-shot runs started among them. Built and run under ThreadSanitizer
// (the tsan build), where a data race aborts the run; a watchdog turns any deadlock into a
// failure, and the monitor log is checked for lost or reordered events after every command.
#include <gtest/gtest.h>

#include <dirent.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <unistd.h>

#include "TestImage.h"
#include "UExecution.h"
#include "UExecutionCommands.h"
#include "Uccpu.h"

using namespace rtest;
using namespace std::chrono;

namespace {

constexpr auto TimeBudget = seconds(12);
constexpr int MaxSequences = 10000;
constexpr auto Stall = seconds(30); // no command finished for this long: a deadlock

int ThreadCount() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.') ++count;
        closedir(dir);
    }
    return count;
}

// Collects end messages on the run thread; the "window" closes them later, from its polls.
class TQueueHost : public TRunHost {
  public:
    void RunEndMessageDue(uint64_t run) override {
        std::lock_guard lock(FMutex);
        FPending.push_back(run);
    }
    void RunFailed(uint64_t, const std::string& message) override {
        if (message != "Division by zero") WrongFailure = true;
    }
    void RunDebugStopped(uint64_t, const TRunResult&) override { ++DebugStops; }
    std::vector<uint64_t> Take() {
        std::lock_guard lock(FMutex);
        return std::exchange(FPending, {});
    }
    std::atomic<bool> WrongFailure{false};
    std::atomic<int> DebugStops{0};

  private:
    std::mutex FMutex;
    std::vector<uint64_t> FPending;
};

// Follows the log's event stream: after every clear the program prints 1, 2, 3, ...
// The ring keeps the newest Capacity events; a loaded machine may keep this thread off its
// core while the run thread appends more than that, so the checker may find its next event
// overwritten. It then resumes at the oldest event held, which must still fit the stream:
// k events skipped and a print n next means either no clear among them (n = last + k + 1)
// or a clear within them followed by 1..n-1 (n <= k).
class TSequenceCheck {
  public:
    // Returns an empty string, or what went wrong.
    std::string Follow(const TMoniterLog& log) {
        std::vector<TMoniterLog::TEvent> events;
        for (;;) {
            const uint64_t first = log.EventsSince(FNext, 4096, events);
            if (first < FNext) return "events before " + std::to_string(FNext) + " copied again";
            if (events.empty()) return {};
            if (first > FNext) {
                const uint64_t skipped = first - FNext;
                const TMoniterLog::TEvent& e = events.front();
                if (e.Kind != TMoniterCommand::Clear && e.Number != FLast + skipped + 1 && e.Number > skipped)
                    return "line " + std::to_string(e.Number) + " after " + std::to_string(FLast) + " and " +
                           std::to_string(skipped) + " events lost to the ring";
                ++Gaps;
                FLast = e.Kind == TMoniterCommand::Clear ? 0 : e.Number;
                FNext = first + 1;
                events.erase(events.begin());
            }
            for (const TMoniterLog::TEvent& e : events) {
                if (e.Kind == TMoniterCommand::Clear)
                    FLast = 0;
                else if (e.Number != FLast + 1)
                    return "line " + std::to_string(e.Number) + " after " + std::to_string(FLast);
                else
                    FLast = e.Number;
            }
            FNext += events.size();
        }
    }

    int Gaps = 0; // times the checker resumed after events lost to the ring

  private:
    uint64_t FNext = 0;
    uint64_t FLast = 0;
};

// The images as files in a folder of their own, for the real Open.
class TImageFiles {
  public:
    TImageFiles() {
        char folder[] = "/tmp/roz-stress-XXXXXX";
        if (mkdtemp(folder)) FFolder = folder;
        const TImage images[] = {Printer(), Printer(50), Printer(3000), Printer(200, true)};
        for (const TImage& image : images) {
            Paths.push_back(FFolder + "/" + std::to_string(Paths.size()) + ".bin");
            std::ofstream(Paths.back(), std::ios::binary)
                .write(reinterpret_cast<const char*>(image.Bytes.data()),
                       std::streamsize(image.Bytes.size()));
        }
        Paths.push_back(FFolder + "/missing.bin"); // a refused load keeps memory as it was
    }
    ~TImageFiles() {
        for (const std::string& path : Paths)
            unlink(path.c_str());
        rmdir(FFolder.c_str());
    }
    std::vector<std::string> Paths;

  private:
    std::string FFolder;
};

class TStress {
  public:
    TStress(TThreadPriority priority, uint32_t seed, const TImageFiles& files)
        : Exec(Cpu, Host, priority), Commands(Cpu, Exec), Random(seed), Files(files), Seed(seed) {
        Cpu.Memory.LoadImage(Files.Paths[0]);
    }

    // Runs sequences until the deadline; returns the number of commands given.
    int Go(steady_clock::time_point deadline, std::atomic<uint64_t>& heartbeat, int& sequences) {
        int commands = 0;
        const int limit = sequences + MaxSequences / 2;
        while (steady_clock::now() < deadline && sequences < limit) {
            ++sequences;
            const int length = 1 + static_cast<int>(Random() % 8);
            Trace.clear();
            for (int i = 0; i < length; ++i) {
                const int which = static_cast<int>(Random() % 16);
                Trace += std::to_string(which) + " ";
                Command(which);
                ++commands;
                heartbeat.fetch_add(1, std::memory_order_relaxed);
                const std::string fault = Check.Follow(Exec.MoniterLog);
                if (!fault.empty()) {
                    ADD_FAILURE() << "monitor: " << fault << " (seed " << Seed << ", sequence " << sequences
                                  << ", commands " << Trace << ")";
                    return commands;
                }
            }
        }
        Exec.Dispose(Poll());
        EXPECT_EQ(Exec.State(), TRunState::NeverRun);
        EXPECT_FALSE(Exec.IsThreadActive());
        EXPECT_FALSE(Host.WrongFailure.load());
        EXPECT_EQ(Check.Follow(Exec.MoniterLog), "");
        Events = Exec.MoniterLog.Snapshot().Generation;
        DebugStops = Host.DebugStops.load();
        return commands;
    }

    int StopsLate = 0;
    uint64_t Events = 0;
    int DebugStops = 0;
    int Gaps() const { return Check.Gaps; }
    TKeyboardPort& Keyboard() { return Cpu.Ports.Keyboard; }

  private:
    // The window's event loop while it waits: closes end messages now and then.
    TExecution::TPollHook Poll() {
        return [this] {
            if (Random() % 4 == 0)
                for (uint64_t run : Host.Take())
                    Exec.EndMessageClosed(run);
        };
    }

    void Command(int which) {
        switch (which) {
        case 0:
            Exec.Run(Poll());
            break;
        case 1:
            Exec.Pause();
            break;
        case 2:
            Exec.Resume();
            break;
        case 3:
            if (!Exec.Stop(Poll())) ++StopsLate;
            EXPECT_FALSE(Exec.IsRunning());
            break;
        case 4: { // step
            try {
                Commands.Step();
            } catch (const TDivisionByZero&) {
            }
            auto guard = Exec.HandOver();
            CheckCpu();
            break;
        }
        case 5:
            Commands.Reset();
            break;
        case 6:
        case 7: // the timer's refresh: skips its tick when the CPU is not handed over soon
            Commands.Refresh([this](TCCPUBase&) { CheckCpu(); });
            break;
        case 8: { // a re-size, then open and reset, as the window gives them: both end the run
            const TExecutionCommands::TResizeResult resized =
                Commands.SetMemorySize(9000 + static_cast<int64_t>(Random() % 3000), Poll());
            EXPECT_EQ(resized.Status, 0);
            const TExecutionCommands::TOpenResult opened =
                Commands.Open(Files.Paths[Random() % Files.Paths.size()], Poll());
            EXPECT_FALSE(opened.Run.Ended); // the re-size has ended it already
            EXPECT_NE(Exec.State(), TRunState::Running);
            Commands.Reset();
            break;
        }
        case 9:
            for (uint64_t run : Host.Take())
                Exec.EndMessageClosed(run);
            break;
        case 10:
            Exec.Dispose(Poll());
            EXPECT_EQ(Exec.State(), TRunState::NeverRun);
            EXPECT_FALSE(Exec.IsThreadActive());
            break;
        case 13: // breakpoints, a monitor watch or nothing, with a decision that often goes on
            Exec.SetDebug(RandomSettings());
            break;
        case 14:
            Exec.RunOneShot(RandomSettings(), Poll());
            break;
        case 15: // debugger stops pause the run often: resume more often
            Exec.Resume();
            break;
        default:
            std::this_thread::sleep_for(microseconds(Random() % 500));
            break;
        }
        const TRunState state = Exec.State();
        if (state == TRunState::NeverRun) {
            EXPECT_FALSE(Exec.IsThreadActive());
        }
    }

    TDebugSettings RandomSettings() {
        TDebugSettings settings;
        const int roll = static_cast<int>(Random() % 4);
        if (roll == 0) return settings;
        for (int k = 1 + static_cast<int>(Random() % 3); k > 0; --k)
            settings.Checks.Breakpoints.push_back(Random() % 512 & ~uint64_t{7});
        settings.Checks.WatchPortOut = roll == 3;
        // Called on the run thread: its own counter, not this thread's generator.
        settings.Decide = [asked = std::make_shared<std::atomic<int>>(0)](
                              const TCCPUBase&, const TRunResult&) { return asked->fetch_add(1) % 3 == 0; };
        return settings;
    }

    // At a boundary the counter equals the monitor's last line, or is one ahead after INC.
    void CheckCpu() {
        const int64_t r1 = Cpu.R[1];
        if (r1 == 0) return;
        std::vector<uint32_t> last;
        const TMoniterLog::TSnapshot snapshot = Exec.MoniterLog.Snapshot();
        if (snapshot.LineCount == 0) {
            EXPECT_EQ(r1, 1);
            return;
        }
        Exec.MoniterLog.CopyLines(snapshot.LineCount - 1, 1, last);
        ASSERT_EQ(last.size(), 1u);
        EXPECT_TRUE(r1 == last[0] || r1 == int64_t{last[0]} + 1) << r1 << " after line " << last[0];
    }

    TCCPU Cpu;
    TQueueHost Host;
    TExecution Exec;
    TExecutionCommands Commands;
    std::mt19937 Random;
    const TImageFiles& Files;
    const uint32_t Seed;
    std::string Trace; // the current sequence's commands, for a failure's message
    TSequenceCheck Check;
};

TEST(RunStress, RandomCommandsAgainstRunningPrograms) {
    std::thread([] {}).join(); // lets a sanitizer start its own helper thread before the count
    const int threadsBefore = ThreadCount();
    std::atomic<uint64_t> heartbeat{0};
    std::atomic<bool> finished{false};
    std::thread watchdog([&] {
        uint64_t seen = heartbeat.load();
        auto since = steady_clock::now();
        while (!finished.load()) {
            std::this_thread::sleep_for(milliseconds(50));
            const uint64_t now = heartbeat.load();
            if (now != seen) {
                seen = now;
                since = steady_clock::now();
            } else if (steady_clock::now() - since > Stall) {
                std::fprintf(stderr, "watchdog: no command finished for %lld s: deadlock\n",
                             static_cast<long long>(duration_cast<seconds>(Stall).count()));
                std::abort();
            }
        }
    });

    const auto start = steady_clock::now();
    int sequences = 0;
    int commands = 0;
    int stopsLate = 0;
    uint64_t events = 0;
    int gaps = 0;
    int debugStops = 0;
    {
        std::atomic<bool> keysDone{false};
        const TImageFiles files;
        TStress normal(TThreadPriority::Normal, 12345, files);
        TStress idle(TThreadPriority::Idle, 777, files);
        // Key events from another thread, racing with IN on the run thread and in steps.
        std::thread keys([&] {
            std::mt19937 random(99);
            while (!keysDone.load()) {
                const uint64_t word = random() % 3 == 0
                                          ? 0
                                          : TKeyboardPort::KeyWord(static_cast<uint16_t>(random()),
                                                                   random() & 1, random() & 1, random() & 1);
                normal.Keyboard().Data.store(word, std::memory_order_relaxed);
                idle.Keyboard().Data.store(word, std::memory_order_relaxed);
                std::this_thread::sleep_for(microseconds(200));
            }
        });
        commands += normal.Go(start + TimeBudget / 2, heartbeat, sequences);
        commands += idle.Go(start + TimeBudget, heartbeat, sequences);
        stopsLate = normal.StopsLate + idle.StopsLate;
        events = normal.Events + idle.Events;
        gaps = normal.Gaps() + idle.Gaps();
        debugStops = normal.DebugStops + idle.DebugStops;
        keysDone = true;
        keys.join();
    }
    finished = true;
    watchdog.join();
    std::printf(
        "%d sequences, %d commands, %llu monitor events, %d stops past 100 ms, %d ring overruns, %d debugger "
        "stops, %.1f s\n",
        sequences, commands, static_cast<unsigned long long>(events), stopsLate, gaps, debugStops,
        duration<double>(steady_clock::now() - start).count());
    EXPECT_GT(sequences, 100);
    EXPECT_GT(debugStops, 10);
    EXPECT_EQ(ThreadCount(), threadsBefore); // no run thread left behind
}

} // namespace
