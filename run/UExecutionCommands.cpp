#include "UExecutionCommands.h"

#include <utility>

template <class F> decltype(auto) TExecutionCommands::WithCpu(F&& f) {
    TRunControl::THandOver guard = FExecution.HandOver();
    if (OnHandOver) OnHandOver();
    return std::forward<F>(f)();
}

TExecutionCommands::TEndedRun TExecutionCommands::EndRun(const TPollHook& poll) {
    const TRunState state = FExecution.State();
    if (state == TRunState::NeverRun || state == TRunState::Finished) return {};
    FExecution.End(poll);
    return {true, state == TRunState::Running || state == TRunState::Paused};
}

TExecutionCommands::TOpenResult TExecutionCommands::Open(const std::string& fileName, const TPollHook& poll) {
    TOpenResult result;
    result.Run = EndRun(poll); // a run would go on with the new image without Run being pressed
    result.Status = WithCpu([&] {
        const int32_t status = FCpu.Memory.LoadImage(fileName);
        if (status == 0) FCpu.Clock = 0; // a new program's clock starts with it
        return status;
    });
    return result;
}

void TExecutionCommands::Reset() {
    WithCpu([&] { FCpu.Reset(); });
}

int64_t TExecutionCommands::Step() {
    return WithCpu([&] { return FCpu.FetchAndExecute(FCpu.IPOffset); });
}

bool TExecutionCommands::Refresh(const std::function<void(TCCPUBase&)>& read) {
    TRunControl::THandOver guard = FExecution.HandOver(RefreshWait);
    if (!guard.Acquired()) return false;
    if (OnHandOver) OnHandOver();
    read(FCpu);
    return true;
}

TExecutionCommands::TResizeResult TExecutionCommands::SetMemorySize(int64_t size, const TPollHook& poll) {
    TResizeResult result;
    if (size <= 0) {
        result.Refused = true;
        return result;
    }
    // A run would otherwise end at its next fetch from the re-sized store as if it had finished.
    result.Run = EndRun(poll);
    result.Status = WithCpu([&] { return FCpu.Memory.SetSize(size); });
    return result;
}
