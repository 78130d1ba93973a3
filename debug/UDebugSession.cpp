#include "UDebugSession.h"

#include <system_error>

const TDebugLoad& TDebugSession::Load(const std::string& imagePath, const std::vector<uint8_t>& image) {
    namespace fs = std::filesystem;
    const std::string path = TDebugInfo::PathFor(imagePath);
    std::error_code error;
    // Only a regular file is read (a named pipe would block the reader).
    if (!fs::is_regular_file(path, error)) {
        FLast = TDebugLoad{std::nullopt, path, true, ""};
        FLastImage.clear();
        return FLast;
    }
    const fs::file_time_type time = fs::last_write_time(path, error);
    const uintmax_t size = fs::file_size(path, error);
    if (!error && FLast.Path == path && !FLast.Missing && FLastImage == image && FLastTime == time &&
        FLastSize == size)
        return FLast;

    TDebugLoad load{std::nullopt, path, false, ""};
    load.Info = TDebugInfo::Load(path, image, imagePath, load.Error);
    if (load.Info)
        for (std::string& source : load.Info->Sources) {
            std::error_code ignore;
            if (fs::exists(source, ignore)) continue;
            const fs::path beside = fs::absolute(path, ignore).parent_path() / fs::path(source).filename();
            if (fs::exists(beside, ignore)) source = beside.string();
        }
    FLast = std::move(load);
    FLastImage = image;
    FLastTime = time;
    FLastSize = error ? 0 : size;
    if (error) FLastImage.clear(); // not comparable: read again next time
    return FLast;
}

const TDebugLoad& TDebugSession::OpenImage(const std::string& imagePath, const std::vector<uint8_t>& image) {
    FOpened = Load(imagePath, image);
    WithCpu(
        [&] { FDebugger.SetImage(FOpened.Info ? TSourceMap(*FOpened.Info) : TSourceMap(), image.size()); });
    SettingsChanged();
    return FOpened;
}

// The settings' hook refers to the debugger, which outlives every run. SetDebug takes its own
// hand-over, so the settings are made inside one and handed over after it.
void TDebugSession::SettingsChanged() {
    if (!FExecution) return;
    TDebugSettings settings = WithCpu([this] { return FDebugger.StandingSettings(); });
    FExecution->SetDebug(std::move(settings));
}

void TDebugSession::Run(const TPollHook& poll) {
    WithCpu([this] {
        FDebugger.EndPlan();
        FDebugger.Breakpoints().ResetHits();
    });
    FExecution->Run(poll);
}

bool TDebugSession::Pause() {
    if (!FExecution->Pause()) return false;
    EndPlan();
    return true;
}

bool TDebugSession::Stop(const TPollHook& poll) {
    const bool stopped = FExecution->Stop(poll);
    EndPlan();
    return stopped;
}

void TDebugSession::EndPlan() {
    WithCpu([this] { FDebugger.EndPlan(); });
}

bool TDebugSession::Busy() const {
    const TRunState state = FExecution->State();
    return state == TRunState::Running || state == TRunState::Stopping;
}

bool TDebugSession::PreparePlan(const TMakePlan& make) {
    FPrepared.reset();
    return WithCpu([&] {
        TStepPlan plan = make(*FCpu, FDebugger.Map());
        if (plan.SingleInstruction()) return false;
        FPrepared = FDebugger.PlanSettings(std::move(plan));
        return true;
    });
}

bool TDebugSession::RunPlan(const TPollHook& poll) {
    if (!FPrepared) return false;
    TDebugSettings settings = std::move(*FPrepared);
    FPrepared.reset();
    return FExecution->RunOneShot(std::move(settings), poll);
}

TStepPlan TDebugSession::RunToCursor(const TCCPUBase& cpu, const TSourceMap& map, uint64_t address,
                                     bool wholeLine) {
    const TSourceMap::TLineKey line = map.LineAt(address);
    std::vector<uint64_t> starts = wholeLine && line.Valid() ? map.LineStarts(line) : std::vector<uint64_t>{};
    if (starts.empty()) starts.push_back(address);
    return TStepPlan::RunTo(cpu, std::move(starts));
}

std::string TDebugSession::StopText() {
    return WithCpu([this] { return FDebugger.StopText(); });
}
