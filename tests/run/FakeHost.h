#pragma once
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "URunHost.h"
#include "URunLoop.h"

namespace rtest {

// Records what the body reports; the test decides when to close the end message.
class TFakeHost : public TRunHost {
  public:
    void RunEndMessageDue(uint64_t run) override {
        std::lock_guard lock(FMutex);
        EndMessages.push_back(run);
    }
    void RunFailed(uint64_t run, const std::string& message) override {
        std::lock_guard lock(FMutex);
        Failures.push_back({run, message});
    }
    void RunDebugStopped(uint64_t run, const TRunResult& result) override {
        std::lock_guard lock(FMutex);
        DebugStops.push_back({run, result});
    }
    std::vector<std::pair<uint64_t, TRunResult>> DebugStopsCopy() {
        std::lock_guard lock(FMutex);
        return DebugStops;
    }
    std::vector<uint64_t> EndMessagesCopy() {
        std::lock_guard lock(FMutex);
        return EndMessages;
    }
    std::vector<std::pair<uint64_t, std::string>> FailuresCopy() {
        std::lock_guard lock(FMutex);
        return Failures;
    }

  private:
    std::mutex FMutex;
    std::vector<uint64_t> EndMessages;
    std::vector<std::pair<uint64_t, std::string>> Failures;
    std::vector<std::pair<uint64_t, TRunResult>> DebugStops;
};

// Polls pred until it holds or the timeout passes (tests never assert on timings; the
// timeout only keeps a fault from hanging the run).
template <class Pred>
bool Eventually(Pred pred, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

} // namespace rtest
