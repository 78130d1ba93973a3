#include "USourceMap.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "UInstructionSet.h"

namespace {

std::string_view BaseName(std::string_view path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string Hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

} // namespace

TSourceMap::TSourceMap(TDebugInfo info) : FInfo(std::move(info)) {
    std::sort(FInfo.Lines.begin(), FInfo.Lines.end(),
              [](const TDebugInfo::TLine& a, const TDebugInfo::TLine& b) { return a.From < b.From; });
    for (size_t i = 0; i < FInfo.Functions.size(); ++i)
        FFunctionOrder.push_back(i);
    std::sort(FFunctionOrder.begin(), FFunctionOrder.end(),
              [&](size_t a, size_t b) { return FInfo.Functions[a].Address < FInfo.Functions[b].Address; });
    for (size_t i = 0; i < FInfo.Symbols.size(); ++i)
        if (FInfo.Symbols[i].Kind == "function" || FInfo.Symbols[i].Kind == "label")
            FSymbolOrder.push_back(i);
    std::stable_sort(FSymbolOrder.begin(), FSymbolOrder.end(),
                     [&](size_t a, size_t b) { return FInfo.Symbols[a].Address < FInfo.Symbols[b].Address; });
}

TSourceMap::TLineKey TSourceMap::LineAt(uint64_t address) const {
    const auto row =
        std::upper_bound(FInfo.Lines.begin(), FInfo.Lines.end(), address,
                         [](uint64_t a, const TDebugInfo::TLine& line) { return a < line.From; });
    if (row == FInfo.Lines.begin()) return {};
    const TDebugInfo::TLine& line = *std::prev(row);
    if (address >= line.To) return {};
    return {line.File, line.Line};
}

const TDebugInfo::TFunction* TSourceMap::FunctionAt(uint64_t address) const {
    const auto at = std::upper_bound(FFunctionOrder.begin(), FFunctionOrder.end(), address,
                                     [&](uint64_t a, size_t i) { return a < FInfo.Functions[i].Address; });
    if (at == FFunctionOrder.begin()) return nullptr;
    const TDebugInfo::TFunction& function = FInfo.Functions[*std::prev(at)];
    return address < function.Address + function.Size ? &function : nullptr;
}

const TDebugInfo::TSymbol* TSourceMap::SymbolAt(uint64_t address) const {
    const auto at = std::upper_bound(FSymbolOrder.begin(), FSymbolOrder.end(), address,
                                     [&](uint64_t a, size_t i) { return a < FInfo.Symbols[i].Address; });
    if (at == FSymbolOrder.begin()) return nullptr;
    const TDebugInfo::TSymbol& symbol = FInfo.Symbols[*std::prev(at)];
    if (symbol.Size != 0 && address >= symbol.Address + symbol.Size) return nullptr;
    return &symbol;
}

std::string TSourceMap::NameAt(uint64_t address) const {
    const TDebugInfo::TSymbol* symbol = SymbolAt(address);
    if (!symbol) return "";
    if (address == symbol->Address) return symbol->Name;
    return symbol->Name + "+" + Hex(address - symbol->Address);
}

std::string TSourceMap::PlaceText(TLineKey key) const {
    if (!key.Valid() || key.File >= FInfo.Sources.size()) return "";
    return std::string(BaseName(FInfo.Sources[key.File])) + ":" + std::to_string(key.Line);
}

std::vector<TSourceMap::TRange> TSourceMap::RangesOf(TLineKey key) const {
    std::vector<TRange> ranges;
    for (const TDebugInfo::TLine& line : FInfo.Lines) {
        if (line.File != key.File || line.Line != key.Line) continue;
        if (!ranges.empty() && ranges.back().To == line.From)
            ranges.back().To = line.To;
        else
            ranges.push_back({line.From, line.To});
    }
    return ranges;
}

std::vector<uint64_t> TSourceMap::LineStarts(TLineKey key) const {
    std::vector<uint64_t> starts;
    for (const TRange& range : RangesOf(key))
        starts.push_back(range.From);
    return starts;
}

uint32_t TSourceMap::NextLineWithCode(uint32_t file, uint32_t line) const {
    uint32_t best = 0;
    for (const TDebugInfo::TLine& row : FInfo.Lines)
        if (row.File == file && row.Line >= line && (best == 0 || row.Line < best)) best = row.Line;
    return best;
}

int TSourceMap::FindFile(std::string_view name) const {
    for (size_t i = 0; i < FInfo.Sources.size(); ++i)
        if (FInfo.Sources[i] == name) return static_cast<int>(i);
    int found = -1;
    for (size_t i = 0; i < FInfo.Sources.size(); ++i)
        if (BaseName(FInfo.Sources[i]) == BaseName(name)) {
            if (found >= 0) return -2;
            found = static_cast<int>(i);
        }
    return found;
}

std::vector<uint64_t> TSourceMap::InstructionStarts(TRange range, const uint8_t* image,
                                                    uint64_t length) const {
    std::vector<uint64_t> starts;
    for (uint64_t at = range.From; at < range.To;) {
        starts.push_back(at);
        uint32_t word = 0;
        if (at + 4 <= length) std::memcpy(&word, image + at, 4);
        at += roz::SizeOfWord(word);
    }
    return starts;
}
