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
    bool InMemory = false;
    uint64_t Address = 0;
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
        place.InMemory = true;
        place.Address = static_cast<uint64_t>(base) + static_cast<uint64_t>(location.Offset);
        readBytes(static_cast<int64_t>(place.Address));
    } else if (location.Kind == "register") {
        const int r = static_cast<int>(location.Offset);
        place.Where = "R" + std::to_string(r);
        if (location.Offset < 0 || location.Offset > 15 || !(knownRegisters & 1u << r))
            place.Available = false;
        else
            valueBytes(registers[r]);
    } else if (location.Kind == "address") {
        place.Where = Hex(static_cast<uint64_t>(location.Offset), 4);
        place.InMemory = true;
        place.Address = static_cast<uint64_t>(location.Offset);
        readBytes(location.Offset);
    } else {
        place.Where = "constant";
        valueBytes(location.Offset);
    }
    return place;
}

TVariableView View(const TCCPUBase& cpu, const TDebugInfo* info, const TDebugInfo::TVariable& variable,
                   uint64_t at, bool inFunction, int64_t base, uint32_t knownRegisters,
                   const int64_t* registers) {
    TVariableView view;
    view.Name = variable.Name;
    view.Kind = variable.Kind;
    view.Type = variable.Type.Name;
    view.Value = "<optimised out>";
    for (const TDebugInfo::TLocation& location : variable.Locations) {
        const bool everywhere = location.From == 0 && location.To == 0;
        if (!everywhere && !(inFunction && at >= location.From && at < location.To)) continue;
        const TPlace place = Read(cpu, location, variable.Type, base, knownRegisters, registers);
        view.Where = place.Where;
        if (!place.Available) {
            view.Value = "<not available>";
        } else if (info && variable.TypeId >= 0 &&
                   static_cast<size_t>(variable.TypeId) < info->Types.size()) {
            const TValueReader reader(*info, cpu.Memory.Buffer(), static_cast<uint64_t>(cpu.Memory.Size()));
            TValueRef ref{variable.TypeId, place.InMemory, place.Address, {}};
            if (!place.InMemory) ref.Bytes = place.Bytes;
            const TValueNode node = reader.Node(variable.Name, ref);
            view.Value = node.Value;
            view.Address = node.Address;
            view.Expandable = node.Expandable;
            view.Ref = node.Ref;
        } else {
            view.Value = FormatValue(variable.Type, place.Bytes.data(), place.Bytes.size());
            if (place.InMemory) view.Address = Hex(place.Address, 4);
        }
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

std::vector<TVariableView> FrameVariables(const TCCPUBase& cpu, const TStackFrame& frame,
                                          const TDebugInfo* info) {
    std::vector<TVariableView> views;
    if (!frame.Function) return views;
    const TDebugInfo::TFunction& function = *frame.Function;
    // How deep a variable's block lies: of two visible variables with one name, the deeper
    // one hides the other.
    const auto depth = [&](const TDebugInfo::TVariable& variable) {
        int levels = 0;
        for (int64_t scope = variable.Scope; scope >= 0 && levels < 1000; ++levels)
            scope = function.Scopes[static_cast<size_t>(scope)].Parent;
        return levels;
    };
    std::vector<const TDebugInfo::TVariable*> visible;
    for (const TDebugInfo::TVariable& variable : function.Variables)
        if (TDebugInfo::InScope(function, variable, frame.Where)) visible.push_back(&variable);
    for (const TDebugInfo::TVariable* variable : visible) {
        const bool hidden =
            std::any_of(visible.begin(), visible.end(), [&](const TDebugInfo::TVariable* other) {
                return other != variable && other->Name == variable->Name && depth(*other) > depth(*variable);
            });
        if (!hidden)
            views.push_back(View(cpu, info, *variable, frame.Where, true, frame.Base, frame.Known, frame.R));
    }
    return views;
}

std::vector<TVariableView> GlobalVariables(const TCCPUBase& cpu, const TSourceMap& map) {
    std::vector<TVariableView> views;
    for (const TDebugInfo::TVariable& variable : map.Info().Globals)
        views.push_back(View(cpu, &map.Info(), variable, 0, false, 0, 0xFFFF, cpu.R));
    return views;
}
