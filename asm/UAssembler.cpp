#include "UAssembler.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "UAsmExpression.h"
#include "UAsmInstructionSet.h"
#include "Uccpubase.h"

namespace {

// The number of a register name R0, r7, R16...; nullopt for any other identifier.
std::optional<int> RegisterNumber(std::string_view name) {
    if (name.size() < 2 || name.size() > 4 || (name[0] != 'R' && name[0] != 'r')) return std::nullopt;
    int number = 0;
    for (char ch : name.substr(1)) {
        if (ch < '0' || ch > '9') return std::nullopt;
        number = number * 10 + (ch - '0');
    }
    return number;
}

bool IsPunct(const TAsmToken& token, const char* text) {
    return token.Kind == TAsmToken::Punct && token.Text == text;
}

} // namespace

std::string TAssembler::Upper(std::string_view text) {
    std::string result(text);
    for (char& ch : result)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return result;
}

std::string TAssembler::Hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

bool TAsmResult::HasErrors() const {
    return std::any_of(Messages.begin(), Messages.end(), [](const TAsmMessage& m) { return !m.Warning; });
}

std::string TAssembler::Format(const std::string& fileName, const TAsmMessage& message) {
    return fileName + ":" + std::to_string(message.Line) + ":" + std::to_string(message.Column) +
           (message.Warning ? ": warning: " : ": error: ") + message.Text;
}

TAsmResult TAssembler::Assemble(std::string_view source) {
    FSymbols.clear();
    FResult = {};
    FAddress = 0;
    FHasStart = false;
    FFirstCellUse.reset();

    std::vector<TLine> lines;
    for (size_t at = 0, number = 1; at <= source.size(); ++number) {
        size_t end = source.find('\n', at);
        if (end == std::string_view::npos) end = source.size();
        if (end == source.size() && at == end && number > 1) break; // no line after the final newline
        TLine line;
        line.Number = static_cast<int>(number);
        line.Text = source.substr(at, end - at);
        if (!line.Text.empty() && line.Text.back() == '\r') line.Text.remove_suffix(1);
        lines.push_back(std::move(line));
        at = end + 1;
    }

    for (TLine& line : lines)
        FirstPass(line);
    FResult.Image.assign(FAddress, 0);
    if (FFirstCellUse && !FHasStart)
        FResult.Messages.push_back(
            {FFirstCellUse->first, FFirstCellUse->second, true,
             "LDI, LDA and CALLI read their cell at IPOffset + IPOffsetBegin; without .start "
             "(IPOffsetBegin = 8) they do not read the cell written after them"});
    FResult.Lines.reserve(lines.size());
    for (const TLine& line : lines) {
        if (line.Encode) SecondPass(line);
        WriteListing(line);
        const int column =
            line.Statement < line.Tokens.size() && line.Tokens[line.Statement].Kind != TAsmToken::End
                ? line.Tokens[line.Statement].Column
                : 0;
        FResult.Lines.push_back(
            {line.Address, line.Encode ? line.Size : 0, column, line.Encode && line.Code});
    }
    // The image's length was fixed by the first pass; FAddress now holds the last encoded
    // statement's address (the second pass moves it to each one for "$").
    if (FResult.Image.empty() && !FResult.HasErrors())
        FResult.Messages.push_back(
            {1, 1, true, "the image is empty; the simulator refuses to load an empty image"});
    std::stable_sort(FResult.Messages.begin(), FResult.Messages.end(),
                     [](const TAsmMessage& a, const TAsmMessage& b) {
                         return a.Line != b.Line ? a.Line < b.Line : a.Column < b.Column;
                     });
    if (FResult.HasErrors()) FResult.Image.clear();
    return std::move(FResult);
}

void TAssembler::Error(const TLine& line, int column, std::string text) {
    FResult.Messages.push_back({line.Number, column, false, std::move(text)});
}

void TAssembler::Error(const TLine& line, TRange range, std::string text) {
    Error(line, line.Tokens[std::min(range.first, line.Tokens.size() - 1)].Column, std::move(text));
}

