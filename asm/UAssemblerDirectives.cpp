// TAssembler's directives: their layout in the first pass and their bytes in the second.
#include "UAssembler.h"

#include <algorithm>

namespace {

bool InSignedRange(uint64_t value, int64_t low, int64_t high) {
    const int64_t v = static_cast<int64_t>(value);
    return v >= low && v <= high;
}

} // namespace

const std::vector<uint32_t>& TAssembler::StartWords() {
    // CLR R0; INC R0, R0; ADD R0, R0, R0 (three times: 8); WRCTL IPOffsetBegin, R0; CLR R0.
    static const std::vector<uint32_t> words = {0x0D000000, 0x0E000000, 0x08000000, 0x08000000,
                                                0x08000000, 0x06000300, 0x0D000000};
    return words;
}

// Works out a directive's size; false when the line has nothing to encode (or an error).
bool TAssembler::LayoutDirective(TLine& line, const std::string& directive,
                                 const std::vector<TRange>& operands) {
    const TAsmToken& nameToken = line.Tokens[line.Statement];
    const std::string& name = nameToken.Text;
    auto count = [&](size_t low, size_t high) {
        if (operands.size() >= low && operands.size() <= high) return true;
        std::string expected =
            low == high ? std::to_string(low) : std::to_string(low) + " or " + std::to_string(high);
        Error(line, nameToken.Column,
              "bad operand: '" + name + "' takes " + expected + " operand" + (high == 1 ? "" : "s") +
                  ", found " + std::to_string(operands.size()));
        return false;
    };
    auto atLeastOne = [&] {
        Error(line, nameToken.Column, "bad operand: '" + name + "' needs at least one operand");
        return false;
    };
    auto isString = [&](TRange range) {
        return range.second - range.first == 1 && line.Tokens[range.first].Kind == TAsmToken::String;
    };

    if (directive == ".ORG") {
        if (!count(1, 1)) return false;
        const auto value = Value(line, operands[0], true);
        if (!value) return false;
        if (*value < FAddress) {
            Error(line, line.Tokens[operands[0].first].Column,
                  "value out of range: .org " + Hex(*value) + " lies below the current address " +
                      Hex(FAddress));
        } else if (*value > ImageLimit) {
            Error(line, line.Tokens[operands[0].first].Column,
                  "value out of range: .org beyond " + Hex(ImageLimit));
        } else {
            line.Address = FAddress = *value;
        }
        return false;
    }
    if (directive == ".EQU") {
        if (!count(2, 2)) return false;
        const TAsmToken& symbol = line.Tokens[operands[0].first];
        if (operands[0].second - operands[0].first != 1 || symbol.Kind != TAsmToken::Identifier) {
            Error(line, symbol.Column, "bad operand: .equ needs a symbol name first");
            return false;
        }
        if (const auto value = Value(line, operands[1], true)) DefineSymbol(line, symbol, *value, false);
        return false;
    }
    if (directive == ".BYTE" || directive == ".WORD" || directive == ".QUAD" || directive == ".DWORD") {
        if (operands.empty()) return atLeastOne();
        const uint64_t unit = directive == ".BYTE" ? 1 : directive == ".WORD" ? 4 : 8;
        line.Size = 0;
        for (const TRange& operand : operands)
            line.Size += (unit == 1 && isString(operand)) ? line.Tokens[operand.first].Text.size() : unit;
        return true;
    }
    if (directive == ".ASCII" || directive == ".ASCIZ") {
        if (operands.empty()) return atLeastOne();
        line.Size = 0;
        bool ok = true;
        for (const TRange& operand : operands) {
            if (!isString(operand)) {
                Error(line, operand, "bad operand: expected a string in double quotes");
                ok = false;
                continue;
            }
            line.Size += line.Tokens[operand.first].Text.size() + (directive == ".ASCIZ" ? 1 : 0);
        }
        return ok;
    }
    if (directive == ".FILL") {
        if (!count(1, 2)) return false;
        const auto value = Value(line, operands[0], true);
        if (!value) return false;
        if (*value > ImageLimit) {
            Error(line, operands[0], "value out of range: .fill count " + Hex(*value));
            return false;
        }
        line.Size = *value;
        return true;
    }
    if (directive == ".ALIGN") {
        if (!count(1, 1)) return false;
        const auto value = Value(line, operands[0], true);
        if (!value) return false;
        if (*value == 0 || *value > 65536 || (*value & (*value - 1))) {
            Error(line, operands[0], "value out of range: .align takes a power of two from 1 to 65536");
            return false;
        }
        line.Size = (*value - FAddress % *value) % *value;
        return true;
    }
    if (directive == ".START") {
        if (!count(0, 0)) return false;
        FHasStart = true;
        line.Size = 8 * StartWords().size();
        return true;
    }
    Error(line, nameToken.Column, "unknown directive '" + name + "'");
    return false;
}

void TAssembler::EncodeData(const TLine& line, const std::string& directive,
                            const std::vector<TRange>& operands) {
    uint64_t at = line.Address;
    auto putString = [&](TRange range) {
        const std::string& text = line.Tokens[range.first].Text;
        std::copy(text.begin(), text.end(), FResult.Image.begin() + at);
        at += text.size();
    };
    if (directive == ".START") {
        for (uint32_t word : StartWords())
            Put(at, word, 4), at += 8;
    } else if (directive == ".ASCII" || directive == ".ASCIZ") {
        for (const TRange& operand : operands)
            putString(operand), at += directive == ".ASCIZ" ? 1 : 0;
    } else if (directive == ".FILL") {
        std::optional<uint64_t> value = 0;
        if (operands.size() > 1) value = Value(line, operands[1], false);
        if (value && !InSignedRange(*value, -128, 255)) {
            Error(line, operands[1],
                  "value out of range: .fill takes a byte value -128..255, not " +
                      std::to_string(static_cast<int64_t>(*value)));
            return;
        }
        if (value) std::fill_n(FResult.Image.begin() + at, line.Size, static_cast<uint8_t>(*value));
    } else if (directive == ".BYTE" || directive == ".WORD" || directive == ".QUAD" ||
               directive == ".DWORD") {
        const int unit = directive == ".BYTE" ? 1 : directive == ".WORD" ? 4 : 8;
        for (const TRange& operand : operands) {
            if (unit == 1 && operand.second - operand.first == 1 &&
                line.Tokens[operand.first].Kind == TAsmToken::String) {
                putString(operand);
                continue;
            }
            const auto value = Value(line, operand, false);
            if (value && unit == 1 && !InSignedRange(*value, -128, 255))
                Error(line, operand,
                      "value out of range: .byte takes -128..255, not " +
                          std::to_string(static_cast<int64_t>(*value)));
            else if (value && unit == 4 && !InSignedRange(*value, -2147483648LL, 4294967295LL))
                Error(line, operand, "value out of range: .word takes a 32-bit value, not " + Hex(*value));
            else if (value)
                Put(at, *value, unit);
            at += unit;
        }
    }
}
