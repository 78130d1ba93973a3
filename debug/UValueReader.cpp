#include "UValueReader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "UVariableView.h"

namespace {

constexpr size_t SummaryShown = 80;         // characters of a {...} summary before "..."
constexpr uint64_t MaxValueBytes = 1 << 16; // bytes read for one value

std::string Hex(uint64_t value, int digits) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%0*llx", digits, static_cast<unsigned long long>(value));
    return text;
}

// The characters up to a NUL (or count), in C's escapes, quoted; "..." after the closing quote
// when more follow than StringShown or no NUL ends them.
std::string Quote(const uint8_t* bytes, size_t count, bool ended) {
    std::string text = "\"";
    size_t i = 0;
    for (; i < count && i < TValueReader::StringShown && bytes[i]; ++i) {
        const uint8_t ch = bytes[i];
        switch (ch) {
        case '\n':
            text += "\\n";
            break;
        case '\t':
            text += "\\t";
            break;
        case '\r':
            text += "\\r";
            break;
        case '"':
            text += "\\\"";
            break;
        case '\\':
            text += "\\\\";
            break;
        default:
            if (ch >= 32 && ch < 127) {
                text += static_cast<char>(ch);
            } else {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02x", ch);
                text += hex;
            }
        }
    }
    text += '"';
    const bool terminated = i < count && !bytes[i];
    if (!terminated && (i < count || !ended)) text += "...";
    return text;
}

bool IsChar(const TDebugInfo::TTypeEntry* entry) {
    return entry && entry->Kind == "base" && entry->Encoding == "char" && entry->Size == 1;
}

bool IsSigned(const TDebugInfo::TTypeEntry& entry) {
    if (entry.Kind == "enum") return true;
    if (entry.Kind != "base") return false;
    return entry.Encoding == "signed" ||
           (entry.Encoding == "char" && entry.Name.find("unsigned") == std::string::npos);
}

} // namespace

const TDebugInfo::TTypeEntry* TValueReader::Entry(int64_t type) const {
    return type >= 0 && type < static_cast<int64_t>(FInfo.Types.size())
               ? &FInfo.Types[static_cast<size_t>(type)]
               : nullptr;
}

int64_t TValueReader::Strip(int64_t type) const {
    for (int depth = 0; depth < 64; ++depth) { // a damaged file may loop
        const TDebugInfo::TTypeEntry* entry = Entry(type);
        if (!entry || (entry->Kind != "typedef" && entry->Kind != "const" && entry->Kind != "volatile"))
            return type;
        type = entry->Target;
    }
    return -1;
}

std::string TValueReader::TypeName(int64_t type) const {
    const TDebugInfo::TTypeEntry* entry = Entry(type);
    return entry ? entry->Name : "void";
}

uint64_t TValueReader::SizeOf(int64_t type) const {
    const TDebugInfo::TTypeEntry* entry = Entry(type);
    return entry ? entry->Size : 0;
}

bool TValueReader::FindMember(int64_t type, const std::string& name, TDebugInfo::TMember& member) const {
    const TDebugInfo::TTypeEntry* entry = Entry(Strip(type));
    if (!entry || (entry->Kind != "struct" && entry->Kind != "union")) return false;
    for (const TDebugInfo::TMember& item : entry->Members)
        if (item.Name == name) {
            member = item;
            return true;
        }
    for (const TDebugInfo::TMember& item : entry->Members) {
        TDebugInfo::TMember inner;
        if (!item.Name.empty() || item.Type == type || !FindMember(item.Type, name, inner)) continue;
        inner.Offset += item.Offset;
        if (inner.BitSize) inner.BitOffset += item.Offset * 8;
        member = inner;
        return true;
    }
    return false;
}

bool TValueReader::Read(uint64_t address, uint64_t size, uint8_t* out) const {
    if (!InMemory(address, size)) return false;
    if (size) std::memcpy(out, FMemory + address, size);
    return true;
}

bool TValueReader::Bytes(const TValueRef& ref, std::vector<uint8_t>& bytes) const {
    const uint64_t size = std::min(SizeOf(ref.Type), MaxValueBytes);
    bytes.assign(size, 0);
    if (ref.InMemory) return Read(ref.Address, size, bytes.data());
    std::copy_n(ref.Bytes.begin(), std::min<size_t>(size, ref.Bytes.size()), bytes.begin());
    return true;
}

