#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The command line of roziduv2-cc, parsed as C compilers accept it: -IDIR and -I DIR,
// -DNAME, -DNAME=V and -D NAME, -UNAME, in any order; other -W*, -f*, -w and -std= options go
// to clang unchanged.
struct TCcOptions {
    char Level = '0'; // '0', '1', '2' or 's'
    bool Debug = true;
    bool Assembly = false; // -S: write the assembly text instead of the image
    bool EmitIr = false;   // --emit-ir: write the optimised LLVM IR instead
    bool Help = false;
    int64_t MemorySize = 10000;
    // A program that does not fit in MemorySize is compiled for the memory it needs instead of
    // being refused: the default, and with --grow-memory; off when --memory-size alone fixes it.
    bool GrowMemory = true;
    bool MemorySizeGiven = false; // --memory-size N
    bool GrowMemoryGiven = false; // --grow-memory
    std::string Output;
    std::vector<std::string> Inputs;
    std::vector<std::string> ClangArguments; // -I, -D, -U and the passed-through options

    // false with a message for a usage error.
    bool Parse(int argc, char** argv, std::string& error);
    // The default output: FILE.bin, FILE.s or FILE.ll beside the first input's name.
    std::string OutputName() const;
};
