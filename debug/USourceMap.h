#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "UDebugInfo.h"

// The questions the debugger asks of an image's debug information, answered from indexes
// built once: which source line and function an address belongs to, where a line's code is
// (every address range: at -O2 a line has several), and where instructions start.
//
// Immutable after construction; holds a copy of the debug information. Any thread may read
// it (it never touches the CPU).
class TSourceMap {
  public:
    struct TRange {
        uint64_t From = 0, To = 0; // [From, To)
        bool operator==(const TRange&) const = default;
    };
    // A source line: File indexes Info().Sources. Line 0: none.
    struct TLineKey {
        uint32_t File = 0, Line = 0;
        bool operator==(const TLineKey&) const = default;
        bool Valid() const { return Line != 0; }
    };

    TSourceMap() = default; // no debug information: every question has no answer
    explicit TSourceMap(TDebugInfo info);

    const TDebugInfo& Info() const { return FInfo; }
    bool HasLines() const { return !FInfo.Lines.empty(); }

    // The line of the row that covers address (Line 0 when none does).
    TLineKey LineAt(uint64_t address) const;
    // The C function whose code covers address, or nullptr.
    const TDebugInfo::TFunction* FunctionAt(uint64_t address) const;
    // The function or label symbol with the greatest address <= address whose size covers it
    // (a size of 0 covers up to the next symbol), or nullptr.
    const TDebugInfo::TSymbol* SymbolAt(uint64_t address) const;
    // "main", "factorial+0x18", or "" without a symbol.
    std::string NameAt(uint64_t address) const;
    // "factorial.c:6" (the file's base name), or "" without a line.
    std::string PlaceText(TLineKey key) const;

    // Every address range of this line's code, ascending (rows that touch are joined).
    std::vector<TRange> RangesOf(TLineKey key) const;
    // The first address of each of those ranges: where a breakpoint on the line goes.
    std::vector<uint64_t> LineStarts(TLineKey key) const;
    // The nearest line at or after line in file that has code (0 when none does).
    uint32_t NextLineWithCode(uint32_t file, uint32_t line) const;

    // The index of the source whose full path is name, else whose base name is name; -1 when
    // none is, -2 when the base name matches several (ambiguous).
    int FindFile(std::string_view name) const;

    // The instruction starts in [From, To), in order, walking the code by the instruction
    // table's sizes (an unknown word takes 4 bytes, as the fetch moves past it).
    std::vector<uint64_t> InstructionStarts(TRange range, const uint8_t* image, uint64_t length) const;

  private:
    TDebugInfo FInfo;
    std::vector<size_t> FFunctionOrder; // Functions sorted by address
    std::vector<size_t> FSymbolOrder;   // function and label Symbols sorted by address
};
