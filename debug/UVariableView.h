#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "UCallStack.h"

class TCCPUBase;

// A variable as the window shows it: all strings.
struct TVariableView {
    std::string Name;
    std::string Kind;  // "parameter", "local", "global"
    std::string Type;  // the C type's name
    std::string Value; // "42", "-1", "65 'A'", "true", "0x00001820", "{01 02 ...}",
                       // "<optimised out>", "<not available>"
    std::string Where; // "FP+48", "R7", "0x1800", "constant"
};

// The value of size bytes (little-endian) as its encoding shows it (TDebugInfo::TType).
std::string FormatValue(const TDebugInfo::TType& type, const uint8_t* bytes, size_t size);

// The parameters and locals of a frame (from CallStack) at its address, read from the CPU's
// memory and registers by the .dbg locations; registers of outer frames as far as the
// inner frames saved them.
std::vector<TVariableView> FrameVariables(const TCCPUBase& cpu, const TStackFrame& frame);
// The global variables.
std::vector<TVariableView> GlobalVariables(const TCCPUBase& cpu, const TSourceMap& map);
