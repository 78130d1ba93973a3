#include "ULocationResolver.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

#include "UPlace.h"

namespace {

std::string Hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%04llx", static_cast<unsigned long long>(value));
    return text;
}

std::optional<uint64_t> Number(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    uint64_t value = 0;
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || status != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

std::optional<TResolvedLocation> ResolveLine(std::string_view file, uint32_t line, const TSourceMap& map,
                                             std::string& error) {
    const int index = map.FindFile(file);
    if (index == -2) {
        error = "the file name " + std::string(file) + " matches several sources; give its full path";
        return std::nullopt;
    }
    if (index < 0) {
        error = "no source file " + std::string(file);
        return std::nullopt;
    }
    const uint32_t fileIndex = static_cast<uint32_t>(index);
    uint32_t codeLine = map.NextLineWithCode(fileIndex, line);
    // A line without code (a comment, a declaration) moves on to the next line with code, but
    // only within one C function: past its end the user meant something else.
    if (codeLine != line && codeLine != 0 && !map.Info().Functions.empty()) {
        const TDebugInfo::TFunction* here = nullptr;
        for (const TDebugInfo::TFunction& function : map.Info().Functions)
            if (function.File == fileIndex && function.Line <= line && (!here || function.Line > here->Line))
                here = &function;
        const std::vector<uint64_t> starts = map.LineStarts({fileIndex, codeLine});
        if (!here || starts.empty() || map.FunctionAt(starts.front()) != here) codeLine = 0;
    }
    if (codeLine == 0) {
        error = "no code at line " + std::to_string(line) + " of " + std::string(file);
        return std::nullopt;
    }
    TResolvedLocation location;
    location.Addresses = map.LineStarts({fileIndex, codeLine});
    location.Text = map.PlaceText({fileIndex, codeLine});
    return location;
}

} // namespace

std::optional<TResolvedLocation> ResolveLocation(std::string_view text, const TSourceMap& map,
                                                 uint64_t imageLength, std::string& error) {
    text = Trim(text);
    if (text.empty()) {
        error = "no location given";
        return std::nullopt;
    }
    if (std::isdigit(static_cast<unsigned char>(text.front()))) {
        const std::optional<uint64_t> address = Number(text);
        if (!address) {
            error = "bad address " + std::string(text);
            return std::nullopt;
        }
        if (imageLength != 0 && *address >= imageLength) {
            error = "address " + Hex(*address) + " is not in the image (" + std::to_string(imageLength) +
                    " bytes)";
            return std::nullopt;
        }
        return TResolvedLocation{
            {*address}, FormatPlace(PlaceAt(map, *address, TPlaceName::Symbol), TPlaceFormat::NameAddress)};
    }
    const size_t colon = text.rfind(':');
    if (colon != std::string_view::npos) {
        const std::optional<uint64_t> line = Number(Trim(text.substr(colon + 1)));
        if (!line || *line == 0 || *line > UINT32_MAX) {
            error = "bad line number in " + std::string(text);
            return std::nullopt;
        }
        return ResolveLine(Trim(text.substr(0, colon)), static_cast<uint32_t>(*line), map, error);
    }
    for (const TDebugInfo::TFunction& function : map.Info().Functions)
        if (function.Name == text || function.Label == text)
            return TResolvedLocation{
                {function.Address},
                FormatPlace({function.Address, function.Name, ""}, TPlaceFormat::NameAddress)};
    for (const TDebugInfo::TSymbol& symbol : map.Info().Symbols)
        if ((symbol.Kind == "label" || symbol.Kind == "function") &&
            (symbol.Name == text || symbol.Label == text))
            return TResolvedLocation{
                {symbol.Address}, FormatPlace({symbol.Address, symbol.Name, ""}, TPlaceFormat::NameAddress)};
    error = "unknown label " + std::string(text);
    return std::nullopt;
}
