#include "UWatchExpression.h"

#include <cctype>
#include <stdexcept>
#include <vector>

#include "UCallStack.h"
#include "UValueReader.h"
#include "UVariableView.h"
#include "Uccpubase.h"

namespace {

// A bad expression: the message names the problem.
struct TExpressionError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// An object during evaluation: its type (Size when the file has no type entry for it), and
// where it is: memory, or (a register's or constant's value) Bytes; Where says which register.
struct TObject {
    int64_t Type = -1;
    uint64_t Size = 0;
    bool InMemory = false;
    uint64_t Address = 0;
    std::vector<uint8_t> Bytes;
    std::string Where, Text;
};

class TParser {
  public:
    TParser(std::string_view text, const TSourceMap& map, const TCCPUBase* cpu)
        : FText(text), FMap(map), FCpu(cpu), FReader(map.Info(), cpu ? cpu->Memory.Buffer() : nullptr,
                                                     cpu ? static_cast<uint64_t>(cpu->Memory.Size()) : 0) {}

    TObject Whole() {
        TObject object = Unary();
        Skip();
        if (FAt < FText.size())
            Fail("unexpected '" + std::string(1, FText[FAt]) + "' at column " + std::to_string(FAt + 1));
        return object;
    }

  private:
    [[noreturn]] static void Fail(const std::string& message) { throw TExpressionError(message); }
    void Skip() {
        while (FAt < FText.size() && std::isspace(static_cast<unsigned char>(FText[FAt])))
            ++FAt;
    }
    bool Take(std::string_view token) {
        Skip();
        if (FText.substr(FAt, token.size()) != token) return false;
        FAt += token.size();
        return true;
    }
    std::string Identifier() {
        Skip();
        const size_t begin = FAt;
        while (FAt < FText.size() &&
               (std::isalnum(static_cast<unsigned char>(FText[FAt])) || FText[FAt] == '_'))
            ++FAt;
        if (begin == FAt || std::isdigit(static_cast<unsigned char>(FText[begin]))) {
            FAt = begin;
            Fail(FAt < FText.size() ? "expected a name at column " + std::to_string(FAt + 1) + " of '" +
                                          std::string(FText) + "'"
                                    : "'" + std::string(FText) + "' ends too early");
        }
        return std::string(FText.substr(begin, FAt - begin));
    }

    TObject Unary() {
        if (Take("*")) {
            TObject pointer = Unary();
            return Target(pointer, 0, "*" + pointer.Text);
        }
        return Postfix();
    }

    TObject Postfix() {
        TObject object;
        if (Take("(")) {
            object = Unary();
            if (!Take(")")) Fail("expected ')' in '" + std::string(FText) + "'");
            object.Text = "(" + object.Text + ")";
        } else {
            object = Variable(Identifier());
        }
        for (;;) {
            if (Take("[")) {
                const int64_t index = Sum();
                if (!Take("]")) Fail("expected ']' in '" + std::string(FText) + "'");
                object = Index(object, index);
            } else if (Take("->")) {
                TObject target = Target(object, 0, "*" + object.Text);
                object = Member(target, Identifier(), object.Text + "->");
            } else if (Take(".")) {
                object = Member(object, Identifier(), object.Text + ".");
            } else {
                return object;
            }
        }
    }

    // An index: integers with + - * and parentheses; a name stands for its value.
    int64_t Sum() {
        int64_t value = Product();
        for (;;) {
            if (Take("+"))
                value = static_cast<int64_t>(static_cast<uint64_t>(value) + static_cast<uint64_t>(Product()));
            else if (Take("-"))
                value = static_cast<int64_t>(static_cast<uint64_t>(value) - static_cast<uint64_t>(Product()));
            else
                return value;
        }
    }
    int64_t Product() {
        int64_t value = Factor();
        while (Take("*"))
            value = static_cast<int64_t>(static_cast<uint64_t>(value) * static_cast<uint64_t>(Factor()));
        return value;
    }
    int64_t Factor() {
        Skip();
        if (Take("-")) return static_cast<int64_t>(0 - static_cast<uint64_t>(Factor()));
        if (FAt < FText.size() && std::isdigit(static_cast<unsigned char>(FText[FAt]))) {
            const size_t begin = FAt;
            while (FAt < FText.size() && std::isalnum(static_cast<unsigned char>(FText[FAt])))
                ++FAt;
            const std::string digits(FText.substr(begin, FAt - begin));
            try {
                size_t used = 0;
                const uint64_t value = std::stoull(digits, &used, 0);
                if (used == digits.size()) return static_cast<int64_t>(value);
            } catch (const std::exception&) {
            }
            Fail("'" + digits + "' is not a number");
        }
        if (Take("(")) {
            const int64_t value = Sum();
            if (!Take(")")) Fail("expected ')' in '" + std::string(FText) + "'");
            return value;
        }
        return Integer(Unary());
    }

