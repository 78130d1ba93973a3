#include "UVariableView.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "Uccpubase.h"

namespace {

constexpr size_t AggregateShown = 16; // bytes of an aggregate shown before "..."

std::string Hex(uint64_t value, int digits) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%0*llx", digits, static_cast<unsigned long long>(value));
    return text;
}

std::string CharText(int64_t value) {
    const char* escapes[][2] = {{"\n", "\\n"}, {"\t", "\\t"}, {"\r", "\\r"}, {"\0", "\\0"}};
    std::string text = std::to_string(value);
    if (value >= 32 && value < 127)
        return text + " '" + (value == '\'' || value == '\\' ? "\\" : "") + static_cast<char>(value) + "'";
    for (const auto& escape : escapes)
        if (value == escape[0][0]) return text + " '" + escape[1] + "'";
    return text;
}

std::string Bytes(const uint8_t* bytes, size_t size) {
    std::string text = "{";
    for (size_t i = 0; i < std::min(size, AggregateShown); ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
        text += (i ? " " : "") + std::string(hex);
    }
    return text + (size > AggregateShown ? " ...}" : "}");
}

// The frame address, register or constant a location names: the value's bytes.
struct TPlace {
    std::vector<uint8_t> Bytes;
    std::string Where;
    bool Available = true;
};

TPlace Read(const TCCPUBase& cpu, const TDebugInfo::TLocation& location, const TDebugInfo::TType& type,
            int64_t base, uint32_t knownRegisters, const int64_t* registers) {
    TPlace place;
    const size_t size = std::min<uint64_t>(type.Size, 1 << 16);
    const auto readBytes = [&](int64_t address) {
        for (size_t i = 0; i < size; ++i)
            place.Bytes.push_back(
                cpu.Memory.PeekByte(static_cast<int64_t>(static_cast<uint64_t>(address) + i)));
    };
    const auto valueBytes = [&](int64_t value) {
        for (size_t i = 0; i < size; ++i)
            place.Bytes.push_back(i < 8 ? static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i)) : 0);
    };
    if (location.Kind == "frame") {
        place.Where = "FP" + std::string(location.Offset < 0 ? "" : "+") + std::to_string(location.Offset);
        readBytes(static_cast<int64_t>(static_cast<uint64_t>(base) + static_cast<uint64_t>(location.Offset)));
    } else if (location.Kind == "register") {
        const int r = static_cast<int>(location.Offset);
        place.Where = "R" + std::to_string(r);
        if (location.Offset < 0 || location.Offset > 15 || !(knownRegisters & 1u << r))
            place.Available = false;
        else
            valueBytes(registers[r]);
    } else if (location.Kind == "address") {
        place.Where = Hex(static_cast<uint64_t>(location.Offset), 4);
        readBytes(location.Offset);
    } else {
        place.Where = "constant";
        valueBytes(location.Offset);
    }
    return place;
}

TVariableView View(const TCCPUBase& cpu, const TDebugInfo::TVariable& variable, uint64_t at, bool inFunction,
                   int64_t base, uint32_t knownRegisters, const int64_t* registers) {
    TVariableView view{variable.Name, variable.Kind, variable.Type.Name, "<optimised out>", ""};
    for (const TDebugInfo::TLocation& location : variable.Locations) {
        const bool everywhere = location.From == 0 && location.To == 0;
        if (!everywhere && !(inFunction && at >= location.From && at < location.To)) continue;
        const TPlace place = Read(cpu, location, variable.Type, base, knownRegisters, registers);
        view.Where = place.Where;
        view.Value = place.Available ? FormatValue(variable.Type, place.Bytes.data(), place.Bytes.size())
                                     : "<not available>";
        break;
    }
    return view;
}

} // namespace

std::string FormatValue(const TDebugInfo::TType& type, const uint8_t* bytes, size_t size) {
    if (type.Encoding == "aggregate" || size == 0 || size > 8) return Bytes(bytes, size);
    uint64_t value = 0;
    std::memcpy(&value, bytes, size);
    const unsigned bits = static_cast<unsigned>(size * 8);
    const int64_t signedValue =
        bits == 64 ? static_cast<int64_t>(value) : static_cast<int64_t>(value << (64 - bits)) >> (64 - bits);
    if (type.Encoding == "unsigned") return std::to_string(value);
    if (type.Encoding == "bool") return value ? "true" : "false";
    if (type.Encoding == "pointer") return Hex(value, 8);
    if (type.Encoding == "char")
        return CharText(type.Name.find("unsigned") != std::string::npos ? static_cast<int64_t>(value)
                                                                        : signedValue);
    return std::to_string(signedValue); // signed, enum
}

std::vector<TVariableView> FrameVariables(const TCCPUBase& cpu, const TStackFrame& frame) {
    std::vector<TVariableView> views;
    if (!frame.Function) return views;
    for (const TDebugInfo::TVariable& variable : frame.Function->Variables)
        views.push_back(View(cpu, variable, frame.Where, true, frame.Base, frame.Known, frame.R));
    return views;
}

std::vector<TVariableView> GlobalVariables(const TCCPUBase& cpu, const TSourceMap& map) {
    std::vector<TVariableView> views;
    for (const TDebugInfo::TVariable& variable : map.Info().Globals)
        views.push_back(View(cpu, variable, 0, false, 0, 0xFFFF, cpu.R));
    return views;
}
