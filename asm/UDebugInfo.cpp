#include "UDebugInfo.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "UJsonWriter.h"
#include "UOutputFile.h"

namespace {

using TJson = nlohmann::json;
constexpr const char* FormatName = "roziduv2-dbg";

std::string HexHash(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

TJsonWriter::TValue TypeValue(const TDebugInfo::TType& type) {
    return {{"name", type.Name}, {"size", type.Size}, {"encoding", type.Encoding}};
}

TJsonWriter::TValue LocationValue(const TDebugInfo::TLocation& location) {
    TJsonWriter::TValue value = TJsonWriter::TValue::object();
    if (location.From || location.To) {
        value["from"] = location.From;
        value["to"] = location.To;
    }
    value[location.Kind] = location.Offset;
    return value;
}

void WriteVariable(TJsonWriter& out, const TDebugInfo::TVariable& variable) {
    TJsonWriter::TValue locations = TJsonWriter::TValue::array();
    for (const TDebugInfo::TLocation& location : variable.Locations)
        locations.push_back(LocationValue(location));
    TJsonWriter::TValue value = {
        {"name", variable.Name}, {"kind", variable.Kind}, {"type", TypeValue(variable.Type)},
        {"file", variable.File}, {"line", variable.Line}, {"locations", locations}};
    if (variable.TypeId >= 0) value["type_id"] = variable.TypeId;
    if (variable.Scope >= 0) value["scope"] = variable.Scope;
    out.Value(value);
}

TJsonWriter::TValue TypeEntryValue(const TDebugInfo::TTypeEntry& type) {
    TJsonWriter::TValue value = {{"kind", type.Kind}, {"name", type.Name}, {"size", type.Size}};
    if (!type.Encoding.empty()) value["encoding"] = type.Encoding;
    if (type.Target >= 0) value["type"] = type.Target;
    if (type.Kind == "array") value["count"] = type.Count;
    if (!type.Members.empty()) {
        TJsonWriter::TValue members = TJsonWriter::TValue::array();
        for (const TDebugInfo::TMember& member : type.Members) {
            TJsonWriter::TValue item = {
                {"name", member.Name}, {"type", member.Type}, {"offset", member.Offset}};
            if (member.BitSize) {
                item["bit_offset"] = member.BitOffset;
                item["bit_size"] = member.BitSize;
            }
            members.push_back(item);
        }
        value["members"] = members;
    }
    if (!type.Enumerators.empty()) {
        TJsonWriter::TValue enumerators = TJsonWriter::TValue::array();
        for (const TDebugInfo::TEnumerator& enumerator : type.Enumerators)
            enumerators.push_back({enumerator.Name, enumerator.Value});
        value["enumerators"] = enumerators;
    }
    return value;
}

TDebugInfo::TTypeEntry ReadTypeEntry(const TJson& value) {
    TDebugInfo::TTypeEntry type;
    type.Kind = value.at("kind").get<std::string>();
    type.Name = value.at("name").get<std::string>();
    type.Size = value.at("size").get<uint64_t>();
    type.Encoding = value.value("encoding", std::string());
    type.Target = value.value("type", int64_t{-1});
    type.Count = value.value("count", uint64_t{0});
    if (value.contains("members"))
        for (const TJson& item : value.at("members"))
            type.Members.push_back({item.at("name").get<std::string>(), item.at("type").get<int64_t>(),
                                    item.at("offset").get<uint64_t>(), item.value("bit_offset", uint64_t{0}),
                                    item.value("bit_size", uint64_t{0})});
    if (value.contains("enumerators"))
        for (const TJson& item : value.at("enumerators"))
            type.Enumerators.push_back({item.at(0).get<std::string>(), item.at(1).get<int64_t>()});
    return type;
}

void WriteVariables(TJsonWriter& out, const std::vector<TDebugInfo::TVariable>& variables) {
    out.BeginArray();
    for (const TDebugInfo::TVariable& variable : variables) {
        out.NewLine();
        WriteVariable(out, variable);
    }
    out.EndArray();
}

const char* const LocationKinds[] = {"frame", "register", "address", "value"};

TDebugInfo::TVariable ReadVariable(const TJson& value) {
    TDebugInfo::TVariable variable;
    variable.Name = value.at("name").get<std::string>();
    variable.Kind = value.at("kind").get<std::string>();
    const TJson& type = value.at("type");
    variable.Type = {type.at("name").get<std::string>(), type.at("encoding").get<std::string>(),
                     type.at("size").get<uint64_t>()};
    variable.File = value.at("file").get<uint32_t>();
    variable.Line = value.at("line").get<uint32_t>();
    variable.TypeId = value.value("type_id", int64_t{-1});
    variable.Scope = value.value("scope", int64_t{-1});
    for (const TJson& item : value.at("locations")) {
        TDebugInfo::TLocation location;
        location.From = item.value("from", uint64_t{0});
        location.To = item.value("to", uint64_t{0});
        for (const char* kind : LocationKinds)
            if (item.contains(kind)) {
                location.Kind = kind;
                location.Offset = item.at(kind).get<int64_t>();
            }
        if (location.Kind.empty())
            throw std::runtime_error("a location of '" + variable.Name + "' has no place");
        variable.Locations.push_back(location);
    }
    return variable;
}

std::string FileName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

uint64_t TDebugInfo::Hash(const uint8_t* data, size_t size) {
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (size_t i = 0; i < size; ++i) {
        hash ^= data[i];
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

void TDebugInfo::SetImage(const std::string& imagePath, const std::vector<uint8_t>& image) {
    ImageName = FileName(imagePath);
    ImageLength = image.size();
    ImageHash = Hash(image.data(), image.size());
}

std::string TDebugInfo::PathFor(const std::string& imagePath) {
    const size_t slash = imagePath.rfind('/');
    const size_t dot = imagePath.rfind('.');
    const bool extension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return (extension ? imagePath.substr(0, dot) : imagePath) + ".dbg";
}

std::string TDebugInfo::Text() const {
    char* buffer = nullptr;
    size_t size = 0;
    std::FILE* stream = open_memstream(&buffer, &size);
    if (!stream) return {};
    {
        TJsonWriter out(stream);
        out.BeginObject();
        out.Key("format");
        out.String(FormatName);
        out.Key("version");
        out.Int(Version);
        out.Key("producer");
        out.String(Producer);
        out.Key("language");
        out.String(Language);
        out.Key("options");
        out.String(Options);
        out.NewLine();
        out.Key("image");
        out.Value({{"file", ImageName}, {"length", ImageLength}, {"fnv1a64", HexHash(ImageHash)}});
        out.NewLine();
        out.Key("memory");
        out.Value({{"needed", MemoryNeeded}, {"stack_begin", StackBegin}, {"stack_limit", StackLimit}});
        out.NewLine();
        out.Key("sources");
        out.Value(Sources);
        out.NewLine();
        out.Key("lines"); // [from, to, file, line, column]: the rows are many, so arrays
        out.BeginArray();
        for (const TLine& line : Lines) {
            out.NewLine();
            out.Value({line.From, line.To, line.File, line.Line, line.Column});
        }
        out.EndArray();
        out.NewLine();
        out.Key("symbols");
        out.BeginArray();
        for (const TSymbol& symbol : Symbols) {
            out.NewLine();
            TJsonWriter::TValue value = {{"name", symbol.Name},
                                         {"kind", symbol.Kind},
                                         {"address", symbol.Address},
                                         {"size", symbol.Size}};
            if (!symbol.Label.empty()) value["label"] = symbol.Label;
            out.Value(value);
        }
        out.EndArray();
        out.NewLine();
        out.Key("functions");
        out.BeginArray();
        for (const TFunction& function : Functions) {
            out.NewLine();
            out.BeginObject();
            out.Key("name");
            out.String(function.Name);
            out.Key("label");
            out.String(function.Label);
            out.Key("address");
            out.UInt(function.Address);
            out.Key("size");
            out.UInt(function.Size);
            out.Key("file");
            out.UInt(function.File);
            out.Key("line");
            out.UInt(function.Line);
            out.Key("frame");
            TJsonWriter::TValue frame = {{"size", function.Frame.Size},
                                         {"pointer", function.Frame.FramePointer},
                                         {"caller_frame", function.Frame.CallerFrame},
                                         {"records", function.Frame.Records}};
            if (function.Frame.Facts) {
                TJsonWriter::TValue saved = TJsonWriter::TValue::array(),
                                    valid = TJsonWriter::TValue::array();
                for (const TSavedRegister& save : function.Frame.Saved)
                    saved.push_back({{"register", save.Register}, {"offset", save.Offset}});
                for (const auto& [from, to] : function.Frame.PointerValid)
                    valid.push_back({from, to});
                frame["saved"] = saved;
                frame["saved_from"] = function.Frame.SavedFrom;
                frame["pointer_valid"] = valid;
            }
            out.Value(frame);
            out.Key("variables");
            WriteVariables(out, function.Variables);
            if (!function.Scopes.empty()) {
                TJsonWriter::TValue scopes = TJsonWriter::TValue::array();
                for (const TScope& scope : function.Scopes) {
                    TJsonWriter::TValue ranges = TJsonWriter::TValue::array();
                    for (const auto& [from, to] : scope.Ranges)
                        ranges.push_back({from, to});
                    scopes.push_back({{"parent", scope.Parent}, {"ranges", ranges}});
                }
                out.Key("scopes");
                out.Value(scopes);
            }
            out.EndObject();
        }
        out.EndArray();
        out.NewLine();
        out.Key("globals");
        WriteVariables(out, Globals);
        if (!Ends.empty()) { // {"assert": "dead0000000000a5", ...}: R0 as 16 hex digits
            TJsonWriter::TValue ends = TJsonWriter::TValue::object();
            for (const TEndMark& mark : Ends)
                ends[mark.Reason] = HexHash(mark.R0);
            out.NewLine();
            out.Key("ends");
            out.Value(ends);
        }
        if (!Types.empty()) {
            out.NewLine();
            out.Key("types");
            out.BeginArray();
            for (const TTypeEntry& type : Types) {
                out.NewLine();
                out.Value(TypeEntryValue(type));
            }
            out.EndArray();
        }
        out.EndObject();
    }
    std::fclose(stream);
    std::string text(buffer, size);
    std::free(buffer);
    return text;
}

std::optional<TDebugInfo> TDebugInfo::Parse(std::string_view text, std::string& error) {
    TJson root = TJson::parse(text.begin(), text.end(), nullptr, false);
    if (root.is_discarded()) {
        error = "not a JSON text";
        return std::nullopt;
    }
    try {
        if (!root.is_object() || root.value("format", std::string()) != FormatName) {
            error = "not a debug information file (no \"format\": \"roziduv2-dbg\")";
            return std::nullopt;
        }
        const int version = root.at("version").get<int>();
        if (version < 1 || version > Version) {
            error = "debug information of version " + std::to_string(version) +
                    ", this program reads versions 1 to " + std::to_string(Version);
            return std::nullopt;
        }
        TDebugInfo info;
        info.Producer = root.at("producer").get<std::string>();
        info.Language = root.at("language").get<std::string>();
        info.Options = root.value("options", std::string());
        const TJson& image = root.at("image");
        info.ImageName = image.value("file", std::string());
        info.ImageLength = image.at("length").get<uint64_t>();
        const std::string hash = image.at("fnv1a64").get<std::string>();
        if (hash.size() != 16 || hash.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            throw std::runtime_error("the image's fnv1a64 '" + hash + "' is not 16 hexadecimal digits");
        info.ImageHash = std::stoull(hash, nullptr, 16);
        const TJson& memory = root.at("memory");
        info.MemoryNeeded = memory.at("needed").get<uint64_t>();
        info.StackBegin = memory.value("stack_begin", uint64_t{0});
        info.StackLimit = memory.value("stack_limit", uint64_t{0});
        info.Sources = root.at("sources").get<std::vector<std::string>>();
        for (const TJson& row : root.at("lines")) {
            const TLine line{row.at(0).get<uint64_t>(), row.at(1).get<uint64_t>(), row.at(2).get<uint32_t>(),
                             row.at(3).get<uint32_t>(), row.at(4).get<uint32_t>()};
            if (line.File >= info.Sources.size() || line.To <= line.From ||
                (!info.Lines.empty() && line.From < info.Lines.back().To))
                throw std::runtime_error("line-table row " + row.dump() +
                                         " is out of order or names no file");
            info.Lines.push_back(line);
        }
        for (const TJson& item : root.at("symbols"))
            info.Symbols.push_back({item.at("name").get<std::string>(), item.value("label", std::string()),
                                    item.at("kind").get<std::string>(), item.at("address").get<uint64_t>(),
                                    item.at("size").get<uint64_t>()});
        for (const TJson& item : root.at("functions")) {
            TFunction function;
            function.Name = item.at("name").get<std::string>();
            function.Label = item.value("label", std::string());
            function.Address = item.at("address").get<uint64_t>();
            function.Size = item.at("size").get<uint64_t>();
            function.File = item.at("file").get<uint32_t>();
            function.Line = item.at("line").get<uint32_t>();
            const TJson& frame = item.at("frame");
            function.Frame.Size = frame.at("size").get<int64_t>();
            function.Frame.FramePointer = frame.at("pointer").get<int>();
            function.Frame.CallerFrame = frame.at("caller_frame").get<int64_t>();
            function.Frame.Records = frame.at("records").get<int64_t>();
            // The frame facts: all three members or none (files written before them).
            if (frame.contains("pointer_valid")) {
                function.Frame.Facts = true;
                for (const TJson& save : frame.at("saved"))
                    function.Frame.Saved.push_back(
                        {save.at("register").get<int>(), save.at("offset").get<int64_t>()});
                function.Frame.SavedFrom = frame.at("saved_from").get<uint64_t>();
                for (const TJson& range : frame.at("pointer_valid"))
                    function.Frame.PointerValid.emplace_back(range.at(0).get<uint64_t>(),
                                                             range.at(1).get<uint64_t>());
            }
            for (const TJson& variable : item.at("variables"))
                function.Variables.push_back(ReadVariable(variable));
            if (item.contains("scopes"))
                for (const TJson& scope : item.at("scopes")) {
                    TScope entry;
                    entry.Parent = scope.value("parent", int64_t{-1});
                    for (const TJson& range : scope.at("ranges"))
                        entry.Ranges.emplace_back(range.at(0).get<uint64_t>(), range.at(1).get<uint64_t>());
                    function.Scopes.push_back(std::move(entry));
                }
            info.Functions.push_back(std::move(function));
        }
        for (const TJson& variable : root.at("globals"))
            info.Globals.push_back(ReadVariable(variable));
        if (root.contains("ends"))
            for (const auto& [reason, value] : root.at("ends").items()) {
                const std::string hex = value.get<std::string>();
                if (hex.empty() || hex.size() > 16 ||
                    hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
                    throw std::runtime_error("the end mark '" + reason + "' is not hexadecimal: '" + hex +
                                             "'");
                info.Ends.push_back({reason, std::stoull(hex, nullptr, 16)});
            }
        if (root.contains("types"))
            for (const TJson& type : root.at("types"))
                info.Types.push_back(ReadTypeEntry(type));
        info.CheckReferences();
        return info;
    } catch (const std::exception& failure) { // nlohmann's type and missing-member errors
        error = std::string("not readable debug information: ") + failure.what();
        return std::nullopt;
    }
}

std::string TDebugInfo::Write(const std::string& path) const {
    const std::string text = Text();
    if (text.empty()) return path + ": the debug information could not be formatted";
    return TOutputFile::Write(path, text.data(), text.size());
}

std::optional<TDebugInfo> TDebugInfo::Load(const std::string& path, const std::vector<uint8_t>& image,
                                           const std::string& imagePath, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot be read";
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    std::optional<TDebugInfo> info = Parse(text.str(), error);
    if (!info) {
        error = path + ": " + error;
        return std::nullopt;
    }
    const uint64_t hash = Hash(image.data(), image.size());
    if (info->ImageLength != image.size() || info->ImageHash != hash) {
        error = path + " does not belong to " + imagePath + " and is ignored: it describes an image of " +
                std::to_string(info->ImageLength) + " bytes with FNV-1a 64 hash " + HexHash(info->ImageHash) +
                ", " + imagePath + " has " + std::to_string(image.size()) + " bytes with hash " +
                HexHash(hash) + " (rebuild the program)";
        return std::nullopt;
    }
    return info;
}

// Every index the readers follow must name an entry: a damaged file is refused here rather
// than read out of bounds later.
void TDebugInfo::CheckReferences() const {
    const auto type = [&](int64_t index, const std::string& what) {
        if (index < -1 || index >= static_cast<int64_t>(Types.size()))
            throw std::runtime_error(what + " names type " + std::to_string(index) +
                                     ", which the table lacks");
    };
    for (const TTypeEntry& entry : Types) {
        type(entry.Target, "type '" + entry.Name + "'");
        for (const TMember& member : entry.Members)
            type(member.Type, "member '" + member.Name + "' of '" + entry.Name + "'");
    }
    for (const TVariable& variable : Globals)
        type(variable.TypeId, "variable '" + variable.Name + "'");
    for (const TFunction& function : Functions) {
        // The call stack indexes the registers by these.
        const auto reg = [&](int r, const std::string& what) {
            if (r < 0 || r > 15)
                throw std::runtime_error("the frame of '" + function.Name + "' names " + what + " R" +
                                         std::to_string(r) + ", which the machine lacks");
        };
        reg(function.Frame.FramePointer, "the frame pointer");
        for (const TSavedRegister& save : function.Frame.Saved)
            reg(save.Register, "a saved register");
        for (const TScope& scope : function.Scopes)
            if (scope.Parent < -1 || scope.Parent >= static_cast<int64_t>(function.Scopes.size()))
                throw std::runtime_error("a scope of '" + function.Name + "' has no parent " +
                                         std::to_string(scope.Parent));
        for (const TVariable& variable : function.Variables) {
            type(variable.TypeId, "variable '" + variable.Name + "'");
            if (variable.Scope < -1 || variable.Scope >= static_cast<int64_t>(function.Scopes.size()))
                throw std::runtime_error("variable '" + variable.Name + "' of '" + function.Name +
                                         "' names scope " + std::to_string(variable.Scope) +
                                         ", which it lacks");
        }
    }
}

bool TDebugInfo::InScope(const TFunction& function, const TVariable& variable, uint64_t address) {
    if (variable.Scope < 0 || variable.Scope >= static_cast<int64_t>(function.Scopes.size())) return true;
    for (const auto& [from, to] : function.Scopes[static_cast<size_t>(variable.Scope)].Ranges)
        if (address >= from && address < to) return true;
    return false;
}

const TDebugInfo::TLine* TDebugInfo::LineAt(uint64_t address) const {
    auto after = std::upper_bound(Lines.begin(), Lines.end(), address,
                                  [](uint64_t at, const TLine& line) { return at < line.From; });
    if (after == Lines.begin()) return nullptr;
    --after;
    return address < after->To ? &*after : nullptr;
}