    // The bytes of an object (a pointer's or an index's value).
    std::vector<uint8_t> Bytes(const TObject& object) {
        if (!object.InMemory) return object.Bytes;
        if (!FCpu) Fail("'" + object.Text + "' is read from memory, which is not available here");
        std::vector<uint8_t> bytes(object.Size);
        if (!FReader.Read(object.Address, object.Size, bytes.data()))
            Fail("'" + object.Text + "' lies outside memory");
        return bytes;
    }

    int64_t Integer(const TObject& object) {
        const TDebugInfo::TTypeEntry* entry = FReader.Entry(FReader.Strip(object.Type));
        if (!entry || (entry->Kind != "base" && entry->Kind != "enum"))
            Fail("'" + object.Text + "' is not an integer");
        const std::vector<uint8_t> bytes = Bytes(object);
        return TValueReader::Integer(*entry, bytes.data(), bytes.size());
    }

    TObject InMemory(int64_t type, uint64_t address, std::string text) const {
        TObject object;
        object.Type = type;
        object.Size = FReader.SizeOf(type);
        object.InMemory = true;
        object.Address = address;
        object.Text = std::move(text);
        return object;
    }

    TObject Variable(const std::string& name) {
        if (FCpu) {
            const std::vector<TStackFrame> frames = CallStack(*FCpu, FMap, 1);
            if (!frames.empty())
                for (const TVariableView& view : FrameVariables(*FCpu, frames[0], &FMap.Info()))
                    if (view.Name == name) {
                        if (view.Value == "<optimised out>" || view.Value == "<not available>")
                            Fail("'" + name + "' is optimised out here");
                        const TDebugInfo::TVariable* source = nullptr;
                        for (const TDebugInfo::TVariable& variable : frames[0].Function->Variables)
                            if (variable.Name == name) source = &variable;
                        TObject object;
                        object.Type = view.Ref.Type;
                        object.Size =
                            object.Type >= 0 || !source ? FReader.SizeOf(object.Type) : source->Type.Size;
                        object.InMemory = !view.Address.empty();
                        object.Address = std::stoull(object.InMemory ? view.Address : "0", nullptr, 16);
                        object.Bytes = view.Ref.Bytes;
                        object.Where = view.Where;
                        object.Text = name;
                        return object;
                    }
        }
        for (const TDebugInfo::TVariable& global : FMap.Info().Globals)
            if (global.Name == name && !global.Locations.empty() && global.Locations[0].Kind == "address") {
                TObject object =
                    InMemory(global.TypeId, static_cast<uint64_t>(global.Locations[0].Offset), name);
                if (global.TypeId < 0) object.Size = global.Type.Size;
                return object;
            }
        Fail("no variable '" + name + "' in scope");
    }

    // The object a pointer (or an array, as its first element) points to, index elements on.
    TObject Target(const TObject& pointer, int64_t index, std::string text) {
        const TDebugInfo::TTypeEntry* entry = FReader.Entry(FReader.Strip(pointer.Type));
        if (entry && entry->Kind == "array") return Index(pointer, index);
        if (!entry || entry->Kind != "pointer") Fail("'" + pointer.Text + "' is not a pointer");
        const std::vector<uint8_t> bytes = Bytes(pointer);
        const auto value = static_cast<uint64_t>(TValueReader::Integer(*entry, bytes.data(), bytes.size()));
        if (value == 0) Fail("'" + pointer.Text + "' is a null pointer");
        const TDebugInfo::TTypeEntry* target = FReader.Entry(FReader.Strip(entry->Target));
        if (target && target->Kind == "function")
            Fail("'" + pointer.Text + "' points to a function, not to data");
        if (!target || FReader.SizeOf(entry->Target) == 0)
            Fail("'" + pointer.Text + "' points to " + FReader.TypeName(entry->Target) +
                 ", which has no size");
        const uint64_t size = FReader.SizeOf(entry->Target);
        return InMemory(entry->Target, value + static_cast<uint64_t>(index) * size, std::move(text));
    }

