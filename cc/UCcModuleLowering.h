#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "UCcDebugInfo.h"
#include "UCcEmitter.h"
#include "include/roziduv2_abi.h"

namespace llvm {
class DataLayout;
class GlobalValue;
class GlobalVariable;
class Constant;
class Function;
class Module;
} // namespace llvm

// Turns a linked, optimised and legalised (TCcLegalize) module into one assembly program: the
// start-up code, every defined function, then the data. It reads the IR and does not change
// it, so that the driver may lower the same module again for another memory size.
// Memory layout:
//   image:  start-up, code, the read-only globals, the initial bytes of .data (16-aligned),
//           .data (the written globals with an initial value, 16-aligned), .bss (the written
//           globals that start as zero, 16-aligned), main's argv, the store scratch cell,
//           then (16-byte aligned) __roz_end, the end of the image;
//   stack:  from the end of the image upwards;
//   heap:   from the end of memory less ROZ_HEAP_GUARD (rounded down to 16) downwards
//           (cc/runtime/malloc.c).
//
// Start-up: the assembler's standard start (IPOffsetBegin = 8), SP := the end of the image,
// the registers that the generated code relies on (R12, R14, R15; see TCcEmitter), .data
// copied from its initial bytes (BLKCOPY) and .bss zeroed (a STORE of 16 zero bytes spread by
// an overlapping BLKCOPY), so that a program run again starts from the same globals; the
// stack limit cell set for an empty heap when the heap is linked; a call of main (argc = 0
// and argv at a null entry when it takes them), main's result sign-extended from its width
// into R0, then a jump to the end of the image, so that the next fetch finds the end and the
// runner reports "end". exit() and the other ends (__roz_exit) set R0 and jump there too.
//
// Throws TCcError for what the back end does not translate.
class TCcModuleLowering {
  public:
    // R0 after a stack overflow: every function's entry checks that its frame, and the
    // records and arguments of the calls it makes, stay StackReserve bytes below the stack
    // limit; when not, the program ends with this value in R0.
    static constexpr uint64_t StackOverflowValue = ROZ_R0_STACK_OVERFLOW;
    static constexpr int64_t StackReserve = ROZ_STACK_RESERVE;
    // The variable of the C library's heap that holds the stack limit while the heap grows
    // down (the heap's lowest byte less StackReserve); it keeps its name through linking.
    static constexpr const char* StackLimitName = "__roz_stack_limit";
    // The attribute of the C library's functions: already optimised, they are lowered with
    // registers (as at -Os) also in a program compiled at -O0, whose own code keeps every value
    // in the frame.
    static constexpr const char* LibraryAttribute = "roz-library";
    // R0 after __builtin_trap (llvm.trap), which ends the program at once.
    static constexpr uint64_t TrapValue = ROZ_R0_TRAP;

    // The level a function is lowered at: the program's, but the C library's functions get
    // registers (as at -Os) in a program compiled at -O0.
    static char FunctionLevel(const llvm::Function& function, char level);

    // memorySize: the memory the program runs in (the stack check's limit); level: the
    // optimisation level ('0', '1', '2' or 's'), which decides the register allocation.
    TCcModuleLowering(llvm::Module& module, int64_t memorySize, char level = '0');

    int64_t MemorySize() const { return FMemorySize; }
    // The heap's top (its first byte past the end): the end of memory less the guard.
    int64_t HeapTop() const { return (FMemorySize - ROZ_HEAP_GUARD) / 16 * 16; }
    // The stack's limit for the checks of the function entries with an empty heap.
    int64_t StackLimit() const { return HeapTop() - StackReserve; }
    // reg := the stack limit: the constant above, or the heap's limit cell when the C
    // library's heap is linked.
    void LoadStackLimit(TCcEmitter& out, int reg) const;

    std::string Lower();
    // What Lower collected for the debug information.
    const TCcDebugInfo& Debug() const { return FDebug; }

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
    // The global's bytes, aligned, after its label when labelled.
    void Data(const llvm::GlobalVariable& global, bool labelled);
    // One of the data areas: its globals after `label` (when not empty), 16-aligned.
    void DataArea(const std::vector<const llvm::GlobalVariable*>& globals, const std::string& label,
                  bool labelled);
    void Constant(const llvm::Constant& value, const std::string& where);

    llvm::Module& FModule;
    int64_t FMemorySize;
    char FLevel;
    llvm::GlobalVariable* FStackLimit = nullptr; // the heap's limit cell, when linked
    std::vector<const llvm::GlobalVariable*> FReadOnly, FData, FBss;
    TCcEmitter FOut;
    TCcDebugInfo FDebug;
    std::map<std::string, std::vector<std::string>> FSources;
};
