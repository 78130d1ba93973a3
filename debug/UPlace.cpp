#include "UPlace.h"

#include <cstdio>

TPlace PlaceAt(const TSourceMap& map, uint64_t address, TPlaceName naming) {
    TPlace place;
    place.Address = address;
    if (naming == TPlaceName::Symbol) {
        place.Name = map.NameAt(address);
    } else if (const TDebugInfo::TFunction* function = map.FunctionAt(address)) {
        place.Name = function->Name;
    } else if (const TDebugInfo::TSymbol* symbol = map.SymbolAt(address)) {
        place.Name = symbol->Name;
    }
    place.Source = map.PlaceText(map.LineAt(address));
    return place;
}

namespace {

std::string Joined(const std::string& a, const char* separator, const std::string& b) {
    if (a.empty() || b.empty()) return a + b;
    return a + separator + b;
}

} // namespace

std::string FormatPlace(const TPlace& place, TPlaceFormat format) {
    char hex[24];
    std::snprintf(hex, sizeof hex, "0x%04llx", static_cast<unsigned long long>(place.Address));
    const std::string inParens = place.Source.empty() ? "" : "(" + place.Source + ")";
    switch (format) {
    case TPlaceFormat::NameSourceAddress: {
        const std::string text = Joined(place.Name, " ", place.Source);
        return text.empty() ? hex : text + " (" + hex + ")";
    }
    case TPlaceFormat::FunctionAddress:
        return Joined(Joined(place.Name, " ", inParens), " ", hex);
    case TPlaceFormat::Function:
        return place.Name.empty() ? place.Source : Joined(place.Name, " ", inParens);
    case TPlaceFormat::Columns:
        return Joined(place.Name, "  ", place.Source);
    case TPlaceFormat::AddressFunction:
        return Joined(hex, " ", FormatPlace(place, TPlaceFormat::Function));
    case TPlaceFormat::NameAddress:
        return place.Name.empty() ? hex : place.Name + " (" + hex + ")";
    case TPlaceFormat::CodeTab: {
        std::string text = std::string("IPOffset ") + hex + "  " + place.Name + "  " + place.Source;
        text.erase(text.find_last_not_of(' ') + 1);
        return text;
    }
    }
    return hex;
}