int64_t TValueReader::Integer(const TDebugInfo::TTypeEntry& type, const uint8_t* bytes, size_t size) {
    size = std::min<size_t>({size, type.Size ? type.Size : 8, 8});
    uint64_t value = 0;
    std::memcpy(&value, bytes, size);
    if (size == 0 || size >= 8 || !IsSigned(type)) return static_cast<int64_t>(value);
    const unsigned shift = static_cast<unsigned>(64 - size * 8);
    return static_cast<int64_t>(value << shift) >> shift;
}

std::string TValueReader::String(uint64_t address, uint64_t limit) const {
    const uint64_t available = address < FSize ? FSize - address : 0;
    const uint64_t count = std::min<uint64_t>({limit, available, StringShown + 1});
    return Quote(FMemory + address, count, false);
}

std::string TValueReader::Pointer(int64_t target, uint64_t value) const {
    if (value == 0) return "NULL";
    std::string text = Hex(value, 8);
    const TDebugInfo::TTypeEntry* entry = Entry(Strip(target));
    if (entry && entry->Kind == "function") {
        for (const TDebugInfo::TSymbol& symbol : FInfo.Symbols)
            if (symbol.Kind == "function" && symbol.Address == value) return text + " <" + symbol.Name + ">";
        return text;
    }
    if (!InMemory(value, std::max<uint64_t>(SizeOf(target), 1))) return text + " <invalid address>";
    if (IsChar(entry)) text += " " + String(value, FSize);
    return text;
}

std::string TValueReader::Format(int64_t type, const uint8_t* bytes, size_t size, int depth) const {
    const TDebugInfo::TTypeEntry* entry = Entry(Strip(type));
    if (!entry) return size ? FormatValue({"", "aggregate", size}, bytes, size) : "";
    if (entry->Kind == "base") return FormatValue({entry->Name, entry->Encoding, size}, bytes, size);
    if (entry->Kind == "pointer")
        return Pointer(entry->Target, static_cast<uint64_t>(Integer(*entry, bytes, size)));
    if (entry->Kind == "enum") {
        const int64_t value = Integer(*entry, bytes, size);
        for (const TDebugInfo::TEnumerator& enumerator : entry->Enumerators)
            if (enumerator.Value == value) return enumerator.Name;
        return std::to_string(value);
    }
    if (entry->Kind == "array") {
        const uint64_t elementSize = SizeOf(entry->Target);
        if (IsChar(Entry(Strip(entry->Target))))
            return Quote(bytes, std::min<uint64_t>(size, entry->Count), true);
        if (depth > 0) return "{...}";
        std::string text = "{";
        for (uint64_t i = 0; elementSize && i < entry->Count && (i + 1) * elementSize <= size; ++i) {
            if (text.size() > SummaryShown) return text + ", ...}";
            text += (i ? ", " : "") + Format(entry->Target, bytes + i * elementSize, elementSize, depth + 1);
        }
        return text + "}";
    }
    if (entry->Kind == "struct" || entry->Kind == "union") {
        if (entry->Members.empty()) return "{}";
        if (depth > 0) return "{...}";
        std::string text = "{";
        const TValueRef ref{type, false, 0, std::vector<uint8_t>(bytes, bytes + size)};
        for (const TDebugInfo::TMember& member : entry->Members) {
            if (text.size() > SummaryShown) return text + ", ...}";
            const TValueNode node = Member(ref, member, bytes, size);
            const TDebugInfo::TTypeEntry* inner = member.BitSize ? nullptr : Entry(Strip(member.Type));
            const bool nested = inner && (inner->Kind == "struct" || inner->Kind == "union" ||
                                          (inner->Kind == "array" && !IsChar(Entry(Strip(inner->Target)))));
            text += (text.size() > 1 ? ", " : "") + (member.Name.empty() ? "" : member.Name + " = ") +
                    (nested ? "{...}" : node.Value);
        }
        return text + "}";
    }
    return ""; // a function
}

