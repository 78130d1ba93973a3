#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "UDebugInfo.h"

// The rows of the code tab's three views over one snapshot of the loaded image and its debug
// information: the disassembly (labels and instructions in address order), the source (every
// line of every source file, one header row per file) and the mixed view (the disassembly
// with each source line put above the instructions it produced).
//
// Rows are found by a sweep over the image from address 0 that steps by each instruction's
// size from the instruction table; the sweep starts afresh at every symbol, every line-table
// row and every address the CPU was seen executing, so code placed after data or reached by
// a jump into the middle of a word still shows as executed. Text is made only for the rows
// asked for, so a view formats no more than it shows.
//
// No Qt and no CPU: the window copies the image out of the CPU and passes it in.
class TCodeListing {
  public:
    enum class TMode { Disassembly, Source, Mixed };
    enum class TKind : uint8_t {
        Label,       // a symbol's name at Address
        Instruction, // the instruction (or data word) at Address
        SourceLine,  // Source: line Index of file File; Mixed: line-table row Index
        FileHeader   // Source: the name of file File
    };
    static constexpr uint64_t NoAddress = ~uint64_t{0};
    struct TRow {
        uint64_t Address = NoAddress; // Source lines: the line's first address, or NoAddress
        uint32_t Index = 0;
        uint16_t File = 0;
        TKind Kind = TKind::Instruction;
    };

    // New debug information (nullopt: none) and the text of its source files, one entry per
    // Sources item (an empty vector for a file that could not be read). Rebuilds every table.
    void SetDebugInfo(std::optional<TDebugInfo> info, std::vector<std::vector<std::string>> sources);
    const std::optional<TDebugInfo>& DebugInfo() const { return FInfo; }
    bool HasSource() const { return FInfo && !FInfo->Lines.empty(); }

    // The image's bytes from address 0 (the used length). True when they differ from the
    // last snapshot, which rebuilds the disassembly and mixed rows.
    bool SetImage(const uint8_t* data, size_t size);
    // Makes address start an instruction row (a sweep restart) when it lies in the image.
    void AddEntry(uint64_t address);

    int64_t RowCount(TMode mode) const { return static_cast<int64_t>(Rows(mode).size()); }
    const TRow& Row(TMode mode, int64_t row) const { return Rows(mode)[static_cast<size_t>(row)]; }
    // The row that shows address: the instruction row that holds it (disassembly, mixed),
    // the line of its line-table row (source); -1 when none does.
    int64_t RowOfAddress(TMode mode, uint64_t address) const;
    // The instruction address a row stands for: its own, the next instruction's for a label,
    // the first address of a source line; NoAddress for none (a line without code, a header).
    uint64_t AddressOfRow(TMode mode, int64_t row) const;
    // The source place (file, line) a row stands for, or nullopt.
    std::optional<std::pair<uint32_t, uint32_t>> SourceOfRow(TMode mode, int64_t row) const;

    // A row's text, tabs expanded. Instructions: address, word, then the disassembly, with
    // the symbol an LDA/CALLI target names; source lines: the line number and the line.
    std::string Text(TMode mode, int64_t row) const;
    // The widest text of a mode, in characters (for the horizontal scroll bar).
    int MaxColumns(TMode mode) const;

    const std::vector<uint8_t>& Image() const { return FImage; }

  private:
    const std::vector<TRow>& Rows(TMode mode) const;
    void Rebuild();
    void BuildSource();
    uint32_t WordAt(uint64_t address) const;
    std::string SymbolAt(uint64_t address) const;
    std::string SourceText(uint32_t file, uint32_t line) const;

    std::optional<TDebugInfo> FInfo;
    std::vector<std::vector<std::string>> FSources;
    std::vector<uint8_t> FImage;
    std::vector<uint64_t> FEntries; // sorted addresses the sweep restarts at, seen executing
    std::vector<TRow> FDisassembly, FSource, FMixed;
    std::vector<int64_t> FFileStart; // Source: the header row of each file
    int FSourceColumns = 0;
};
