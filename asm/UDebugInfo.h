#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The debug information of one code image: "prog.dbg" beside "prog.bin", written by
// roziduv2-cc and roziduv2-asm, read by the window's code view and the runner. A JSON text
// (the format is described in the programming reference, "Debug information files"):
// the image it belongs to (length and FNV-1a 64 hash of its bytes), the memory the program
// needs, the source files, a line table, the symbols, and for C programs each function's
// frame with its parameters and local variables, and the global variables.
//
// Addresses are byte addresses in the image (loaded at 0); an address range is [From, To).
// Files are indexes into Sources. Lines and columns are 1-based (a column of 0: unknown).
class TDebugInfo {
  public:
    // Version 1. A reader refuses a file of a higher version; additions that old readers may
    // ignore keep the version, changes of meaning raise it.
    static constexpr int Version = 1;

    // Code from one source place. Sorted by address, not overlapping; a source line may have
    // several rows (optimised code, loops).
    struct TLine {
        uint64_t From = 0, To = 0;
        uint32_t File = 0, Line = 0, Column = 0;
        bool operator==(const TLine&) const = default;
    };
    // Kind: "function" or "object" (a C function or global variable; Name is the C name,
    // Label the assembler's), "label" or "constant" (an assembly source's symbols; Size of
    // a label is the distance to the next label, 0 for a constant).
    struct TSymbol {
        std::string Name, Label, Kind;
        uint64_t Address = 0, Size = 0;
        bool operator==(const TSymbol&) const = default;
    };
    // A C type as far as the debugger shows values: Encoding is "signed", "unsigned", "bool",
    // "char" (signed or unsigned char: shown as a character too), "pointer", "enum" or
    // "aggregate" (arrays, structures, unions: shown as bytes); Size in bytes.
    struct TType {
        std::string Name, Encoding;
        uint64_t Size = 0;
        bool operator==(const TType&) const = default;
    };
    // Where a variable is over [From, To) (both 0: everywhere in its function, or always
    // for a global). Kind "frame": the bytes at FP + Offset; "register": in R<Offset>;
    // "address": the bytes at address Offset; "value": the variable's value is Offset itself.
    // A place of the function's code that no location covers: the value is not available.
    struct TLocation {
        uint64_t From = 0, To = 0;
        std::string Kind;
        int64_t Offset = 0;
        bool operator==(const TLocation&) const = default;
    };
    // Kind: "parameter", "local" or "global". TypeId: the entry of Types that describes the
    // type in full (-1: only Type is known, as in files written before the type table).
    // Scope: the entry of the function's Scopes in which the variable is visible (-1: the
    // whole function; a global: always).
    struct TVariable {
        std::string Name, Kind;
        TType Type;
        uint32_t File = 0, Line = 0;
        std::vector<TLocation> Locations;
        int64_t TypeId = -1;
        int64_t Scope = -1;
        bool operator==(const TVariable&) const = default;
    };
    // A C type of the type table (Types). Kind:
    //   "base"     Encoding as in TType ("signed", "unsigned", "bool", "char")
    //   "pointer"  Target: the pointed-to type (-1: void)
    //   "array"    Target: the element type; Count elements (0: unknown length)
    //   "struct", "union"  Members (no members and Size 0: declared, never defined)
    //   "enum"     Enumerators; Target: the underlying integer type (-1: int)
    //   "typedef", "const", "volatile"  Target: the type named or qualified
    //   "function" a function type (only pointed to)
    // Name is the C spelling ("struct node", "char *", "int[10]", "color_t"). Types refer
    // to each other by index, so that a structure may point to itself.
    struct TMember {
        std::string Name; // "" for an anonymous structure or union member
        int64_t Type = -1;
        uint64_t Offset = 0; // in bytes from the start of the structure
        // A bit-field: BitSize bits from bit BitOffset of the structure (BitSize 0: none).
        uint64_t BitOffset = 0, BitSize = 0;
        bool operator==(const TMember&) const = default;
    };
    struct TEnumerator {
        std::string Name;
        int64_t Value = 0;
        bool operator==(const TEnumerator&) const = default;
    };
    struct TTypeEntry {
        std::string Kind, Name, Encoding;
        uint64_t Size = 0;
        int64_t Target = -1;
        uint64_t Count = 0;
        std::vector<TMember> Members;
        std::vector<TEnumerator> Enumerators;
        bool operator==(const TTypeEntry&) const = default;
    };
    // A lexical block of a function: its code's address ranges [From, To); Parent is the
    // enclosing block's index in the function's Scopes (-1: the function's body).
    struct TScope {
        int64_t Parent = -1;
        std::vector<std::pair<uint64_t, uint64_t>> Ranges;
        bool operator==(const TScope&) const = default;
    };
    // The frame of a C function: FP is register FramePointer; the caller's FP is saved at
    // FP + CallerFrame; the CALL's records lie at FP + Records (negative) up to FP; the
    // frame's Size bytes from FP are in use while the body runs (SP = FP + Size).
    // Optional facts (written by roziduv2-cc; Facts false in older files and for code
    // without them): the callee-saved registers the function saves, each at FP + Offset,
    // which hold the caller's values there from address SavedFrom on; and the address ranges
    // [From, To) of the function's code where FP is this frame's (after the entry code has
    // set it, before a return has restored the caller's); elsewhere in the function FP is
    // the caller's and the frame starts at SP.
    struct TSavedRegister {
        int Register = 0;
        int64_t Offset = 0;
        bool operator==(const TSavedRegister&) const = default;
    };
    struct TFrame {
        int64_t Size = 0;
        int FramePointer = 15;
        int64_t CallerFrame = 0;
        int64_t Records = -48;
        bool Facts = false;
        std::vector<TSavedRegister> Saved;
        uint64_t SavedFrom = 0;
        std::vector<std::pair<uint64_t, uint64_t>> PointerValid;
        bool operator==(const TFrame&) const = default;
    };
    struct TFunction {
        std::string Name, Label;
        uint64_t Address = 0, Size = 0;
        uint32_t File = 0, Line = 0;
        TFrame Frame;
        std::vector<TVariable> Variables; // parameters first, in order, then the locals
        std::vector<TScope> Scopes;
        bool operator==(const TFunction&) const = default;
    };

