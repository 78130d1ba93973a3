#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "UCallStack.h"
#include "UValueReader.h"

class TCCPUBase;

// A variable as the window shows it: all strings.
struct TVariableView {
    std::string Name;
    std::string Kind;  // "parameter", "local", "global"
    std::string Type;  // the C type's name
    std::string Value; // "42", "-1", "65 'A'", "true", "0x00001820", "{01 02 ...}",
                       // "<optimised out>", "<not available>"
    std::string Where; // "FP+48", "R7", "0x1800", "constant"
    // With the type table: where the value is ("0x1800"; "" in a register or a constant),
    // whether it expands (TValueReader::Children of the node made from Ref), and the value's
    // reference.
    std::string Address;
    bool Expandable = false;
    TValueRef Ref;
    // The row as a value tree's root.
    TValueNode Node() const { return {Name, Type, Value, Address, Expandable, Ref}; }
};

// The value of size bytes (little-endian) as its encoding shows it (TDebugInfo::TType).
std::string FormatValue(const TDebugInfo::TType& type, const uint8_t* bytes, size_t size);

// The parameters and locals of a frame (from CallStack) at its address, read from the CPU's
// memory and registers by the .dbg locations; registers of outer frames as far as the
// inner frames saved them. Only the variables whose scope covers the frame's address, and of
// two with one name the one of the inner block. With info (the program's debug information)
// values are formatted by its type table (TValueReader) where the variable has a type entry.
std::vector<TVariableView> FrameVariables(const TCCPUBase& cpu, const TStackFrame& frame,
                                          const TDebugInfo* info = nullptr);
// The global variables.
std::vector<TVariableView> GlobalVariables(const TCCPUBase& cpu, const TSourceMap& map);
