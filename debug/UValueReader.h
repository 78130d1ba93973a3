#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "UDebugInfo.h"

// Where a value's bytes are: in memory from Address, or (a value held in a register or a
// constant) in Bytes. Type indexes TDebugInfo::Types.
struct TValueRef {
    int64_t Type = -1;
    bool InMemory = false;
    uint64_t Address = 0;
    std::vector<uint8_t> Bytes;
};

// One row of a value tree as the debugger shows it: all strings.
struct TValueNode {
    std::string Name, Type, Value;
    std::string Address; // "0x1800"; "" when the value is not in memory
    bool Expandable = false;
    TValueRef Ref; // what Children expands
};

// Reads C values by the type table of the debug information from a snapshot of the machine's
// memory, and formats them as the variables panel shows them:
//   integers, characters and bools as FormatValue does; enums by their enumerator's name;
//   pointers as 0x00001820, a char pointer with its string: 0x00001820 "Hello\n", a function
//   pointer with its function: 0x00000130 <compare>, NULL, or 0x... <invalid address> when
//   the target lies outside memory; char arrays as strings ("Hello"); other arrays as
//   {1, 2, 3}, structures and unions as {x = 1, y = 2} (texts shortened with "...").
// Structures, unions and arrays expand into their members and elements, a valid non-null
// pointer into its target. Nothing is read outside [0, size) of the memory given.
//
// A user of a loaded TDebugInfo (which it refers to, not copies); the memory is read only
// while the caller holds the CPU.
class TValueReader {
  public:
    static constexpr size_t StringShown = 64;     // characters of a string before "..."
    static constexpr size_t ElementsShown = 1000; // elements an array expands into

    TValueReader(const TDebugInfo& info, const uint8_t* memory, uint64_t size)
        : FInfo(info), FMemory(memory), FSize(memory ? size : 0) {}

    // The row of a value named name.
    TValueNode Node(const std::string& name, const TValueRef& ref) const;
    // The rows a row expands into (empty when it does not expand).
    std::vector<TValueNode> Children(const TValueNode& node) const;

    // The type entry (nullptr for -1 or an index the table lacks).
    const TDebugInfo::TTypeEntry* Entry(int64_t type) const;
    // The type under its typedefs and qualifiers.
    int64_t Strip(int64_t type) const;
    std::string TypeName(int64_t type) const;
    uint64_t SizeOf(int64_t type) const;
    // The member of a structure or union type named name, also inside its anonymous members:
    // its type and offset added to offset; false when there is none.
    bool FindMember(int64_t type, const std::string& name, TDebugInfo::TMember& member) const;

    // Copies size bytes from address; false (nothing read) when they are not all in memory.
    bool Read(uint64_t address, uint64_t size, uint8_t* out) const;
    bool InMemory(uint64_t address, uint64_t size) const {
        return address <= FSize && size <= FSize - address;
    }
    // The value's bytes (at most 64 KiB); false when they are not in memory.
    bool Bytes(const TValueRef& ref, std::vector<uint8_t>& bytes) const;
    // An integer, pointer, enum or bool value as a 64-bit number (signed types sign-extended).
    static int64_t Integer(const TDebugInfo::TTypeEntry& type, const uint8_t* bytes, size_t size);

  private:
    std::string Format(int64_t type, const uint8_t* bytes, size_t size, int depth) const;
    std::string Pointer(int64_t target, uint64_t value) const;
    std::string String(uint64_t address, uint64_t limit) const;
    TValueNode Member(const TValueRef& parent, const TDebugInfo::TMember& member, const uint8_t* bytes,
                      size_t size) const;

    const TDebugInfo& FInfo;
    const uint8_t* FMemory;
    uint64_t FSize;
};