    std::string Producer;  // "roziduv2-cc" or "roziduv2-asm"
    std::string Language;  // "c" or "assembly"
    std::string Options;   // the options that shape the code, e.g. "-O2 -g"
    std::string ImageName; // the image's file name (without folders), for messages
    uint64_t ImageLength = 0, ImageHash = 0;
    // The memory the program must run in at least; for C, the memory it was compiled for
    // (its stack limit and heap end are fixed by it), and where its stack begins and may
    // grow to (both 0 for assembly).
    uint64_t MemoryNeeded = 0, StackBegin = 0, StackLimit = 0;
    std::vector<std::string> Sources;
    std::vector<TLine> Lines;
    std::vector<TSymbol> Symbols;
    std::vector<TFunction> Functions;
    std::vector<TVariable> Globals;
    std::vector<TTypeEntry> Types; // empty in files without a type table

    // How the program marks its ends other than main's return or exit(): at the end of the
    // image R0 holds R0 (Reason "stack-overflow", "assert" or "abort"; TProgramEnd in
    // debug/ reads the registers each leaves). Optional ("ends"); roziduv2-cc writes it.
    // One mark per reason, ordered by reason (as a JSON object reads back).
    struct TEndMark {
        std::string Reason;
        uint64_t R0 = 0;
        bool operator==(const TEndMark&) const = default;
    };
    std::vector<TEndMark> Ends;

    bool operator==(const TDebugInfo&) const = default;

    // FNV-1a, 64 bits: offset basis 0xcbf29ce484222325, prime 0x100000001b3, over every byte.
    static uint64_t Hash(const uint8_t* data, size_t size);
    // Sets ImageName, ImageLength and ImageHash for this image.
    void SetImage(const std::string& imagePath, const std::vector<uint8_t>& image);

    // The JSON text (one line-table row, symbol or variable a line).
    std::string Text() const;
    // Reads a JSON text; nullopt with a message when it is not debug information this
    // version reads.
    static std::optional<TDebugInfo> Parse(std::string_view text, std::string& error);

    // Writes the file (through TOutputFile): "" on success, else the message.
    std::string Write(const std::string& path) const;
    // Reads the file and checks that it describes this image (length and hash): nullopt with
    // a message naming both files when it cannot be read or belongs to another image.
    static std::optional<TDebugInfo> Load(const std::string& path, const std::vector<uint8_t>& image,
                                          const std::string& imagePath, std::string& error);
    // "prog.dbg" for "prog.bin" (the extension replaced, or added when there is none).
    static std::string PathFor(const std::string& imagePath);

    // The line-table row that covers the address, or nullptr.
    const TLine* LineAt(uint64_t address) const;
    // Whether the variable of function is visible at address (inside the function's code):
    // its scope, or a scope nested in it, covers the address.
    static bool InScope(const TFunction& function, const TVariable& variable, uint64_t address);

  private:
    // Throws (std::runtime_error) when a type, member or variable names a type or scope that
    // is not there.
    void CheckReferences() const;
};