bool TAssembler::DefineSymbol(const TLine& line, const TAsmToken& name, uint64_t value, bool label) {
    if (RegisterNumber(name.Text)) {
        Error(line, name.Column, "'" + name.Text + "' is a register name and cannot be a symbol");
        return false;
    }
    if (!FSymbols.emplace(name.Text, value).second) {
        Error(line, name.Column, "duplicate symbol '" + name.Text + "'");
        return false;
    }
    FResult.Symbols.push_back({name.Text, value, label, line.Number});
    return true;
}

std::vector<TAssembler::TRange> TAssembler::SplitOperands(const TLine& line, size_t first) const {
    std::vector<TRange> operands;
    const size_t end = line.Tokens.size() - 1; // the End token
    if (first >= end) return operands;
    int depth = 0;
    size_t start = first;
    for (size_t i = first; i < end; ++i) {
        const TAsmToken& token = line.Tokens[i];
        if (IsPunct(token, "(") || IsPunct(token, "["))
            ++depth;
        else if (IsPunct(token, ")") || IsPunct(token, "]"))
            --depth;
        else if (depth == 0 && IsPunct(token, ",")) {
            operands.push_back({start, i});
            start = i + 1;
        }
    }
    operands.push_back({start, end});
    return operands;
}

std::optional<uint64_t> TAssembler::Value(const TLine& line, TRange range, bool firstPass) {
    if (range.second - range.first == 1 && line.Tokens[range.first].Kind == TAsmToken::Identifier &&
        RegisterNumber(line.Tokens[range.first].Text)) {
        Error(line, range,
              "bad operand: expected a value, found register '" + line.Tokens[range.first].Text + "'");
        return std::nullopt;
    }
    TAsmExpression expression(
        line.Tokens,
        [this](const std::string& name) -> std::optional<uint64_t> {
            const auto found = FSymbols.find(name);
            if (found == FSymbols.end()) return std::nullopt;
            return found->second;
        },
        FAddress);
    const auto value = expression.Evaluate(range.first, range.second);
    if (!value) {
        std::string text = expression.Error().Message;
        if (firstPass && text.rfind("undefined symbol", 0) == 0)
            text += " (this value must be known here: define it above this line)";
        Error(line, expression.Error().Column, text);
    }
    return value;
}

std::optional<int> TAssembler::Register(const TLine& line, TRange range) {
    const TAsmToken& token = line.Tokens[std::min(range.first, line.Tokens.size() - 1)];
    if (range.second - range.first == 1 && token.Kind == TAsmToken::Identifier) {
        if (const auto number = RegisterNumber(token.Text)) {
            if (*number <= 15) return number;
            Error(line, token.Column, "value out of range: register '" + token.Text + "' (R0..R15)");
            return std::nullopt;
        }
        if (roz::ControlRegisterIndex(token.Text) >= 0) {
            Error(line, token.Column,
                  "bad operand: expected a register R0..R15, found control register '" + token.Text + "'");
            return std::nullopt;
        }
    }
    Error(line, token.Column,
          range.first == range.second ? "bad operand: missing register R0..R15"
                                      : "bad operand: expected a register R0..R15");
    return std::nullopt;
}

std::optional<int> TAssembler::MemoryRegister(const TLine& line, TRange range) {
    const auto& tokens = line.Tokens;
    if (range.second - range.first >= 2 && IsPunct(tokens[range.first], "[") &&
        IsPunct(tokens[range.second - 1], "]"))
        return Register(line, {range.first + 1, range.second - 1});
    Error(line, range, "bad operand: expected a memory operand [R0]..[R15]");
    return std::nullopt;
}

