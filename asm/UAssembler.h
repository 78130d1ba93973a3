#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "UAsmLexer.h"

// One diagnostic; Line and Column are 1-based.
struct TAsmMessage {
    int Line;
    int Column;
    bool Warning;
    std::string Text;
};

// Where one source line went in the image: the address counter at the line and the bytes it
// laid out there. Code is true for machine instructions (an instruction, or .start's words),
// false for data, labels, constants and empty lines. Column is the statement's (1-based; 0
// without a statement).
struct TAsmLine {
    uint64_t Address = 0;
    uint64_t Size = 0;
    int Column = 0;
    bool Code = false;
};

// A symbol as its source defined it: a label (Label true: an address) or a constant
// (name = value, .equ); Line is the defining line.
struct TAsmSymbol {
    std::string Name;
    uint64_t Value;
    bool Label;
    int Line;
};

struct TAsmResult {
    std::vector<uint8_t> Image;        // the code image from address 0; meaningless when errors exist
    std::vector<TAsmMessage> Messages; // errors and warnings, ordered by line and column
    std::string Listing;               // address, bytes and source text, one row per source line
    std::vector<TAsmLine> Lines;       // one per source line: Lines[n - 1] is line n
    std::vector<TAsmSymbol> Symbols;   // in the order of their definitions

    bool HasErrors() const;
};

// A two-pass assembler for the machine's instruction set (directives in UAssemblerDirectives.cpp). The first
// pass lays out every line (labels, sizes, origin, fill), the second encodes. Every error of the source is
// reported, each with its line and column; a line with an error in the first pass is not
// encoded again, so one fault gives one message.
//
// Syntax (the disassembler's, plus labels, constants, expressions and directives):
//   [label:]... [instruction operands | directive arguments | name = expression] [; comment]
// Mnemonics, register names (R0..R15) and control register names ignore case; symbols do not.
class TAssembler {
  public:
    TAsmResult Assemble(std::string_view source);

    // "FILE:LINE:COL: error: text" (or "warning:").
    static std::string Format(const std::string& fileName, const TAsmMessage& message);

    // The words that the standard start (.start) emits: they set IPOffsetBegin to 8, so that
    // LDI, LDA and CALLI read the operand cell that follows their word, and leave R0 at 0.
    static const std::vector<uint32_t>& StartWords();

  private:
    struct TLine {
        int Number = 0;
        std::string_view Text;
        std::vector<TAsmToken> Tokens;
        size_t Statement = 0; // index of the statement's first token
        uint64_t Address = 0;
        uint64_t Size = 0;
        bool Encode = false; // has a statement that the second pass encodes
        bool Code = false;   // that statement is machine instructions
    };
    using TRange = std::pair<size_t, size_t>; // tokens [first, last) of one operand

    void FirstPass(TLine& line);
    void SecondPass(const TLine& line);
    bool Layout(TLine& line, const std::string& name, const std::vector<TRange>& operands);
    bool LayoutDirective(TLine& line, const std::string& directive, const std::vector<TRange>& operands);
    void EncodeInstruction(const TLine& line, const std::string& upperName,
                           const std::vector<TRange>& operands);
    void EncodeData(const TLine& line, const std::string& name, const std::vector<TRange>& operands);
    void WriteListing(const TLine& line);

    std::vector<TRange> SplitOperands(const TLine& line, size_t first) const;
    std::optional<uint64_t> Value(const TLine& line, TRange range, bool firstPass);
    std::optional<int> Register(const TLine& line, TRange range);
    std::optional<int> MemoryRegister(const TLine& line, TRange range);
    std::optional<int> Control(const TLine& line, TRange range);
    bool DefineSymbol(const TLine& line, const TAsmToken& name, uint64_t value, bool label);

    void Error(const TLine& line, int column, std::string text);
    void Error(const TLine& line, TRange range, std::string text);
    void Put(uint64_t address, uint64_t value, int bytes);
    static std::string Upper(std::string_view text);
    static std::string Hex(uint64_t value);

    // The longest image the machine can load: it must be shorter than the largest memory.
    static constexpr uint64_t ImageLimit = 2147483646;

    std::map<std::string, uint64_t> FSymbols;
    TAsmResult FResult;
    uint64_t FAddress = 0;
    bool FHasStart = false;
    std::optional<std::pair<int, int>>
        FFirstCellUse; // line and column of the first LDI/LDA/CALLI with a cell value
};
