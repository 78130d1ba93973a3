#include "UCliDebug.h"

#include <cctype>
#include <filesystem>

#include "UDebugInfo.h"
#include "ULocationResolver.h"

bool TCliDebug::Load(const std::string& imagePath, const std::vector<uint8_t>& image) {
    const std::string path = TDebugInfo::PathFor(imagePath);
    std::error_code ignore;
    if (!std::filesystem::exists(path, ignore)) {
        FNote = "no debug information: " + path + " does not exist";
        FMissing = true;
        return true;
    }
    std::string error;
    std::optional<TDebugInfo> info = TDebugInfo::Load(path, image, imagePath, error);
    if (!info) {
        FNote = "debug information ignored: " + error;
        return false;
    }
    FMap = TSourceMap(std::move(*info));
    FLoaded = true;
    FNote.clear();
    return true;
}

bool TCliDebug::Resolve(const std::vector<std::string>& locations, uint64_t imageLength, std::string& error) {
    for (size_t i = 0; i < locations.size(); ++i) {
        std::string why;
        const std::optional<TResolvedLocation> where = ResolveLocation(locations[i], FMap, imageLength, why);
        if (!where) {
            // An address needs no debug information; for a name or a line its absence is the reason.
            const bool address =
                !locations[i].empty() && std::isdigit(static_cast<unsigned char>(locations[i][0]));
            error = "--break " + locations[i] + ": " + why;
            if (FMissing && !address) error += " (" + FNote + ")";
            return false;
        }
        for (uint64_t address : where->Addresses) {
            FBreaks.push_back({address, i});
            FChecks.Breakpoints.push_back(address);
        }
    }
    FChecks.SortBreakpoints();
    return true;
}

std::optional<size_t> TCliDebug::LocationAt(uint64_t address) const {
    for (const TBreak& point : FBreaks)
        if (point.Address == address) return point.Location;
    return std::nullopt;
}

std::string TCliDebug::FunctionAt(uint64_t address) const {
    if (const TDebugInfo::TFunction* function = FMap.FunctionAt(address)) return function->Name;
    if (const TDebugInfo::TSymbol* symbol = FMap.SymbolAt(address)) return symbol->Name;
    return "";
}

std::string TCliDebug::SourceAt(uint64_t address) const {
    return FMap.PlaceText(FMap.LineAt(address));
}

std::string TCliDebug::WhereAt(uint64_t address) const {
    const std::string function = FunctionAt(address), source = SourceAt(address);
    if (function.empty() || source.empty()) return function + source;
    return function + "  " + source;
}