std::optional<int> TAssembler::Control(const TLine& line, TRange range) {
    const TAsmToken& token = line.Tokens[std::min(range.first, line.Tokens.size() - 1)];
    if (range.second - range.first == 1 && token.Kind == TAsmToken::Identifier) {
        const int index = roz::ControlRegisterIndex(token.Text);
        if (index >= 0) return index;
    }
    std::string names;
    for (const char* name : roz::ControlRegisterNames)
        names += (names.empty() ? "" : ", ") + std::string(name);
    Error(line, token.Column, "bad operand: expected a control register (" + names + ")");
    return std::nullopt;
}

void TAssembler::Put(uint64_t address, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        FResult.Image[address + i] = static_cast<uint8_t>(value >> (8 * i));
}

void TAssembler::FirstPass(TLine& line) {
    TAsmLexer lexer;
    line.Address = FAddress;
    if (!lexer.Tokenize(line.Text, line.Tokens)) {
        Error(line, lexer.Error().Column, lexer.Error().Message);
        return;
    }
    const auto& tokens = line.Tokens;
    size_t i = 0;
    while (tokens[i].Kind == TAsmToken::Identifier && IsPunct(tokens[i + 1], ":")) {
        DefineSymbol(line, tokens[i], FAddress, true);
        i += 2;
    }
    line.Statement = i;
    if (tokens[i].Kind == TAsmToken::End) return;
    if (tokens[i].Kind != TAsmToken::Identifier) {
        Error(line, tokens[i].Column, "expected an instruction, a directive or a label");
        return;
    }
    if (IsPunct(tokens[i + 1], "=")) {
        if (const auto value = Value(line, {i + 2, tokens.size() - 1}, true))
            DefineSymbol(line, tokens[i], *value, false);
        return;
    }
    const auto operands = SplitOperands(line, i + 1);
    if (Layout(line, tokens[i].Text, operands)) {
        line.Encode = true;
        line.Code = tokens[i].Text[0] != '.' || Upper(tokens[i].Text) == ".START";
        if (line.Size > ImageLimit - FAddress) {
            Error(line, tokens[i].Column,
                  "value out of range: the image would pass address " + Hex(ImageLimit));
            line.Encode = false;
            return;
        }
        FAddress += line.Size;
    }
}

// Works out the line's size in the first pass; false when the line has nothing to encode
// (or an error).
bool TAssembler::Layout(TLine& line, const std::string& name, const std::vector<TRange>& operands) {
    const TAsmToken& nameToken = line.Tokens[line.Statement];
    if (name[0] != '.') {
        const TAsmInstructionSet::TEntry* entry = TAsmInstructionSet::Find(Upper(name));
        if (!entry) {
            Error(line, nameToken.Column, "unknown instruction '" + name + "'");
            return false;
        }
        using F = TAsmInstructionSet::TForm;
        line.Size = entry->Size;
        const bool cell = (entry->Form == F::RegCell && operands.size() > 1) || entry->Form == F::RegTarget ||
                          (entry->Form == F::TargetCell && !operands.empty());
        if (cell && !FFirstCellUse) FFirstCellUse = {line.Number, nameToken.Column};
        if (entry->Form == F::CtlC && !operands.empty() && operands[0].second - operands[0].first == 1 &&
            roz::ControlRegisterIndex(line.Tokens[operands[0].first].Text) == TCCPUBase::CtlIPOffsetBegin)
            FHasStart = true;
        return true;
    }

    return LayoutDirective(line, Upper(name), operands);
}

void TAssembler::SecondPass(const TLine& line) {
    FAddress = line.Address;
    const std::string& name = line.Tokens[line.Statement].Text;
    const auto operands = SplitOperands(line, line.Statement + 1);
    if (name[0] == '.')
        EncodeData(line, Upper(name), operands);
    else
        EncodeInstruction(line, Upper(name), operands);
}