    TObject Index(const TObject& object, int64_t index) {
        const std::string text = object.Text + "[" + std::to_string(index) + "]";
        const TDebugInfo::TTypeEntry* entry = FReader.Entry(FReader.Strip(object.Type));
        if (entry && entry->Kind == "pointer") return Target(object, index, text);
        if (!entry || entry->Kind != "array") Fail("'" + object.Text + "' is not an array or a pointer");
        if (index < 0 || (entry->Count && static_cast<uint64_t>(index) >= entry->Count))
            Fail("index " + std::to_string(index) + " is outside '" + object.Text + "' (" + entry->Name +
                 ")");
        const uint64_t size = FReader.SizeOf(entry->Target);
        const uint64_t offset = static_cast<uint64_t>(index) * size;
        return Part(object, entry->Target, offset, size, text);
    }

    TObject Member(const TObject& object, const std::string& name, const std::string& prefix) {
        const TDebugInfo::TTypeEntry* entry = FReader.Entry(FReader.Strip(object.Type));
        if (!entry || (entry->Kind != "struct" && entry->Kind != "union"))
            Fail("'" + object.Text + "' is not a structure or union");
        TDebugInfo::TMember member;
        if (!FReader.FindMember(object.Type, name, member))
            Fail("'" + entry->Name + "' has no member '" + name + "'");
        if (member.BitSize) { // the bytes that hold the bit-field
            const uint64_t first = member.BitOffset / 8, last = (member.BitOffset + member.BitSize - 1) / 8;
            return Part(object, member.Type, first, last - first + 1, prefix + name);
        }
        return Part(object, member.Type, member.Offset, FReader.SizeOf(member.Type), prefix + name);
    }

    static TObject Part(const TObject& whole, int64_t type, uint64_t offset, uint64_t size,
                        std::string text) {
        TObject part;
        part.Type = type;
        part.Size = size;
        part.InMemory = whole.InMemory;
        part.Address = whole.Address + offset;
        part.Where = whole.Where;
        part.Text = std::move(text);
        if (!whole.InMemory)
            for (uint64_t i = 0; i < size; ++i)
                part.Bytes.push_back(offset + i < whole.Bytes.size() ? whole.Bytes[offset + i] : 0);
        return part;
    }

    std::string_view FText;
    const TSourceMap& FMap;
    const TCCPUBase* FCpu;
    TValueReader FReader;
    size_t FAt = 0;
};

} // namespace

std::optional<TWatchObject> ResolveWatchExpression(std::string_view text, const TSourceMap& map,
                                                   const TCCPUBase* cpu, std::string& error) {
    try {
        TParser parser(text, map, cpu);
        const TObject object = parser.Whole();
        if (!object.InMemory)
            throw TExpressionError("'" + object.Text + "' is " +
                                   (object.Where.empty() || object.Where == "constant"
                                        ? std::string("a constant here")
                                        : "in register " + object.Where) +
                                   ", not in memory: a watch needs an address");
        if (object.Size == 0) throw TExpressionError("'" + object.Text + "' has no size");
        const uint64_t memory = cpu ? static_cast<uint64_t>(cpu->Memory.Size()) : UINT64_MAX;
        if (object.Address > memory || object.Size > memory - object.Address)
            throw TExpressionError("'" + object.Text + "' lies outside memory");
        return TWatchObject{object.Address, object.Size,
                            TValueReader(map.Info(), nullptr, 0).TypeName(object.Type)};
    } catch (const TExpressionError& failure) {
        error = failure.what();
        return std::nullopt;
    }
}
