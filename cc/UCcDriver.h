#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "UAssembler.h"
#include "UCcOptions.h"

namespace llvm {
class LLVMContext;
class Module;
} // namespace llvm

// The whole compilation: clang for each C file, the checks on the unoptimised IR (TCcChecks:
// errors and warnings), linking of the modules, then of the C library (only what they reach),
// everything but main internalised, LLVM's pass pipeline at the chosen level (vectorisers and
// unrolling off), unreachable code and data dropped, the wide-integer split, the
// legalisation (TCcLegalize), the back end, the assembler, and the checked memory layout; the
// image's debug information (OUT.dbg beside OUT, unless OUT is not a regular file). Messages
// go to stderr in clang's format.
class TCcDriver {
  public:
    // The bytes a program needs beyond its image, at least, for the stack and the heap (and
    // the guard at the end of memory, ROZ_HEAP_GUARD).
    static constexpr int64_t MinimumStack = 1024;
    // The C library's functions of more IR instructions than this are never inlined.
    static constexpr unsigned InlinedRuntimeSize = 12;

    explicit TCcDriver(const TCcOptions& options) : FOptions(options) {}

    // The exit status: 0 written, 1 compile errors or a file that cannot be written.
    int Run();

    // Internalises everything but main, then runs LLVM's pipeline at level ('0', '1', '2',
    // 's'), drops what is unreachable and splits integers wider than 64 bits
    // (TCcWideIntegers).
    static void Optimise(llvm::Module& module, char level);
    // The generated assembly program to the image: "" on success, else the message.
    static std::string Assemble(const std::string& assembly, std::vector<uint8_t>& image);
    // The same, keeping the assembler's whole result (lines and symbols, for the debug information).
    static std::string Assemble(const std::string& assembly, TAsmResult& result);

  private:
    std::unique_ptr<llvm::Module> Load(llvm::LLVMContext& context, const TCcOptions& options,
                                       const std::string& file, bool& failed);
    // The C library (every .c file of TCcFrontEnd::RuntimeDirectory) as one module.
    std::unique_ptr<llvm::Module> LoadRuntime(llvm::LLVMContext& context, bool& failed);
    // LLVM's pipeline at level, then the removal of unreachable globals.
    static void RunPipeline(llvm::Module& module, char level);
    // Calls of the library's printf whose format is a constant of plain conversions only go to
    // __roz_printf_plain, which counts instead of formatting (see cc/runtime/stdio.c).
    static void PlainPrintf(llvm::Module& module);
    int Write(const std::string& path, const std::string& text);

    const TCcOptions& FOptions;
};
