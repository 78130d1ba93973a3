#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "UCcEmitter.h"

namespace llvm {
class DataLayout;
class GlobalValue;
class GlobalVariable;
class Constant;
class Module;
} // namespace llvm

// Turns a linked, optimised module into one assembly program: the start-up code, every
// defined function, then the data. Memory layout of the image: start-up, code, data, the
// store scratch cell, then (16-byte aligned) the end of the image, where the stack begins
// and grows upwards.
//
// Start-up: the assembler's standard start (IPOffsetBegin = 8), SP := the end of the image,
// the registers that the generated code relies on (R12, R14, R15; see TCcEmitter), a call of
// main (argc = 0 and argv at a null entry when it takes them), main's result sign-extended from its width
// into R0, then a jump to the end of the image, so that the next fetch finds the end and the runner reports
// "end".
//
// Throws TCcError for what the back end does not translate.
class TCcModuleLowering {
  public:
    // R0 after a stack overflow: every function's entry checks that its frame, and the
    // records and arguments of the calls it makes, stay StackReserve bytes below the end of
    // memory; when not, the program ends with this value in R0.
    static constexpr uint64_t StackOverflowValue = 0xDEAD00000000005AULL;
    static constexpr int64_t StackReserve = 256;

    // memorySize: the memory the program runs in (the stack check's limit); level: the
    // optimisation level ('0', '1', '2' or 's'), which decides the register allocation.
    TCcModuleLowering(llvm::Module& module, int64_t memorySize, char level = '0');

    // The stack's limit for the checks of the function entries.
    int64_t StackLimit() const { return FMemorySize - StackReserve; }

    std::string Lower();

    // The label of a function or a global variable.
    static std::string Label(const llvm::GlobalValue& value);
    // The source file of the module, for messages without a location.
    std::string SourceName() const;
    const llvm::DataLayout& Layout() const;
    // The text of a source line, for the comments of the assembly ("" when unreadable).
    const std::string& SourceLine(const std::string& path, unsigned line);
    // True when the global is a scalar of at most 8 bytes, laid out alone in 16 bytes, so
    // that a plain STORE into it touches only its own padding.
    static bool IsPaddedGlobal(const llvm::GlobalVariable& global, const llvm::DataLayout& layout);

  private:
    void StartUp();
    void Data(const llvm::GlobalVariable& global);
    void Constant(const llvm::Constant& value, const std::string& where);

    llvm::Module& FModule;
    int64_t FMemorySize;
    char FLevel;
    TCcEmitter FOut;
    std::map<std::string, std::vector<std::string>> FSources;
};