TValueNode TValueReader::Member(const TValueRef& parent, const TDebugInfo::TMember& member,
                                const uint8_t* bytes, size_t size) const {
    const std::string name = member.Name.empty() ? "<anonymous>" : member.Name;
    if (!member.BitSize) {
        TValueRef ref{member.Type, parent.InMemory, parent.Address + member.Offset, {}};
        if (!parent.InMemory) {
            const uint64_t from = std::min<uint64_t>(member.Offset, size);
            const uint64_t to = std::min<uint64_t>(from + SizeOf(member.Type), size);
            ref.Bytes.assign(bytes + from, bytes + to);
        }
        return Node(name, ref);
    }
    // A bit-field: its bits, little-endian from BitOffset, as a value of its type.
    uint64_t value = 0;
    for (uint64_t bit = 0; bit < member.BitSize && bit < 64; ++bit) {
        const uint64_t at = member.BitOffset + bit;
        if (at / 8 < size && (bytes[at / 8] >> (at % 8) & 1)) value |= uint64_t{1} << bit;
    }
    const TDebugInfo::TTypeEntry* entry = Entry(Strip(member.Type));
    if (entry && IsSigned(*entry) && member.BitSize < 64 && (value >> (member.BitSize - 1) & 1))
        value |= ~uint64_t{0} << member.BitSize;
    uint8_t wide[8];
    std::memcpy(wide, &value, 8);
    TValueNode node{name, TypeName(member.Type) + " : " + std::to_string(member.BitSize), "", "", false, {}};
    node.Value = Format(member.Type, wide, std::min<size_t>(8, entry ? entry->Size : 8), 1);
    if (parent.InMemory) node.Address = Hex(parent.Address + member.BitOffset / 8, 4);
    return node;
}

TValueNode TValueReader::Node(const std::string& name, const TValueRef& ref) const {
    TValueNode node{name, TypeName(ref.Type), "", ref.InMemory ? Hex(ref.Address, 4) : "", false, ref};
    std::vector<uint8_t> bytes;
    if (!Bytes(ref, bytes)) {
        node.Value = "<invalid address>";
        return node;
    }
    node.Value = Format(ref.Type, bytes.data(), bytes.size(), 0);
    const TDebugInfo::TTypeEntry* entry = Entry(Strip(ref.Type));
    if (!entry) return node;
    if (entry->Kind == "struct" || entry->Kind == "union") {
        node.Expandable = !entry->Members.empty();
    } else if (entry->Kind == "array") {
        node.Expandable = entry->Count > 0 && SizeOf(entry->Target) > 0;
    } else if (entry->Kind == "pointer") {
        const auto value = static_cast<uint64_t>(Integer(*entry, bytes.data(), bytes.size()));
        const TDebugInfo::TTypeEntry* target = Entry(Strip(entry->Target));
        node.Expandable = value != 0 && target && target->Kind != "function" && SizeOf(entry->Target) > 0 &&
                          InMemory(value, SizeOf(entry->Target));
    }
    return node;
}

std::vector<TValueNode> TValueReader::Children(const TValueNode& parent) const {
    std::vector<TValueNode> children;
    if (!parent.Expandable) return children;
    const TValueRef& ref = parent.Ref;
    const TDebugInfo::TTypeEntry* entry = Entry(Strip(ref.Type));
    std::vector<uint8_t> bytes;
    if (!entry || !Bytes(ref, bytes)) return children;
    if (entry->Kind == "struct" || entry->Kind == "union") {
        for (const TDebugInfo::TMember& member : entry->Members)
            children.push_back(Member(ref, member, bytes.data(), bytes.size()));
    } else if (entry->Kind == "array") {
        const uint64_t elementSize = SizeOf(entry->Target);
        const uint64_t shown = std::min<uint64_t>(entry->Count, ElementsShown);
        for (uint64_t i = 0; i < shown; ++i) {
            TValueRef element{entry->Target, ref.InMemory, ref.Address + i * elementSize, {}};
            if (!ref.InMemory) {
                const uint64_t from = std::min<uint64_t>(i * elementSize, bytes.size());
                element.Bytes.assign(bytes.begin() + static_cast<ptrdiff_t>(from),
                                     bytes.begin() + static_cast<ptrdiff_t>(std::min<uint64_t>(
                                                         from + elementSize, bytes.size())));
            }
            children.push_back(Node("[" + std::to_string(i) + "]", element));
        }
        if (entry->Count > shown)
            children.push_back({"[" + std::to_string(shown) + ".." + std::to_string(entry->Count - 1) + "]",
                                TypeName(entry->Target),
                                "...",
                                "",
                                false,
                                {}});
    } else if (entry->Kind == "pointer") {
        const auto value = static_cast<uint64_t>(Integer(*entry, bytes.data(), bytes.size()));
        children.push_back(Node("*" + parent.Name, {entry->Target, true, value, {}}));
    }
    return children;
}
