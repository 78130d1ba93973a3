#include "UCliDebug.h"

#include <algorithm>
#include <cctype>

#include "UPlace.h"

bool TCliDebug::Load(const std::string& imagePath, const std::vector<uint8_t>& image) {
    const TDebugLoad& loaded = FSession.OpenImage(imagePath, image);
    FMissing = loaded.Missing;
    if (loaded.Missing) {
        FNote = "no debug information: " + loaded.Path + " does not exist";
        return true;
    }
    if (!loaded.Info) {
        FNote = "debug information ignored: " + loaded.Error;
        return false;
    }
    FNote.clear();
    return true;
}

bool TCliDebug::Resolve(const std::vector<std::string>& locations, uint64_t imageLength, std::string& error) {
    TDebugger& debugger = FSession.Debugger();
    for (const std::string& location : locations) {
        std::string why;
        const std::optional<int> id = debugger.Breakpoints().Add(location, debugger.Map(), imageLength, why);
        if (!id) {
            // An address needs no debug information; for a name or a line its absence is the reason.
            const bool address = !location.empty() && std::isdigit(static_cast<unsigned char>(location[0]));
            error = "--break " + location + ": " + why;
            if (FMissing && !address) error += " (" + FNote + ")";
            return false;
        }
        FBreakIds.push_back(*id);
    }
    return true;
}

bool TCliDebug::AddWatches(const std::vector<std::string>& texts, const TCCPUBase& cpu, std::string& error) {
    TDebugger& debugger = FSession.Debugger();
    for (const std::string& text : texts) {
        std::string why;
        const int id = debugger.Watches().Add(text, debugger.Map(), &cpu, why);
        if (!id) {
            error = "--watch " + text + ": " + why;
            if (FMissing && !text.empty() && std::isalpha(static_cast<unsigned char>(text[0])) &&
                text != "in" && text != "out")
                error += " (" + FNote + ")";
            return false;
        }
        FWatchIds.push_back(id);
    }
    return true;
}

namespace {

std::optional<size_t> IndexOf(const std::vector<int>& ids, int id) {
    const auto at = std::find(ids.begin(), ids.end(), id);
    if (id == 0 || at == ids.end()) return std::nullopt;
    return static_cast<size_t>(at - ids.begin());
}

} // namespace

std::optional<size_t> TCliDebug::StopLocation() const {
    return IndexOf(FBreakIds, FSession.Debugger().StopBreakpoint());
}

std::optional<size_t> TCliDebug::StopWatch() const {
    return IndexOf(FWatchIds, FSession.Debugger().StopWatchpoint());
}

const TWatchpoint* TCliDebug::StopWatchpoint() const {
    const int id = FSession.Debugger().StopWatchpoint();
    return id ? FSession.Debugger().Watches().Find(id) : nullptr;
}

std::string TCliDebug::FunctionAt(uint64_t address) const {
    return PlaceAt(Map(), address, TPlaceName::Function).Name;
}

std::string TCliDebug::SourceAt(uint64_t address) const {
    return PlaceAt(Map(), address, TPlaceName::Function).Source;
}

std::string TCliDebug::WhereAt(uint64_t address) const {
    return FormatPlace(PlaceAt(Map(), address, TPlaceName::Function), TPlaceFormat::Columns);
}