void TAssembler::EncodeInstruction(const TLine& line, const std::string& upperName,
                                   const std::vector<TRange>& operands) {
    using F = TAsmInstructionSet::TForm;
    const TAsmInstructionSet::TEntry& entry = *TAsmInstructionSet::Find(upperName);
    const TAsmToken& nameToken = line.Tokens[line.Statement];
    size_t low = 0, high = 0;
    switch (entry.Form) {
    case F::None:
        break;
    case F::C:
        low = high = 1;
        break;
    case F::BC:
    case F::CB:
    case F::MemAMemC:
    case F::AMemC:
    case F::MemBC:
    case F::BCtl:
    case F::CtlC:
    case F::RegTarget:
        low = high = 2;
        break;
    case F::ABC:
        low = high = 3;
        break;
    case F::RegCell:
        low = 1, high = 2;
        break;
    case F::TargetCell:
        low = 0, high = 1;
        break;
    }
    if (operands.size() < low || operands.size() > high) {
        const std::string expected =
            low == high ? std::to_string(low) : std::to_string(low) + " or " + std::to_string(high);
        Error(line, nameToken.Column,
              "bad operand: '" + nameToken.Text + "' takes " + expected + " operand" +
                  (high == 1 ? "" : "s") + ", found " + std::to_string(operands.size()));
        return;
    }

    std::optional<int> a = 0, b = 0, c = 0;
    std::optional<uint64_t> cell = 0;
    switch (entry.Form) {
    case F::None:
        break;
    case F::C:
        c = Register(line, operands[0]);
        break;
    case F::BC:
        b = Register(line, operands[0]), c = Register(line, operands[1]);
        break;
    case F::CB:
        c = Register(line, operands[0]), b = Register(line, operands[1]);
        break;
    case F::ABC:
        a = Register(line, operands[0]), b = Register(line, operands[1]), c = Register(line, operands[2]);
        break;
    case F::MemAMemC:
        a = MemoryRegister(line, operands[0]), c = MemoryRegister(line, operands[1]);
        break;
    case F::AMemC:
        a = Register(line, operands[0]), c = MemoryRegister(line, operands[1]);
        break;
    case F::MemBC:
        b = MemoryRegister(line, operands[0]), c = Register(line, operands[1]);
        break;
    case F::BCtl:
        b = Register(line, operands[0]), c = Control(line, operands[1]);
        break;
    case F::CtlC:
        b = Control(line, operands[0]), c = Register(line, operands[1]);
        break;
    case F::RegCell:
        a = Register(line, operands[0]);
        if (operands.size() > 1) cell = Value(line, operands[1], false);
        break;
    case F::RegTarget:
        a = Register(line, operands[0]);
        cell = Value(line, operands[1], false);
        if (cell) *cell -= 4;
        break;
    case F::TargetCell:
        if (!operands.empty()) {
            cell = Value(line, operands[0], false);
            if (cell) *cell -= 4;
        }
        break;
    }
    if (!a || !b || !c || !cell) return;
    Put(line.Address, uint32_t{entry.TopByte} << 24 | uint32_t(*a) << 16 | uint32_t(*b) << 8 | uint32_t(*c),
        4);
    if (TAsmInstructionSet::HasCell(entry.Form)) Put(line.Address + roz::InlineCellOffset, *cell, 8);
}

void TAssembler::WriteListing(const TLine& line) {
    // Rows of eight bytes; long data shows its first three rows and then "...".
    const uint64_t shown = std::min<uint64_t>(line.Size, 24);
    std::string& out = FResult.Listing;
    char text[64];
    for (uint64_t row = 0; row == 0 || row < shown; row += 8) {
        std::snprintf(text, sizeof text, "%08llX ", static_cast<unsigned long long>(line.Address + row));
        out += text;
        for (uint64_t i = row; i < row + 8; ++i) {
            if (i < shown && line.Address + i < FResult.Image.size())
                std::snprintf(text, sizeof text, " %02X", FResult.Image[line.Address + i]), out += text;
            else
                out += "   ";
        }
        if (row == 0) {
            std::snprintf(text, sizeof text, " %5d  ", line.Number);
            out += text;
            out += line.Text;
        }
        while (!out.empty() && out.back() == ' ')
            out.pop_back();
        out += '\n';
    }
    if (line.Size > shown) out += "         ...\n";
}
