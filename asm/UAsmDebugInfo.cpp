#include "UAsmDebugInfo.h"

#include <algorithm>
#include <filesystem>

TDebugInfo TAsmDebugInfo::Make(const TAsmResult& result, const std::string& sourcePath, bool lines) {
    TDebugInfo info;
    info.Producer = "roziduv2-asm";
    info.Language = "assembly";
    info.Options = lines ? "-g" : "-g0";
    // A program that runs to its end fetches at the image's end, so the word there must lie
    // inside memory too.
    info.MemoryNeeded = result.Image.size() + 4;
    std::error_code failure;
    const std::filesystem::path absolute = std::filesystem::absolute(sourcePath, failure);
    info.Sources.push_back(failure ? sourcePath : absolute.lexically_normal().string());
    if (lines)
        for (size_t i = 0; i < result.Lines.size(); ++i) {
            const TAsmLine& line = result.Lines[i];
            if (line.Code && line.Size)
                info.Lines.push_back({line.Address, line.Address + line.Size, 0, static_cast<uint32_t>(i + 1),
                                      static_cast<uint32_t>(line.Column)});
        }

    std::vector<uint64_t> labels; // sorted addresses, for the sizes
    for (const TAsmSymbol& symbol : result.Symbols)
        if (symbol.Label) labels.push_back(symbol.Value);
    std::sort(labels.begin(), labels.end());
    for (const TAsmSymbol& symbol : result.Symbols) {
        uint64_t size = 0;
        if (symbol.Label) {
            const auto next = std::upper_bound(labels.begin(), labels.end(), symbol.Value);
            size = (next == labels.end() ? std::max<uint64_t>(result.Image.size(), symbol.Value) : *next) -
                   symbol.Value;
        }
        info.Symbols.push_back({symbol.Name, {}, symbol.Label ? "label" : "constant", symbol.Value, size});
    }
    return info;
}
